// "Now" and "today" for the whole program, replaceable so that tests can pin the time.
#pragma once

#include <QDateTime>
#include <functional>

namespace Clock {

QDateTime now(); // local time, to the second
QDate today();
// Installs another source of the time; an empty function restores the system clock.
void setSource(std::function<QDateTime()> source);

} // namespace Clock
