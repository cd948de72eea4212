// The dataset layer on a PostgreSQL server beside the same queries sent straight through libpq in
// the same run, and beside the same operations on the SQLite file of the same rows:
//   build/bench/bench_pg CONNINFO [DATA-DIR] [ROWS...]      (default 100000 1000000)
// CONNINFO names a database whose user may create databases (tools/pg.sh url build/pg after
// tools/pg.sh start build/pg). Each size gets a database velostok_bench_<rows>, loaded once from
// the benchmark inventory file of that size. Prints milliseconds (median of several runs) and
// the ratio ours / baseline.
//   build/bench/bench_pg CONNINFO DATA-DIR --readers [ROWS...]
// only measures another session's reads beside a renumbering of every row (default 100000);
//   build/bench/bench_pg CONNINFO DATA-DIR --archive [ROWS...]
// only the archive copy (default 100000 1000000).
//   build/bench/bench_pg CONNINFO DATA-DIR --renumber [ROWS...]
// only the renumbering of the shown rows, as the command does it (default 100000), beside the
// same updates through libpq in one transaction, one round trip each and pipelined.
#include "base/DaoError.h"
#include "InventoryData.h"
#include "postgresql/PgConnection.h"
#include "postgresql/PgEngine.h"
#include "postgresql/PgSchema.h"
#include "engine/InventorySchema.h"
#include "sqlite/SqliteEngine.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"
#include "Timing.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <cstring>
#include <mutex>
#include <thread>
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

// The baseline of the archive copy: each inventory table read with COPY ... TO STDOUT (text form)
// in one snapshot and inserted row by row through SQLite's C API into the file as the program
// makes it, in one transaction without a journal, its indexes made after the rows (the fastest
// way SQLite offers). With insert false, only read and parsed.
double copyBaselineMs(const QString &server, const QString &out, bool insert)
{
    QFile::remove(out);
    SqliteEngine().createDatabase(out);
    sqlite3 *lite = nullptr;
    sqlite3_open_v2(out.toUtf8().constData(), &lite, SQLITE_OPEN_READWRITE, nullptr);
    Baseline b(server);
    QElapsedTimer t;
    t.start();
    sqlite3_exec(lite, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN", nullptr, nullptr, nullptr);
    std::vector<QByteArray> indexes;
    {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(lite, "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL", -1, &st, nullptr);
        std::vector<QByteArray> names;
        while (sqlite3_step(st) == SQLITE_ROW) {
            names.push_back(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
            indexes.push_back(reinterpret_cast<const char *>(sqlite3_column_text(st, 1)));
        }
        sqlite3_finalize(st);
        for (const QByteArray &n : names)
            sqlite3_exec(lite, ("DROP INDEX \"" + n + "\"").constData(), nullptr, nullptr, nullptr);
    }
    // The rows come with their history: the triggers quiet, as in the program's copy.
    sqlite3_exec(lite, "INSERT INTO history_writer (who, mode) VALUES (NULL, 1)", nullptr, nullptr, nullptr);
    b.exec("BEGIN ISOLATION LEVEL REPEATABLE READ");
    volatile qint64 sink = 0;
    for (const char *table : inventoryschema::Tables) {
        const QByteArray select = QByteArray("SELECT * FROM ") + table + " ORDER BY id";
        PGresult *shape = PQexec(b.c, (select + " LIMIT 0").constData());
        const int columns = PQnfields(shape);
        std::vector<Oid> types;
        QByteArray names, marks;
        for (int i = 0; i < columns; ++i) {
            types.push_back(PQftype(shape, i));
            names += (i ? "," : "") + QByteArray(PQfname(shape, i));
            marks += i ? ",?" : "?";
        }
        PQclear(shape);
        sqlite3_exec(lite, (QByteArray("DELETE FROM ") + table).constData(), nullptr, nullptr, nullptr);
        sqlite3_stmt *ins = nullptr;
        sqlite3_prepare_v2(lite, (QByteArray("INSERT INTO ") + table + " (" + names + ") VALUES (" + marks + ")").constData(),
                           -1, &ins, nullptr);
        PQclear(PQexec(b.c, ("COPY (" + select + ") TO STDOUT").constData()));
        QByteArray field;
        char *line = nullptr;
        int n;
        while ((n = PQgetCopyData(b.c, &line, 0)) > 0) {
            const char *p = line, *end = line + n - 1; // without the newline
            for (int col = 0; col < columns; ++col) {
                const char *stop = static_cast<const char *>(memchr(p, '\t', size_t(end - p)));
                if (!stop)
                    stop = end;
                const bool null = stop - p == 2 && p[0] == '\\' && p[1] == 'N';
                field.clear();
                for (const char *c = p; c < stop; ++c) {
                    if (*c != '\\' || c + 1 == stop) {
                        field += *c;
                        continue;
                    }
                    switch (*++c) {
                    case 'n': field += '\n'; break;
                    case 'r': field += '\r'; break;
                    case 't': field += '\t'; break;
                    case 'b': field += '\b'; break;
                    case 'f': field += '\f'; break;
                    case 'v': field += '\v'; break;
                    default: field += *c;
                    }
                }
                p = stop + 1;
                if (!insert) {
                    sink = sink + field.size();
                    continue;
                }
                if (null) {
                    sqlite3_bind_null(ins, col + 1);
                } else if (types[col] == 20 || types[col] == 21 || types[col] == 23) {
                    sqlite3_bind_int64(ins, col + 1, field.toLongLong());
                } else if (types[col] == 16) {
                    sqlite3_bind_int64(ins, col + 1, field == "t" ? 1 : 0);
                } else if (types[col] == 700 || types[col] == 701 || types[col] == 1700) {
                    sqlite3_bind_double(ins, col + 1, field.toDouble());
                } else {
                    sqlite3_bind_text(ins, col + 1, field.constData(), int(field.size()), SQLITE_TRANSIENT);
                }
            }
            PQfreemem(line);
            if (insert) {
                sqlite3_step(ins);
                sqlite3_reset(ins);
            }
        }
        PQclear(PQgetResult(b.c));
        sqlite3_finalize(ins);
    }
    b.exec("COMMIT");
    for (const QByteArray &index : indexes)
        sqlite3_exec(lite, index.constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(lite, "DELETE FROM history_writer; COMMIT", nullptr, nullptr, nullptr);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    sqlite3_close(lite);
    QFile::remove(out);
    return ms;
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
    const double read = copyBaselineMs(server, out, false);
    const double copied = copyBaselineMs(server, out, true);
    std::printf("%-44s %9.1f ms;  COPY TO STDOUT into the file %9.1f ms (ratio %5.2f, target <=1.5 and <=3500 ms), "
                "of it the COPY read and parsed %9.1f ms\n",
                "archive copy against COPY", ours.first, copied, ours.first / copied, read);
    std::fflush(stdout);
}

const QString likeFilter = QStringLiteral(
    "[unit_name] LIKE \"*маслен*\" AND [deliver_name] LIKE \"авто*\" AND [comment] LIKE \"*golf*\"");

// The renumbering command's loop: every shown row numbered anew in bulk mode.
void renumberShown(TDaoTable &t)
{
    t.setBulkMode(true);
    qint64 k = 1;
    for (t.First(); !t.Eof(); t.Next()) {
        t.Edit();
        t.FieldByName(QStringLiteral("user_id"))->setAsInteger(k++);
        t.Post();
    }
    t.setBulkMode(false);
}

// The same updates through libpq in one transaction, the history triggers quiet as for the
// program's renumbering (which records its rows itself): one round trip per row, or pipelined
// (results read as they come, a sync every 1000 rows).
double libpqRenumberMs(const QString &server, bool pipelined)
{
    Baseline b(server);
    QElapsedTimer t;
    t.start();
    b.exec("BEGIN");
    b.exec("INSERT INTO history_writer (who, mode) VALUES (NULL, 1)");
    PGresult *ids = PQexec(b.c, "SELECT id FROM main WHERE deleted = false ORDER BY id");
    PQclear(PQprepare(b.c, "renumber", "UPDATE main SET user_id = $1 WHERE id = $2", 2, nullptr));
    const int rows = PQntuples(ids);
    int failed = 0;
    if (!pipelined) {
        for (int i = 0; i < rows; ++i) {
            const QByteArray k = QByteArray::number(i + 1);
            const char *values[] = {k.constData(), PQgetvalue(ids, i, 0)};
            PGresult *r = PQexecPrepared(b.c, "renumber", 2, values, nullptr, nullptr, 0);
            failed += PQresultStatus(r) != PGRES_COMMAND_OK;
            PQclear(r);
        }
    } else {
        PQenterPipelineMode(b.c);
        PQsetnonblocking(b.c, 1);
        int sent = 0, read = 0, syncs = 0;
        const auto drain = [&](bool wait) {
            // Reads whatever results have come, each ended by a null; a sync's result stands alone.
            while (read < sent || syncs > 0) {
                if (!wait) {
                    PQconsumeInput(b.c);
                    if (PQisBusy(b.c))
                        return;
                }
                PGresult *r = PQgetResult(b.c);
                if (!r)
                    continue;
                const ExecStatusType st = PQresultStatus(r);
                PQclear(r);
                if (st == PGRES_PIPELINE_SYNC) {
                    --syncs;
                    continue;
                }
                failed += st != PGRES_COMMAND_OK;
                ++read;
            }
        };
        for (int i = 0; i < rows; ++i) {
            const QByteArray k = QByteArray::number(i + 1);
            const char *values[] = {k.constData(), PQgetvalue(ids, i, 0)};
            PQsendQueryPrepared(b.c, "renumber", 2, values, nullptr, nullptr, 0);
            ++sent;
            if (sent % 1000 == 0 || i + 1 == rows) {
                PQpipelineSync(b.c);
                ++syncs;
            }
            PQflush(b.c);
            drain(false);
        }
        while (PQflush(b.c) > 0) {
        }
        PQsetnonblocking(b.c, 0);
        drain(true);
        PQexitPipelineMode(b.c);
    }
    PQclear(ids);
    b.exec("DELETE FROM history_writer");
    b.exec("COMMIT");
    if (failed)
        std::printf("baseline: %d updates failed\n", failed);
    return double(t.nsecsElapsed()) / 1e6;
}

// The inventory opened as the window shows it: the rows not deleted.
void openShown(TDaoDatabase &db, TDaoTable &t, const QString &database)
{
    db.setDatabase(database);
    db.SmartOpen = false;
    db.Open();
    t.setDatabase(&db);
    t.setTableName(QStringLiteral("main"));
    t.setFilter(QStringLiteral("[deleted]=False"));
    t.setFiltered(true);
    t.Open();
}

// The renumbering command's work: one operation of the history, bulk mode, one post per row.
double commandRenumberMs(const QString &database)
{
    TDaoDatabase db;
    TDaoTable t;
    openShown(db, t, database);
    QElapsedTimer e;
    e.start();
    db.beginOperation(inventoryschema::ChangeKind::Renumbering);
    renumberShown(t);
    db.endOperation();
    return double(e.nsecsElapsed()) / 1e6;
}

void renumberFigures(const QString &server, int rows)
{
    // Each renumbering leaves a dead version of every row behind: cleared before the next, so
    // that each meets the table alike.
    Baseline admin(server);
    const auto vacuumed = [&](double ms) {
        admin.exec("VACUUM main");
        return ms;
    };
    admin.exec("VACUUM FULL main");
    const double ours = vacuumed(commandRenumberMs(server));
    const double single = vacuumed(libpqRenumberMs(server, false));
    const double piped = vacuumed(libpqRenumberMs(server, true));
    std::printf("renumber %d shown rows: ours %9.1f ms;  libpq one round trip each %9.1f ms (ratio %5.2f);  "
                "libpq pipelined %9.1f ms (ratio %5.2f, target <=3 and <=3000 ms)\n",
                rows, ours, single, ours / single, piped, ours / piped);
    std::fflush(stdout);
}

struct Figures
{
    double open, sort, search, post, renumber;
};

// The dataset operations on either engine.
Figures datasetFigures(const QString &database, bool renumber)
{
    Figures f{};
    TDaoDatabase db;
    TDaoTable t;
    openShown(db, t, database);
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
    if (renumber)
        f.renumber = timeMs({}, [&] { renumberShown(t); }, 1);
    return f;
}

// ---- another counter's reads while one counter renumbers every row

// What the other counter reads over and over: the grid's rows and a pick list, each time a
// snapshot of its own.
const char *const ReaderQueries[] = {"SELECT id FROM main WHERE deleted = false ORDER BY id",
                                     "SELECT count(*) FROM unit_name"};
constexpr int ReaderKinds = 2;

// The processor time a server process has used (ns), where the server runs on this machine: a
// busy machine stretches the wall-clock times of all alike, not this.
qint64 serverCpuNs(int pid)
{
    QFile f(QStringLiteral("/proc/%1/schedstat").arg(pid));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toLongLong() : 0;
}

struct ReaderTimes
{
    std::vector<double> wall[ReaderKinds], cpu[ReaderKinds];
    double writerMs = 0;
};

double medianOf(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The reader's times (appended to into) while writer runs, or, without one, for aloneMs; the
// writer's milliseconds. Without read, the writer alone.
double readerBeside(const QString &server, const std::function<void()> &writer, ReaderTimes *into, int aloneMs = 5000)
{
    Baseline(server).exec("VACUUM main"); // each writer finds the table as the last left it, cleaned
    std::atomic<bool> stop = into == nullptr;
    std::thread reader([&] {
        Baseline r(server);
        const int pid = PQbackendPID(r.c);
        for (int i = 0; !stop; i = (i + 1) % ReaderKinds) {
            const qint64 cpu = serverCpuNs(pid);
            QElapsedTimer t;
            t.start();
            r.rows(ReaderQueries[i]);
            into->wall[i].push_back(double(t.nsecsElapsed()) / 1e6);
            into->cpu[i].push_back(double(serverCpuNs(pid) - cpu) / 1e6);
        }
    });
    QElapsedTimer w;
    w.start();
    if (writer)
        writer();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(aloneMs));
    const double writerMs = double(w.nsecsElapsed()) / 1e6;
    stop = true;
    reader.join();
    if (into)
        into->writerMs += writerMs;
    return writerMs;
}

// The renumbering through libpq, in batches committed every 100 ms under the write lock as the
// data layer's are; with subtransactions, each UPDATE in a savepoint of its own sent with it in
// one round trip, as the engine sends a statement inside a transaction.
void libpqRenumbering(const QString &server, bool subtransactions)
{
    Baseline b(server);
    const QByteArray lock = "SELECT pg_advisory_xact_lock(" + QByteArray::number(pgschema::WriteLockKey) + ")";
    PGresult *ids = PQexec(b.c, "SELECT id FROM main WHERE deleted = false ORDER BY id");
    PQclear(PQprepare(b.c, "renumber", "UPDATE main SET user_id = $1 WHERE id = $2", 2, nullptr));
    QElapsedTimer batch;
    const auto begin = [&] {
        b.exec("BEGIN");
        b.exec(lock.constData());
        batch.start();
    };
    begin();
    for (int i = 0; i < PQntuples(ids); ++i) {
        const QByteArray k = QByteArray::number(i + 1);
        const char *values[] = {k.constData(), PQgetvalue(ids, i, 0)};
        if (!subtransactions) {
            PQclear(PQexecPrepared(b.c, "renumber", 2, values, nullptr, nullptr, 0));
        } else {
            PQenterPipelineMode(b.c);
            PQsendQueryParams(b.c, "SAVEPOINT s", 0, nullptr, nullptr, nullptr, nullptr, 0);
            PQsendQueryPrepared(b.c, "renumber", 2, values, nullptr, nullptr, 0);
            PQsendQueryParams(b.c, "RELEASE SAVEPOINT s", 0, nullptr, nullptr, nullptr, nullptr, 0);
            PQpipelineSync(b.c);
            for (int results = 0; results < 4;) {
                PGresult *r = PQgetResult(b.c);
                if (!r)
                    continue;
                ++results;
                PQclear(r);
            }
            PQexitPipelineMode(b.c);
        }
        if (batch.elapsed() >= 100) {
            b.exec("COMMIT");
            begin();
        }
    }
    b.exec("COMMIT");
    PQclear(ids);
}

// The reads beside one batch of the renumbering held open (updates, in savepoints or not), the
// writer idle meanwhile: what the batch's subtransactions alone cost the reader, free of the
// writer's use of the processors. Batches alternate, so that a busy machine slows both alike.
void heldBatchFigures(const QString &server, int updates)
{
    std::vector<double> times[2][ReaderKinds];
    Baseline r(server);
    for (int round = 0; round < 10; ++round) {
        for (int guarded = 0; guarded < 2; ++guarded) {
            Baseline w(server);
            w.exec("BEGIN");
            const QByteArray update = "UPDATE main SET user_id = user_id WHERE id = ";
            for (int i = 1; i <= updates; ++i) {
                if (guarded)
                    w.exec("SAVEPOINT s");
                w.exec((update + QByteArray::number(i * 97 % 100000 + 1)).constData());
                if (guarded)
                    w.exec("RELEASE SAVEPOINT s");
            }
            for (int k = 0; k < ReaderKinds; ++k) {
                for (int n = 0; n < 3; ++n) {
                    QElapsedTimer t;
                    t.start();
                    r.rows(ReaderQueries[k]);
                    times[guarded][k].push_back(double(t.nsecsElapsed()) / 1e6);
                }
            }
            w.exec("ROLLBACK");
        }
    }
    std::printf("  reads beside one open batch of %d updates, the writer idle:", updates);
    for (int k = 0; k < ReaderKinds; ++k) {
        const double plain = medianOf(times[0][k]), guarded = medianOf(times[1][k]);
        std::printf("  %s %.1f ms without subtransactions, %.1f ms with one per update, ratio %.2f", k == 0 ? "rows" : "pick list",
                    plain, guarded, guarded / plain);
    }
    std::printf("\n");
    std::fflush(stdout);
}

// Each renumbering twice, in turn, with the reader beside it; the reader's medians, server
// processor time first, against those beside the renumbering without subtransactions.
void readerFigures(const QString &server)
{
    const auto viaDataset = [&] {
        TDaoDatabase db;
        db.setDatabase(server);
        db.SmartOpen = false;
        db.Open();
        TDaoTable t;
        t.setDatabase(&db);
        t.setTableName(QStringLiteral("main"));
        t.setFilter(QStringLiteral("[deleted]=False"));
        t.setFiltered(true);
        t.Open();
        renumberShown(t);
    };
    constexpr int Writers = 3;
    const std::function<void()> writers[Writers] = {[&] { libpqRenumbering(server, false); },
                                                    [&] { libpqRenumbering(server, true); }, viaDataset};
    const char *names[Writers] = {"libpq, no subtransactions (baseline)", "libpq, a savepoint per statement",
                                  "ours (the renumbering command's loop)"};
    ReaderTimes alone, beside[Writers];
    readerBeside(server, {}, &alone);
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < Writers; ++i)
            readerBeside(server, writers[i], &beside[i]);
    std::printf("\nanother counter's reads beside a renumbering of every row, medians of the server's processor time\n"
                "per read (wall clock in brackets); ratio to the same beside the renumbering through libpq without\n"
                "subtransactions, in this run:\n");
    const auto line = [&](const char *what, const ReaderTimes &t) {
        std::printf("  %-40s", what);
        for (int k = 0; k < ReaderKinds; ++k) {
            const double cpu = medianOf(t.cpu[k]), base = medianOf(beside[0].cpu[k]);
            std::printf("  %s %6.1f ms (%6.1f) ratio %4.2f", k == 0 ? "rows" : "pick list", cpu, medianOf(t.wall[k]), cpu / base);
        }
        std::printf("  %zu reads", t.cpu[0].size() + t.cpu[1].size());
        if (&t != &alone)
            std::printf(", renumbering %.1f s", t.writerMs / 2000);
        std::printf("\n");
        std::fflush(stdout);
    };
    line("no renumbering", alone);
    for (int i = 0; i < Writers; ++i)
        line(names[i], beside[i]);
    std::printf("  the same renumberings without the reader:");
    for (int i = 0; i < Writers; ++i)
        std::printf(" %.1f s", readerBeside(server, writers[i], nullptr) / 1000);
    std::printf("\n");
    heldBatchFigures(server, 1000);
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
    if (renumber)
        readerFigures(server);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_pg CONNINFO [DATA-DIR] [--readers | --archive | --renumber] [ROWS...]\n");
        return 2;
    }
    const QString admin = QString::fromLocal8Bit(argv[1]);
    const QString dir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::current().filePath(QStringLiteral("bench-data"));
    QDir().mkpath(dir);
    std::vector<int> sizes;
    bool readersOnly = false;
    bool archiveOnly = false;
    bool renumberOnly = false;
    for (int i = 3; i < argc; ++i) {
        if (qstrcmp(argv[i], "--readers") == 0)
            readersOnly = true;
        else if (qstrcmp(argv[i], "--archive") == 0)
            archiveOnly = true;
        else if (qstrcmp(argv[i], "--renumber") == 0)
            renumberOnly = true;
        else
            sizes.push_back(QString::fromLocal8Bit(argv[i]).toInt());
    }
    if (sizes.empty())
        sizes = readersOnly || renumberOnly ? std::vector<int>{100000} : std::vector<int>{100000, 1000000};
    try {
        for (int rows : sizes) {
            if (readersOnly) {
                readerFigures(serverInventory(admin, benchdata::inventory(dir, rows), rows));
            } else if (renumberOnly) {
                std::printf("\n== %d rows\n", rows);
                renumberFigures(serverInventory(admin, benchdata::inventory(dir, rows), rows), rows);
            } else if (archiveOnly) {
                const QString file = benchdata::inventory(dir, rows);
                std::printf("\n== %d rows\n", rows);
                archiveCopyFigures(serverInventory(admin, file, rows), file, dir);
            } else {
                compare(admin, dir, rows);
            }
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
