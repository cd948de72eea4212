// Paging and painting of a banded report.
#include "BandReport.h"

#include "base/Regional.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <cmath>

namespace report {

namespace {

constexpr double Dpi = 96.0;

double mmToPx(double mm)
{
    return mm / 25.4 * Dpi;
}

// A font whose point size is meant at 96 pixels per inch, for a painter working in such pixels.
QFont atDesignDpi(QFont f)
{
    if (f.pointSizeF() > 0)
        f.setPixelSize(int(std::lround(f.pointSizeF() * Dpi / 72.0)));
    return f;
}

// The longest beginning of text that is no wider than width.
QString fitting(const QString &text, const QFontMetricsF &fm, double width)
{
    if (fm.horizontalAdvance(text) <= width)
        return text;
    qsizetype fits = 0, over = text.size();
    while (over - fits > 1) {
        const qsizetype mid = (fits + over) / 2;
        (fm.horizontalAdvance(text.left(mid)) <= width ? fits : over) = mid;
    }
    if (fits > 0 && text.at(fits - 1).isHighSurrogate())
        --fits; // never half a character
    return text.left(fits);
}

} // namespace

BandReport::BandReport(Layout layout, int rows, std::function<QString(int, int)> text)
    : mLayout(std::move(layout)), mText(std::move(text)), mDate(QDate::currentDate())
{
    paginate(rows);
}

QSizeF BandReport::paperPixels() const
{
    const QSizeF mm = mLayout.page.fullRect(QPageLayout::Millimeter).size();
    return {mmToPx(mm.width()), mmToPx(mm.height())};
}

QPointF BandReport::printableTopLeft() const
{
    const QMarginsF m = mLayout.page.margins(QPageLayout::Millimeter);
    return {mmToPx(m.left()), mmToPx(m.top())};
}

double BandReport::scale() const
{
    const double printable = mmToPx(mLayout.page.paintRect(QPageLayout::Millimeter).width());
    return mLayout.width > 0 && printable < mLayout.width ? printable / mLayout.width : 1.0;
}

QSizeF BandReport::printableBandPixels() const
{
    const QSizeF mm = mLayout.page.paintRect(QPageLayout::Millimeter).size();
    return QSizeF(mmToPx(mm.width()), mmToPx(mm.height())) / scale();
}

void BandReport::paginate(int rows)
{
    mPages.clear();
    if (rows <= 0)
        return; // an empty view makes no pages
    const double height = printableBandPixels().height();
    const int detail = std::max(1, mLayout.detail.height);
    const double fixed = mLayout.header.height + mLayout.footer.height;
    int row = 0;
    bool first = true;
    while (row < rows) {
        Page p;
        p.firstRow = row;
        p.title = first;
        const double room = height - fixed - (first ? mLayout.title.height : 0);
        p.rows = std::max(1, int(std::floor(room / detail)));
        p.rows = std::min(p.rows, rows - row);
        row += p.rows;
        if (row == rows && room - p.rows * detail >= mLayout.summary.height)
            p.summary = true;
        mPages << p;
        first = false;
    }
    if (!mPages.last().summary) {
        Page p;
        p.firstRow = rows;
        p.summary = true;
        mPages << p;
    }
}

void BandReport::paintBand(QPainter &p, const Band &band, double top, int row, int page) const
{
    const double width = mLayout.width > 0 ? mLayout.width : printableBandPixels().width();
    const QRectF bandRect(0, 0, width, band.height);
    p.save();
    p.translate(0, top);
    p.setClipRect(bandRect);
    for (const Item &it : band.items) {
        const QRectF shown = bandRect.intersected(QRectF(it.rect));
        if (shown.isEmpty())
            continue; // wholly beyond the band
        p.setPen(it.colour);
        if (it.kind == Item::Line) {
            p.drawLine(QPointF(shown.left(), it.rect.top() + 0.5), QPointF(shown.right(), it.rect.top() + 0.5));
            continue;
        }
        QString text;
        switch (it.kind) {
        case Item::Text:
            text = it.text;
            break;
        case Item::Field:
            text = mText ? mText(row, it.field) : QString();
            break;
        case Item::Date:
            text = it.text + regional::locale().toString(mDate, regional::shortDateFormat());
            break;
        case Item::PageNumber:
            text = it.text + QString::number(page + 1);
            break;
        case Item::Line:
            break;
        }
        p.setFont(atDesignDpi(it.font));
        // A cell never spills into the next nor past the band's end: only the characters that
        // fit are drawn, so that none lies in the margin, not even in a PDF's text. A label sized
        // to its text in the window may measure a fraction wider here; within a pixel, the clip
        // trims it.
        const QRectF room(QPointF(it.rect.topLeft()), QSizeF(shown.right() - it.rect.left(), it.rect.height()));
        const bool cut = shown.right() < it.rect.x() + it.rect.width();
        text = fitting(text, QFontMetricsF(p.font(), p.device()), room.width() + (cut ? 0 : 1));
        p.save();
        p.setClipRect(room, Qt::IntersectClip);
        p.drawText(room, int(it.alignment) | Qt::TextSingleLine, text);
        p.restore();
        if (it.underline)
            p.drawLine(QPointF(shown.left(), it.rect.bottom() + 0.5), QPointF(shown.right(), it.rect.bottom() + 0.5));
    }
    p.restore();
}

void BandReport::paintPage(QPainter &painter, int page, double dpi) const
{
    if (page < 0 || page >= mPages.size())
        return;
    const Page &pg = mPages.at(page);
    painter.save();
    painter.scale(dpi / Dpi, dpi / Dpi);
    painter.translate(printableTopLeft());
    painter.scale(scale(), scale());
    const double height = printableBandPixels().height();
    double top = 0;
    if (pg.title) {
        paintBand(painter, mLayout.title, top, -1, page);
        top += mLayout.title.height;
    }
    paintBand(painter, mLayout.header, top, -1, page);
    top += mLayout.header.height;
    for (int r = 0; r < pg.rows; ++r) {
        paintBand(painter, mLayout.detail, top, pg.firstRow + r, page);
        top += mLayout.detail.height;
    }
    if (pg.summary)
        paintBand(painter, mLayout.summary, top, -1, page);
    paintBand(painter, mLayout.footer, height - mLayout.footer.height, -1, page);
    painter.restore();
}

bool BandReport::print(QPagedPaintDevice &device, const std::function<bool(int)> &progress) const
{
    if (mPages.isEmpty())
        return true;
    device.setPageLayout(mLayout.page);
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    // Painted from the paper's corner: the device's own origin is its printable area.
    const QRectF full = mLayout.page.fullRectPixels(device.logicalDpiX());
    const QRectF paint = mLayout.page.paintRectPixels(device.logicalDpiX());
    for (int i = 0; i < mPages.size(); ++i) {
        if (i > 0 && !device.newPage())
            return false;
        if (progress && !progress(i))
            break;
        painter.save();
        painter.translate(full.topLeft() - paint.topLeft());
        paintPage(painter, i, device.logicalDpiX());
        painter.restore();
    }
    return painter.end();
}

} // namespace report
