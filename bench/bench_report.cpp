// Printed report benchmark at 100,000 rows: the print command until the preview has painted its
// first page, beside painting one page of the same rows straight from the sqlite3 C API; and the
// whole report written to PDF, with the process's peak memory before and after.
// Usage: build/bench/bench_report [DIR] [ROWS]
#include "BenchSupport.h"
#include "InventoryData.h"
#include "ProgramTree.h"
#include "Prompts.h"
#include "ReportPreview.h"
#include "Startup.h"
#include "TApplication.h"
#include "module/uDM.h"
#include "uSettings.h"
#include "uVelostok.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <cstdio>
#include <sqlite3.h>
#include <sys/resource.h>

using namespace bench;

namespace {

long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// One page's rows read and drawn as text on an image of a Letter page at 96 dpi.
double onePageBaselineMs(const QString &path)
{
    QElapsedTimer t;
    t.start();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT user_id, unit_number, unit_name, quantity, price, second_price, comment, deliver_name "
                           "FROM main WHERE deleted = 0 LIMIT 40", -1, &st, nullptr);
    QImage page(816, 1056, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    int y = 100;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 8; ++c)
            p.drawText(QRect(10 + c * 90, y, 88, 22), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, c))));
        y += 22;
    }
    p.end();
    sqlite3_finalize(st);
    sqlite3_close(db);
    return msSince(t);
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
    const double base = onePageBaselineMs(path);

    bench::Unattended prompts;
    setPrompts(&prompts);
    Startup::createAll();
    fSettings->eDataBase->setText(path);
    fVelostok->show();
    QCoreApplication::processEvents();
    const long peakBefore = peakKb();
    double firstPage = 0, pdfMs = 0;
    int pages = 0;
    QElapsedTimer t;
    prompts.onModal = [&](QDialog *d) {
        auto *preview = qobject_cast<report::ReportPreview *>(d);
        if (!preview)
            return 0;
        preview->show();
        preview->grab(); // paints the page shown
        firstPage = msSince(t);
        pages = preview->lblPage->text().section(QLatin1Char(' '), -1).toInt();
        QElapsedTimer w;
        w.start();
        preview->writePdf(tree.filePath(QStringLiteral("report.pdf")));
        pdfMs = msSince(w);
        preview->hide();
        return 1;
    };
    t.start();
    fVelostok->Print3Click();
    std::printf("%d rows, %d pages; PDF %lld bytes\n", rows, pages,
                static_cast<long long>(QFileInfo(tree.filePath(QStringLiteral("report.pdf"))).size()));
    std::printf("%-48s %8.1f ms   baseline %8.1f ms   ratio %6.2f   (target < 2000 ms)\n",
                "print command to the preview's first page", firstPage, base, firstPage / base);
    std::printf("%-48s %8.1f ms   peak memory %ld MB before, %ld MB after\n", "the whole report to PDF", pdfMs,
                peakBefore / 1024, peakKb() / 1024);
    Startup::destroyAll();
    setPrompts(nullptr);
    return 0;
}
