// Live view benchmark: the main window open on an inventory of 1,000,000 rows while another
// process (this program started again as the writer, through the sqlite3 C API, as another
// program or counter would) commits changes. Measured: the time from the writer's commit to the
// changed row painted, beside a bare loop asking the engine's data version on the same period;
// the UI thread's time for one refresh (the event processing from the commit until the row is
// painted) for one changed row, 10,000 changed rows and 10,000 new rows (in key order and in a
// grid sorted by name), beside reading the same rows through the C API; and the program's
// processor time while idle.
// Usage: build/bench/bench_liveview [DIR] [ROWS] [IDLE-SECONDS]
#include "BenchSupport.h"
#include "Startup.h"
#include "TApplication.h"
#include "TDBGrid.h"
#include "InventoryGrid.h"
#include "module/uDM.h"
#include "uSettings.h"
#include "uVelostok.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QTest>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>
#include <cstring>
#include <string>
#include <sys/resource.h>

using namespace bench;

namespace {

qint64 nowUs()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

double cpuMs()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// The writer: each input line is one SQL text, run in one transaction; it answers with the
// moment of the commit (µs of the real-time clock).
int writer(const char *path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_busy_timeout(db, 60000);
    char line[4096];
    while (std::fgets(line, sizeof line, stdin)) {
        std::string sql = std::string("BEGIN IMMEDIATE; ") + line + "; COMMIT;";
        char *error = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::printf("error %s\n", error);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        } else {
            std::printf("%lld\n", static_cast<long long>(nowUs()));
        }
        std::fflush(stdout);
    }
    sqlite3_close(db);
    return 0;
}

class Writer
{
public:
    explicit Writer(const QString &path)
    {
        mProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mProcess.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--writer"), path});
        mProcess.waitForStarted();
    }
    ~Writer()
    {
        mProcess.closeWriteChannel();
        mProcess.waitForFinished(5000);
    }
    // The commit's moment; -1 on failure.
    qint64 commit(const QString &sql)
    {
        mProcess.write((sql + QLatin1Char('\n')).toUtf8());
        while (!mProcess.canReadLine())
            if (!mProcess.waitForReadyRead(60000))
                return -1;
        const QByteArray answer = mProcess.readLine().trimmed();
        if (answer.startsWith("error")) {
            std::fprintf(stderr, "writer: %s\n", answer.constData());
            return -1;
        }
        return answer.toLongLong();
    }

private:
    QProcess mProcess;
};

// Notes when the grid's viewport paints.
struct PaintWatch : QObject
{
    qint64 lastPaintUs = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            lastPaintUs = nowUs();
        return false;
    }
};

struct Refresh
{
    double latencyMs = 0; // commit to painted
    double uiMs = 0;      // the UI thread busy meanwhile
};

// Runs the event loop until done() holds and the viewport painted after it first held; sums
// the time spent in event processing that did something (more than 0.2 ms).
Refresh waitPainted(qint64 committedUs, PaintWatch &paints, const std::function<bool()> &done)
{
    Refresh r;
    qint64 doneAt = 0;
    const qint64 limit = nowUs() + 10'000'000;
    while (nowUs() < limit) {
        QElapsedTimer t;
        t.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const double ms = msSince(t);
        if (ms > 0.2)
            r.uiMs += ms;
        if (!doneAt && done())
            doneAt = nowUs();
        if (doneAt && paints.lastPaintUs >= doneAt) {
            r.latencyMs = double(paints.lastPaintUs - committedUs) / 1000.0;
            return r;
        }
        QThread::usleep(200);
    }
    r.latencyMs = -1;
    return r;
}

// The least a watch on an idle timer can do: a loop asking the data version every 500 ms (the
// program's period) on a connection of its own, from a random moment, while the writer commits.
double bareNoticeMs(const QString &path, Writer &w, qint64 id, QRandomGenerator &random)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &st, nullptr);
    auto version = [&] {
        sqlite3_step(st);
        const sqlite3_int64 v = sqlite3_column_int64(st, 0);
        sqlite3_reset(st);
        return v;
    };
    const sqlite3_int64 before = version();
    // Asked on ticks of a fixed period; the commit falls somewhere between two of them.
    QElapsedTimer ticks;
    ticks.start();
    QThread::msleep(random.bounded(500));
    const qint64 committed = w.commit(QStringLiteral("UPDATE main SET price = COALESCE(price, 0) + 1 WHERE id = %1").arg(id));
    for (qint64 tick = 500; tick < 10000; tick += 500) {
        if (ticks.elapsed() < tick)
            QThread::msleep(unsigned(tick - ticks.elapsed()));
        if (version() != before)
            break;
    }
    const double ms = double(nowUs() - committed) / 1000.0;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return ms;
}

// Reading the given rows through the C API.
double readRowsMs(const QString &path, const QString &where)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *st = nullptr;
    QElapsedTimer t;
    t.start();
    sqlite3_prepare_v2(db, ("SELECT * FROM main WHERE " + where.toStdString()).c_str(), -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
    }
    sqlite3_finalize(st);
    const double ms = msSince(t);
    sqlite3_close(db);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--writer") == 0)
        return writer(argv[2]);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    useOffscreen();
    TApplication app(argc, argv);
    Startup::setupFonts();
    const QString dir = dataDir(argc, argv);
    const int rows = rowsArg(argc, argv, 2, 1000000);
    int idleSeconds = rowsArg(argc, argv, 3, 60);
    ProgramTree tree;
    const QString path = workingCopy(tree, dir, rows);

    Startup::createAll();
    fSettings->eDataBase->setText(path);
    fSettings->cbAutoRefresh->setChecked(true);
    fVelostok->resize(1000, 700);
    fVelostok->show();
    QCoreApplication::processEvents();
    TDBGrid *g = fVelostok->DBGrid1;
    PaintWatch paints;
    g->viewport()->installEventFilter(&paints);
    const int name = g->columnOfField(QStringLiteral("unit_name"), 2);
    const int price = g->columnOfField(QStringLiteral("price"), 4);
    Writer w(path);
    auto idAt = [&](int row) { return DM->tblMain->rowValue(row, 0).toLongLong(); };
    // Settle: the first notice after opening.
    w.commit(QStringLiteral("UPDATE main SET price = price WHERE id = %1").arg(idAt(0)));
    QTest::qWait(1500);

    QRandomGenerator random(20261211);
    std::vector<double> bare;
    for (int i = 0; i < 9; ++i)
        bare.push_back(bareNoticeMs(path, w, idAt(1), random));
    QTest::qWait(1500);

    // One row in view, at a random moment of the idle timer's period.
    std::vector<double> latency, ui;
    for (int i = 0; i < 21; ++i) {
        QTest::qWait(int(random.bounded(700)));
        const int row = 3 + i % 10;
        const QString text = QStringLiteral("Живо %1").arg(i);
        const qint64 at = w.commit(QStringLiteral("UPDATE main SET unit_name = '%1' WHERE id = %2").arg(text).arg(idAt(row)));
        const Refresh r = waitPainted(at, paints, [&] { return g->model()->index(row, name).data().toString() == text; });
        latency.push_back(r.latencyMs);
        ui.push_back(r.uiMs);
    }
    const double oneBase = readRowsMs(path, QStringLiteral("id = %1").arg(idAt(3)));

    // 10,000 rows changed at once, those in view among them.
    std::vector<double> manyUi, manyLatency;
    const qint64 first = idAt(0);
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(int(random.bounded(700)));
        const QString shown = QString::number(1000 + i);
        const qint64 at = w.commit(QStringLiteral("UPDATE main SET price = %1 WHERE id BETWEEN %2 AND %3")
                                       .arg(shown).arg(first).arg(first + 9999));
        const Refresh r = waitPainted(at, paints, [&] {
            return g->model()->index(5, price).data().toString().remove(QChar(0xA0)).remove(QLatin1Char(' ')).startsWith(shown);
        });
        manyUi.push_back(r.uiMs);
        manyLatency.push_back(r.latencyMs);
        QTest::qWait(TDaoTable::MarkMs + 200); // the fading done
    }
    const double manyBase = readRowsMs(path, QStringLiteral("id BETWEEN %1 AND %2").arg(first).arg(first + 9999));

    // 10,000 new rows at once (another program's import): three rounds, the UI time and the
    // latency of each.
    const auto insertRounds = [&](const QString &prefix, std::vector<double> &ui, std::vector<double> &latency) {
        for (int i = 0; i < 3; ++i) {
            QTest::qWait(int(random.bounded(700)));
            const int before = DM->tblMain->RecordCount();
            const qint64 at = w.commit(QStringLiteral("INSERT INTO main (unit_name, deleted) SELECT '%1 ' || id, 0 FROM main "
                                                      "WHERE id BETWEEN %2 AND %3")
                                           .arg(prefix).arg(first).arg(first + 9999));
            const Refresh r = waitPainted(at, paints, [&] { return DM->tblMain->RecordCount() == before + 10000; });
            ui.push_back(r.uiMs);
            latency.push_back(r.latencyMs);
            QTest::qWait(TDaoTable::MarkMs + 200);
        }
    };
    // Joining the end of the grid, then in a grid sorted by name, among the others.
    std::vector<double> newUi, newLatency, sortedUi, sortedLatency;
    insertRounds(QStringLiteral("Нов"), newUi, newLatency);
    const double newBase = readRowsMs(path, QStringLiteral("id > (SELECT max(id) - 10000 FROM main)"));
    fVelostok->Inventory->DBGrid1TitleClick(name);
    QTest::qWait(1000);
    insertRounds(QStringLiteral("Сортиран"), sortedUi, sortedLatency);

    // Idle: nobody writes.
    QTest::qWait(TDaoTable::MarkMs + 500);
    if (idleSeconds == 0)
        idleSeconds = 1;
    const double cpuBefore = cpuMs();
    QElapsedTimer idle;
    idle.start();
    QTest::qWait(idleSeconds * 1000);
    const double idleCpu = cpuMs() - cpuBefore;
    const double idleWall = msSince(idle);

    std::printf("%d rows\n", DM->tblMain->RecordCount());
    const double maxLatency = *std::max_element(latency.begin(), latency.end());
    report("one row: commit to painted (median)", median(latency), median(bare), "median < 1000 ms");
    std::printf("%-58s %9.1f ms\n", "one row: commit to painted (slowest of 21)", maxLatency);
    report("one row: UI thread per refresh (median)", median(ui), oneBase, "<= 50 ms");
    std::printf("%-58s %9.1f ms\n", "one row: UI thread per refresh (slowest of 21)", *std::max_element(ui.begin(), ui.end()));
    report("10,000 changed rows: UI thread per refresh (median)", median(manyUi), manyBase, "<= 300 ms");
    std::printf("%-58s %9.1f ms\n", "10,000 changed rows: commit to painted (median)", median(manyLatency));
    report("10,000 new rows: UI thread per refresh (median)", median(newUi), newBase, "<= 300 ms");
    std::printf("%-58s %9.1f ms\n", "10,000 new rows: commit to painted (median)", median(newLatency));
    report("10,000 new rows, sorted grid: UI thread (median)", median(sortedUi), newBase, "<= 300 ms");
    std::printf("%-58s %9.1f ms\n", "10,000 new rows, sorted grid: commit to painted (median)", median(sortedLatency));
    std::printf("%-58s %9.2f %% of one core (%.0f ms over %.0f s; target <= 1 %%)\n", "idle", 100.0 * idleCpu / idleWall,
                idleCpu, idleWall / 1000.0);
    Startup::destroyAll();
    return 0;
}
