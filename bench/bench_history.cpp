// Change history benchmark, on file inventories of 100,000 and 1,000,000 rows: what the history
// adds to a post and to renumbering 95,000 rows, beside the same work on the same inventory
// without it (its older layout, opened while another copy's write kept it from being brought up
// to date, so that the program runs as it did before the history); the history window of a row
// with 1,000 entries, from the command to its first paint; and the bytes the file grows by per
// recorded change of one field.
// Usage: build/bench/bench_history [DIR] [ROWS]...
#include "BenchSupport.h"
#include "Timing.h"
#include "dataset/ChangeLog.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"
#include "uRowHistory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <sqlite3.h>

using namespace bench;

namespace {

void rawExec(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

qint64 fileBytes(const QString &path)
{
    return QFileInfo(path).size();
}

// The inventory as the program before the history kept it.
void olderLayout(const QString &path)
{
    rawExec(path, "DROP TRIGGER IF EXISTS history_insert; DROP TRIGGER IF EXISTS history_update; "
                  "DROP TRIGGER IF EXISTS history_delete; DROP TABLE IF EXISTS history; DROP TABLE IF EXISTS history_rows; "
                  "DROP TABLE IF EXISTS history_writer; DROP TABLE IF EXISTS history_collect; "
                  "DROP TABLE IF EXISTS velostok_meta; VACUUM");
}

struct Session
{
    std::unique_ptr<TDaoDatabase> db;
    std::unique_ptr<TDaoTable> t;
};

// Opens path; without history, another connection's write holds the upgrade off.
Session open(const QString &path, bool history)
{
    sqlite3 *blocker = nullptr;
    if (!history) {
        sqlite3_open_v2(path.toUtf8().constData(), &blocker, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    }
    Session s;
    s.db = std::make_unique<TDaoDatabase>();
    s.db->setDatabase(path);
    s.db->SmartOpen = false;
    s.db->Open();
    if (blocker) {
        sqlite3_exec(blocker, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(blocker);
    }
    if (s.db->changeLog()->kept() != history)
        qFatal("the inventory %s a history", history ? "lacks" : "has");
    s.t = std::make_unique<TDaoTable>();
    s.t->setDatabase(s.db.get());
    s.t->setTableName(QStringLiteral("main"));
    return s;
}

// The median of posts of one field on rows spread over the table (open).
double postMs(Session &s, int posts, int round)
{
    const int n = s.t->RecordCount();
    std::vector<double> times;
    for (int i = 0; i < posts; ++i) {
        s.t->setRecNo(int((qint64(i) * 7919) % n));
        QElapsedTimer e;
        e.start();
        s.t->Edit();
        s.t->FieldByName(QStringLiteral("price"))->setAsFloat(10 + round + i % 97 / 100.0);
        s.t->Post();
        times.push_back(msSince(e));
    }
    return median(times);
}

// Renumbers the shown rows, last first, as the command does: one operation, in bulk.
double renumberMs(Session &s, int shownRows)
{
    s.t->setFilter(QStringLiteral("[user_id]<=%1").arg(shownRows));
    s.t->setFiltered(true);
    s.t->setSortedBy({QStringLiteral("[user_id] DESC")});
    s.t->Open();
    QElapsedTimer e;
    e.start();
    s.db->beginOperation(inventoryschema::ChangeKind::Renumbering);
    s.t->setBulkMode(true);
    int n = 1;
    TDaoField *number = s.t->FieldByName(QStringLiteral("user_id"));
    for (s.t->First(); !s.t->Eof(); s.t->Next()) {
        s.t->Edit();
        number->setAsInteger(n++);
        s.t->Post();
    }
    s.t->setBulkMode(false);
    s.db->endOperation();
    const double ms = msSince(e);
    s.t->Close();
    s.t->setFiltered(false);
    s.t->setSortedBy({});
    return ms;
}

void runAt(const QString &dir, int rows)
{
    std::printf("\n== %d rows\n", rows);
    QTemporaryDir work;
    const QString with = work.filePath(QStringLiteral("with.mdb"));
    const QString without = work.filePath(QStringLiteral("without.mdb"));
    QFile::copy(benchdata::inventory(dir, rows), without);
    olderLayout(without);
    QFile::copy(without, with);

    // Posts: rounds taken in turn, so that both meet the machine alike.
    std::vector<double> postsWith, postsWithout;
    {
        Session a = open(with, true);
        Session b = open(without, false);
        a.t->Open();
        b.t->Open();
        for (int round = 0; round < 9; ++round) {
            postsWith.push_back(postMs(a, 200, round));
            postsWithout.push_back(postMs(b, 200, round));
        }
    }
    report("a post of one field (median)", median(postsWith), median(postsWithout), "<= 1.15");

    // Renumbering 95,000 shown rows.
    const int shown = std::min(rows, 95000);
    std::vector<double> renWith, renWithout;
    for (int round = 0; round < 3; ++round) {
        {
            Session a = open(with, true);
            renWith.push_back(renumberMs(a, shown));
        }
        {
            Session b = open(without, false);
            renWithout.push_back(renumberMs(b, shown));
        }
    }
    report("renumbering 95,000 shown rows", median(renWith), median(renWithout), "<= 1.2");

    // Bytes per recorded field change: 20,000 posts of one field each on both files.
    {
        rawExec(with, "VACUUM");
        rawExec(without, "VACUUM");
        const qint64 w0 = fileBytes(with);
        const qint64 o0 = fileBytes(without);
        Session a = open(with, true);
        Session b = open(without, false);
        a.t->Open();
        b.t->Open();
        for (int round = 0; round < 100; ++round) {
            postMs(a, 200, 100 + round);
            postMs(b, 200, 100 + round);
        }
        a.t.reset();
        a.db.reset();
        b.t.reset();
        b.db.reset();
        const double perChange = double((fileBytes(with) - w0) - (fileBytes(without) - o0)) / 20000.0;
        std::printf("%-58s %9.1f bytes per field change   (target <= 300)\n", "file growth of the history", perChange);
    }

    // The history window of a row with 1,000 entries.
    {
        Session a = open(with, true);
        a.t->Open();
        const qint64 row = a.t->FieldByName(QStringLiteral("id"))->AsInteger();
        a.t->Close();
        rawExec(with, QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 1000) "
                                     "INSERT INTO history (at, who, kind, outside, row_id, fields) SELECT "
                                     "datetime('2026-01-01', '+' || i || ' hours'), 'КАСА-1', 2, 0, %1, "
                                     "json_object('price', json_array(i, i + 1), 'quantity', json_array(i % 50, i % 50 + 1)) FROM k")
                          .arg(row)
                          .toUtf8()
                          .constData());
        a.t->Open();
        std::vector<double> times;
        for (int i = 0; i < 7; ++i) {
            QElapsedTimer e;
            e.start();
            TfRowHistory w(a.t.get());
            w.load();
            w.show();
            QCoreApplication::processEvents();
            w.repaint();
            times.push_back(msSince(e));
        }
        std::printf("%-58s %9.1f ms   (target <= 100 ms)\n", "history window of a row with 1,000 entries", median(times));
    }
}

} // namespace

int main(int argc, char **argv)
{
    useOffscreen();
    QApplication app(argc, argv);
    const QString dir = dataDir(argc, argv);
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(rowsArg(argc, argv, i, 0));
    if (sizes.empty())
        sizes = {100000, 1000000};
    for (int rows : sizes)
        runAt(dir, rows);
    return 0;
}
