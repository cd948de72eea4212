// Start-up benchmark: from showing the main window (its first show connects the database, filters
// out deleted rows and asks for the pick lists, which are read in the background) to the first
// painted grid, on a 1,000,000-row inventory, beside the same open, keyset and first screen of
// rows through the sqlite3 C API, and beside the open's walk of every key of the table (which
// the open does before the filter, and which bounds the show); then how long until the
// catalogue-number list can be read; then the check of the file that runs in the background
// after the first paint: how long it takes beside the engine's own quick check, and what a post
// made while it runs costs beside one made without it.
// Usage: build/bench/bench_startup [DIR] [ROWS] [--memory (that figure alone)]
#include "InventoryData.h"
#include "Timing.h"
#include "ProgramTree.h"
#include "Startup.h"
#include "TApplication.h"
#include "files/FileCheck.h"
#include "TDBGrid.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"
#include "module/uDM.h"
#include "uSettings.h"
#include "uVelostok.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QThread>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <vector>

namespace {

std::vector<sqlite3_int64> selectIds(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    std::vector<sqlite3_int64> ids;
    while (sqlite3_step(st) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    return ids;
}

// Open, the ids of the shown rows in order, and the first 40 rows' values; with walk, only every
// id of the table in key order (the open's own selection, a walk of all its pages).
double baselineMs(const QString &path, bool walk = false)
{
    QElapsedTimer t;
    t.start();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const std::vector<sqlite3_int64> ids =
        selectIds(db, walk ? "SELECT id FROM main ORDER BY id" : "SELECT id FROM main WHERE deleted = 0 ORDER BY id");
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM main WHERE id = ?", -1, &st, nullptr);
    for (size_t i = 0; !walk && i < 40 && i < ids.size(); ++i) {
        sqlite3_bind_int64(st, 1, ids[i]);
        if (sqlite3_step(st) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                sqlite3_column_text(st, c);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return double(t.nsecsElapsed()) / 1e6;
}

class PaintWatch : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// Shows the main window (made by Startup::createAll) and waits until its grid has painted.
void showUntilPainted()
{
    PaintWatch watch;
    fVelostok->DBGrid1->viewport()->installEventFilter(&watch);
    fVelostok->show();
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    fVelostok->DBGrid1->viewport()->removeEventFilter(&watch);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    Startup::setupFonts();
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::current().filePath(QStringLiteral("bench-data"));
    const int rows = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 1000000;
    const QString path = QFileInfo(benchdata::inventory(dir, rows)).absoluteFilePath();

    ProgramTree tree;

    // Memory first, in a process that has shown nothing yet: the windows made, then 12 s after
    // the show with the three pick lists read.
    {
        Startup::createAll();
        const double empty = bench::rssMiB();
        fSettings->eDataBase->setText(path);
        QElapsedTimer t;
        t.start();
        showUntilPainted();
        while (t.elapsed() < 12000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        qsizetype entries = 0;
        for (const int c : {1, 2, 7})
            entries += fVelostok->DBGrid1->Columns().at(c).PickList.size();
        QCoreApplication::processEvents();
#ifdef __GLIBC__
        const struct mallinfo2 m = mallinfo2();
        std::printf("  heap in use %.1f MiB, of it in blocks of their own %.1f MiB; free in the heap %.1f MiB\n",
                    double(m.uordblks + m.hblkhd) / 1048576.0, double(m.hblkhd) / 1048576.0, double(m.fordblks) / 1048576.0);
#endif
        std::printf("%-52s %9.1f MiB   the windows alone %6.1f MiB   (%lld pick-list entries; target <= 120 MiB)\n",
                    "resident memory 12 s after the show, lists read", bench::rssMiB(), empty, qlonglong(entries));
        Startup::destroyAll();
        if (argc > 3 && qstrcmp(argv[3], "--memory") == 0)
            return 0;
    }

    double base = 1e9, walk = 1e9;
    for (int i = 0; i < 3; ++i) {
        base = std::min(base, baselineMs(path));
        walk = std::min(walk, baselineMs(path, true));
    }

    double best = 1e9, bestCreate = 1e9, bestList = 1e9, lookMs = 1e9, uncheckedListMs = 1e9;
    qsizetype listSize = 0;
    int shown = 0;
    // Every other start without the background check of the file, to see what it costs the work
    // that follows the first paint.
    for (int i = 0; i < 6; ++i) {
        const bool checked = i % 2 == 0;
        QElapsedTimer c;
        c.start();
        Startup::createAll();
        bestCreate = std::min(bestCreate, double(c.nsecsElapsed()) / 1e6);
        fSettings->eDataBase->setText(path);
        QElapsedTimer t;
        t.start();
        showUntilPainted();
        best = std::min(best, double(t.nsecsElapsed()) / 1e6);
        shown = fVelostok->DBGrid1->model()->rowCount();
        if (!checked) {
            QCoreApplication::processEvents(); // the check the paint asked for begins...
            DM->DataBase->fileCheck()->stop(); // ...and is stopped
        }
        // The lists are read in the background meanwhile; the first look waits for what is left.
        QElapsedTimer l;
        l.start();
        const qsizetype numbers = fVelostok->DBGrid1->Columns().at(1).PickList.size();
        (checked ? bestList : uncheckedListMs) = std::min(checked ? bestList : uncheckedListMs, double(t.nsecsElapsed()) / 1e6);
        lookMs = std::min(lookMs, double(l.nsecsElapsed()) / 1e6);
        listSize = numbers;
        if (i == 0) {
            // Scrolling: the last screen, then twenty pages up, each painted.
            TDBGrid *g = fVelostok->DBGrid1;
            QElapsedTimer s;
            s.start();
            g->scrollToBottom();
            g->viewport()->repaint();
            const double bottom = double(s.nsecsElapsed()) / 1e6;
            s.restart();
            for (int p = 0; p < 20; ++p) {
                g->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
                g->viewport()->repaint();
            }
            std::printf("%-52s %9.1f ms\n", "scroll to the last row and paint", bottom);
            std::printf("%-52s %9.1f ms\n", "page up and paint, each of 20", double(s.nsecsElapsed()) / 1e6 / 20);
        }
        Startup::destroyAll();
    }
    // The catalogue-number list looked at some time after the first paint: the longest wait.
    double worstLook = 0;
    for (const int after : {0, 100, 250, 500, 1000, 2000}) {
        Startup::createAll();
        fSettings->eDataBase->setText(path);
        showUntilPainted();
        QElapsedTimer w;
        w.start();
        while (w.elapsed() < after)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QElapsedTimer l;
        l.start();
        fVelostok->DBGrid1->Columns().at(1).PickList.size();
        const double ms = double(l.nsecsElapsed()) / 1e6;
        std::printf("  the catalogue-number list looked at %4d ms after the first paint: waited %7.1f ms\n", after, ms);
        worstLook = std::max(worstLook, ms);
        Startup::destroyAll();
    }
    std::printf("%-52s %9.1f ms   (target <= 200 ms)\n", "the longest wait for the catalogue-number list", worstLook);

    // Where the time goes, step by step.
    Startup::createAll();
    fSettings->eDataBase->setText(path);
    auto step = [](const char *what, const std::function<void()> &f) {
        QElapsedTimer t;
        t.start();
        f();
        std::printf("  %-50s %9.1f ms\n", what, double(t.nsecsElapsed()) / 1e6);
    };
    step("ConnectDatabase", [] { fVelostok->ConnectDatabase(); });
    if (qEnvironmentVariableIsSet("VELOSTOK_BENCH_DETAIL")) {
        step("  close", [] { DM->DataBase->Close(); });
        step("  open the connection", [] { DM->DataBase->Open(); });
        for (TDaoTable *t : DM->connectOrder())
            step(qPrintable(QStringLiteral("  open ") + t->objectName()), [t] { t->Open(); });
    }
    step("ApplyFilter [deleted]=False", [] { fVelostok->ApplyFilter(QStringLiteral("[deleted]=False")); });
    step("RefreshPickLists", [] { fVelostok->RefreshPickLists(); });
    step("ApplyFilter [deleted]=False again", [] { fVelostok->ApplyFilter(QStringLiteral("[deleted]=False")); });
    Startup::destroyAll();

    // The background check of the file: started by the first paint, giving way to a post.
    double checkMs = 0, quietPostMs = 1e9, busyPostMs = 1e9;
    {
        QElapsedTimer q;
        q.start();
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_exec(db, "PRAGMA quick_check", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        const double engineMs = double(q.nsecsElapsed()) / 1e6;
        Startup::createAll();
        fSettings->eDataBase->setText(path);
        bool checked = false;
        QObject::connect(DM->DataBase, &TDaoDatabase::fileChecked, [&] { checked = true; });
        showUntilPainted();
        QElapsedTimer c;
        c.start();
        while (!checked)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        checkMs = double(c.nsecsElapsed()) / 1e6;
        const auto post = [] {
            TDaoTable *t = DM->tblMain;
            QElapsedTimer p;
            p.start();
            t->Edit();
            t->FieldByName(QStringLiteral("quantity"))->setAsFloat(t->FieldByName(QStringLiteral("quantity"))->AsFloat() + 1);
            t->Post();
            return double(p.nsecsElapsed()) / 1e6;
        };
        for (int i = 0; i < 5; ++i) {
            quietPostMs = std::min(quietPostMs, post());
            DM->DataBase->startFileCheck();
            QThread::msleep(100); // the check well under way
            busyPostMs = std::min(busyPostMs, post());
            DM->DataBase->fileCheck()->stop();
        }
        Startup::destroyAll();
        std::printf("%-52s %9.1f ms   the engine's quick check %8.1f ms   ratio %5.2f\n",
                    "background file check, first paint to result", checkMs, engineMs, checkMs / engineMs);
        std::printf("%-52s %9.1f ms   without it %8.1f ms   ratio %5.2f\n", "a post while the check runs", busyPostMs,
                    quietPostMs, busyPostMs / quietPostMs);
    }
    std::printf("%d rows, %d shown\n", rows, shown);
    std::printf("%-52s %9.1f ms\n", "creating the data module and every window", bestCreate);
    std::printf("%-52s %9.1f ms   baseline %8.1f ms   ratio %5.2f   (target < 500 ms)\n",
                "show to first painted grid (connect, filter, lists)", best, base, best / base);
    std::printf("%-52s %9.1f ms   (the open selects every key before the filter; ours with it %.2fx)\n",
                "  of it bound: the walk of the table through the C API", walk, best / (base + walk));
    std::printf("%-52s %9.1f ms   (%lld entries; the first look waited %.1f ms)\n",
                "show to the catalogue-number list read", bestList, qlonglong(listSize), lookMs);
    std::printf("%-52s %9.1f ms   with the file check %8.1f ms   ratio %5.2f\n",
                "the same without the background file check", uncheckedListMs, bestList, bestList / uncheckedListMs);
    return 0;
}
