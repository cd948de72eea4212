// The dataset layer on a PostgreSQL server beside the same queries sent straight through libpq in
// the same run, and beside the same operations on the SQLite file of the same rows:
//   build/bench/bench_pg CONNINFO [DATA-DIR] [ROWS...]      (default 100000 1000000)
// CONNINFO names a database whose user may create databases (tools/pg.sh url build/pg after
// tools/pg.sh start build/pg). Each size gets a database velostok_bench_<rows>, loaded once from
// the benchmark inventory file of that size. Prints milliseconds (median of several runs) and
// the ratio ours / baseline.
#include "DaoError.h"
#include "InventoryData.h"
#include "PgConnection.h"
#include "PgEngine.h"
#include "SqliteEngine.h"
#include "TDaoDatabase.h"
#include "TDaoTable.h"
#include "Timing.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <libpq-fe.h>
#include <utility>
#include <vector>

namespace {

using bench::timeMs;

void report(const char *what, double ours, double base, double sqlite)
{
    std::printf("%-44s %9.1f ms  libpq %9.1f ms  ratio %5.2f (target <=1.5)  SQLite file %9.1f ms\n", what, ours, base,
                ours / base, sqlite);
    std::fflush(stdout);
}

// The baseline: statements through libpq on a connection of its own, every row fetched.
struct Baseline
{
    PGconn *c = nullptr;
    explicit Baseline(const QString &conninfo) { c = PQconnectdb(conninfo.toUtf8().constData()); }
    ~Baseline() { PQfinish(c); }
    int rows(const char *sql, const std::vector<QByteArray> &params = {})
    {
        std::vector<const char *> values;
        for (const QByteArray &p : params)
            values.push_back(p.constData());
        PGresult *r = PQexecParams(c, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_TUPLES_OK && PQresultStatus(r) != PGRES_COMMAND_OK)
            std::printf("baseline failed: %s\n", PQresultErrorMessage(r));
        const int n = PQntuples(r);
        // Read every value, as the dataset reads what it keeps.
        volatile qint64 sum = 0;
        for (int i = 0; i < n; ++i)
            sum = sum + QByteArrayView(PQgetvalue(r, i, 0), PQgetlength(r, i, 0)).toLongLong();
        PQclear(r);
        return n;
    }
    void exec(const char *sql) { PQclear(PQexec(c, sql)); }
};

// The server database for this size, loaded from the SQLite inventory file once.
QString serverInventory(const QString &admin, const QString &file, int rows)
{
    const QString name = QStringLiteral("velostok_bench_%1").arg(rows);
    const QString conninfo = admin + QStringLiteral(" dbname=") + name;
    PgConnection a;
    a.open(admin);
    if (a.query(QStringLiteral("SELECT 1 FROM pg_database WHERE datname = ?"), {name}).rows() == 1) {
        // Loaded whole (the load is one COPY), or made again.
        try {
            PgConnection c;
            c.open(conninfo);
            if (c.query(QStringLiteral("SELECT count(*) FROM main")).text(0, 0).toInt() == rows)
                return conninfo;
        } catch (const DaoError &) {
        }
        a.exec(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(name));
    }
    std::printf("loading %d rows into %s ...\n", rows, qPrintable(name));
    std::fflush(stdout);
    a.exec(QStringLiteral("CREATE DATABASE %1").arg(name));
    PgEngine().createDatabase(conninfo);
    PgConnection c;
    c.open(conninfo);
    SqliteEngine src;
    src.open(file);
    const QString cols = QStringLiteral("id, user_id, unit_number, unit_name, quantity, price, second_price, deliver_name, "
                                        "delivery_country, delivery_unit_number, comment, modifier, locked, deleted, "
                                        "last_modified, created");
    std::unique_ptr<DbStatement> st = src.prepare(QStringLiteral("SELECT %1 FROM main ORDER BY id").arg(cols));
    PgResult begin(PQexec(c.handle(), QStringLiteral("COPY main (%1) FROM STDIN").arg(cols).toUtf8().constData()));
    QByteArray chunk;
    const auto flush = [&] {
        PQputCopyData(c.handle(), chunk.constData(), int(chunk.size()));
        chunk.clear();
    };
    while (st->step()) {
        for (int i = 0; i < st->columnCount(); ++i) {
            if (i > 0)
                chunk += '\t';
            if (st->columnIsNull(i)) {
                chunk += "\\N";
                continue;
            }
            QByteArray v = st->columnText(i).toByteArray();
            v.replace('\\', "\\\\").replace('\t', "\\t").replace('\n', "\\n").replace('\r', "\\r");
            chunk += v;
        }
        chunk += '\n';
        if (chunk.size() > (1 << 20))
            flush();
    }
    flush();
    PQputCopyEnd(c.handle(), nullptr);
    PgResult done(PQgetResult(c.handle()));
    c.check(done);
    c.exec(QStringLiteral("SELECT setval('main_id_seq', (SELECT max(id) FROM main))"));
    c.exec(QStringLiteral("VACUUM ANALYZE"));
    return conninfo;
}

// This process's memory: its peak since the last reset, and now (kB).
long statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
    return 0;
}
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}
// Runs f once: its milliseconds and how far the peak memory rose above what was in use before.
std::pair<double, double> timeAndPeakMb(const std::function<void()> &f)
{
    resetPeak();
    const long before = statusKb("VmRSS:");
    QElapsedTimer t;
    t.start();
    f();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    return {ms, double(statusKb("VmHWM:") - before) / 1024.0};
}

// The archive copy on closing: the server's inventory written as an SQLite file, beside reading
// the same rows whole through libpq, and beside the copy of the SQLite file itself.
void archiveCopyFigures(const QString &server, const QString &file, const QString &dataDir)
{
    const QString out = QDir(dataDir).filePath(QStringLiteral("bench-pg-backup.mdb"));
    PgEngine pg;
    pg.open(server);
    QFile::remove(out);
    const auto ours = timeAndPeakMb([&] { pg.copyOpenDatabase(out); });
    Baseline base(server);
    const auto whole = timeAndPeakMb([&] {
        base.rows("SELECT id, user_id, unit_number, unit_name, quantity, price, second_price, deliver_name, delivery_country, "
                  "delivery_unit_number, comment, modifier, locked, deleted, last_modified, created FROM main ORDER BY id");
    });
    SqliteEngine lite;
    lite.open(file);
    QFile::remove(out);
    QFile(out).open(QIODevice::WriteOnly); // the empty file the copy is written into, as the program makes it
    const auto local = timeAndPeakMb([&] { lite.copyOpenDatabase(out); });
    QFile::remove(out);
    std::printf("%-44s %9.1f ms, memory +%.0f MB;  libpq whole result %9.1f ms, +%.0f MB;  SQLite file %9.1f ms, +%.0f MB\n",
                "archive copy (an SQLite file of the rows)", ours.first, ours.second, whole.first, whole.second, local.first,
                local.second);
    std::fflush(stdout);
}

const QString likeFilter = QStringLiteral(
    "[unit_name] LIKE \"*маслен*\" AND [deliver_name] LIKE \"авто*\" AND [comment] LIKE \"*golf*\"");

struct Figures
{
    double open, sort, search, post, renumber;
};

// The dataset operations on either engine.
Figures datasetFigures(const QString &database, bool renumber)
{
    Figures f{};
    TDaoDatabase db;
    db.setDatabase(database);
    db.SmartOpen = false;
    db.Open();
    TDaoTable t;
    t.setDatabase(&db);
    t.setTableName(QStringLiteral("main"));
    t.setFilter(QStringLiteral("[deleted]=False"));
    t.setFiltered(true);
    t.Open();
    f.open = timeMs([&] { t.Close(); }, [&] { t.Open(); }, 3);
    t.SortedBy() = QStringList{QStringLiteral("[unit_name] ASC")};
    f.sort = timeMs({}, [&] { t.ApplySort(); }, 3);
    t.SortedBy().clear();
    t.ApplySort();
    f.search = timeMs([&] { t.setFilter(QStringLiteral("[deleted]=False")); }, [&] { t.setFilter(likeFilter); }, 3);
    t.setFilter(QStringLiteral("[deleted]=False"));

    // A post with the three pick lists read again, as the grid's store does.
    TDaoTable lists[3];
    const char *views[] = {"unit_number", "unit_name", "deliver_name"};
    for (int i = 0; i < 3; ++i) {
        lists[i].setDatabase(&db);
        lists[i].setTableName(QString::fromLatin1(views[i]));
    }
    int n = 0;
    f.post = timeMs({}, [&] {
        t.setRecNo(100 + n);
        t.Edit();
        t.FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("Бенчмарк %1").arg(++n));
        t.Post();
        for (TDaoTable &l : lists) {
            l.Close();
            l.Open();
            l.Last();
        }
    }, 5);
    if (renumber) {
        f.renumber = timeMs({}, [&] {
            t.setBulkMode(true);
            qint64 k = 1;
            for (t.First(); !t.Eof(); t.Next()) {
                t.Edit();
                t.FieldByName(QStringLiteral("user_id"))->setAsInteger(k++);
                t.Post();
            }
            t.setBulkMode(false);
        }, 1);
    }
    return f;
}

void compare(const QString &admin, const QString &dataDir, int rows)
{
    const QString file = benchdata::inventory(dataDir, rows);
    const QString server = serverInventory(admin, file, rows);
    std::printf("\n== %d rows\n", rows);
    const bool renumber = rows <= 100000;
    // The SQLite figures on a copy, since the benchmark writes.
    const QString copy = QDir(dataDir).filePath(QStringLiteral("bench-pg-copy.mdb"));
    QFile::remove(copy);
    QFile::copy(file, copy);
    const Figures lite = datasetFigures(copy, renumber);
    const Figures pg = datasetFigures(server, renumber);

    Baseline base(server);
    const double open = timeMs({}, [&] { base.rows("SELECT id FROM main WHERE deleted = false ORDER BY id"); }, 3);
    const double sort = timeMs({}, [&] {
        base.rows("SELECT id FROM main WHERE deleted = false ORDER BY velostok_fold(unit_name) NULLS FIRST, id");
    }, 3);
    const double search = timeMs({}, [&] {
        base.rows("SELECT id FROM main WHERE jet_like($1, unit_name) AND jet_like($2, deliver_name) AND jet_like($3, comment) ORDER BY id",
                  {QByteArray("*маслен*"), QByteArray("авто*"), QByteArray("*golf*")});
    }, 3);
    int n = 0;
    const double post = timeMs({}, [&] {
        base.rows("UPDATE main SET unit_name = $1 WHERE id = 300",
                  {QStringLiteral("Основа %1").arg(++n).toUtf8()});
        for (const char *v : {"SELECT count(*) FROM unit_number", "SELECT count(*) FROM unit_name", "SELECT count(*) FROM deliver_name"})
            base.rows(v);
    }, 5);
    report("open with [deleted]=False", pg.open, open, lite.open);
    report("sort by name", pg.sort, sort, lite.sort);
    report("search of three LIKE terms", pg.search, search, lite.search);
    report("a post with the three pick lists", pg.post, post, lite.post);
    if (renumber) {
        const double renum = timeMs({}, [&] {
            base.exec("BEGIN");
            PGresult *ids = PQexec(base.c, "SELECT id FROM main WHERE deleted = false ORDER BY id");
            for (int i = 0; i < PQntuples(ids); ++i) {
                const QByteArray k = QByteArray::number(i + 1);
                const char *values[] = {k.constData(), PQgetvalue(ids, i, 0)};
                PQclear(PQexecParams(base.c, "UPDATE main SET user_id = $1 WHERE id = $2", 2, nullptr, values, nullptr, nullptr, 0));
            }
            PQclear(ids);
            base.exec("COMMIT");
        }, 1);
        report("renumber the shown rows", pg.renumber, renum, lite.renumber);
    }
    QFile::remove(copy);
    archiveCopyFigures(server, file, dataDir);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_pg CONNINFO [DATA-DIR] [ROWS...]\n");
        return 2;
    }
    const QString admin = QString::fromLocal8Bit(argv[1]);
    const QString dir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::current().filePath(QStringLiteral("bench-data"));
    QDir().mkpath(dir);
    std::vector<int> sizes;
    for (int i = 3; i < argc; ++i)
        sizes.push_back(QString::fromLocal8Bit(argv[i]).toInt());
    if (sizes.empty())
        sizes = {100000, 1000000};
    try {
        for (int rows : sizes)
            compare(admin, dir, rows);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
