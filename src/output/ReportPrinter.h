// What the report window needs of a printer: whether there is one, the page sizes it takes, the
// smallest margins it prints, and taking a page layout. The application's printer stands behind
// it; tests put a stand-in in its place.
#pragma once

#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <functional>
#include <memory>
#include <optional>

class ReportPrinter
{
public:
    virtual ~ReportPrinter() = default;

    virtual bool isValid() const = 0;
    // The sizes the printer offers; empty when it does not tell (a file printer takes any).
    virtual QList<QPageSize> supportedPageSizes() const = 0;
    // The smallest margins, in millimetres, the printer prints with on a page of this size.
    virtual QMarginsF minimumMargins(const QPageSize &size) const = 0;
    // Takes the layout; false when the driver refuses it.
    virtual bool setPageLayout(const QPageLayout &layout) = 0;

    // The application's printer (QPrinter at high resolution).
    static std::unique_ptr<ReportPrinter> system();

    // The layout the report prints with: the wanted page size when the printer takes it,
    // otherwise the size nearest to it that the printer offers; margins as wanted, or the
    // printer's minimum where that is larger. Nothing when no layout can be set at all.
    static std::optional<QPageLayout> choose(ReportPrinter &printer, const QPageLayout &wanted);
};
