// A bookmark: names one row of an open dataset, to return to it or to order a list of rows.
#pragma once

#include <QtGlobal>

struct TBookmark
{
    qint64 id = 0;     // the row's key in its row set
    int position = -1; // where the row was when the bookmark was taken
    bool isNull() const { return position < 0; }
    bool operator==(const TBookmark &o) const { return id == o.id && position == o.position; }
};
