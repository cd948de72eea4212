// How the history windows write an entry: the kinds, the fields' Bulgarian titles, who, and the
// values in the regional forms of the inventory's fields.
#pragma once

#include "dataset/ChangeLog.h"

#include <QString>

class TDaoField;
class TDaoTable;

namespace HistoryText {

QString kind(const ChangeLog::Entry &entry);
QString field(const QString &column);
QString who(const ChangeLog::Entry &entry);
QString time(const ChangeLog::Entry &entry);
// A value as the entry keeps it, shown as the inventory's field column shows it.
QString value(TDaoTable *inventory, const QString &column, const QVariant &stored);
// The fields an entry changed that a revert writes back: every post stamps the time and the
// modifier itself, and a new or purged row has no old values to go back to.
QList<ChangeLog::FieldChange> revertable(const ChangeLog::Entry &entry);
// Whether two values of field are the same. A file's history keeps a number to 15 significant
// digits (SQLite's JSON), so numbers are compared to that precision.
bool sameValue(const TDaoField *field, const QVariant &a, const QVariant &b);

} // namespace HistoryText
