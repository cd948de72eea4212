// Date-times as the inventory file stores them: local time as "yyyy-MM-dd HH:mm:ss" text.
#pragma once

#include <QDateTime>
#include <QString>

namespace storedtime {

QString text(const QDateTime &value);
// Also takes the ISO forms other programs write (with "T", milliseconds, or no time); invalid
// when the text is none of them.
QDateTime parse(const QString &text);

} // namespace storedtime
