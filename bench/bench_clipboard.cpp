// Row clipboard benchmark on an inventory of 100,000 rows, each beside a baseline in the same run:
// - copying 100,000 selected rows (the text of ten visible columns) beside reading the same
//   columns through the sqlite3 C API into the same text;
// - pasting 10,000 lines of 10 cells (one store per cell, the progress bar shown) beside the same
//   cell updates in one transaction through the C API (the history triggers quiet, as for the
//   program's own paste, which records its rows itself).
// Usage: build/bench/bench_clipboard [DIR] [ROWS]
#include "BenchSupport.h"
#include "InventoryData.h"
#include "ProgramTree.h"
#include "Prompts.h"
#include "RowClipboard.h"
#include "Startup.h"
#include "TApplication.h"
#include "TDBGrid.h"
#include "module/uDM.h"
#include "uSettings.h"
#include "uVelostok.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <cstdio>
#include <sqlite3.h>

using namespace bench;

namespace {

const char *const Columns = "user_id, unit_number, unit_name, quantity, price, second_price, comment, deliver_name, "
                            "delivery_unit_number, delivery_country";

double copyBaselineMs(const QString &path, int rows)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    QElapsedTimer t;
    t.start();
    sqlite3_stmt *st = nullptr;
    const QByteArray sql = QStringLiteral("SELECT %1 FROM main WHERE deleted = 0 LIMIT %2").arg(QLatin1String(Columns)).arg(rows).toUtf8();
    sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
    QString text;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 10; ++c) {
            text += QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, c)));
            text += QLatin1Char('\t');
        }
        text += QStringLiteral("\r\n");
    }
    sqlite3_finalize(st);
    QGuiApplication::clipboard()->setText(text);
    const double ms = msSince(t);
    sqlite3_close(db);
    return ms;
}

double pasteBaselineMs(const QString &path, int lines)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    QElapsedTimer t;
    t.start();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    // The history triggers stay quiet, as for the program's paste, which records its rows itself.
    sqlite3_exec(db, "INSERT INTO history_writer (who, mode) VALUES (NULL, 1)", nullptr, nullptr, nullptr);
    sqlite3_stmt *ids = nullptr;
    sqlite3_prepare_v2(db, "SELECT id FROM main ORDER BY id LIMIT ?", -1, &ids, nullptr);
    sqlite3_bind_int(ids, 1, lines);
    std::vector<sqlite3_int64> rowIds;
    while (sqlite3_step(ids) == SQLITE_ROW)
        rowIds.push_back(sqlite3_column_int64(ids, 0));
    sqlite3_finalize(ids);
    const char *cols[] = {"unit_number", "unit_name", "quantity", "price", "second_price", "comment", "deliver_name",
                          "delivery_unit_number", "delivery_country", "modifier"};
    std::vector<sqlite3_stmt *> up(10);
    for (int c = 0; c < 10; ++c)
        sqlite3_prepare_v2(db, QStringLiteral("UPDATE main SET %1 = ? WHERE id = ?").arg(QLatin1String(cols[c])).toUtf8().constData(),
                           -1, &up[size_t(c)], nullptr);
    for (sqlite3_int64 id : rowIds) {
        for (int c = 0; c < 10; ++c) {
            sqlite3_stmt *s = up[size_t(c)];
            sqlite3_bind_text(s, 1, "Б 12", -1, SQLITE_STATIC);
            sqlite3_bind_int64(s, 2, id);
            sqlite3_step(s);
            sqlite3_reset(s);
        }
    }
    for (sqlite3_stmt *s : up)
        sqlite3_finalize(s);
    sqlite3_exec(db, "DELETE FROM history_writer", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    const double ms = msSince(t);
    sqlite3_close(db);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    useOffscreen();
    TApplication app(argc, argv);
    Startup::setupFonts();
    const QString dir = dataDir(argc, argv);
    const int rows = rowsArg(argc, argv, 2, 100000);
    const int lines = qMin(10000, rows);
    ProgramTree tree;
    const QString path = workingCopy(tree, dir, rows);
    const QString basePath = workingCopy(tree, dir, rows, QStringLiteral("base.mdb"));

    const double copyBase = copyBaselineMs(path, rows);
    const double pasteBase = pasteBaselineMs(basePath, lines);

    bench::Unattended unattended;
    setPrompts(&unattended);
    Startup::createAll();
    fSettings->eDataBase->setText(path);
    fVelostok->show();
    QCoreApplication::processEvents();
    TDBGrid *g = fVelostok->DBGrid1;
    const int shown = DM->tblMain->RecordCount();
    g->selectAll();
    QElapsedTimer t;
    t.start();
    fVelostok->Clipboard->CopyRowsToClipboard();
    const double copyMs = msSince(t);
    const qsizetype copiedLines = QGuiApplication::clipboard()->text().count(QLatin1Char('\r'));
    std::printf("%d rows shown, %lld lines copied\n", shown, static_cast<long long>(copiedLines));
    report("copy every shown row", copyMs, copyBase, "< 2000 ms");

    // Ten cells a line, from the second column on, over the first rows of the view.
    QString text;
    for (int i = 0; i < lines; ++i) {
        for (int c = 0; c < 10; ++c)
            text += (c ? QStringLiteral("\t") : QString()) + QStringLiteral("%1 %2").arg(c).arg(i);
        text += QStringLiteral("\r\n");
    }
    QGuiApplication::clipboard()->setText(text);
    g->clearSelection();
    DM->tblMain->First();
    g->setCurrentIndex(g->model()->index(0, 1));
    bool barSeen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { barSeen = barSeen || fVelostok->ProgressBar1->isVisible(); });
    watch.start(50);
    t.restart();
    fVelostok->Clipboard->PasteRowsFromClipboard();
    const double pasteMs = msSince(t);
    watch.stop();
    report(qPrintable(QStringLiteral("paste %1 lines of 10 cells (progress bar %2)").arg(lines).arg(barSeen ? "shown" : "NOT SEEN")),
           pasteMs, pasteBase, "< 5000 ms");
    if (!unattended.messages.isEmpty())
        std::printf("messages: %s\n", qPrintable(unattended.messages.join(QStringLiteral(" | "))));
    Startup::destroyAll();
    setPrompts(nullptr);
    return 0;
}
