// A printer for tests: offers the page sizes it is given, prints with the given smallest
// margins, and takes a layout only of one of its sizes (any size when it offers none).
#pragma once

#include "ReportPrinter.h"

#include <QStringList>

class StandInPrinter : public ReportPrinter
{
public:
    explicit StandInPrinter(QList<QPageSize> sizes, QMarginsF least = QMarginsF(4, 4, 4, 4), bool valid = true)
        : mSizes(std::move(sizes)), mLeast(least), mValid(valid)
    {
    }

    bool refuseAll = false;
    QStringList tried; // the page sizes asked for, by name

    bool isValid() const override { return mValid; }
    QList<QPageSize> supportedPageSizes() const override { return mSizes; }
    QMarginsF minimumMargins(const QPageSize &) const override { return mLeast; }
    bool setPageLayout(const QPageLayout &layout) override
    {
        tried << layout.pageSize().name();
        if (refuseAll)
            return false;
        if (mSizes.isEmpty())
            return true;
        for (const QPageSize &s : mSizes)
            if (s.isEquivalentTo(layout.pageSize()))
                return true;
        return false;
    }

private:
    QList<QPageSize> mSizes;
    QMarginsF mLeast;
    bool mValid;
};
