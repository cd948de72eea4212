// The report's preview window: one page at a time, painted when shown, with paging, zoom, the
// printer's set-up, printing and saving as PDF. Opening it costs one page, whatever the rows.
#pragma once

#include "BandReport.h"

#include <QDialog>

class QLabel;
class QPrinter;
class QScrollArea;
class QToolButton;

namespace report {

class PageView;

class ReportPreview : public QDialog
{
    Q_OBJECT

public:
    // printer: where printing goes (the application's printer), asked when needed.
    ReportPreview(const BandReport &report, std::function<QPrinter *()> printer, QWidget *parent = nullptr);

    int currentPage() const { return mPage; }
    void showPage(int page);
    double zoom() const { return mZoom; }
    void setZoom(double zoom);

    void printSetup();
    void printReport();
    void saveAsPdf();
    // Writes the whole report as a PDF file (replaced only when complete); false on failure or
    // when progress (given each page before it is painted) stops it.
    bool writePdf(const QString &path, const std::function<bool(int page)> &progress = {}) const;

    QToolButton *bFirst, *bPrior, *bNext, *bLast, *bZoomIn, *bZoomOut, *bSetup, *bPrint, *bPdf, *bClose;
    QLabel *lblPage;

private:
    // Runs work with a progress window over the pages; false when the user stopped it.
    bool withProgress(const QString &what, const std::function<bool(const std::function<bool(int)> &)> &work);

    const BandReport &mReport;
    std::function<QPrinter *()> mPrinter;
    PageView *mView;
    QScrollArea *mScroll;
    int mPage = 0;
    double mZoom = 1.0;
};

} // namespace report
