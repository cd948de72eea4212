// The administrator check with its prompt, what each caller does with its outcome, and the
// users window.
#include "AppFixture.h"
#include "AdminCheck.h"
#include "TApplication.h"
#include "TDBEdit.h"
#include "TDBGrid.h"
#include "uFiters.h"
#include "uPass.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

class TestUsers : public QObject
{
    Q_OBJECT

    // Answers the prompt with a password (or cancels it) and notes whether it came up empty.
    static void answer(AppFixture &f, const QString &password, bool ok = true, bool *wasEmpty = nullptr)
    {
        f.prompts.onModal = [=](QDialog *d) {
            if (d != fPass)
                return int(QDialog::Rejected);
            if (wasEmpty)
                *wasEmpty = fPass->ePass->text().isEmpty();
            QTest::keyClicks(fPass->ePass, password);
            QTest::keyClick(fPass->ePass, ok ? Qt::Key_Return : Qt::Key_Escape);
            return d->result();
        };
    }

    // The users, in place of a new inventory's administrator.
    static void users(AppFixture &f, const QString &values)
    {
        f.exec(QStringLiteral("DELETE FROM users"));
        f.exec(QStringLiteral("INSERT INTO users (user_name, password, pass_stars, comment) VALUES ") + values);
    }

private slots:
    void initTestCase() { initWindowTests(); }

    void administratorLookup()
    {
        AppFixture f;
        users(f, QStringLiteral("('Иван', 'i', '*', ''), ('Administrator', 'Big', '***', ''), ('Admin', 'small', '*****', 'главен')"));
        QVERIFY(f.start());
        bool empty = false;
        // Administrator comes first in the table's order.
        answer(f, QStringLiteral("Big"), true, &empty);
        QCOMPARE(CheckAdminPassword(), TAdminCheck::Passed);
        QVERIFY(empty);
        QCOMPARE(DM->tblUsers->FieldByName(QStringLiteral("user_name"))->AsString(), QStringLiteral("Administrator"));
        answer(f, QStringLiteral("small"), true, &empty);
        QCOMPARE(CheckAdminPassword(), TAdminCheck::WrongPassword);
        // The prompt is empty again right after a wrong password; the comparison keeps case.
        answer(f, QStringLiteral("big"), true, &empty);
        QCOMPARE(CheckAdminPassword(), TAdminCheck::WrongPassword);
        QVERIFY(empty);
        answer(f, QStringLiteral("Big"), false);
        QCOMPARE(CheckAdminPassword(), TAdminCheck::Cancelled);
        // After sorting the users window by "Име", Admin comes first.
        fFiters->DBGrid1->horizontalHeader()->sectionClicked(1);
        QCOMPARE(DM->tblUsers->SortedBy(), QStringList{QStringLiteral("[user_name] ASC")});
        answer(f, QStringLiteral("small"));
        QCOMPARE(CheckAdminPassword(), TAdminCheck::Passed);
        QCOMPARE(DM->tblUsers->FieldByName(QStringLiteral("user_name"))->AsString(), QStringLiteral("Admin"));
    }

    void noAdministratorAndEmptyPasswords()
    {
        {
            // A new inventory's administrator has an empty password: the users window opens.
            AppFixture f;
            QVERIFY(f.start());
            answer(f, QString());
            fVelostok->action(QStringLiteral("Users1"))->trigger();
            QCOMPARE(f.prompts.modals, (QStringList{QStringLiteral("fPass"), QStringLiteral("fFiters")}));
            QCOMPARE(DM->tblUsers->FieldByName(QStringLiteral("user_name"))->AsString(), QStringLiteral("Admin"));
            f.exec(QStringLiteral("DELETE FROM users"));
            DM->tblUsers->Requery();
            answer(f, QString());
            QCOMPARE(CheckAdminPassword(), TAdminCheck::NoAdministrator); // empty table
        }
        {
            AppFixture f;
            users(f, QStringLiteral("('Иван', 'x', '', ''), ('Адмін', 'x', '', ''), (NULL, 'x', '', '')"));
            QVERIFY(f.start());
            answer(f, QStringLiteral("x"));
            QCOMPARE(CheckAdminPassword(), TAdminCheck::NoAdministrator);
        }
        {
            // A stored password that is empty (or null) passes an empty prompt, with Enter or "&Да".
            AppFixture f;
            users(f, QStringLiteral("('admin2', NULL, '', '')"));
            QVERIFY(f.start());
            answer(f, QString());
            QCOMPARE(CheckAdminPassword(), TAdminCheck::Passed);
            f.prompts.onModal = [](QDialog *d) {
                fPass->bYes->click();
                return d->result();
            };
            QCOMPARE(CheckAdminPassword(), TAdminCheck::Passed);
            answer(f, QStringLiteral(" "));
            QCOMPARE(CheckAdminPassword(), TAdminCheck::WrongPassword);
        }
    }

    void usersCommandForEachOutcome()
    {
        AppFixture f;
        users(f, QStringLiteral("('Admin', 'pw', '', '')"));
        QVERIFY(f.start());
        // A value another copy added shows in the pick lists only once the command refreshes them.
        auto listed = [] {
            return fVelostok->DBGrid1->Columns().at(2).PickList.contains(QStringLiteral("нов"));
        };
        f.exec(QStringLiteral("INSERT INTO main (unit_name) VALUES ('нов')"));
        answer(f, QStringLiteral("pw"), false);
        fVelostok->action(QStringLiteral("Users1"))->trigger();
        QCOMPARE(f.prompts.modals, QStringList{QStringLiteral("fPass")});
        QVERIFY(!listed()); // cancelled: nothing at all
        answer(f, QStringLiteral("wrong"));
        fVelostok->action(QStringLiteral("Users1"))->trigger();
        QCOMPARE(f.prompts.modals.size(), 2); // no users window
        QVERIFY(f.prompts.messages.isEmpty());
        QVERIFY(listed());
        answer(f, QStringLiteral("pw"));
        fVelostok->button(QStringLiteral("tbtPreviews"))->click();
        QCOMPARE(f.prompts.modals.mid(2), (QStringList{QStringLiteral("fPass"), QStringLiteral("fFiters")}));
        // No administrator: no window, no message, the lists refreshed.
        f.exec(QStringLiteral("DELETE FROM users; INSERT INTO main (unit_name) VALUES ('друг')"));
        DM->tblUsers->Requery();
        answer(f, QStringLiteral("pw"));
        fVelostok->action(QStringLiteral("Users1"))->trigger();
        QCOMPARE(f.prompts.modals.size(), 5);
        QVERIFY(fVelostok->DBGrid1->Columns().at(2).PickList.contains(QStringLiteral("друг")));
        QVERIFY(f.prompts.messages.isEmpty());
    }

    void purgeForEachOutcome()
    {
        AppFixture f;
        users(f, QStringLiteral("('ADMIN', 'pw', '', '')"));
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_name, deleted) VALUES (1, 'a', TRUE), (2, 'b', FALSE)"));
        QVERIFY(f.start());
        auto deleted = [&] { return f.scalar(QStringLiteral("SELECT count(*) FROM main WHERE deleted")).toInt(); };
        answer(f, QStringLiteral("pw"), false);
        fVelostok->action(QStringLiteral("Erase1"))->trigger();
        QCOMPARE(f.prompts.confirmations, QStringList{QStringLiteral("Предупреждение| Тази функция премахва всички\rзаписи, маркирани като изтрити !")});
        QCOMPARE(deleted(), 1);
        answer(f, QStringLiteral("PW"));
        fVelostok->action(QStringLiteral("Erase1"))->trigger();
        QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Грешна парола на администратора !")});
        QCOMPARE(deleted(), 1);
        // Declining the warning asks no password.
        f.prompts.confirmAnswers << false;
        const int shown = int(f.prompts.modals.size());
        fVelostok->action(QStringLiteral("Erase1"))->trigger();
        QCOMPARE(f.prompts.modals.size(), shown);
        answer(f, QStringLiteral("pw"));
        fVelostok->action(QStringLiteral("Erase1"))->trigger();
        QCOMPARE(deleted(), 0);
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 1);
        // Without an administrator the purge is unguarded.
        f.exec(QStringLiteral("DELETE FROM users; INSERT INTO main (unit_name, deleted) VALUES ('c', TRUE)"));
        DM->tblUsers->Requery();
        answer(f, QStringLiteral("anything"));
        fVelostok->action(QStringLiteral("Erase1"))->trigger();
        QCOMPARE(deleted(), 0);
    }

    void protectedSettingsBoxes()
    {
        AppFixture f;
        users(f, QStringLiteral("('Admin', 'pw', '', '')"));
        QVERIFY(f.start());
        QCheckBox *box = fSettings->cbxPassByChange;
        answer(f, QStringLiteral("pw"), false);
        box->click();
        QVERIFY(!box->isChecked()); // cancelled: back as it was
        QCOMPARE(f.prompts.modals, QStringList{QStringLiteral("fPass")});
        answer(f, QStringLiteral("PW"));
        box->click();
        QVERIFY(!box->isChecked());
        QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Грешна парола на администратора !")});
        answer(f, QStringLiteral("pw"));
        box->click();
        QVERIFY(box->isChecked());
        // A right click changes nothing but asks; cancelling leaves the box as it was.
        answer(f, QString(), false);
        QTest::mouseClick(fSettings->cbxShowSpecial, Qt::RightButton);
        QCOMPARE(f.prompts.modals.size(), 4);
        QVERIFY(!fSettings->cbxShowSpecial->isChecked());
        // Before the main window was ever shown (while the settings load) nothing is asked.
        MainWindowShown = false;
        fSettings->cbxShowSpecial->click();
        QVERIFY(fSettings->cbxShowSpecial->isChecked());
        QCOMPARE(f.prompts.modals.size(), 4);
        MainWindowShown = true;
    }

    void usersWindow()
    {
        AppFixture f;
        users(f, QStringLiteral("('Петър', 'p', '**', ''), ('Admin', 'a', '*', ''), ('иван', 'i', '***', ''), "
                                "('Ивайло', 'iv', '', ''), ('admin', 'x', '', '')"));
        QVERIFY(f.start());
        TfFiters *w = fFiters;
        TDBGrid *grid = w->DBGrid1;
        QCOMPARE(grid->model()->rowCount(), 5);
        QCOMPARE(grid->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Парола"));
        QCOMPARE(grid->model()->index(0, 2).data().toString(), QStringLiteral("**")); // pass_stars, not the password
        QVERIFY(!(grid->model()->flags(grid->model()->index(0, 2)) & Qt::ItemIsEditable));
        w->show();
        // Search as you type: the first name, in the current order, beginning with the text.
        w->tbxSearchValue->insert(QStringLiteral("И")); // typed one letter at a time
        w->tbxSearchValue->insert(QStringLiteral("в"));
        QCOMPARE(DM->tblUsers->FieldByName(QStringLiteral("user_name"))->AsString(), QStringLiteral("иван"));
        QCOMPARE(w->DBEdit1->text(), QStringLiteral("иван"));
        QCOMPARE(grid->currentIndex().row(), 2);
        QTest::keyClicks(w->tbxSearchValue, QStringLiteral("z"));
        QCOMPARE(DM->tblUsers->RecNo(), 2); // none: stays
        w->tbxSearchValue->clear();
        QCOMPARE(DM->tblUsers->RecNo(), 0);
        // The row named exactly "Admin" takes no typing in the grid; "admin" does.
        QVERIFY(DM->tblUsers->FindByKey(QStringLiteral("user_name"), QStringLiteral("Admin")));
        QCOMPARE(DM->tblUsers->RecNo(), 1);
        // The cell editor is always open; keys typed into it go through the grid's handler.
        auto typeIntoCell = [grid](int row, const QString &text) {
            grid->setCurrentIndex(grid->model()->index(row, 3));
            QApplication::processEvents();
            auto *editor = grid->viewport()->findChild<QLineEdit *>();
            if (!editor)
                return QStringLiteral("<no cell editor>");
            QTest::keyClicks(editor, text);
            return editor->text();
        };
        grid->setFocus();
        QCOMPARE(typeIntoCell(1, QStringLiteral("q")), QString());
        QCOMPARE(DM->tblUsers->State(), TDaoTable::dsBrowse);
        // Its password changes through the password box, stored by "&Промени".
        QCOMPARE(w->DBEdit2->echoMode(), QLineEdit::Password);
        w->DBEdit2->selectAll();
        QTest::keyClicks(w->DBEdit2, QStringLiteral("new"));
        w->bYes->click();
        QCOMPARE(f.scalar(QStringLiteral("SELECT password FROM users WHERE user_name = 'Admin'")).toString(), QStringLiteral("new"));
        QCOMPARE(typeIntoCell(4, QStringLiteral("q")), QStringLiteral("q"));
        DM->tblUsers->Cancel();
        // Cut and paste count as typing: the Admin row's name cannot be emptied.
        grid->setCurrentIndex(grid->model()->index(1, 1));
        QApplication::processEvents();
        auto *nameEditor = grid->viewport()->findChildren<QLineEdit *>().last();
        QTest::keyClick(nameEditor, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(nameEditor->text(), QStringLiteral("Admin"));
        // Esc typed into the (always open) cell editor closes the window.
        QTest::keyClick(nameEditor, Qt::Key_Escape);
        QVERIFY(!w->isVisible());
        // Insert adds a row; Ctrl+Del in the cell editor deletes even the Admin row, unasked.
        w->show();
        grid->setCurrentIndex(grid->model()->index(1, 1));
        QApplication::processEvents();
        auto *editor = grid->viewport()->findChildren<QLineEdit *>().last();
        QTest::keyClick(editor, Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(f.prompts.confirmations.isEmpty());
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM users WHERE user_name = 'Admin'")).toInt(), 0);
        QTest::keyClick(grid->viewport()->findChildren<QLineEdit *>().last(), Qt::Key_Insert);
        QCOMPARE(DM->tblUsers->State(), TDaoTable::dsInsert);
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestUsers t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_users.moc"
