// A banded report: a title band once at the start, a column header on every page, a detail band
// per row, a summary once after the last row, and a page footer at the bottom of every page.
// Bands and their items are laid out in pixels at 96 per inch across the bands' width; where the
// page's printable width is narrower, the whole report is drawn smaller to fit it. Nothing is
// drawn past a band's right edge: an item reaching beyond it shows the characters that fit, one
// wholly beyond it nothing.
// Pages are counted from the row count alone, so any page can be painted on its own, on any paged
// device or on screen, without painting the ones before it.
#pragma once

#include <QColor>
#include <QDate>
#include <QFont>
#include <QList>
#include <QPageLayout>
#include <QRect>
#include <QString>
#include <functional>

class QPainter;
class QPagedPaintDevice;

namespace report {

struct Item
{
    enum Kind { Text, Field, Date, PageNumber, Line };
    Kind kind = Text;
    QRect rect;    // in the band, in pixels
    QString text;  // the caption, or the prefix of a date or page number
    int field = -1; // for Field: the row source's column
    QFont font;    // point sizes are taken at 96 pixels per inch
    QColor colour = Qt::black;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool underline = false; // a line along the bottom edge
};

struct Band
{
    int height = 0;
    QList<Item> items;
};

struct Layout
{
    QPageLayout page;
    int width = 0; // the bands' width in pixels; 0: the page's printable width
    Band title, header, detail, summary, footer;
};

class BandReport
{
public:
    // rows: how many detail rows; text(row, field): a cell's text.
    BandReport(Layout layout, int rows, std::function<QString(int row, int field)> text);

    int pageCount() const { return int(mPages.size()); }
    // Paints page (0-based) on a painter whose device shows the page's full paper at dpi.
    void paintPage(QPainter &painter, int page, double dpi) const;
    // Every page onto the device (a printer or a PDF writer), one after the other; false when
    // the device could not be painted on.
    bool print(QPagedPaintDevice &device, const std::function<bool(int page)> &progress = {}) const;
    // The date the date items show (today unless set).
    void setDate(const QDate &date) { mDate = date; }

    // The paper size and the printable area's top left, in pixels at 96 per inch.
    QSizeF paperPixels() const;
    QPointF printableTopLeft() const;
    // How much smaller than designed the report is drawn (1 where the bands fit the page), and
    // the printable area in the bands' pixels.
    double scale() const;
    QSizeF printableBandPixels() const;

private:
    struct Page
    {
        int firstRow = 0;
        int rows = 0;
        bool title = false;
        bool summary = false;
    };
    void paginate(int rows);
    void paintBand(QPainter &p, const Band &band, double top, int row, int page) const;

    Layout mLayout;
    std::function<QString(int, int)> mText;
    QList<Page> mPages;
    QDate mDate;
};

} // namespace report
