// The record editor as the edit command opens it: loading, the user and password checks,
// storing in field order with the fields' conversions, bad input, a row changed by another copy,
// and the key rules, typed offscreen and on an X display (tst_editor_xcb).
#include "AppFixture.h"
#include "CompatibilityMemo.h"
#include "TApplication.h"
#include "PickListBox.h"
#include "UserInput.h"
#include "uMarkAndModels.h"
#include "ueditor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace UserInput;

class TestEditor : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppFixture> mApp;
    // How the picker is worked when the editor opens it; cancelled when empty.
    std::function<void()> mPick;

    QVariant stored(const char *field) const
    {
        return mApp->scalar(QStringLiteral("SELECT %1 FROM main WHERE id = 1").arg(QLatin1String(field)));
    }

    // One row (id 1, number 5) and the main window on it; passByChange sets the setting.
    void start(bool passByChange)
    {
        mApp = std::make_unique<AppFixture>();
        mApp->exec(QStringLiteral(
            "INSERT INTO main (id, user_id, unit_number, unit_name, quantity, price, second_price, comment, deliver_name, "
            "modifier) VALUES (1, 5, 'VAL-0615', 'Водна помпа', 2.5, 10, NULL, 'VW Golf 1991-1997;', 'Авто', 'Стар'),"
            "(2, 6, 'K-1', 'Ключ', 1, 1, 1, '', '', '')"));
        mApp->exec(QStringLiteral("DELETE FROM users; INSERT INTO users (user_name, password, pass_stars, comment) VALUES "
                                  "('Ivan', 'ivan1', '*', ''), ('Ivanka', 'ivanka1', '*', ''), ('Petar', NULL, '', '')"));
        QVERIFY(mApp->start());
        fSettings->cbxPassByChange->setChecked(passByChange);
        QVERIFY(DM->tblMain->FindByKey(QStringLiteral("unit_number"), QStringLiteral("VAL-0615")));
    }

    // Opens the editor by the edit command; act works it while it is shown.
    void edit(const std::function<void()> &act)
    {
        mApp->prompts.onModal = [this, act](QDialog *d) {
            if (d == fMarkAndModels && mPick)
                mPick();
            if (d != fEditor)
                return d->result();
            [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(d);
            act();
            if (d->isVisible())
                d->reject();
            return d->result();
        };
        fVelostok->Records->Connect1Click();
    }

    static QStringList entries(const QComboBox *box)
    {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    }

private slots:
    void initTestCase() { initWindowTests(); }
    void cleanup()
    {
        mApp.reset();
        mPick = {};
    }

    void loadsAndStoresWithoutPasswords()
    {
        start(false);
        TfEditor *e = fEditor;
        QStringList numbers;
        edit([&] {
            QVERIFY(!e->cbxUsers->isVisible() && !e->ePassword->isVisible() && !e->lblUsers->isVisible()
                    && !e->lblPass->isVisible());
            QCOMPARE(e->eID->text(), QStringLiteral("5"));
            QCOMPARE(e->cbxUnitName->currentText(), QStringLiteral("Водна помпа"));
            QCOMPARE(e->eQuantity->text(), QStringLiteral("2,5"));
            QVERIFY(e->eSecondPrice->text().isEmpty());
            // The grid's list, read when the box is first opened; the text stays.
            QVERIFY(!e->cbxUnitNum->listAttached());
            e->cbxUnitNum->showPopup();
            numbers = entries(e->cbxUnitNum);
            e->cbxUnitNum->hidePopup();
            QCOMPARE(e->cbxUnitNum->currentText(), QStringLiteral("VAL-0615"));
            // Emptied "№" takes the next number; a supplier of 45 is stored cut to 30.
            e->eID->clear();
            e->eDeliverName->setText(QString(45, QLatin1Char('d')));
            e->eComment->setText(QStringLiteral("ред 1\nред 2"));
            e->bChange->click();
            QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
            QVERIFY(e->isVisible()); // a store does not close the window
        });
        QCOMPARE(numbers, (QStringList{QStringLiteral("K-1"), QStringLiteral("VAL-0615")}));
        QCOMPARE(stored("user_id").toInt(), 7);
        QCOMPARE(stored("deliver_name").toString(), QString(30, QLatin1Char('d')));
        QCOMPARE(stored("comment").toString(), QStringLiteral("ред 1\r\nред 2"));
        QCOMPARE(stored("modifier").toString(), QStringLiteral("Стар"));
        QVERIFY(!stored("last_modified").isNull());
    }

    void userAndPasswordChecks()
    {
        start(true);
        TfEditor *e = fEditor;
        QStringList &messages = mApp->prompts.messages;
        edit([&] {
            QVERIFY(e->cbxUsers->isVisible() && e->ePassword->isVisible());
            QCOMPARE(entries(e->cbxUsers), (QStringList{QStringLiteral("Ivan"), QStringLiteral("Ivanka"), QStringLiteral("Petar")}));
            e->eQuantity->setText(QStringLiteral("3"));
            e->bChange->click();
            QCOMPARE(messages.value(0), QStringLiteral("Не сте въвели име на \"Променил\" !"));
            QVERIFY(e->focusWidget() == e->cbxUsers || e->focusWidget() == e->cbxUsers->lineEdit());
            e->cbxUsers->setEditText(QStringLiteral("iv"));
            e->bChange->click();
            QCOMPARE(messages.value(1), QStringLiteral("Не сте въвели парола на променящия !"));
            // "iv" finds Ivan, so Ivanka's password is wrong.
            e->ePassword->setText(QStringLiteral("ivanka1"));
            e->bChange->click();
            QCOMPARE(messages.value(2), QStringLiteral("Сгрешихте паролата !"));
            QCOMPARE(e->ePassword->text(), QStringLiteral("ivanka1"));
            // No user's name begins with "x": nothing at all.
            e->cbxUsers->setEditText(QStringLiteral("x"));
            e->bChange->click();
            QCOMPARE(messages.size(), 3);
            // A user without a password can never store; the empty-password check comes first.
            e->cbxUsers->setEditText(QStringLiteral("Petar"));
            e->ePassword->clear();
            e->bChange->click();
            QCOMPARE(messages.value(3), QStringLiteral("Не сте въвели парола на променящия !"));
            QCOMPARE(stored("quantity").toDouble(), 2.5);
            e->cbxUsers->setEditText(QStringLiteral("iv"));
            e->ePassword->setText(QStringLiteral("ivan1"));
            e->bChange->click();
        });
        QCOMPARE(messages.size(), 4);
        QCOMPARE(stored("quantity").toDouble(), 3.0);
        QCOMPARE(stored("modifier").toString(), QStringLiteral("iv")); // as typed
        // The next showing keeps the user name and asks for the password again; a name longer
        // than its field is stored cut (a file may hold such a user; a server keeps the width).
        const int longName = mApp->server ? 30 : 40;
        edit([&] {
            QCOMPARE(e->cbxUsers->currentText(), QStringLiteral("iv"));
            QVERIFY(e->ePassword->text().isEmpty());
            mApp->exec(QStringLiteral("UPDATE users SET user_name = '%1' WHERE user_name = 'Petar'").arg(QString(longName, QLatin1Char('P'))));
            DM->tblUsers->Requery();
            e->cbxUsers->setEditText(QString(longName, QLatin1Char('P')));
            e->ePassword->setText(QStringLiteral("x"));
            mApp->exec(QStringLiteral("UPDATE users SET password = 'x' WHERE user_name LIKE 'PPP%'"));
            DM->tblUsers->Requery();
            e->bChange->click();
        });
        QCOMPARE(stored("modifier").toString(), QString(30, QLatin1Char('P')));
        // No users at all: nothing is stored, nothing breaks.
        mApp->exec(QStringLiteral("DELETE FROM users"));
        DM->tblUsers->Requery();
        edit([&] {
            QVERIFY(entries(e->cbxUsers).isEmpty());
            e->ePassword->setText(QStringLiteral("x"));
            e->eQuantity->setText(QStringLiteral("9"));
            e->bChange->click();
        });
        QCOMPARE(stored("quantity").toDouble(), 3.0);
    }

    void badNumbersStopTheStore_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("dot") << "eQuantity" << "12.5" << "'12.5' is not a valid floating point value for field 'quantity'";
        QTest::newRow("two separators") << "ePrice" << "1,2,3" << "'1,2,3' is not a valid floating point value for field 'price'";
        QTest::newRow("letters") << "eSecondPrice" << "abc" << "'abc' is not a valid floating point value for field 'second_price'";
        QTest::newRow("beyond 32 bits") << "eID" << "99999999999" << "'99999999999' is not a valid integer value for field 'user_id'";
    }

    void badNumbersStopTheStore()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, error);
        start(false);
        TfEditor *e = fEditor;
        edit([&] {
            e->cbxUnitNum->setEditText(QStringLiteral("NEW-1"));
            e->eDeliverName->setText(QStringLiteral("Нов"));
            auto *bad = e->findChild<QLineEdit *>(box);
            bad->setText(text); // as pasted: the key rules do not stand in the way
            e->bChange->click();
            QCOMPARE(mApp->prompts.messages, QStringList{error});
            QVERIFY(e->isVisible());
            // Nothing posted; the fields before the bad one hold the new values.
            QCOMPARE(DM->tblMain->State(), TDaoTable::dsEdit);
            QCOMPARE(stored("unit_number").toString(), QStringLiteral("VAL-0615"));
            if (box != QLatin1String("eID"))
                QCOMPARE(DM->tblMain->FieldByName(QStringLiteral("unit_number"))->AsString(), QStringLiteral("NEW-1"));
            QCOMPARE(DM->tblMain->FieldByName(QStringLiteral("deliver_name"))->AsString(), QStringLiteral("Авто"));
            // Corrected, the next "&Промяна" stores every field.
            bad->setText(QStringLiteral("4"));
            e->bChange->click();
            QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        });
        QCOMPARE(stored("unit_number").toString(), QStringLiteral("NEW-1"));
        QCOMPARE(stored("deliver_name").toString(), QStringLiteral("Нов"));
        // A failed store and then closing: the half-done assignments are dropped, not stored
        // by the re-reading after the window closes.
        QVERIFY(DM->tblMain->FindByKey(QStringLiteral("unit_number"), QStringLiteral("NEW-1")));
        edit([&] {
            e->eDeliverName->setText(QStringLiteral("Друг"));
            e->cbxUnitNum->setEditText(QStringLiteral("HALF"));
            e->ePrice->setText(QStringLiteral("x"));
            e->bChange->click();
            QCOMPARE(DM->tblMain->State(), TDaoTable::dsEdit);
        });
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QCOMPARE(stored("unit_number").toString(), QStringLiteral("NEW-1"));
    }

    void rowChangedByAnotherCopy()
    {
        start(false);
        TfEditor *e = fEditor;
        edit([&] {
            mApp->exec(QStringLiteral("UPDATE main SET unit_name = 'Чужда промяна' WHERE id = 1"));
            e->cbxUnitName->setEditText(QStringLiteral("Моята промяна"));
            e->eQuantity->setText(QStringLiteral("8"));
            e->bChange->click();
            QCOMPARE(mApp->prompts.messages.size(), 1);
            QVERIFY(mApp->prompts.messages.first().startsWith(QStringLiteral("Записът не е запазен")));
            QCOMPARE(e->cbxUnitName->currentText(), QStringLiteral("Моята промяна"));
            QCOMPARE(e->eQuantity->text(), QStringLiteral("8"));
            QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        });
        QCOMPARE(mApp->prompts.messages.size(), 1); // closing stores nothing and raises nothing
        QCOMPARE(stored("unit_name").toString(), QStringLiteral("Чужда промяна"));
        // Reopened, it shows the other copy's change and stores again.
        QVERIFY(DM->tblMain->FindByKey(QStringLiteral("unit_number"), QStringLiteral("VAL-0615")));
        edit([&] {
            QCOMPARE(e->cbxUnitName->currentText(), QStringLiteral("Чужда промяна"));
            e->eQuantity->setText(QStringLiteral("8"));
            e->bChange->click();
        });
        QCOMPARE(stored("quantity").toDouble(), 8.0);
        // Deleted by another copy: told the same way.
        mApp->prompts.messages.clear();
        edit([&] {
            mApp->exec(QStringLiteral("DELETE FROM main WHERE id = 1"));
            e->bChange->click();
            QCOMPARE(mApp->prompts.messages.size(), 1);
            QVERIFY(mApp->prompts.messages.first().startsWith(QStringLiteral("Записът не е запазен")));
        });
        QCOMPARE(mApp->scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 1);
    }

    void memoPicksAreStoredCut()
    {
        start(false);
        TfEditor *e = fEditor;
        edit([&] {
            e->eComment->setText(QString(120, QLatin1Char('c')));
            mPick = [] {
                fMarkAndModels->dbcbMark->setEditText(QStringLiteral("Opel"));
                fMarkAndModels->dbcbModel->setEditText(QStringLiteral("Astra"));
                fMarkAndModels->eFirstDate->setText(QStringLiteral("1992"));
                fMarkAndModels->eLastDate->setText(QStringLiteral("1998"));
                fMarkAndModels->dxButton1->click();
            };
            e->eComment->Select1->trigger();
            QCOMPARE(e->eComment->text(), QString(120, QLatin1Char('c')) + QStringLiteral(" Opel Astra 1992-1998;"));
            e->bChange->click();
        });
        QCOMPARE(stored("comment").toString(), QString(120, QLatin1Char('c')) + QStringLiteral(" Opel Astra 199"));
    }

    void keyRules()
    {
        start(true);
        TfEditor *e = fEditor;
        edit([&] {
            QVERIFY(activate(e));
            e->eID->clear();
            e->eID->setFocus();
            QVERIFY(type(e, QStringLiteral("1:a2")));
            QCOMPARE(e->eID->text(), QStringLiteral("12"));
            QVERIFY(keys(e, {QStringLiteral("BackSpace")}));
            QCOMPARE(e->eID->text(), QStringLiteral("1"));
            // Shortcuts are no typed characters: Ctrl+A selects all.
            QVERIFY(keys(e, {QStringLiteral("ctrl+a"), QStringLiteral("7")}));
            QCOMPARE(e->eID->text(), QStringLiteral("7"));
            // The first key in a loaded box reads its list and acts where the cursor is.
            QVERIFY(!e->cbxUnitNum->listAttached());
            e->cbxUnitNum->setFocus();
            e->cbxUnitNum->lineEdit()->setCursorPosition(4);
            QVERIFY(type(e, QStringLiteral("XY")));
            QVERIFY(e->cbxUnitNum->listAttached());
            QCOMPARE(e->cbxUnitNum->currentText(), QStringLiteral("VAL-XY0615"));
            // What is typed stays as typed, though it begins a listed entry.
            const std::pair<QComboBox *, QString> typed[] = {{e->cbxUnitNum, QStringLiteral("K-")},
                                                             {e->cbxUsers, QStringLiteral("Iv")}};
            for (const auto &[box, text] : typed) {
                box->setEditText(QString());
                box->setFocus();
                QVERIFY(type(e, text));
                QCOMPARE(box->currentText(), text);
            }
            // A number box: the characters of a float, "." and the regional ",".
            e->eQuantity->clear();
            e->eQuantity->setFocus();
            QVERIFY(type(e, QStringLiteral("+-E.e,5xЖ ")));
            QCOMPARE(e->eQuantity->text(), QStringLiteral("+-E.e,5"));
            // Enter in the memo: the picker, then the line break.
            e->eComment->clear();
            e->eComment->setFocus();
            QVERIFY(keys(e, {QStringLiteral("Return")}));
            QTRY_COMPARE(mApp->prompts.modals.count(QStringLiteral("fMarkAndModels")), 1);
            QCOMPARE(e->eComment->text(), QStringLiteral("\r\n"));
            // Esc in a text box closes the window.
            e->eDeliverNum->setFocus();
            // (the picker was shown and hidden in its place: the editor is made active again)
            QVERIFY(activate(e));
            QTRY_COMPARE(QApplication::focusWidget(), e->eDeliverNum);
            QVERIFY(keys(e, {QStringLiteral("Escape")}));
            QTRY_VERIFY(!e->isVisible());
        });
        QCOMPARE(fEditor->result(), int(QDialog::Rejected));
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestEditor t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_editor.moc"
