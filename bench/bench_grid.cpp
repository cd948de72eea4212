// Grid benchmark at 100,000 rows: an in-place edit of a name, posted by moving to another row
// (stamping, the after-post refresh and the three pick lists rebuilt), until the grid has
// repainted; beside the same update and the three pick-list queries through the sqlite3 C API.
// Usage: build/bench/bench_grid [DIR] [ROWS]
#include "BenchSupport.h"
#include "InventoryData.h"
#include "ProgramTree.h"
#include "Prompts.h"
#include "Startup.h"
#include "TApplication.h"
#include "TDBGrid.h"
#include "module/uDM.h"
#include "uSettings.h"
#include "RecordCommands.h"
#include "uVelostok.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

using namespace bench;

namespace {

double baselineMs(const QString &path, int round)
{
    return storeAndListsMs(path, QStringLiteral("UPDATE main SET unit_name = 'Базов %1', last_modified = datetime('now') "
                                                "WHERE id = (SELECT min(id) FROM main)")
                                     .arg(round)
                                     .toUtf8());
}

} // namespace

int main(int argc, char **argv)
{
    useOffscreen();
    TApplication app(argc, argv);
    Startup::setupFonts();
    const QString dir = dataDir(argc, argv);
    const int rows = rowsArg(argc, argv, 2, 100000);
    ProgramTree tree;
    const QString path = workingCopy(tree, dir, rows);

    std::vector<double> base;
    for (int i = 0; i < 7; ++i)
        base.push_back(baselineMs(path, i));

    Startup::createAll();
    fSettings->eDataBase->setText(path);
    fVelostok->show();
    QCoreApplication::processEvents();
    TDBGrid *g = fVelostok->DBGrid1;
    const int name = g->columnOfField(QStringLiteral("unit_name"), 2);
    std::vector<double> ours;
    for (int i = 0; i < 15; ++i) {
        const int row = 10 + (i % 2);
        g->setCurrentIndex(g->model()->index(row, name));
        g->model()->setData(g->model()->index(row, name), QStringLiteral("Нов детайл %1").arg(i));
        QElapsedTimer t;
        t.start();
        g->setCurrentIndex(g->model()->index(row + 5, name)); // leaving the row posts it
        g->viewport()->repaint();
        ours.push_back(double(t.nsecsElapsed()) / 1e6);
        if (DM->tblMain->State() != TDaoTable::dsBrowse) {
            std::printf("the post did not happen\n");
            return 1;
        }
    }
    const int listed = int(g->Columns().at(name).PickList.size());

    // Renumbering every shown row, beside one UPDATE per row in a single transaction.
    bench::Unattended unattended;
    setPrompts(&unattended);
    bool barSeen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { barSeen = barSeen || fVelostok->ProgressBar1->isVisible(); });
    watch.start(50);
    const int shown = DM->tblMain->RecordCount();
    QElapsedTimer r;
    r.start();
    fVelostok->Records->N2Click();
    const double renumberMs = double(r.nsecsElapsed()) / 1e6;
    watch.stop();
    setPrompts(nullptr);
    Startup::destroyAll();
    double renumberBase = 0;
    {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        QElapsedTimer b;
        b.start();
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        // The history triggers quiet, as for the program's renumbering, which records its rows itself.
        sqlite3_exec(db, "INSERT INTO history_writer (who, mode) VALUES (NULL, 1)", nullptr, nullptr, nullptr);
        sqlite3_stmt *ids = nullptr, *up = nullptr;
        sqlite3_prepare_v2(db, "SELECT id FROM main WHERE deleted = 0 ORDER BY id", -1, &ids, nullptr);
        sqlite3_prepare_v2(db, "UPDATE main SET user_id = ? WHERE id = ?", -1, &up, nullptr);
        std::vector<sqlite3_int64> all;
        while (sqlite3_step(ids) == SQLITE_ROW)
            all.push_back(sqlite3_column_int64(ids, 0));
        for (size_t i = 0; i < all.size(); ++i) {
            sqlite3_bind_int64(up, 1, sqlite3_int64(i + 1));
            sqlite3_bind_int64(up, 2, all[i]);
            sqlite3_step(up);
            sqlite3_reset(up);
        }
        sqlite3_finalize(ids);
        sqlite3_finalize(up);
        sqlite3_exec(db, "DELETE FROM history_writer", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        renumberBase = double(b.nsecsElapsed()) / 1e6;
        sqlite3_close(db);
    }
    std::printf("%-56s %8.1f ms   baseline %8.1f ms   ratio %5.2f   (target < 5000 ms)\n",
                qPrintable(QStringLiteral("renumber %1 shown rows (progress bar %2)").arg(shown).arg(barSeen ? "shown" : "NOT SEEN")),
                renumberMs, renumberBase, renumberMs / renumberBase);
    if (!unattended.messages.isEmpty())
        std::printf("messages: %s\n", qPrintable(unattended.messages.join(QStringLiteral(" | "))));
    std::printf("%d rows, unit_name pick list %d entries\n", rows, listed);
    std::printf("%-56s %8.1f ms   baseline %8.1f ms   ratio %5.2f   (target < 100 ms)\n",
                "leave an edited row: post, pick lists, repaint (median)", median(ours), median(base),
                median(ours) / median(base));
    return 0;
}
