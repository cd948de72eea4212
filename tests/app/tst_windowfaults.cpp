// Faults met by the commands of the windows: the Nth write, sync (and for plain files the rename)
// fails with an I/O error or a full disk, N = 1, 2, 3, … until the command completes without
// meeting one. After each: the database file is whole and holds every row committed before, the
// user was told (never a success message after a failure), nothing half-written is left in a
// file's place, and with the fault lifted the program goes on working.
#include "AppFixture.h"
#include "base/Clock.h"
#include "DatabaseFiles.h"
#include "ExportCommands.h"
#include "FaultIo.h"
#include "FaultVfs.h"
#include "Reliability.h"
#include "RowClipboard.h"
#include "sqlite/SqliteStatement.h"
#include "TApplication.h"
#include "TDBGrid.h"

#include <QClipboard>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>

class TestWindowFaults : public QObject
{
    Q_OBJECT

    struct Fault
    {
        int kind; // faultvfs::Kind or faultio::Kind, as the scenario uses
        bool full;
        const char *name;
    };
    static QList<Fault> engineFaults()
    {
        return {{int(faultvfs::Kind::Write), false, "write I/O error"},
                {int(faultvfs::Kind::Write), true, "full disk"},
                {int(faultvfs::Kind::Sync), false, "sync error"}};
    }
    static QList<Fault> fileFaults()
    {
        return {{int(faultio::Kind::Write), false, "write I/O error"},
                {int(faultio::Kind::Write), true, "full disk"},
                {int(faultio::Kind::Sync), false, "sync error"},
                {int(faultio::Kind::Rename), false, "rename refused"}};
    }

    int mFaults = 0;

    // Runs op with the Nth operation failing, N = 1, 2, … until op meets no fault; check runs after
    // each with whether the fault was met. Engine faults come from the test VFS, file faults from
    // the plain file calls.
    void sweep(const char *scenario, bool engine, const std::function<void()> &op, const std::function<void(bool hit)> &check)
    {
        int met = 0;
        for (const Fault &fault : engine ? engineFaults() : fileFaults()) {
            for (int n = 1;; ++n) {
                QVERIFY2(n < 2000, scenario);
                if (engine)
                    faultvfs::arm(faultvfs::Kind(fault.kind), n, fault.full);
                else
                    faultio::arm(faultio::Kind(fault.kind), n, fault.full);
                op();
                const bool hit = engine ? faultvfs::hit() : faultio::hit();
                faultvfs::disarm();
                faultio::disarm();
                check(hit);
                if (QTest::currentTestFailed()) {
                    qWarning("%s: %s at %d", scenario, fault.name, n);
                    return;
                }
                if (!hit)
                    break;
                ++met;
            }
        }
        qInfo("%s: %d faults met", scenario, met);
        QVERIFY(met > 0);
        mFaults += met;
    }

    static void whole(AppFixture &f, int rows)
    {
        QCOMPARE(f.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QCOMPARE(f.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), rows);
    }

    static void usable()
    {
        QVERIFY(fVelostok->isEnabled());
        QVERIFY(fVelostok->ProgressBar1->isHidden());
        QVERIFY(!DM->BulkUpdate);
        QVERIFY(!DM->tblMain->ControlsDisabled());
        QVERIFY(!DM->tblMain->BulkMode());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    static QByteArray digest(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
    }

    // Files in a folder other than the ones named: what an interrupted write left behind.
    static QStringList strays(const QString &folder, const QStringList &expected)
    {
        QStringList left;
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            if (!expected.contains(name))
                left << name;
        if (!left.isEmpty())
            qWarning() << "left in" << folder << left;
        return left;
    }

private slots:
    void initTestCase()
    {
        initWindowTests();
        faultvfs::install();
        Clock::setSource([] { return QDateTime(QDate(2026, 12, 7), QTime(18, 0)); });
    }
    void cleanupTestCase()
    {
        Clock::setSource({});
        reliabilityCount("faults", mFaults);
        reliabilityCount("survived", mFaults);
    }

    void renumbering_data()
    {
        QTest::addColumn<int>("batchMs");
        QTest::newRow("a batch a row") << 0;
        QTest::newRow("one batch") << 100000;
    }
    void renumbering()
    {
        // The shown rows get 1..n in order. A failure keeps the rows of the batches committed
        // before it (a prefix), says where it stopped and leaves that row being edited with its
        // new number; storing it and renumbering again completes the work.
        QFETCH(int, batchMs);
        constexpr int Rows = 12;
        AppFixture f;
        f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < %1) "
                              "INSERT INTO main (user_id, unit_name) SELECT 100 + i, 'ред ' || i FROM k").arg(Rows));
        QVERIFY(f.start());
        DM->DataBase->setLockTimes(5000, 2000, batchMs);
        TDaoTable *t = DM->tblMain;
        const auto numbers = [&] {
            QList<int> v;
            SqliteConnection c;
            c.open(f.db());
            for (int id = 1; id <= Rows; ++id)
                v << c.scalar(QStringLiteral("SELECT user_id FROM main WHERE id = %1").arg(id)).toInt();
            return v;
        };
        sweep(
            "renumbering", true, [] { fVelostok->action(QStringLiteral("N2"))->trigger(); },
            [&](bool hit) {
                whole(f, Rows);
                usable();
                const QList<int> v = numbers();
                int k = 0;
                while (k < Rows && v.at(k) == k + 1)
                    ++k;
                for (int i = k; i < Rows; ++i)
                    QCOMPARE(v.at(i), 101 + i); // the rest untouched
                if (f.prompts.messages.isEmpty()) {
                    QCOMPARE(k, Rows); // told nothing: all done
                    QCOMPARE(t->State(), TDaoTable::dsBrowse);
                } else {
                    QVERIFY(hit);
                    QCOMPARE(f.prompts.messages.size(), 1);
                    const QString m = f.prompts.messages.takeFirst();
                    QVERIFY2(k < Rows, qPrintable(m));
                    const QRegularExpressionMatch stop = QRegularExpression(QStringLiteral("^Преномерирането спря на ред (\\d+);")).match(m);
                    if (stop.hasMatch())
                        QCOMPARE(stop.captured(1).toInt(), k + 1);
                    // Left editing the first row not stored, with the number it was to get.
                    QCOMPARE(t->State(), TDaoTable::dsEdit);
                    QCOMPARE(t->RecNo(), k);
                    QCOMPARE(t->FieldByName(QStringLiteral("user_id"))->AsInteger(), k + 1);
                    t->Post();
                    QCOMPARE(numbers().at(k), k + 1);
                    fVelostok->action(QStringLiteral("N2"))->trigger();
                    QCOMPARE(f.prompts.messages, QStringList());
                    QCOMPARE(numbers().last(), Rows);
                }
                f.exec(QStringLiteral("UPDATE main SET user_id = 100 + id"));
                fVelostok->Records->Rollback1Click();
            });
    }

    void rowPaste_data()
    {
        QTest::addColumn<int>("batchMs");
        QTest::newRow("a batch a cell") << 0;
        QTest::newRow("one batch") << 100000;
    }
    void rowPaste()
    {
        // 20 lines pasted over the 12 rows from the first: 12 changed, 8 appended. A failure keeps
        // the lines stored before it (a prefix), says at which line it stopped when a batch was
        // lost, and leaves that line's row being edited with its cells.
        QFETCH(int, batchMs);
        constexpr int Rows = 12;
        constexpr int Lines = 20;
        AppFixture f;
        f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < %1) "
                              "INSERT INTO main (user_id, unit_number) SELECT i, 'N-' || i FROM k").arg(Rows));
        QVERIFY(f.start());
        DM->DataBase->setLockTimes(5000, 2000, batchMs);
        TDaoTable *t = DM->tblMain;
        QString text;
        for (int i = 1; i <= Lines; ++i)
            text += QStringLiteral("L%1\r\n").arg(i);
        const auto stored = [&] {
            SqliteConnection c;
            c.open(f.db());
            QStringList v;
            SqliteStatement st = c.prepare(QStringLiteral("SELECT unit_number FROM main ORDER BY user_id, id"));
            while (st.step())
                v << QString::fromUtf8(st.columnText(0));
            return v;
        };
        sweep(
            "row paste", true,
            [&] {
                t->setRecNo(0);
                fVelostok->DBGrid1->setCurrentIndex(fVelostok->DBGrid1->model()->index(0, 1));
                QGuiApplication::clipboard()->setText(text);
                fVelostok->Clipboard->PasteRowsFromClipboard();
            },
            [&](bool hit) {
                QCOMPARE(f.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
                QCOMPARE(f.scalar(QStringLiteral("SELECT COUNT(DISTINCT user_id) = COUNT(*) FROM main")).toInt(), 1);
                usable();
                const QStringList v = stored();
                int k = 0;
                while (k < v.size() && v.at(k) == QStringLiteral("L%1").arg(k + 1))
                    ++k;
                // The rest untouched: the old rows as they were, no appended row beyond the stored lines.
                for (int i = k; i < v.size(); ++i)
                    QCOMPARE(v.at(i), QStringLiteral("N-%1").arg(i + 1));
                QCOMPARE(v.size(), qMax(Rows, k));
                if (f.prompts.messages.isEmpty()) {
                    QCOMPARE(k, Lines);
                } else {
                    QVERIFY(hit);
                    QCOMPARE(f.prompts.messages.size(), 1);
                    const QString m = f.prompts.messages.takeFirst();
                    QVERIFY2(k < Lines, qPrintable(m));
                    const QRegularExpressionMatch stop = QRegularExpression(QStringLiteral("^Вмъкването спря на ред (\\d+) от текста;")).match(m);
                    if (stop.hasMatch()) {
                        QCOMPARE(stop.captured(1).toInt(), k + 1);
                        // That line's row is being edited (or, appended and gone, inserted again)
                        // with its cells; storing it goes on from there.
                        QVERIFY(t->State() == TDaoTable::dsEdit || t->State() == TDaoTable::dsInsert);
                        QCOMPARE(t->FieldByName(QStringLiteral("unit_number"))->AsString(), QStringLiteral("L%1").arg(k + 1));
                        t->Post();
                        QCOMPARE(stored().at(k), QStringLiteral("L%1").arg(k + 1));
                    }
                }
                if (t->State() != TDaoTable::dsBrowse)
                    t->Cancel();
                f.exec(QStringLiteral("DELETE FROM main WHERE user_id > %1; UPDATE main SET unit_number = 'N-' || user_id").arg(Rows));
                fVelostok->Records->Rollback1Click();
            });
    }

    void commitAndPurge()
    {
        // Statements: all or nothing, and a failure is told with the command's message.
        AppFixture f;
        f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 40) "
                              "INSERT INTO main (user_id, unit_name, deleted, locked) SELECT i, 'ред ' || i, i % 4 = 0, 0 FROM k"));
        QVERIFY(f.start());
        sweep(
            "commit", true, [] { fVelostok->action(QStringLiteral("Commit1"))->trigger(); },
            [&](bool) {
                whole(f, 40);
                usable();
                const int locked = f.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE locked")).toInt();
                if (f.prompts.messages.isEmpty()) {
                    QCOMPARE(locked, 40);
                } else {
                    // The statement failed (the command's message) or the current row's post
                    // before it (the engine's): nothing locked either way.
                    QCOMPARE(f.prompts.messages.size(), 1);
                    QCOMPARE(locked, 0);
                    f.prompts.messages.clear();
                    fVelostok->action(QStringLiteral("Commit1"))->trigger();
                    QCOMPARE(f.prompts.messages, QStringList());
                    QCOMPARE(f.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE locked")).toInt(), 40);
                }
                f.exec(QStringLiteral("UPDATE main SET locked = 0"));
                fVelostok->Records->Rollback1Click();
            });
        f.prompts.onModal = [](QDialog *d) {
            d->accept(); // the administrator check: no administrator, nothing asked
            return d->result();
        };
        sweep(
            "purge", true, [] { fVelostok->action(QStringLiteral("Erase2"))->trigger(); },
            [&](bool) {
                QCOMPARE(f.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
                usable();
                const int rows = f.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt();
                if (f.prompts.messages.isEmpty()) {
                    QCOMPARE(rows, 30);
                } else {
                    QCOMPARE(f.prompts.messages.size(), 1);
                    QCOMPARE(rows, 40);
                    f.prompts.messages.clear();
                }
                if (DM->tblMain->State() != TDaoTable::dsBrowse)
                    DM->tblMain->Cancel(); // the current row's post failed: left editing
                f.exec(QStringLiteral("DELETE FROM main; WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 40) "
                                      "INSERT INTO main (user_id, unit_name, deleted) SELECT i, 'ред ' || i, i % 4 = 0 FROM k"));
                fVelostok->Records->Rollback1Click();
            });
        // The program goes on: a new row is stored.
        DM->tblMain->Append();
        DM->tblMain->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("след"));
        DM->tblMain->Post();
        QCOMPARE(f.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE unit_name = 'след'")).toInt(), 1);
    }

    void compactionAndArchive()
    {
        AppFixture f;
        f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 300) "
                              "INSERT INTO main (user_id, unit_name, comment) SELECT i, 'ред ' || i, hex(randomblob(100)) FROM k"));
        f.exec(QStringLiteral("DELETE FROM main WHERE user_id > 200"));
        QVERIFY(f.start());
        const QStringList files{QStringLiteral("Velostok.mdb"), QStringLiteral("Velostok.ldb"), QStringLiteral("Compact.mdb")};
        // Compaction: told success only when compacted; the file whole with every row either way;
        // nothing of an unfinished copy left; connecting again works.
        sweep(
            "compaction", true, [] { fVelostok->Files->Compact1Click(); },
            [&](bool) {
                whole(f, 200);
                QCOMPARE(f.prompts.messages.size(), 1);
                const QString m = f.prompts.messages.takeFirst();
                if (m != QStringLiteral("Базата е сбита успешно !"))
                    QVERIFY2(m == QStringLiteral("Не може да се създаде копие на базата!") || m.startsWith(QStringLiteral("Грешка при сбиване на базата !")),
                             qPrintable(m));
                QCOMPARE(strays(f.work(), files), QStringList());
                if (!DM->DataBase->Connected())
                    fVelostok->ConnectDatabase();
                QVERIFY(DM->DataBase->Connected());
                QCOMPARE(DM->tblMain->RecordCount(), 200);
            });
        // The archive copy on closing: silent whatever happens; a copy in the slot's place is
        // complete or absent, nothing else is left beside it.
        const QString copy = f.bin(QStringLiteral("Backup7.mdb"));
        fSettings->eArchiveCount->setEditText(QStringLiteral("10"));
        sweep(
            "archive copy", true, [&] { fVelostok->Files->archiveOnClose(); },
            [&](bool) {
                QVERIFY(f.prompts.messages.isEmpty());
                whole(f, 200);
                if (QFileInfo::exists(copy)) {
                    SqliteConnection c;
                    c.open(copy);
                    QCOMPARE(c.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
                    QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 200);
                }
                QCOMPARE(strays(f.bin(), {QStringLiteral("Backup7.mdb"), QStringLiteral("set.dll"), QStringLiteral("grid.ini")}), QStringList());
                QFile::remove(copy);
                if (!DM->DataBase->Connected())
                    fVelostok->ConnectDatabase();
            });
    }

    void newDatabaseExportAndSettings()
    {
        AppFixture f;
        f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 500) "
                              "INSERT INTO main (user_id, unit_name) SELECT i, 'ред ' || i FROM k"));
        QVERIFY(f.start());
        const QString other = QDir(f.work()).filePath(QStringLiteral("Друга.mdb"));

        // A new database over another file: the template in its place, or the old file byte for
        // byte and the failure told.
        sweep(
            "new database", false,
            [&] {
                QFile::remove(other);
                QFile::copy(f.db(), other);
                f.prompts.fileAnswers = {other};
                fVelostok->Files->NewBase1Click();
            },
            [&](bool) {
                const QStringList expected = {QStringLiteral("Velostok.mdb"), QStringLiteral("Velostok.ldb"), QStringLiteral("Друга.mdb"),
                                              QStringLiteral("Друга.ldb")};
                const int rows = f.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt();
                QCOMPARE(rows, 500);
                SqliteConnection c;
                c.open(other);
                const int otherRows = c.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt();
                const QString refused = QStringLiteral("Грешка при създаване на базата !");
                if (!f.prompts.messages.contains(refused)) {
                    // Made and connected; the settings naming it may have failed to save, and said so.
                    QCOMPARE(otherRows, 0);
                    QCOMPARE(QFileInfo(DM->DataBase->Database()).absoluteFilePath(), other);
                    for (const QString &m : std::as_const(f.prompts.messages))
                        QCOMPARE(m, QStringLiteral("Програмата не може да съхрани промените."));
                } else {
                    QCOMPARE(f.prompts.messages, QStringList{refused});
                    QCOMPARE(otherRows, 500);
                }
                f.prompts.messages.clear();
                QCOMPARE(strays(f.work(), expected), QStringList());
                fSettings->eDataBase->setText(f.db());
                fVelostok->ConnectDatabase();
                QVERIFY(DM->DataBase->Connected());
            });

        // Exports over an older file: the new file whole, or the old one as it was and the
        // failure told.
        struct Export
        {
            const char *name;
            void (ExportCommands::*command)();
            QString file;
        };
        const QList<Export> exports{{"text export", &ExportCommands::Text1Click, QStringLiteral("out.txt")},
                                    {"HTML export", &ExportCommands::Html1Click, QStringLiteral("out.html")},
                                    {"spreadsheet export", &ExportCommands::Excel1Click, QStringLiteral("out.xlsx")}};
        for (const Export &e : exports) {
            const QString path = QDir(f.work()).filePath(e.file);
            {
                QFile old(path);
                QVERIFY(old.open(QIODevice::WriteOnly));
                old.write("старо съдържание\n");
            }
            const QByteArray before = digest(path);
            sweep(
                e.name, false,
                [&] {
                    f.prompts.fileAnswers = {path};
                    (fVelostok->Exports->*e.command)();
                },
                [&](bool) {
                    QCOMPARE(f.prompts.messages.size(), 1);
                    const QString m = f.prompts.messages.takeFirst();
                    if (m == QStringLiteral("Файлът %1 бе записан успешно.").arg(e.file)) {
                        QVERIFY(digest(path) != before);
                        QVERIFY(QFileInfo(path).size() > 1000);
                    } else {
                        QCOMPARE(m, QStringLiteral("Поради възникнала грешка,\rданните не бяха записани!"));
                        QCOMPARE(digest(path), before);
                    }
                    QCOMPARE(strays(f.work(), {QStringLiteral("Velostok.mdb"), QStringLiteral("Velostok.ldb"), QStringLiteral("Друга.mdb"),
                                               QStringLiteral("Друга.ldb"), QStringLiteral("out.txt"), QStringLiteral("out.html"),
                                               QStringLiteral("out.xlsx")}),
                             QStringList());
                    // Back to the old file for the next N.
                    QFile::remove(path);
                    QFile old(path);
                    QVERIFY(old.open(QIODevice::WriteOnly));
                    old.write("старо съдържание\n");
                });
        }

        // Saving the settings: each file is the old one or the new one, never a part; a failure is told.
        fSettings->SaveSettings();
        const QString settingsFile = f.bin(QStringLiteral("set.dll"));
        const QByteArray saved = digest(settingsFile);
        const QString savedArchive = fSettings->eArchiveCount->currentText();
        sweep(
            "settings", false,
            [&] {
                fSettings->eArchiveCount->setEditText(QStringLiteral("7"));
                fSettings->SaveSettings();
            },
            [&](bool hit) {
                const QByteArray now = digest(settingsFile);
                if (f.prompts.messages.isEmpty()) {
                    QVERIFY(now != saved);
                } else {
                    QVERIFY(hit);
                    QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Програмата не може да съхрани промените.")});
                    f.prompts.messages.clear();
                    QCOMPARE(now, saved);
                }
                QCOMPARE(strays(f.bin(), {QStringLiteral("set.dll"), QStringLiteral("grid.ini")}), QStringList());
                // Back to the saved file.
                fSettings->eArchiveCount->setEditText(savedArchive);
                fSettings->SaveSettings();
                QCOMPARE(digest(settingsFile), saved);
            });
    }
};

QTEST_MAIN(TestWindowFaults)
#include "tst_windowfaults.moc"
