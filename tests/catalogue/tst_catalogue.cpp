// The makes-and-models window, the compatibility picker and the compatibility memo, as a user
// works them: with keys and clicks, offscreen and on an X display (tst_catalogue_xcb).
#include "AppFixture.h"
#include "CompatibilityMemo.h"
#include "TApplication.h"
#include "TDBGrid.h"
#include "UserInput.h"
#include "uMarkAndModels.h"
#include "uModels.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

using namespace UserInput;

class TestCatalogue : public QObject
{
    Q_OBJECT

    // In id order: VW Golf, Opel Astra, opel Agila, BMW X5; by model: Agila, Astra, Golf, X5.
    static void catalogue(AppFixture &f)
    {
        f.exec(QStringLiteral("DELETE FROM models"));
        f.exec(QStringLiteral("INSERT INTO models (id, mark_name, model_name, first_date, last_date) VALUES "
                              "(1, 'VW', 'Golf', 1991, 1997), (2, 'Opel', 'Astra', 1992, 1998),"
                              "(3, 'opel', 'Agila', 2000, 2007), (4, 'BMW', 'X5', 1999, 2006)"));
    }

    static QString make() { return DM->tblModels->FieldByName(QStringLiteral("mark_name"))->AsString(); }
    static QString model() { return DM->tblModels->FieldByName(QStringLiteral("model_name"))->AsString(); }

    static QStringList entries(const QComboBox *box)
    {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    }

    // Shows the picker (as the memo does), lets act work it, and gives its result.
    static int pickWith(AppFixture &f, CompatibilityMemo *memo, const std::function<void()> &act)
    {
        int result = -1;
        f.prompts.onModal = [&](QDialog *d) {
            if (d != fMarkAndModels)
                return int(QDialog::Rejected);
            act();
            result = d->result();
            return result;
        };
        memo->pick();
        return result;
    }

    static void choose(const QString &mark, const QString &model, bool add = true)
    {
        fMarkAndModels->dbcbMark->setEditText(mark);
        fMarkAndModels->dbcbModel->setEditText(model);
        (add ? fMarkAndModels->dxButton1 : fMarkAndModels->bCancel)->click();
    }

private slots:
    void initTestCase() { initWindowTests(); }

    void modelsSearchSortAndRefresh()
    {
        AppFixture f;
        catalogue(f);
        QVERIFY(f.start());
        TfModels *w = fModels;
        bool focused = false;
        QString byId, unmatched, byModel;
        QStringList sort;
        f.prompts.onModal = [&](QDialog *d) {
            if (d != w)
                return int(QDialog::Rejected);
            [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(w);
            // The search box has the focus; "op" finds the first make beginning with it, in any case.
            focused = w->focusWidget() == w->tbxSearchValue;
            type(w, QStringLiteral("op"));
            byId = model();
            // Nothing begins with "opx": the grid stays.
            type(w, QStringLiteral("x"));
            unmatched = model();
            // A sort by model name, twice: ascending both times.
            QHeaderView *h = w->DBGrid1->horizontalHeader();
            const QPoint title(h->sectionViewportPosition(2) + 20, 8);
            click(h->viewport(), title);
            click(h->viewport(), title);
            sort = DM->tblModels->SortedBy();
            w->tbxSearchValue->setFocus();
            keys(w, {QStringLiteral("BackSpace")});
            byModel = model();
            f.exec(QStringLiteral("INSERT INTO main (user_id, unit_number) VALUES (77, 'NEW-77')"));
            keys(w, {QStringLiteral("Escape")});
            QTest::qWait(10);
            return w->result();
        };
        fVelostok->Models1Click();
        QCOMPARE(f.prompts.modals, QStringList{QStringLiteral("fModels")});
        QVERIFY(focused);
        QCOMPARE(byId, QStringLiteral("Astra"));
        QCOMPARE(unmatched, QStringLiteral("Astra"));
        QCOMPARE(sort, QStringList{QStringLiteral("[model_name] ASC")});
        QCOMPARE(byModel, QStringLiteral("Agila"));
        QVERIFY(!w->isVisible()); // closed by Esc
        // After the window closes the grid's lists are read again.
        const TDBGrid *grid = fVelostok->DBGrid1;
        QVERIFY(grid->Columns().at(grid->columnOfField(QStringLiteral("unit_number"), -1)).PickList.contains(QStringLiteral("NEW-77")));
        // The order lasts: the picker lists a make's models in it.
        fMarkAndModels->show();
        fMarkAndModels->dbcbMark->setEditText(QStringLiteral("opel"));
        QCOMPARE(entries(fMarkAndModels->dbcbModel), (QStringList{QStringLiteral("Agila"), QStringLiteral("Astra")}));
        fMarkAndModels->bCancel->click();
        QCOMPARE(DM->tblModels->RecordCount(), 4); // the picker left no filter behind
        QCOMPARE(w->tbxSearchValue->text(), QStringLiteral("op")); // nothing reset on closing
    }

    void modelsDeleteAndAppend()
    {
        AppFixture f;
        catalogue(f);
        QVERIFY(f.start());
        TfModels *w = fModels;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        TDBGrid *g = w->DBGrid1;
        g->setCurrentIndex(g->model()->index(1, 1));
        g->setFocus();
        // Ctrl+Del asks first, also with a cell editor open; refused, nothing goes.
        f.prompts.confirmAnswers = {false};
        QVERIFY(type(w, QStringLiteral("Z")));
        QVERIFY(keys(w, {QStringLiteral("ctrl+Delete")}));
        QTRY_COMPARE(f.prompts.confirmations,
                     QStringList{QStringLiteral("Предупреждение|Наистина ли искате да премахнете този запис ?")});
        QVERIFY(keys(w, {QStringLiteral("Escape")})); // the edit is cancelled, the window closes
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(f.scalar(QStringLiteral("SELECT COUNT(*) FROM models")).toInt(), 4);
        QCOMPARE(f.scalar(QStringLiteral("SELECT mark_name FROM models WHERE id = 2")).toString(), QStringLiteral("Opel"));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        g->setFocus();
        QVERIFY(keys(w, {QStringLiteral("ctrl+Delete")}));
        QTRY_COMPARE(f.prompts.confirmations.size(), 2);
        QTRY_COMPARE(f.scalar(QStringLiteral("SELECT COUNT(*) FROM models WHERE id = 2")).toInt(), 0);
        // Ctrl+Ins appends; an untouched new row goes when the focus moves to the search box.
        QVERIFY(keys(w, {QStringLiteral("ctrl+Insert")}));
        QTRY_COMPARE(DM->tblModels->State(), TDaoTable::dsInsert);
        QCOMPARE(g->model()->rowCount(), 4);
        w->tbxSearchValue->setFocus();
        QTRY_COMPARE(DM->tblModels->State(), TDaoTable::dsBrowse);
        QCOMPARE(g->model()->rowCount(), 3);
        // A new row typed into is stored when the grid leaves it.
        w->N1->trigger();
        g->setCurrentIndex(g->model()->index(3, 1));
        QVERIFY(type(w, QStringLiteral("Lada")));
        QVERIFY(keys(w, {QStringLiteral("Up")}));
        QTRY_COMPARE(f.scalar(QStringLiteral("SELECT COUNT(*) FROM models WHERE mark_name = 'Lada'")).toInt(), 1);
        w->hide();
        // An empty catalogue: the question still comes, nothing is deleted.
        f.exec(QStringLiteral("DELETE FROM models"));
        DM->tblModels->Requery();
        w->dxButton1->click();
        QCOMPARE(f.prompts.confirmations.size(), 3);
        QCOMPARE(DM->tblModels->RecordCount(), 0);
    }

    void pickerFiltersAndBuildsTheEntry()
    {
        AppFixture f;
        catalogue(f);
        QVERIFY(f.start());
        TfMarkAndModels *p = fMarkAndModels;
        p->show();
        QCOMPARE(entries(p->dbcbMark).size(), 3); // the makes of the catalogue, Opel and opel as one
        // Before the make changes in a showing, a model is found in the whole catalogue;
        // the years follow the row the table is on, found or not.
        p->dbcbModel->setEditText(QStringLiteral("x"));
        QCOMPARE(p->eFirstDate->text(), QStringLiteral("1999"));
        p->dbcbModel->setEditText(QStringLiteral("Zafira"));
        QCOMPARE(p->eLastDate->text(), QStringLiteral("2006"));
        // The make's models in the table's order; makes compare without regard to case.
        p->dbcbMark->setEditText(QStringLiteral("Opel"));
        QCOMPARE(entries(p->dbcbModel), (QStringList{QStringLiteral("Astra"), QStringLiteral("Agila")}));
        p->dbcbModel->setEditText(QStringLiteral("a"));
        QCOMPARE(p->eFirstDate->text(), QStringLiteral("1992"));
        p->dxButton1->click();
        QCOMPARE(PickedCompatibility, QStringLiteral("Opel a 1992-1998;"));
        QCOMPARE(DM->tblModels->RecordCount(), 4);
        // A make with a double quote: the dataset's error, and the picker goes on working.
        p->show();
        p->dbcbMark->setEditText(QStringLiteral("Op\"el"));
        QCOMPARE(f.prompts.messages.size(), 1);
        p->dbcbMark->setEditText(QStringLiteral("VW"));
        QCOMPARE(entries(p->dbcbModel), QStringList{QStringLiteral("Golf")});
        // Esc and the close box leave the result alone; "&Изход" empties it.
        QTest::keyClick(p->dbcbMark, Qt::Key_Escape);
        QVERIFY(!p->isVisible());
        QCOMPARE(PickedCompatibility, QStringLiteral("Opel a 1992-1998;"));
        QCOMPARE(DM->tblModels->RecordCount(), 4);
        p->show();
        p->close();
        QCOMPARE(PickedCompatibility, QStringLiteral("Opel a 1992-1998;"));
        p->show();
        p->bCancel->click();
        QVERIFY(PickedCompatibility.isEmpty());
    }

    void pickerKeysReachTheFirstEntry()
    {
        AppFixture f;
        catalogue(f);
        QVERIFY(f.start());
        TfMarkAndModels *p = fMarkAndModels;
        p->dbcbMark->setEditText(QString());
        p->show();
        QVERIFY(QTest::qWaitForWindowExposed(p));
        // Down, or Up, from an empty box: its first entry, and the make's models follow.
        for (const auto &[box, key, first] : {std::tuple{p->dbcbMark, "Down", "BMW"}, std::tuple{p->dbcbModel, "Up", "X5"},
                                              std::tuple{p->dbcbMark, "Up", "BMW"}}) {
            box->setEditText(QString());
            box->setFocus();
            QVERIFY(keys(p, {QLatin1String(key)}));
            QCOMPARE(box->currentText(), QLatin1String(first));
        }
        QVERIFY(keys(p, {QStringLiteral("Down")}));
        QCOMPARE(p->dbcbMark->currentText(), entries(p->dbcbMark).value(1));
        p->reject();
    }

    void memoPicksAndLimits()
    {
        AppFixture f;
        catalogue(f);
        QVERIFY(f.start());
        CompatibilityMemo memo;
        memo.setTypingLimit(30);
        memo.show();
        // Two picks into an empty memo, joined by one space; a cancelled pick changes nothing.
        QCOMPARE(pickWith(f, &memo, [] { choose(QStringLiteral("VW"), QStringLiteral("Golf")); }), int(QDialog::Accepted));
        QCOMPARE(pickWith(f, &memo, [] { choose(QStringLiteral("Opel"), QStringLiteral("Astra")); }), int(QDialog::Accepted));
        QCOMPARE(pickWith(f, &memo, [] { choose(QStringLiteral("BMW"), QStringLiteral("X5"), false); }), int(QDialog::Rejected));
        // A pick goes beyond the typing limit.
        QCOMPARE(memo.text(), QStringLiteral("VW Golf 1991-1997; Opel Astra 1992-1998;"));
        // Typing stops at the limit, a line break counting two.
        memo.clear();
        f.prompts.onModal = {};
        QTest::keyClicks(&memo, QStringLiteral("12345678901234567890123456"));
        QTest::keyClick(&memo, Qt::Key_Return); // the picker (cancelled), then the line break
        QCOMPARE(f.prompts.modals.size(), 4);
        QTest::keyClicks(&memo, QStringLiteral("abcdef"));
        QCOMPARE(memo.text(), QStringLiteral("12345678901234567890123456\r\nab"));
        // Pasting is cut to the room left; the menu offers copy and cut only for a selection.
        QGuiApplication::clipboard()->setText(QStringLiteral("xyz"));
        memo.clear();
        QTest::keyClicks(&memo, QStringLiteral("1234567890123456789012345678"));
        memo.PopupMenu1Popup();
        QVERIFY(memo.Paste1->isEnabled());
        QVERIFY(!memo.Copy1->isEnabled());
        memo.Paste1Click();
        QCOMPARE(memo.text(), QStringLiteral("1234567890123456789012345678xy"));
        memo.selectAll();
        memo.PopupMenu1Popup();
        QVERIFY(memo.Cut1->isEnabled());
        memo.Cut1Click();
        QVERIFY(memo.text().isEmpty());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1234567890123456789012345678xy"));
        QGuiApplication::clipboard()->clear();
        memo.PopupMenu1Popup();
        QVERIFY(!memo.Paste1->isEnabled());
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestCatalogue t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_catalogue.moc"
