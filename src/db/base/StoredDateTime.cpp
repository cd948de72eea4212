// The stored text of date-times, written and read.
#include "base/StoredDateTime.h"

namespace storedtime {

QString text(const QDateTime &value)
{
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The stored form is read for every date cell shown: parse it by hand, not through a format.
static bool parseIsoFast(const QString &t, QDateTime *out)
{
    if (t.size() < 10)
        return false;
    auto digits = [&](int at, int n, int *v) {
        int r = 0;
        for (int i = at; i < at + n; ++i) {
            const char16_t c = t.at(i).unicode();
            if (c < u'0' || c > u'9')
                return false;
            r = r * 10 + (c - u'0');
        }
        *v = r;
        return true;
    };
    int y, mo, d, h = 0, mi = 0, se = 0;
    if (!digits(0, 4, &y) || t.at(4) != u'-' || !digits(5, 2, &mo) || t.at(7) != u'-' || !digits(8, 2, &d))
        return false;
    if (t.size() > 10) {
        if (t.size() < 19 || (t.at(10) != u' ' && t.at(10) != u'T') || !digits(11, 2, &h) || t.at(13) != u':'
            || !digits(14, 2, &mi) || t.at(16) != u':' || !digits(17, 2, &se) || t.size() != 19)
            return false;
    }
    const QDate date(y, mo, d);
    const QTime time(h, mi, se);
    if (!date.isValid() || !time.isValid())
        return false;
    *out = QDateTime(date, time);
    return true;
}

QDateTime parse(const QString &text)
{
    QDateTime fast;
    if (parseIsoFast(text, &fast))
        return fast;
    static const QString formats[] = {
        QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"),
        QStringLiteral("yyyy-MM-ddTHH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm"),
        QStringLiteral("yyyy-MM-dd")};
    for (const QString &f : formats) {
        QDateTime d = QDateTime::fromString(text, f);
        if (d.isValid())
            return d;
    }
    return {};
}

} // namespace storedtime
