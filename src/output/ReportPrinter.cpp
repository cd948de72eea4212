// Choosing the report's page layout on the printer at hand.
#include "ReportPrinter.h"

#include "OutputLog.h"

#include <QLoggingCategory>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>

namespace {

class SystemPrinter final : public ReportPrinter
{
public:
    SystemPrinter() : mPrinter(QPrinter::HighResolution) {}

    bool isValid() const override { return mPrinter.isValid(); }

    QList<QPageSize> supportedPageSizes() const override
    {
        // A file printer (what Qt offers without an installed printer) takes any size.
        if (mPrinter.outputFormat() != QPrinter::NativeFormat)
            return {};
        return QPrinterInfo::printerInfo(mPrinter.printerName()).supportedPageSizes();
    }

    QMarginsF minimumMargins(const QPageSize &size) const override
    {
        QPrinter probe(QPrinter::HighResolution);
        probe.setPrinterName(mPrinter.printerName());
        probe.setPageSize(size);
        return probe.pageLayout().minimumMargins();
    }

    bool setPageLayout(const QPageLayout &layout) override
    {
        return mPrinter.setPageLayout(layout) && mPrinter.pageLayout().pageSize().isEquivalentTo(layout.pageSize());
    }

private:
    QPrinter mPrinter;
};

// How far a size is from another, in millimetres of width and height.
double distance(const QPageSize &a, const QPageSize &b)
{
    const QSizeF sa = a.size(QPageSize::Millimeter), sb = b.size(QPageSize::Millimeter);
    return std::abs(sa.width() - sb.width()) + std::abs(sa.height() - sb.height());
}

} // namespace

std::unique_ptr<ReportPrinter> ReportPrinter::system()
{
    return std::make_unique<SystemPrinter>();
}

std::optional<QPageLayout> ReportPrinter::choose(ReportPrinter &printer, const QPageLayout &wanted)
{
    if (!printer.isValid())
        return std::nullopt;
    const QPageSize want = wanted.pageSize();
    QList<QPageSize> sizes = printer.supportedPageSizes();
    if (sizes.isEmpty())
        sizes << want;
    std::stable_sort(sizes.begin(), sizes.end(),
                     [&](const QPageSize &a, const QPageSize &b) { return distance(a, want) < distance(b, want); });
    const QMarginsF design = wanted.margins(QPageLayout::Millimeter);
    for (const QPageSize &size : std::as_const(sizes)) {
        const QMarginsF least = printer.minimumMargins(size);
        const QMarginsF margins(std::max(design.left(), least.left()), std::max(design.top(), least.top()),
                                std::max(design.right(), least.right()), std::max(design.bottom(), least.bottom()));
        const QPageLayout layout(size, wanted.orientation(), margins, QPageLayout::Millimeter);
        if (printer.setPageLayout(layout)) {
            qCDebug(lcOutput) << "report page:" << size.name() << margins;
            return layout;
        }
    }
    return std::nullopt;
}
