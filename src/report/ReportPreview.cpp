// The preview window of a banded report.
#include "ReportPreview.h"

#include "base/DaoError.h"
#include "base/FileReplacement.h"
#include "Guard.h"
#include "Prompts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QProgressDialog>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace report {

class PageView : public QWidget
{
public:
    PageView(const BandReport &report, QWidget *parent) : QWidget(parent), mReport(report) {}

    void show(int page, double zoom)
    {
        mPage = page;
        mZoom = zoom;
        setFixedSize((mReport.paperPixels() * zoom).toSize());
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        mReport.paintPage(p, mPage, 96.0 * mZoom);
        p.setPen(Qt::gray);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    const BandReport &mReport;
    int mPage = 0;
    double mZoom = 1.0;
};

ReportPreview::ReportPreview(const BandReport &report, std::function<QPrinter *()> printer, QWidget *parent)
    : QDialog(parent), mReport(report), mPrinter(std::move(printer))
{
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(QStringLiteral("Print Preview"));
    auto *bar = new QHBoxLayout;
    auto button = [&](QToolButton *&b, const char *name, const QString &text, const QString &hint) {
        b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(hint);
        bar->addWidget(b);
    };
    button(bFirst, "bFirst", QStringLiteral("|<"), QStringLiteral("Първа страница"));
    button(bPrior, "bPrior", QStringLiteral("<"), QStringLiteral("Предишна страница"));
    lblPage = new QLabel(this);
    lblPage->setObjectName(QStringLiteral("lblPage"));
    lblPage->setMinimumWidth(110);
    lblPage->setAlignment(Qt::AlignCenter);
    bar->addWidget(lblPage);
    button(bNext, "bNext", QStringLiteral(">"), QStringLiteral("Следваща страница"));
    button(bLast, "bLast", QStringLiteral(">|"), QStringLiteral("Последна страница"));
    bar->addSpacing(12);
    button(bZoomOut, "bZoomOut", QStringLiteral("−"), QStringLiteral("Намали"));
    button(bZoomIn, "bZoomIn", QStringLiteral("+"), QStringLiteral("Увеличи"));
    bar->addSpacing(12);
    button(bSetup, "bSetup", QStringLiteral("Принтер…"), QStringLiteral("Настройки на печата"));
    button(bPrint, "bPrint", QStringLiteral("Печат"), QStringLiteral("Отпечатай всички страници"));
    button(bPdf, "bPdf", QStringLiteral("PDF…"), QStringLiteral("Запиши като PDF файл"));
    bar->addStretch();
    button(bClose, "bClose", QStringLiteral("Затвори"), QStringLiteral("Затвори прегледа"));

    mView = new PageView(report, this);
    mScroll = new QScrollArea(this);
    mScroll->setObjectName(QStringLiteral("PageArea"));
    mScroll->setAlignment(Qt::AlignHCenter);
    mScroll->setBackgroundRole(QPalette::Dark);
    mScroll->setWidget(mView);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(mScroll, 1);
    resize(900, 760);

    connect(bFirst, &QToolButton::clicked, this, [this] { showPage(0); });
    connect(bPrior, &QToolButton::clicked, this, [this] { showPage(mPage - 1); });
    connect(bNext, &QToolButton::clicked, this, [this] { showPage(mPage + 1); });
    connect(bLast, &QToolButton::clicked, this, [this] { showPage(mReport.pageCount() - 1); });
    connect(bZoomIn, &QToolButton::clicked, this, [this] { setZoom(mZoom * 1.25); });
    connect(bZoomOut, &QToolButton::clicked, this, [this] { setZoom(mZoom / 1.25); });
    connect(bSetup, &QToolButton::clicked, this, Guard::slot([this] { printSetup(); }));
    connect(bPrint, &QToolButton::clicked, this, Guard::slot([this] { printReport(); }));
    connect(bPdf, &QToolButton::clicked, this, Guard::slot([this] { saveAsPdf(); }));
    connect(bClose, &QToolButton::clicked, this, &QDialog::accept);
    showPage(0);
}

void ReportPreview::showPage(int page)
{
    const int count = mReport.pageCount();
    mPage = std::clamp(page, 0, std::max(0, count - 1));
    mView->show(mPage, mZoom);
    lblPage->setText(count > 0 ? QStringLiteral("Страница %1 от %2").arg(mPage + 1).arg(count) : QStringLiteral("Няма страници"));
    bFirst->setEnabled(mPage > 0);
    bPrior->setEnabled(mPage > 0);
    bNext->setEnabled(mPage + 1 < count);
    bLast->setEnabled(mPage + 1 < count);
    bPrint->setEnabled(count > 0);
    bPdf->setEnabled(count > 0);
}

void ReportPreview::setZoom(double zoom)
{
    mZoom = std::clamp(zoom, 0.25, 4.0);
    mView->show(mPage, mZoom);
}

void ReportPreview::printSetup()
{
    if (QPrinter *p = mPrinter ? mPrinter() : nullptr)
        prompts().printerSetup(p);
}

void ReportPreview::printReport()
{
    QPrinter *p = mPrinter ? mPrinter() : nullptr;
    if (!p || !prompts().printerSetup(p))
        return;
    bool printed = false;
    const bool finished = withProgress(QStringLiteral("Печат"), [&](const std::function<bool(int)> &step) {
        printed = mReport.print(*p, step);
        return printed;
    });
    if (!printed && finished)
        prompts().message(QStringLiteral("Отчетът не можа да бъде отпечатан."));
}

bool ReportPreview::withProgress(const QString &what, const std::function<bool(const std::function<bool(int)> &)> &work)
{
    QProgressDialog progress(what, QStringLiteral("Откажи"), 0, mReport.pageCount(), this);
    progress.setWindowTitle(windowTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    bool stopped = false;
    const bool done = work([&](int page) {
        progress.setValue(page);
        progress.setLabelText(QStringLiteral("%1: страница %2 от %3").arg(what).arg(page + 1).arg(mReport.pageCount()));
        stopped = progress.wasCanceled();
        return !stopped;
    });
    return done && !stopped;
}

bool ReportPreview::writePdf(const QString &path, const std::function<bool(int)> &progress) const
{
    try {
        FileReplacement file(path);
        bool stopped = false;
        {
            QPdfWriter pdf(file.temporaryPath());
            pdf.setResolution(300);
            pdf.setCreator(QStringLiteral("Velostok"));
            const auto step = [&](int page) {
                stopped = progress && !progress(page);
                return !stopped;
            };
            if (!mReport.print(pdf, step) || stopped)
                return false; // the temporary file goes, an older file stays
        }
        file.commit();
        return true;
    } catch (const DaoError &) {
        return false;
    }
}

void ReportPreview::saveAsPdf()
{
    Prompts::FileRequest r;
    r.filter = QStringLiteral("PDF files|*.pdf");
    r.defaultSuffix = QStringLiteral("pdf");
    r.fileName = QStringLiteral("Velostok.pdf");
    r.mustExist = false;
    const QString path = prompts().saveFile(r);
    if (path.isEmpty())
        return;
    bool written = false;
    const bool finished = withProgress(QStringLiteral("Запис в PDF"), [&](const std::function<bool(int)> &step) {
        written = writePdf(path, step);
        return written;
    });
    if (!written && finished)
        prompts().message(QStringLiteral("Поради възникнала грешка,\rданните не бяха записани!"));
}

} // namespace report
