// The change history: what each way of writing the inventory records, operations on many rows as
// one entry, writes of other programs, and the history carried by copies and compaction.
#include "dataset/ChangeLog.h"
#include "base/Clock.h"
#include "base/Regional.h"
#include "TestDb.h"

#include <sqlite3.h>

using Kind = inventoryschema::ChangeKind;

namespace {

// An entry as "kind who field:old>new ...", values as their JSON gives them (true/false and 0/1
// both as 0 and 1), for comparisons that read the same on both engines.
QString brief(const ChangeLog::Entry &e, bool withWho = true)
{
    QStringList parts{QString::number(int(e.kind))};
    if (withWho)
        parts << (e.outside ? QStringLiteral("<outside>") : e.who);
    const auto text = [](const QVariant &v) {
        if (v.isNull())
            return QStringLiteral("-");
        if (v.metaType().id() == QMetaType::Bool)
            return QString::number(int(v.toBool()));
        return v.toString();
    };
    for (const ChangeLog::FieldChange &f : e.fields)
        parts << QStringLiteral("%1:%2>%3").arg(f.field, text(f.before), text(f.after));
    return parts.join(QLatin1Char(' '));
}

QStringList briefs(const QList<ChangeLog::Entry> &entries, bool withWho = true)
{
    QStringList out;
    for (const ChangeLog::Entry &e : entries)
        out << brief(e, withWho);
    return out;
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria)); }

    // Each way the program writes a row, and another program's write.
    void everyWriteIsRecorded()
    {
        TestDb db;
        auto conn = db.connect();
        ChangeLog *log = conn->changeLog();
        QVERIFY(log->kept());
        const QString pc = conn->computerName();
        auto t = TestDb::table(conn.get(), QStringLiteral("main"));
        t->Open();

        t->Append(); // the grid's new row
        t->FieldByName(QStringLiteral("unit_number"))->setAsString(QStringLiteral("W712"));
        t->FieldByName(QStringLiteral("price"))->setAsFloat(12.5);
        t->Post();
        const qint64 id = t->FieldByName(QStringLiteral("id"))->AsInteger();
        t->Edit(); // an edit, then the editor's store with passwords asked (modifier written)
        t->FieldByName(QStringLiteral("price"))->setAsFloat(13);
        t->Post();
        t->Edit();
        t->FieldByName(QStringLiteral("quantity"))->setAsFloat(4);
        t->FieldByName(QStringLiteral("modifier"))->setAsString(QStringLiteral("Иван"));
        t->Post();
        t->Edit(); // delete mark and undelete
        t->FieldByName(QStringLiteral("deleted"))->setAsBoolean(true);
        t->Post();
        t->Edit();
        t->FieldByName(QStringLiteral("deleted"))->setAsBoolean(false);
        t->Post();
        db.exec(QStringLiteral("UPDATE main SET unit_name = 'Филтър' WHERE id = %1").arg(id)); // another program

        const QStringList expected{QStringLiteral("2 <outside> unit_name:->Филтър"),
                                   QStringLiteral("4 %1 deleted:1>0").arg(pc),
                                   QStringLiteral("3 %1 deleted:0>1").arg(pc),
                                   QStringLiteral("2 Иван quantity:->4 modifier:->Иван"),
                                   QStringLiteral("2 %1 price:12.5>13").arg(pc)};
        QStringList got = briefs(log->entriesOf(id));
        QCOMPARE(got.mid(0, 5), expected);
        QCOMPARE(got.size(), 6);
        QVERIFY2(got.last().startsWith(QStringLiteral("1 %1 unit_number:->W712 price:->12.5").arg(pc)), qPrintable(got.last()));
        // Nothing of the mark is left behind for the next writer.
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM history_writer")).toInt(), 0);
    }

    // Statements on many rows (the lock commit, the purge) and bulk posts (the renumbering) are
    // one entry each, found from each of their rows; a single row's statement is a single entry.
    void operationsAreOneEntry()
    {
        TestDb db;
        db.exec(QStringLiteral("INSERT INTO main (id, user_id, unit_number, deleted) VALUES "
                               "(1, 7, 'A', FALSE), (2, 5, 'B', TRUE), (3, 9, 'C', TRUE), (4, 4, 'D', FALSE)"));
        auto conn = db.connect();
        ChangeLog *log = conn->changeLog();
        const auto entries = [&] { return db.scalar(QStringLiteral("SELECT count(*) FROM history")).toInt(); };
        const int before = entries(); // the rows written above by another program

        auto t = TestDb::table(conn.get(), QStringLiteral("main"));
        t->setSortedBy({QStringLiteral("[id]")});
        t->Open();
        QCOMPARE(t->ExecSQL({QStringLiteral("UPDATE main SET locked = True WHERE locked=False;")}), 4);
        QCOMPARE(entries(), before + 1);
        QCOMPARE(briefs(log->entriesOf(3), false).first(), QStringLiteral("2 locked:0>1"));

        conn->beginOperation(Kind::Renumbering);
        t->setBulkMode(true);
        int n = 1;
        for (t->First(); !t->Eof(); t->Next()) {
            t->Edit();
            t->FieldByName(QStringLiteral("user_id"))->setAsInteger(n++);
            t->Post();
        }
        t->setBulkMode(false);
        conn->endOperation();
        QCOMPARE(entries(), before + 2);
        QCOMPARE(briefs(log->entriesOf(2), false).first(), QStringLiteral("2 user_id:5>2"));
        QVERIFY(log->entriesOf(2).first().operation);
        QCOMPARE(log->entriesOf(4).size(), 2); // its number stayed: not in the renumbering

        t->ExecSQL({QStringLiteral("Delete from main WHERE deleted=True;")});
        QCOMPARE(entries(), before + 3);
        db.exec(QStringLiteral("UPDATE main SET deleted = TRUE WHERE id = 4"));
        t->ExecSQL({QStringLiteral("Delete from main WHERE deleted=True;")});
        QCOMPARE(entries(), before + 5);
        const QList<ChangeLog::Entry> purged = log->purged();
        QCOMPARE(purged.size(), 3);
        QCOMPARE(purged.first().row, 4); // newest first
        QVERIFY(!purged.first().operation);
        QCOMPARE(log->purged(QStringLiteral("c")).size(), 1);
        QVERIFY(brief(log->purged(QStringLiteral("c")).first(), false).contains(QStringLiteral("unit_number:C>-")));
    }

    // A post that fails leaves no entry, and the next is the program's again; an archive copy
    // and compaction keep the history.
    void historyGoesWithTheRowsOnly()
    {
        TestDb db;
        auto conn = db.connect();
        auto t = TestDb::table(conn.get(), QStringLiteral("main"));
        t->Open();
        db.refuse(QStringLiteral("no_x"), QStringLiteral("INSERT"), QStringLiteral("NEW.unit_number = 'X'"), QStringLiteral("refused"));
        for (const bool atomic : {false, true}) {
            t->setPostAtomic(atomic);
            t->Append();
            t->FieldByName(QStringLiteral("unit_number"))->setAsString(QStringLiteral("X"));
            QVERIFY_THROWS_EXCEPTION(DaoError, t->Post());
            t->Cancel();
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM history")).toInt(), 0);
        t->Append();
        t->FieldByName(QStringLiteral("unit_number"))->setAsString(QStringLiteral("Y"));
        t->Post();
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 1);
        QCOMPARE(db.scalar(QStringLiteral("SELECT outside FROM history")).toInt(), 0);
        // The archive copy (of a server's inventory too: a file), and the file compacted.
        const QString copy = db.dir.filePath(QStringLiteral("copy.mdb"));
        conn->CopyOpenDatabase(copy);
        conn->Close();
        QStringList files{copy};
        if (!TestDb::onServer()) {
            conn->CompactDatabaseFile(db.path, QString());
            files << db.path;
        }
        for (const QString &file : std::as_const(files)) {
            RawDb raw{file};
            QCOMPARE(raw.scalar(QStringLiteral("SELECT count(*) FROM history")).toInt(), 1);
        }
    }

    // An inventory of the layout before the history gets it on opening, without entries for the
    // rows it had; the history older than the days kept goes at most once a day.
    void olderInventoryAndRetention()
    {
        TestDb db;
        db.exec(QStringLiteral("INSERT INTO main (user_id, unit_number, deleted) VALUES (1, 'A', FALSE), (2, 'B', FALSE)"));
        db.exec(TestDb::dropLaterAdditionsSql(TestDb::onServer()));
        db.exec(TestDb::onServer()
                    ? QStringLiteral("DROP TRIGGER history_row ON main; DROP FUNCTION velostok_history(); "
                                     "DROP TABLE history, history_rows, history_writer, history_collect; "
                                     "ALTER TABLE velostok_meta DROP COLUMN additions")
                    : QStringLiteral("DROP TRIGGER history_insert; DROP TRIGGER history_update; DROP TRIGGER history_delete; "
                                     "DROP TABLE history; DROP TABLE history_rows; DROP TABLE history_writer; "
                                     "DROP TABLE history_collect; DROP TABLE velostok_meta"));
        if (!TestDb::onServer()) {
            // Another copy's write keeps it from being brought up to date: it is used as it is,
            // and an operation on many rows goes unrecorded rather than failing.
            sqlite3 *other = nullptr;
            sqlite3_open(db.path.toUtf8().constData(), &other);
            sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            auto older = std::make_unique<TDaoDatabase>();
            older->setDatabase(db.path);
            older->SmartOpen = false;
            older->setLockTimes(50, 50, 100);
            older->Open();
            sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(other);
            QVERIFY(!older->changeLog()->kept());
            auto t = TestDb::table(older.get(), QStringLiteral("main"));
            t->Open();
            older->beginOperation(Kind::Renumbering);
            t->setBulkMode(true);
            for (t->First(); !t->Eof(); t->Next()) {
                t->Edit();
                t->FieldByName(QStringLiteral("quantity"))->setAsInteger(7);
                t->Post();
            }
            t->setBulkMode(false);
            older->endOperation();
            QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM main WHERE quantity = 7")).toInt(), 2);
        }
        auto conn = db.connect();
        ChangeLog *log = conn->changeLog();
        QVERIFY(log->kept());
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM history")).toInt(), 0);
        db.exec(QStringLiteral("UPDATE main SET unit_name = 'x' WHERE user_id = 1"));
        QCOMPARE(log->entriesOf(db.scalar(QStringLiteral("SELECT id FROM main WHERE user_id = 1")).toLongLong()).size(), 1);

        const QDateTime now(QDate(2026, 12, 9), QTime(11, 30, 0));
        Clock::setSource([now] { return now; });
        const auto real = qScopeGuard([] { Clock::setSource({}); });
        const auto aged = [&](int days) {
            db.exec(QStringLiteral("INSERT INTO history (at, kind, outside, row_id) VALUES ('%1', 2, FALSE, 1)")
                        .arg(now.addDays(-days).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
        };
        db.exec(QStringLiteral("DELETE FROM history"));
        for (const int days : {400, 31, 10})
            aged(days);
        db.exec(QStringLiteral("INSERT INTO history_rows (entry, first_row, last_row, rows) SELECT min(id), 1, 1, 'x' FROM history"));
        QVERIFY(!log->pruneDue(0)); // kept for ever
        QVERIFY(log->pruneDue(30));
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM history")).toInt(), 1);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM history_rows")).toInt(), 0);
        QVERIFY(!log->pruneDue(30));
        QVERIFY(!log->pruneDue(9)); // the oldest is a day past nine days only tomorrow
        QVERIFY(log->pruneDue(8));
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM history")).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
