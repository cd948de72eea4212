// Export benchmark at 1,000,000 rows (the rows not marked deleted), each beside a direct writer
// over the same query in the same run: xlsx through libxlsxwriter in constant-memory mode, CSV
// and HTML written by hand from the sqlite3 C API.
// Usage: build/bench/bench_export [DIR] [ROWS]
#include "BenchSupport.h"
#include "InventoryData.h"
#include "ProgramTree.h"
#include "Startup.h"
#include "TApplication.h"
#include "dataset/TDaoTable.h"
#include "module/uDM.h"
#include "uSettings.h"
#include "uVelostok.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <cstdio>
#include <sqlite3.h>
#include <xlsxwriter.h>

using namespace bench;

namespace {

const char *const Query = "SELECT id, user_id, unit_number, unit_name, quantity, price, second_price, comment, deliver_name, "
                          "delivery_unit_number, delivery_country, last_modified, modifier, deleted, locked, created "
                          "FROM main WHERE deleted = 0";

template<typename Row>
double direct(const QString &db, Row row)
{
    sqlite3 *c = nullptr;
    sqlite3_open_v2(db.toUtf8().constData(), &c, SQLITE_OPEN_READONLY, nullptr);
    QElapsedTimer t;
    t.start();
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(c, Query, -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        row(st);
    sqlite3_finalize(st);
    sqlite3_close(c);
    return msSince(t);
}

double directXlsx(const QString &db, const QString &out)
{
    lxw_workbook_options o{};
    o.constant_memory = LXW_TRUE;
    const QByteArray path = out.toUtf8();
    QElapsedTimer t;
    t.start();
    lxw_workbook *book = workbook_new_opt(path.constData(), &o);
    lxw_worksheet *ws = workbook_add_worksheet(book, "Tab1");
    lxw_row_t r = 0;
    direct(db, [&](sqlite3_stmt *st) {
        ++r;
        for (int c = 0; c < 16; ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_NULL:
                break;
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                worksheet_write_number(ws, r, lxw_col_t(c), sqlite3_column_double(st, c), nullptr);
                break;
            default:
                worksheet_write_string(ws, r, lxw_col_t(c), reinterpret_cast<const char *>(sqlite3_column_text(st, c)), nullptr);
            }
        }
    });
    workbook_close(book);
    return msSince(t);
}

double directText(const QString &db, const QString &out, bool html)
{
    FILE *f = std::fopen(out.toUtf8().constData(), "wb");
    QElapsedTimer t;
    t.start();
    direct(db, [&](sqlite3_stmt *st) {
        std::fputs(html ? "<tr>" : "", f);
        for (int c = 0; c < 16; ++c) {
            const char *v = reinterpret_cast<const char *>(sqlite3_column_text(st, c));
            if (html) {
                std::fputs("<td>", f);
                std::fputs(v ? QString::fromUtf8(v).toHtmlEscaped().toUtf8().constData() : "", f);
                std::fputs("</td>", f);
            } else {
                if (c)
                    std::fputc(',', f);
                if (v && sqlite3_column_type(st, c) == SQLITE_TEXT) {
                    QByteArray q(v);
                    q.replace("\"", "\"\"");
                    std::fputc('"', f);
                    std::fputs(q.constData(), f);
                    std::fputc('"', f);
                } else if (v) {
                    std::fputs(v, f);
                }
            }
        }
        std::fputs(html ? "</tr>\n" : "\r\n", f);
    });
    std::fclose(f);
    return msSince(t);
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

    const double xlsxBase = directXlsx(path, tree.filePath(QStringLiteral("base.xlsx")));
    const double csvBase = directText(path, tree.filePath(QStringLiteral("base.txt")), false);
    const double htmlBase = directText(path, tree.filePath(QStringLiteral("base.htm")), true);

    Startup::createAll();
    fSettings->eDataBase->setText(path);
    fVelostok->show();
    QCoreApplication::processEvents();
    TDaoTable *t = DM->tblMain;
    QElapsedTimer e;
    e.start();
    t->WriteSpreadsheetExport(tree.filePath(QStringLiteral("ours.xlsx")), QStringLiteral("Tab1"), 3, true, true);
    const double xlsx = msSince(e);
    const int written = t->RowsAffected();
    e.restart();
    t->WriteTextExport(tree.filePath(QStringLiteral("ours.txt")), true, true);
    const double csv = msSince(e);
    e.restart();
    t->WriteHtmlExport(tree.filePath(QStringLiteral("ours.htm")), true, true);
    const double html = msSince(e);
    std::printf("%d rows, %d written; xlsx %lld bytes (direct %lld)\n", rows, written,
                static_cast<long long>(QFileInfo(tree.filePath(QStringLiteral("ours.xlsx"))).size()),
                static_cast<long long>(QFileInfo(tree.filePath(QStringLiteral("base.xlsx"))).size()));
    report("xlsx", xlsx, xlsxBase, "<= 1.3x");
    report("CSV", csv, csvBase, "<= 1.3x");
    report("HTML", html, htmlBase, "<= 1.3x");
    Startup::destroyAll();
    return 0;
}
