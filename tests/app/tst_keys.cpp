// Keys as a real keyboard gives them: the program on an X display (Xvfb, Qt's xcb platform), keys
// sent by xdotool. Delete and Ctrl+Delete carry the text DEL there, Enter a carriage return,
// letters their character.
#include "AppFixture.h"
#include "HelpViewer.h"
#include "TApplication.h"
#include "TDBGrid.h"
#include "uFiters.h"
#include "uRowHistory.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTimer>

class TestKeys : public QObject
{
    Q_OBJECT

    // Makes window the active window and sends it keys ("ctrl+Delete", "x", "Return").
    static bool send(QWidget *window, const QStringList &keys)
    {
        window->raise();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            return false;
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), QStringList{QStringLiteral("key"), QStringLiteral("--delay"),
                                                             QStringLiteral("30")} + keys);
        // The program goes on taking events while the keys arrive.
        if (!xdotool.waitForStarted(10000))
            return false;
        while (xdotool.state() != QProcess::NotRunning) {
            xdotool.waitForFinished(10);
            QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        return xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
    }

    static int count(AppFixture &f, const QString &where)
    {
        return f.scalar(QStringLiteral("SELECT count(*) FROM ") + where).toInt();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"),
                 "needs an X display: run it through tests/support/on-xvfb.sh");
        initWindowTests();
    }

    void usersWindowDeletesTheAdminRowWithCtrlDelete()
    {
        AppFixture f;
        f.exec(QStringLiteral("DELETE FROM users; INSERT INTO users (user_name, password) VALUES ('Admin', 'a'), ('Иван', 'i')"));
        QVERIFY(f.start());
        TfFiters *w = fFiters;
        TDBGrid *grid = w->DBGrid1;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, 3));
        QCOMPARE(DM->tblUsers->FieldByName(QStringLiteral("user_name"))->AsString(), QStringLiteral("Admin"));
        // A letter on the "Admin" row is dropped...
        QVERIFY(send(w, {QStringLiteral("x")}));
        QCOMPARE(DM->tblUsers->State(), TDaoTable::dsBrowse);
        // ...Ctrl+Delete deletes it, unasked.
        QVERIFY(send(w, {QStringLiteral("ctrl+Delete")}));
        QTRY_COMPARE(count(f, QStringLiteral("users WHERE user_name = 'Admin'")), 0);
        QVERIFY(f.prompts.confirmations.isEmpty());
        // On another row a letter starts typing into the cell.
        QCOMPARE(DM->tblUsers->FieldByName(QStringLiteral("user_name"))->AsString(), QStringLiteral("Иван"));
        grid->setCurrentIndex(grid->model()->index(0, 3));
        QVERIFY(send(w, {QStringLiteral("k")}));
        QTRY_VERIFY(grid->editorOpen());
        QCOMPARE(grid->viewport()->findChildren<QLineEdit *>().last()->text(), QStringLiteral("k"));
        w->hide();
    }

    void inventoryGridKeys()
    {
        AppFixture f;
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_name, locked) VALUES (1, 'Филтър', 1), (2, 'Свещ', 0)"));
        QVERIFY(f.start());
        TDBGrid *grid = fVelostok->DBGrid1;
        QVERIFY(QTest::qWaitForWindowExposed(fVelostok));
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(1, 2));
        // A letter opens the cell editor with the letter in place of the old text; Esc drops it.
        QVERIFY(send(fVelostok, {QStringLiteral("z")}));
        QTRY_VERIFY(grid->editorOpen());
        auto *editor = grid->viewport()->findChildren<QLineEdit *>().last();
        QCOMPARE(editor->text(), QStringLiteral("z"));
        QVERIFY(send(fVelostok, {QStringLiteral("Escape"), QStringLiteral("Escape")}));
        QTRY_VERIFY(!grid->editorOpen());
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        // Enter outside a cell editor opens the record editor.
        QVERIFY(send(fVelostok, {QStringLiteral("Return")}));
        QTRY_VERIFY(f.prompts.modals.contains(QStringLiteral("fEditor")));
        // With passwords required on change, a locked row takes no typing, but Ctrl+Delete (no
        // typed character) still deletes it after the question.
        fSettings->cbxPassByChange->setChecked(true);
        grid->setFocus();
        DM->tblMain->First();
        QVERIFY(send(fVelostok, {QStringLiteral("z")}));
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QVERIFY(!grid->editorOpen());
        QVERIFY(send(fVelostok, {QStringLiteral("ctrl+Delete")}));
        QTRY_COMPARE(count(f, QStringLiteral("main WHERE unit_name = 'Филтър'")), 0);
        QCOMPARE(f.prompts.confirmations, QStringList{QStringLiteral("Confirm|Delete record?")});
        fSettings->cbxPassByChange->setChecked(false);
        // Ctrl+H in an open cell editor: what was typed is stored, and the history shows it.
        QString newest;
        f.prompts.onModal = [&](QDialog *d) {
            if (auto *w = qobject_cast<TfRowHistory *>(d))
                newest = w->lvHistory->item(0, 3)->text() + QLatin1Char('>') + w->lvHistory->item(0, 5)->text();
            return int(QDialog::Rejected);
        };
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, 2));
        QVERIFY(send(fVelostok, {QStringLiteral("y"), QStringLiteral("ctrl+h")}));
        QTRY_VERIFY(f.prompts.modals.contains(QStringLiteral("fRowHistory")));
        QCOMPARE(newest, QStringLiteral("Наименование>y"));
    }

    void saveDialogAsksNothingOfItsOwnAndSpeaksBulgarian()
    {
        QTemporaryDir dir;
        QFile existing(dir.filePath(QStringLiteral("Склад.txt")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        Prompts::FileRequest r;
        r.folder = dir.path();
        r.fileName = QStringLiteral("Склад.txt");
        r.filter = QStringLiteral("Text files|*.txt");
        r.defaultSuffix = QStringLiteral("txt");
        r.mustExist = false;
        // Whatever box the dialog itself opens is recorded and answered No (which would keep the
        // dialog open: it is then cancelled).
        QStringList asked;
        QString saveButton;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            QWidget *top = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(top)) {
                asked << box->text();
                box->done(QMessageBox::No);
            } else if (auto *d = qobject_cast<QFileDialog *>(top); d && saveButton.isEmpty()) {
                saveButton = d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->text();
                QTimer::singleShot(0, d, [d] { send(d, {QStringLiteral("Return")}); });
            } else if (d && !asked.isEmpty()) {
                d->reject();
            }
        });
        watch.start(50);
        const QString chosen = prompts().saveFile(r);
        watch.stop();
        QCOMPARE(asked, QStringList());
        QCOMPARE(QFileInfo(chosen), QFileInfo(existing));
        // Qt's own texts in Bulgarian: the dialog's button, a message box's OK.
        QVERIFY2(!saveButton.contains(QLatin1String("Save")), qPrintable(saveButton));
        QMessageBox box(QMessageBox::NoIcon, QString(), QString(), QMessageBox::Ok | QMessageBox::Cancel);
        QVERIFY2(!box.button(QMessageBox::Ok)->text().contains(QLatin1String("OK")), qPrintable(box.button(QMessageBox::Ok)->text()));
    }

    // The manual, opened from the main window, takes keys while the modal settings window stays
    // open, before and after F1 there shows it at their section (the settings used to block it).
    void manualBesideTheModalSettings()
    {
        AppFixture f;
        QVERIFY(f.start());
        QFile manual(Help::helpFilePath());
        QVERIFY(manual.open(QIODevice::WriteOnly) && manual.write("<h1 id=\"start\">Начало</h1><h1 id=\"grid\">Таблица</h1><h1 id=\"settings\">Настройки</h1>") > 0);
        manual.close();
        QVERIFY(send(fVelostok, {QStringLiteral("F1")}));
        THelpViewer *v = Help::viewer();
        const QString fromMain = v->Browser->source().fragment();
        fSettings->setWindowModality(Qt::ApplicationModal); // as the settings command's exec shows it
        fSettings->show();
        QVERIFY(QTest::qWaitForWindowExposed(fSettings));
        QVERIFY(send(v, {QStringLiteral("Escape")})); // the manual open before them: closed
        QTRY_VERIFY(!v->isVisible());
        QVERIFY(send(fSettings, {QStringLiteral("F1")}));
        QCOMPARE(v->Browser->source().fragment(), QStringLiteral("settings"));
        QVERIFY(send(v, {QStringLiteral("alt+Left")})); // back
        QTRY_COMPARE(v->Browser->source().fragment(), fromMain);
        QVERIFY(fSettings->isVisible() && QApplication::activeModalWidget() == fSettings);
        fSettings->hide();
        delete v;
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestKeys t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_keys.moc"
