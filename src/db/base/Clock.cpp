// The program's clock.
#include "base/Clock.h"

namespace Clock {

namespace {
std::function<QDateTime()> &source()
{
    static std::function<QDateTime()> s;
    return s;
}
} // namespace

QDateTime now()
{
    QDateTime t = source() ? source()() : QDateTime::currentDateTime();
    const QTime tm = t.time();
    t.setTime(QTime(tm.hour(), tm.minute(), tm.second()));
    return t;
}

QDate today() { return now().date(); }

void setSource(std::function<QDateTime()> s) { source() = std::move(s); }

} // namespace Clock
