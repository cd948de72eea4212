// One column of a data grid: the field it shows and how. A grid owns its columns by value; code
// that changes them through TDBGrid::Columns() calls columnsChanged() afterwards.
#pragma once

#include "TPickList.h"

#include <QColor>
#include <QFont>
#include <QString>

struct TColumn
{
    QString FieldName;
    QString Title;
    int Width = 64;
    bool Visible = true;
    Qt::Alignment Alignment = Qt::AlignLeft;
    Qt::Alignment TitleAlignment = Qt::AlignHCenter;
    QFont TitleFont;
    QColor TitleColor = Qt::black;
    QFont Font;
    QColor Color;
    TPickList PickList;
    bool ReadOnly = false;
};
