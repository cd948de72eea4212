// The search window: the exact filter expression for each combination of boxes, the rows it
// finds, "&Ново търсене", the comparison kept for the run, a refused expression, the key rules.
#include "AppFixture.h"
#include "CompatibilityMemo.h"
#include "PickListBox.h"
#include "SearchFilter.h"
#include "TApplication.h"
#include "UserInput.h"
#include "uCompatibilityCheck.h"
#include "uSearchForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTreeWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

using namespace UserInput;

class TestSearch : public QObject
{
    Q_OBJECT

    static QStringList foundNumbers()
    {
        QStringList out;
        TDaoTable *t = DM->tblMain;
        for (t->First(); !t->Eof(); t->Next())
            out << t->FieldByName(QStringLiteral("unit_number"))->AsString();
        out.sort();
        return out;
    }

private slots:
    void initTestCase() { initWindowTests(); }

    void expression_data()
    {
        QTest::addColumn<QString>("boxes"); // field=text;… in SearchCriteria's names
        QTest::addColumn<bool>("fromStart");
        QTest::addColumn<bool>("showDeleted");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing, deleted hidden") << "" << false << false << "[deleted]=False";
        QTest::newRow("nothing, deleted shown") << "" << false << true << "";
        QTest::newRow("quantity >5") << "quantity=5|comparison=>" << false << false << "[deleted]=False AND [quantity]>5";
        QTest::newRow("number anywhere") << "unitNumber=VAL" << false << true << "[unit_number] LIKE \"*VAL*\"";
        QTest::newRow("number from start") << "unitNumber=VAL" << true << true << "[unit_number] LIKE \"VAL*\"";
        QTest::newRow("id before name") << "unitName=Помпа|id=12" << false << true
                                        << "[user_id]=12 AND [unit_name] LIKE \"*Помпа*\"";
        QTest::newRow("every box in order")
            << "deliveryCountry=BG|deliverNumber=N1|deliverName=Бош|unitName=a|unitNumber=b|quantity=2|id=3" << true << false
            << "[deleted]=False AND [user_id]=3 AND [quantity]=2 AND [unit_number] LIKE \"b*\" AND [unit_name] LIKE \"a*\""
               " AND [deliver_name] LIKE \"Бош*\" AND [delivery_unit_number] LIKE \"N1*\" AND [delivery_country] LIKE \"BG*\"";
        QTest::newRow("memo words") << "comment=Golf;Astra\r\n1998" << false << true
                                    << "([comment] LIKE \"*Golf*\" OR [comment] LIKE \"*Astra*\" OR [comment] LIKE \"*1998*\")";
        QTest::newRow("memo of separators") << "comment= ;-\r\n ;" << false << false << "[deleted]=False";
        QTest::newRow("memo after a box") << "comment=Opel Astra 1992-1998;|deliverName=x" << true << false
                                          << "[deleted]=False AND [deliver_name] LIKE \"x*\" AND ([comment] LIKE \"Opel*\" OR "
                                             "[comment] LIKE \"Astra*\" OR [comment] LIKE \"1992*\" OR [comment] LIKE \"1998*\")";
        QTest::newRow("text as typed") << "unitName= a\"*[" << false << true << "[unit_name] LIKE \"* a\"*[*\"";
    }

    void expression()
    {
        QFETCH(QString, boxes);
        QFETCH(bool, fromStart);
        QFETCH(bool, showDeleted);
        QFETCH(QString, expected);
        SearchCriteria c;
        c.fromStart = fromStart;
        c.showDeleted = showDeleted;
        const QHash<QString, QString *> fields{{QStringLiteral("id"), &c.id},
                                               {QStringLiteral("quantity"), &c.quantity},
                                               {QStringLiteral("comparison"), &c.comparison},
                                               {QStringLiteral("unitNumber"), &c.unitNumber},
                                               {QStringLiteral("unitName"), &c.unitName},
                                               {QStringLiteral("deliverName"), &c.deliverName},
                                               {QStringLiteral("deliverNumber"), &c.deliverNumber},
                                               {QStringLiteral("deliveryCountry"), &c.deliveryCountry},
                                               {QStringLiteral("comment"), &c.comment}};
        for (const QString &pair : boxes.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            *fields.value(pair.left(eq)) = pair.mid(eq + 1);
        }
        QCOMPARE(searchFilter(c), expected);
    }

    void searchWindow()
    {
        AppFixture f;
        f.exec(QStringLiteral(
            "INSERT INTO main (user_id, unit_number, unit_name, quantity, comment, deliver_name, deleted) VALUES "
            "(1, 'VAL-1', 'Водна помпа', 2, 'VW Golf 1991-1997;', 'Авто', FALSE), (2, 'VAL-2', 'Помпа усилена', 8, 'Opel Astra;', 'Бош', FALSE),"
            "(3, 'NS-1', 'Носач', 12, 'Opel Vectra;', 'Бош', FALSE), (4, 'VAL-3', 'Помпа стара', 9, '', 'Бош', TRUE)"));
        QVERIFY(f.start());
        TfSearchForm *w = fSearchForm;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // The grid's lists, read when opened.
        w->cbxUnitNum->showPopup();
        QCOMPARE(w->cbxUnitNum->count(), 4);
        w->cbxUnitNum->hidePopup();
        // Contains "VAL", quantity above 5, deleted rows hidden.
        w->cbxUnitNum->setEditText(QStringLiteral("al"));
        w->eQuantity->setText(QStringLiteral("5"));
        w->More->click();
        QCOMPARE(w->lblException->text(), QStringLiteral(">"));
        w->bSearch->click();
        QCOMPARE(DM->tblMain->Filter(), QStringLiteral("[deleted]=False AND [quantity]>5 AND [unit_number] LIKE \"*al*\""));
        QCOMPARE(foundNumbers(), QStringList{QStringLiteral("VAL-2")});
        QVERIFY(w->isVisible());
        // A new search empties the boxes and the lists, keeps the comparison and the filter.
        w->bNewSearch->click();
        QVERIFY(w->cbxUnitNum->currentText().isEmpty() && w->eQuantity->text().isEmpty());
        w->cbxUnitNum->showPopup();
        QCOMPARE(w->cbxUnitNum->count(), 0);
        w->cbxUnitNum->hidePopup();
        QCOMPARE(w->QuantityComparison, QStringLiteral(">"));
        QCOMPARE(foundNumbers(), QStringList{QStringLiteral("VAL-2")});
        // The memo's words, any of them; the comparison still ">".
        w->eComment->setText(QStringLiteral("Golf;Vectra"));
        w->eQuantity->setText(QStringLiteral("1"));
        w->bSearch->click();
        QCOMPARE(foundNumbers(), (QStringList{QStringLiteral("NS-1"), QStringLiteral("VAL-1")}));
        // A refused expression: the error, the window open also with cbxHide, the grid usable.
        w->cbxHide->setChecked(true);
        w->eQuantity->setText(QStringLiteral("1,5"));
        w->bSearch->click();
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY(w->isVisible());
        w->eQuantity->clear();
        w->eComment->clear();
        for (const auto &[box, text] : {std::pair{w->eDeliverName, QStringLiteral("a\"b")}, std::pair{w->eDeliverName, QStringLiteral("[")},
                                        std::pair{w->eQuantity, QStringLiteral("x")}}) {
            box->setText(text);
            w->bSearch->click();
            box->clear();
        }
        QCOMPARE(f.prompts.messages.size(), 4);
        QVERIFY(w->isVisible());
        w->eDeliverName->setText(QStringLiteral("бош"));
        w->bSearch->click();
        QVERIFY(!w->isVisible());
        QCOMPARE(foundNumbers(), (QStringList{QStringLiteral("NS-1"), QStringLiteral("VAL-2")}));
        // Shown again: the lists are back, the texts stayed.
        w->show();
        w->cbxUnitNum->showPopup();
        QCOMPARE(w->cbxUnitNum->count(), 4);
        w->cbxUnitNum->hidePopup();
        QCOMPARE(w->eDeliverName->text(), QStringLiteral("бош"));
        QCOMPARE(w->lblException->text(), QStringLiteral(">"));
    }

    // The cars a part fits: the catalogue's lists, the grid's filter narrowed (an earlier
    // fitment term replaced), the count in the status line, the group cleared by a new search;
    // then the check window's repair, recorded as a post, found by the next search.
    void fitmentSearchAndCheck()
    {
        AppFixture f;
        f.exec(QStringLiteral(
            "INSERT INTO main (user_id, unit_number, comment, deleted) VALUES (1, 'A', 'VW Golf III 1991-1997;', FALSE), "
            "(2, 'B', 'VW Golf 1991-19975;Opel Astra F 1991-1998', FALSE), (3, 'C', 'Опел Астра F 1995-', FALSE), "
            "(4, 'D', 'VW Golf III 1991-1997', TRUE)"));
        QVERIFY(f.start());
        TfSearchForm *w = fSearchForm;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(w->cbxFitMake->findText(QStringLiteral("VW")) >= 0);
        w->cbxFitMake->setEditText(QStringLiteral("opel"));
        QVERIFY(w->cbxFitModel->findText(QStringLiteral("Astra F")) >= 0 && w->cbxFitModel->findText(QStringLiteral("Golf III")) < 0);
        w->cbxFitMake->setEditText(QString());
        w->bFitSearch->click();
        w->cbxFitMake->setEditText(QStringLiteral("VW"));
        w->eFitYear->setText(QStringLiteral("1885"));
        w->bFitSearch->click();
        QCOMPARE(f.prompts.messages, (QStringList{QStringLiteral("Въведете марка на автомобила."),
                                                  QStringLiteral("Годината трябва да е от 1886 до 2100.")}));

        w->eComment->setText(QStringLiteral("Golf"));
        w->bSearch->click();
        QCOMPARE(foundNumbers(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        const QString words = DM->tblMain->Filter();
        w->cbxFitMake->setEditText(QStringLiteral("vw"));
        w->cbxFitModel->setEditText(QStringLiteral("golf iii"));
        w->eFitYear->setText(QStringLiteral("1995"));
        w->bFitSearch->click();
        QCOMPARE(foundNumbers(), QStringList{QStringLiteral("A")});
        QCOMPARE(fVelostok->lblFitment->text(), QStringLiteral("Подходящи: 1 ред "));
        w->cbxFitMake->setEditText(QStringLiteral("Opel"));
        w->cbxFitModel->setEditText(QStringLiteral("Astra F"));
        w->eFitYear->setText(QStringLiteral("1996"));
        w->bFitSearch->click();
        QCOMPARE(DM->tblMain->Filter(), QStringLiteral("(%1) AND FITS(\"Opel\", \"Astra F\", 1996)").arg(words));
        QCOMPARE(foundNumbers(), QStringList{QStringLiteral("B")});
        w->bNewSearch->click();
        QVERIFY(w->cbxFitMake->currentText().isEmpty() && w->cbxFitModel->currentText().isEmpty() && w->eFitYear->text().isEmpty());
        fVelostok->ApplyFilter(QString());
        QVERIFY(fVelostok->lblFitment->text().isEmpty());

        TfCompatibilityCheck check(fVelostok);
        check.Check();
        const QList<QTreeWidgetItem *> found = check.lvFindings->findItems(QStringLiteral("Опел Астра F 1995-"), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first()->text(2), QStringLiteral("Opel Astra F 1995-"));
        check.lvFindings->setCurrentItem(found.first());
        check.bFix->click();
        QCOMPARE(f.scalar(QStringLiteral("SELECT comment FROM main WHERE unit_number = 'C'")).toString(), QStringLiteral("Opel Astra F 1995-"));
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM history WHERE row_id = 3 AND kind = 2")).toInt(), 1);
        QVERIFY(check.lvFindings->findItems(QStringLiteral("Опел Астра F 1995-"), Qt::MatchExactly).isEmpty());
        w->cbxFitMake->setEditText(QStringLiteral("Opel"));
        w->cbxFitModel->setEditText(QStringLiteral("Astra F"));
        w->bFitSearch->click();
        QCOMPARE(foundNumbers(), (QStringList{QStringLiteral("B"), QStringLiteral("C")}));
        QCOMPARE(fVelostok->lblFitment->text(), QStringLiteral("Подходящи: 2 реда "));
    }

    void keyRules()
    {
        AppFixture f;
        f.exec(QStringLiteral("INSERT INTO main (unit_number, deleted) VALUES ('VAL-1', FALSE)"));
        QVERIFY(f.start());
        TfSearchForm *w = fSearchForm;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(activate(w));
        w->eID->setFocus();
        QVERIFY(type(w, QStringLiteral("4:x2")));
        QCOMPARE(w->eID->text(), QStringLiteral("42"));
        w->eQuantity->setFocus();
        QVERIFY(type(w, QStringLiteral("1.x,5E-")));
        QCOMPARE(w->eQuantity->text(), QStringLiteral("1.,5E-"));
        QVERIFY(keys(w, {QStringLiteral("ctrl+a"), QStringLiteral("7")}));
        QCOMPARE(w->eQuantity->text(), QStringLiteral("7"));
        // Enter does not search; Esc closes.
        QVERIFY(keys(w, {QStringLiteral("Return")}));
        QVERIFY(w->isVisible());
        QCOMPARE(DM->tblMain->Filter(), QStringLiteral("[deleted]=False"));
        // The typed beginning of a listed number is searched as typed.
        w->eID->clear();
        w->eQuantity->clear();
        w->cbxUnitNum->setFocus();
        QVERIFY(type(w, QStringLiteral("VAL")));
        w->bSearch->click();
        QCOMPARE(DM->tblMain->Filter(), QStringLiteral("[deleted]=False AND [unit_number] LIKE \"*VAL*\""));
        QVERIFY(activate(w));
        w->cbxUnitNum->setFocus();
        QVERIFY(keys(w, {QStringLiteral("Escape")}));
        QTRY_VERIFY(!w->isVisible());
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestSearch t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_search.moc"
