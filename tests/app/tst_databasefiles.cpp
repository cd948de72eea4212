// Database files from the main window: the archive copy on closing (slot by day and count), a new
// database from the template, connecting to another file, compaction with another copy connected,
// refused, and killed half-way in a child process.
#include "AppFixture.h"
#include "base/Clock.h"
#include "DatabaseFiles.h"
#include "base/FileReplacement.h"
#include "TApplication.h"

#include <QComboBox>
#include <cstdio>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <sqlite3.h>
#include <sys/stat.h>

class TestDatabaseFiles : public QObject
{
    Q_OBJECT

    static QVariant scalarOf(const QString &path, const QString &sql)
    {
        SqliteConnection c;
        c.open(path);
        return c.scalar(sql);
    }

    static void pinDay(int day)
    {
        Clock::setSource([day] { return QDateTime(QDate(2026, 12, day), QTime(18, 0)); });
    }

    // Another copy of the program on path, as COMPUTER.
    static bool holdEntry(QProcess &holder, const QString &path, const QString &computer)
    {
        holder.start(QStringLiteral(ROSTERHOLDER_PATH), {path, computer});
        return holder.waitForReadyRead(10000) && holder.readAll().startsWith("joined");
    }

    // Garbage over one leaf page of a table or index, written with the file closed, as a disk
    // that lost a sector would leave it.
    static void damage(const QString &path, const QString &btree, const QString &pageType)
    {
        const qint64 page = scalarOf(path, QStringLiteral("SELECT pageno FROM dbstat WHERE name = '%1' AND pagetype = '%2' "
                                                          "ORDER BY pageno LIMIT 1 OFFSET 3").arg(btree, pageType)).toLongLong();
        const int size = scalarOf(path, QStringLiteral("PRAGMA page_size")).toInt();
        QFile f(path);
        QVERIFY(page > 1 && f.open(QIODevice::ReadWrite) && f.seek((page - 1) * size));
        QByteArray garbage(size, 0);
        for (char &c : garbage)
            c = char(QRandomGenerator::global()->bounded(256));
        QCOMPARE(f.write(garbage), qint64(size));
    }

    static QByteArray bytesOf(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        initWindowTests();
        ::umask(022);
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QString>("btree");
        QTest::addColumn<QString>("pageType");
        QTest::newRow("index: repaired") << "main_unit_name" << "leaf";
        QTest::newRow("table: not opened") << "main" << "leaf";
        QTest::newRow("a long value: read only") << "main" << "overflow";
    }

    void damagedFiles()
    {
        QFETCH(QString, btree);
        QFETCH(QString, pageType);
        const bool repairable = btree != QLatin1String("main");
        const bool opens = pageType == QLatin1String("overflow");
        AppFixture f;
        f.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                              "INSERT INTO main (user_id, unit_number, unit_name, comment) SELECT i, 'N-' || i, 'Име ' || (i * 7 % 3000), "
                              "CASE WHEN i % 500 = 0 THEN hex(randomblob(3000)) END FROM n"));
        // Archive copies of earlier days: a sound one, and one of the file already damaged.
        pinDay(7);
        QVERIFY(QFile::copy(f.db(), f.bin(QStringLiteral("Backup5.mdb"))));
        damage(f.db(), btree, pageType);
        QVERIFY(QFile::copy(f.db(), f.bin(QStringLiteral("Backup6.mdb"))));
        QVERIFY(QFile::copy(f.db(), f.bin(QStringLiteral("Backup7.mdb")))); // today's slot
        const QByteArray damaged = bytesOf(f.db());
        const QByteArray olderCopy = bytesOf(f.bin(QStringLiteral("Backup7.mdb")));
        // Found in the background once the window has painted, and told in one message (or, for a
        // file that cannot be opened, at once).
        QCOMPARE(f.start(), repairable || opens);
        fSettings->eArchiveCount->setEditText(QStringLiteral("10"));
        QTRY_COMPARE_WITH_TIMEOUT(f.prompts.messages.size(), 1, 20000);
        const QString told = f.prompts.messages.first();
        if (repairable) {
            QVERIFY2(told.contains(QStringLiteral("беше поправен")), qPrintable(told));
            QCOMPARE(scalarOf(f.db(), QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            QCOMPARE(scalarOf(f.db(), QStringLiteral("SELECT count(*) FROM main")).toInt(), 3000);
            QVERIFY(DM->DataBase->Connected() && !DM->DataBase->Damaged());
            return;
        }
        // Damaged tables: which file, the sound copy named and the damaged one not; what still
        // reads is shown, and nothing is written.
        QVERIFY2(told.contains(QFileInfo(f.db()).fileName()) && told.contains(QStringLiteral("Backup5.mdb"))
                     && !told.contains(QStringLiteral("Backup6.mdb")),
                 qPrintable(told));
        QCOMPARE(DM->DataBase->Connected(), opens);
        if (opens) {
            QVERIFY(DM->DataBase->Damaged());
            TDaoTable *t = DM->tblMain;
            t->First();
            t->Edit();
            t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("нов"));
            QVERIFY_THROWS_EXCEPTION(DaoError, t->Post());
            t->Cancel();
        }
        // Compaction refused, the file as it was; on closing no copy over today's slot.
        fVelostok->Files->Compact1Click();
        QVERIFY(f.prompts.messages.last().startsWith(QStringLiteral("Файлът на базата")));
        fVelostok->close();
        QVERIFY(bytesOf(f.db()) == damaged);
        QVERIFY(bytesOf(f.bin(QStringLiteral("Backup7.mdb"))) == olderCopy);
    }
    void cleanup()
    {
        Clock::setSource({});
        FileReplacement::renameStep() = nullptr;
    }

    void archiveSlots_data()
    {
        QTest::addColumn<int>("day");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("name");
        QTest::newRow("20th of 3") << 20 << "3" << "Backup0.mdb";
        QTest::newRow("31st of 3") << 31 << "3" << "Backup1.mdb";
        QTest::newRow("12th of 3") << 12 << "3" << "Backup2.mdb";
        QTest::newRow("7th of 10") << 7 << "10" << "Backup7.mdb";
        QTest::newRow("19th of 12") << 19 << "12" << "Backup9.mdb";
        QTest::newRow("no number: 4") << 7 << "три" << "Backup3.mdb";
        QTest::newRow("0: none") << 7 << "0" << "";
        QTest::newRow("below 0: none") << 7 << "-3" << "";
    }

    void archiveSlots()
    {
        QFETCH(int, day);
        QFETCH(QString, count);
        QFETCH(QString, name);
        QCOMPARE(archiveFileName(QDate(2026, 1, day), count), name);
    }

    void archiveOnClosing_data()
    {
        QTest::addColumn<QString>("working"); // the working file's name
        QTest::addColumn<bool>("autoArchive");
        QTest::addColumn<bool>("targetIsFolder"); // the copy cannot be written
        QTest::addColumn<bool>("copied");
        QTest::newRow("written") << "Velostok.mdb" << true << false << true;
        QTest::newRow("working on Backup7.mdb") << "Backup7.mdb" << true << false << false;
        QTest::newRow("backup7.mdb is another name") << "backup7.mdb" << true << false << true;
        QTest::newRow("archiving off") << "Velostok.mdb" << false << false << false;
        QTest::newRow("copy fails silently") << "Velostok.mdb" << true << true << false;
    }

    void archiveOnClosing()
    {
        QFETCH(QString, working);
        QFETCH(bool, autoArchive);
        QFETCH(bool, targetIsFolder);
        QFETCH(bool, copied);
        AppFixture f;
        const QString db = QDir(f.work()).filePath(working);
        if (working != QLatin1String("Velostok.mdb"))
            QVERIFY(QFile::rename(f.db(), db));
        QVERIFY(f.start()); // on a new Velostok.mdb when the file was renamed
        if (working != QLatin1String("Velostok.mdb")) {
            fSettings->eDataBase->setText(db);
            fVelostok->ConnectDatabase();
        }
        QVERIFY(DM->DataBase->Connected());
        pinDay(7);
        fSettings->eArchiveCount->setEditText(QStringLiteral("10"));
        fSettings->cbAutoArchive->setChecked(autoArchive);
        if (targetIsFolder)
            QVERIFY(QDir(f.bin()).mkdir(QStringLiteral("Backup7.mdb")));
        // A row posted just before closing is in the copy.
        DM->tblMain->Append();
        DM->tblMain->FieldByName(QStringLiteral("unit_number"))->setAsString(QStringLiteral("ARCH-1"));
        DM->tblMain->Post();
        fVelostok->close();
        const QString copy = f.bin(QStringLiteral("Backup7.mdb"));
        QCOMPARE(QFileInfo(copy).isFile(), copied);
        if (copied) {
            QCOMPARE(scalarOf(copy, QStringLiteral("SELECT COUNT(*) FROM main WHERE unit_number = 'ARCH-1'")).toInt(), 1);
            // Readable by the other counters, as any new file (umask 022 here).
            QCOMPARE(QFileInfo(copy).permissions() & 0x0fff, QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
        }
        QCOMPARE(QDir(f.bin()).entryList({QStringLiteral("Backup*")}).size(), targetIsFolder || copied ? 1 : 0);
        // The settings are saved in every case, a failed copy included.
        QVERIFY(QFileInfo::exists(f.bin(QStringLiteral("set.dll"))));
        QVERIFY(f.prompts.messages.isEmpty());
    }

    void newDatabaseAndConnectTo()
    {
        AppFixture f;
        QVERIFY(f.start());
        const QString other = QDir(f.work()).filePath(QStringLiteral("Друга.mdb"));
        QVERIFY(QFile::copy(f.db(), other));
        {
            SqliteConnection c;
            c.open(other);
            c.exec(QStringLiteral("INSERT INTO main (unit_number) VALUES ('OLD')"));
        }
        // Over an existing file, answered Cancel: untouched.
        f.prompts.fileAnswers = {other};
        f.prompts.confirmAnswers = {false};
        fVelostok->Files->NewBase1Click();
        QCOMPARE(f.prompts.confirmations, QStringList{QStringLiteral("Warning|Фаълйт вече съществува !\rИскате ли да го промените ?")});
        QCOMPARE(f.prompts.fileRequests.first(), QStringLiteral("save|Database files|*.mdb||"));
        QCOMPARE(scalarOf(other, QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 1);
        // Another copy of the program has it open: refused, untouched, this one still connected.
        {
            QProcess holder;
            QVERIFY(holdEntry(holder, other, QStringLiteral("Касата")));
            f.prompts.fileAnswers = {other};
            fVelostok->Files->NewBase1Click();
            QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Грешка при създаване на базата !")});
            QCOMPARE(scalarOf(other, QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 1);
            QCOMPARE(QFileInfo(DM->DataBase->Database()).fileName(), QStringLiteral("Velostok.mdb"));
            QVERIFY(DM->DataBase->Connected());
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(10000));
        }
        // Answered OK: the template replaces it, it is the setting and the open database. The
        // dialog comes back in the folder and with the name of its last use.
        f.prompts.fileAnswers = {other};
        fVelostok->Files->NewBase1Click();
        QCOMPARE(f.prompts.fileRequests.last(), QStringLiteral("save|Database files|*.mdb|%1|Друга.mdb").arg(f.work()));
        QCOMPARE(scalarOf(other, QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 0);
        QCOMPARE(fSettings->eDataBase->text(), other);
        QCOMPARE(QFileInfo(DM->DataBase->Database()).absoluteFilePath(), other);
        QVERIFY(DM->DataBase->Connected());
        QVERIFY(QFileInfo::exists(f.bin(QStringLiteral("set.dll"))));
        // Connecting back to the first file.
        f.prompts.fileAnswers = {f.db()};
        fVelostok->Files->ConnectTo1Click();
        QCOMPARE(f.prompts.fileRequests.last(), QStringLiteral("open|Database files|*.mdb|%1|").arg(QDir::currentPath()));
        QCOMPARE(QFileInfo(DM->DataBase->Database()).absoluteFilePath(), f.db());
        QVERIFY(DM->DataBase->Connected());
        QCOMPARE(f.prompts.messages.size(), 1);
    }

    void compaction()
    {
        AppFixture f;
        QVERIFY(f.start());
        f.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                              "INSERT INTO main (user_id, unit_number, comment) SELECT i, 'N-' || i, hex(randomblob(200)) FROM n"));
        f.exec(QStringLiteral("DELETE FROM main WHERE user_id > 10"));
        const QString compactCopy = QDir(f.work()).filePath(QStringLiteral("Compact.mdb"));
        // Refused at the question: nothing at all.
        f.prompts.confirmAnswers = {false};
        fVelostok->Files->Compact1Click();
        QCOMPARE(f.prompts.confirmations.first(),
                 QStringLiteral("Внимание|За да премахнете временните таблици от базата,\rтрябва всички потребители да бъдат изключени !"));
        QVERIFY(!QFileInfo::exists(compactCopy));
        // Another copy connected: the users message lists it, nothing is compacted, reconnected.
        const qint64 before = QFileInfo(f.db()).size();
        {
            QProcess holder;
            QVERIFY(holdEntry(holder, f.db(), QStringLiteral("Касата")));
            fVelostok->Files->Compact1Click();
            QCOMPARE(f.prompts.messages.value(0),
                     QStringLiteral("Има свързани към базата потребители !\n\r Прекратете връзките и опитайте пак!\n\r\tСвързани в момента са :\n\rКасата\r\n"));
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(10000));
        }
        QCOMPARE(QFileInfo(f.db()).size(), before);
        QVERIFY(DM->DataBase->Connected());
        QVERIFY(QFileInfo::exists(compactCopy));
        QCOMPARE(scalarOf(compactCopy, QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 10);
        // Alone: compacted, told, reconnected, every row kept.
        fVelostok->Files->Compact1Click();
        QCOMPARE(f.prompts.messages.value(1), QStringLiteral("Базата е сбита успешно !"));
        QVERIFY(QFileInfo(f.db()).size() < before);
        QVERIFY(DM->DataBase->Connected());
        QCOMPARE(DM->tblMain->RecordCount(), 10);
        // Refused while the file is replaced: the message, the file unchanged, no connection.
        const qint64 compacted = QFileInfo(f.db()).size();
        FileReplacement::renameStep() = [](const QByteArray &from, const QByteArray &to) {
            if (!to.endsWith("Velostok.mdb"))
                return ::rename(from.constData(), to.constData());
            errno = EIO;
            return -1;
        };
        fVelostok->Files->Compact1Click();
        QCOMPARE(f.prompts.messages.value(2), QStringLiteral("Грешка при сбиване на базата !\rУверете се че никой не използва базата\rв момента и опитайте пак да я сбиете !"));
        QVERIFY(!DM->DataBase->Connected());
        QCOMPARE(QFileInfo(f.db()).size(), compacted);
        QCOMPARE(scalarOf(f.db(), QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 10);
        QVERIFY(QFileInfo::exists(compactCopy));
        QCOMPARE(QDir(f.work()).entryList({QStringLiteral("mdb*")}), QStringList());
        // Left closed, it is compacted again: the safety copy made from the closed file.
        FileReplacement::renameStep() = nullptr;
        QFile::remove(compactCopy);
        fVelostok->Files->Compact1Click();
        QCOMPARE(f.prompts.messages.value(3), QStringLiteral("Базата е сбита успешно !"));
        QCOMPARE(scalarOf(compactCopy, QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 10);
        QVERIFY(DM->DataBase->Connected());
    }

    void bulkPasteKilledHalfWay()
    {
        // Rows written as a paste writes them, killed at random moments: the file is whole, and
        // along its rows the rounds never rise (each round written from the first row on, each
        // later than any before it), whatever round a kill interrupted.
        AppFixture f(true);
        f.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000) "
                              "INSERT INTO main (user_id, unit_name) SELECT i, 'R0' FROM n"));
        for (int kill = 0; kill < 5; ++kill) {
            QProcess paster;
            paster.start(QStringLiteral(ROSTERHOLDER_PATH), {QStringLiteral("--paste"), f.db()});
            QVERIFY(paster.waitForStarted(10000));
            QTest::qWait(200 + QRandomGenerator::global()->bounded(1000));
            paster.kill();
            QVERIFY(paster.waitForFinished(10000));
            QCOMPARE(f.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            SqliteConnection c;
            c.open(f.db());
            const QStringList names = c.scalar(QStringLiteral("SELECT group_concat(unit_name, ',') FROM (SELECT unit_name FROM main ORDER BY id)"))
                                          .toString()
                                          .split(QLatin1Char(','));
            QCOMPARE(names.size(), 30000);
            for (qsizetype i = 1; i < names.size(); ++i)
                QVERIFY2(names.at(i).mid(1).toInt() <= names.at(i - 1).mid(1).toInt(),
                         qPrintable(QStringLiteral("row %1: %2 after %3").arg(i).arg(names.at(i), names.at(i - 1))));
        }
    }

    void compactionKilledHalfWay()
    {
        AppFixture f(true);
        f.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                              "INSERT INTO main (user_id, unit_number, comment) SELECT i, 'N-' || i, hex(randomblob(100)) FROM n"));
        for (int round = 0; round < 6; ++round) {
            QProcess compactor;
            compactor.start(QStringLiteral(ROSTERHOLDER_PATH), {QStringLiteral("--compact"), f.db()});
            QVERIFY(compactor.waitForStarted(10000));
            QTest::qWait(20 + QRandomGenerator::global()->bounded(150));
            compactor.kill();
            QVERIFY(compactor.waitForFinished(10000));
            QCOMPARE(f.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            QCOMPARE(f.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 3000);
        }
        // Leftovers like those of a killed compaction (nobody holds them), one being written by
        // another process (held), and a user's files named alike: the next compaction removes the
        // first alone.
        const QString tmp = FileReplacement::Suffix;
        for (const QString &name : {QStringLiteral("mdbAbC123") + tmp, QStringLiteral("mdbAbC123") + tmp + QStringLiteral("-journal"),
                                    QStringLiteral("mdbZz9Yy8") + tmp, QStringLiteral("mdbexport"), QStringLiteral("mdbackup1"),
                                    QStringLiteral("mdbackup1-journal")})
            QVERIFY(QFile(QDir(f.work()).filePath(name)).open(QIODevice::WriteOnly));
        FileReplacement held(QDir(f.work()).filePath(QStringLiteral("other.mdb")), QStringLiteral("mdb"));
        // The program opens it and compacts it.
        QVERIFY(f.start());
        QCOMPARE(DM->tblMain->RecordCount(), 3000);
        fVelostok->Files->Compact1Click();
        QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Базата е сбита успешно !")});
        QStringList left{QFileInfo(held.temporaryPath()).fileName(), QStringLiteral("mdbackup1"), QStringLiteral("mdbackup1-journal"),
                         QStringLiteral("mdbexport")};
        left.sort(Qt::CaseInsensitive);
        QCOMPARE(QDir(f.work()).entryList({QStringLiteral("mdb*")}), left);
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestDatabaseFiles t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_databasefiles.moc"
