// The filter expression the search window builds from its boxes: the terms in a fixed order,
// each text inserted exactly as typed, the compatibility words in one group.
#pragma once

#include <QString>
#include <QStringList>

struct SearchCriteria
{
    QString id;
    QString quantity;
    QString comparison = QStringLiteral("="); // "<", "=" or ">"
    QString unitNumber;
    QString unitName;
    QString deliverName;
    QString deliverNumber;
    QString deliveryCountry;
    QString comment;
    bool fromStart = false;   // match values that begin with the text (no "*" before it)
    bool showDeleted = false; // no "[deleted]=False" term
};

// The words of a compatibility text: runs of characters other than space, ";", "-", CR and LF.
QStringList compatibilityWords(const QString &text);

QString searchFilter(const SearchCriteria &c);
