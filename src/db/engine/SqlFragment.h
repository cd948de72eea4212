// What a filter or sort turns into: SQL text with "?" placeholders and their values, over columns
// found by a resolver.
#pragma once

#include <QString>
#include <QVariantList>
#include <functional>
#include <optional>

// An SQL text with "?" placeholders and the values to bind to them, in order.
struct SqlFragment
{
    QString sql;
    QVariantList params;
    bool fitment = false; // reads the fitment index, which must be brought up to date first
};

struct ColumnInfo
{
    QString name; // the column's real name as the table spells it
    bool isText = false;
};

// Finds a column by the name a filter or sort uses (letter case ignored); nullopt when unknown.
using ColumnResolver = std::function<std::optional<ColumnInfo>(const QString &name)>;
