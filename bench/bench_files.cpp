// Search and database-file benchmark at 1,000,000 rows, each beside a baseline in the same run:
// - a search of three text boxes and a memo of two words ("&Търси": the filter built, the rows
//   selected, the grid repainted) beside the same conditions as one query through the sqlite3 C
//   API, reading the ids;
// - compaction of the closed file (gate, VACUUM INTO beside it, flush, rename) beside a plain
//   VACUUM INTO of the same file;
// - the archive copy of the open database (backup API into a file beside the target, flush,
//   rename) beside a plain backup-API copy.
// Usage: build/bench/bench_files [DIR] [ROWS]
#include "BenchSupport.h"
#include "InventoryData.h"
#include "ProgramTree.h"
#include "Startup.h"
#include "TApplication.h"
#include "TDBGrid.h"
#include "dataset/TDaoDatabase.h"
#include "module/uDM.h"
#include "uSearchForm.h"
#include "uSettings.h"
#include "uVelostok.h"
#include "CompatibilityMemo.h"
#include "PickListBox.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

using namespace bench;

namespace {

sqlite3 *openRaw(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    return db;
}

double searchBaselineMs(const QString &path)
{
    sqlite3 *db = openRaw(path);
    QElapsedTimer t;
    t.start();
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT id FROM main WHERE deleted = 0 AND unit_number LIKE '%5 1%' AND unit_name LIKE '%Филтър%' "
                       "AND deliver_name LIKE '%Авто%' AND (comment LIKE '%Golf%' OR comment LIKE '%Astra%')",
                       -1, &st, nullptr);
    int n = 0;
    while (sqlite3_step(st) == SQLITE_ROW)
        n += sqlite3_column_int(st, 0) != 0;
    sqlite3_finalize(st);
    const double ms = msSince(t);
    sqlite3_close(db);
    return ms;
}

double vacuumBaselineMs(const QString &path, const QString &dest)
{
    QFile::remove(dest);
    sqlite3 *db = openRaw(path);
    QElapsedTimer t;
    t.start();
    sqlite3_exec(db, QStringLiteral("VACUUM INTO '%1'").arg(dest).toUtf8().constData(), nullptr, nullptr, nullptr);
    const double ms = msSince(t);
    sqlite3_close(db);
    QFile::remove(dest);
    return ms;
}

double backupBaselineMs(const QString &path, const QString &dest)
{
    QFile::remove(dest);
    sqlite3 *src = openRaw(path);
    QElapsedTimer t;
    t.start();
    sqlite3 *out = nullptr;
    sqlite3_open_v2(dest.toUtf8().constData(), &out, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_backup *b = sqlite3_backup_init(out, "main", src, "main");
    sqlite3_backup_step(b, -1);
    sqlite3_backup_finish(b);
    sqlite3_close(out);
    const double ms = msSince(t);
    sqlite3_close(src);
    QFile::remove(dest);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    useOffscreen();
    TApplication app(argc, argv);
    Startup::setupFonts();
    const QString dir = dataDir(argc, argv);
    const int rows = rowsArg(argc, argv, 2, 1000000);
    ProgramTree tree;
    const QString path = workingCopy(tree, dir, rows);
    const QString scratch = tree.filePath(QStringLiteral("scratch.mdb"));

    std::vector<double> searchBase, vacuumBase, backupBase;
    for (int i = 0; i < 5; ++i)
        searchBase.push_back(searchBaselineMs(path));
    for (int i = 0; i < 3; ++i) {
        vacuumBase.push_back(vacuumBaselineMs(path, scratch));
        backupBase.push_back(backupBaselineMs(path, scratch));
    }

    Startup::createAll();
    fSettings->eDataBase->setText(path);
    fVelostok->show();
    QCoreApplication::processEvents();
    TfSearchForm *s = fSearchForm;
    s->show();
    s->cbxUnitNum->setEditText(QStringLiteral("5 1"));
    s->cbxUnitName->setEditText(QStringLiteral("филтър"));
    s->eDeliverName->setText(QStringLiteral("авто"));
    s->eComment->setText(QStringLiteral("Golf Astra"));
    std::vector<double> search;
    int found = 0;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        s->bSearch->click();
        fVelostok->DBGrid1->viewport()->repaint();
        found = DM->tblMain->RecordCount();
        search.push_back(msSince(t));
    }
    s->hide();
    std::printf("%d rows; the search finds %d\n", rows, found);
    report("search: three boxes and two memo words (median)", median(search), median(searchBase), "<= 1.5x");

    std::vector<double> archive;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        DM->DataBase->CopyOpenDatabase(scratch);
        archive.push_back(msSince(t));
    }
    QFile::remove(scratch);
    Startup::destroyAll();

    std::vector<double> compaction;
    TDaoDatabase db;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        db.CompactDatabaseFile(path, QString());
        compaction.push_back(msSince(t));
    }
    report("compaction of the closed file (median)", median(compaction), median(vacuumBase), "<= 1.3x");
    report("archive copy of the open database (median)", median(archive), median(backupBase), "<= 1.3x");
    return 0;
}
