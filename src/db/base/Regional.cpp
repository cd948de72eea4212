// Regional forms of numbers and dates.
#include "base/Regional.h"

#include "base/Clock.h"

#include <clocale>
#include <cmath>
#include <locale.h>

namespace regional {

namespace {
// The locale and its formats, looked up once: they are used for every cell shown.
struct Forms
{
    QLocale locale;
    QString shortDate;
    QString bareDate; // the short date without a trailing marker such as " г."
    QString longTime;
    QChar decimal;

    explicit Forms(const QLocale &l) : locale(l)
    {
        shortDate = l.dateFormat(QLocale::ShortFormat);
        const qsizetype quote = shortDate.indexOf(QLatin1Char('\''));
        bareDate = quote > 0 ? shortDate.left(quote).trimmed() : shortDate;
        // Long time with seconds, without a time zone part.
        longTime = l.timeFormat(QLocale::LongFormat);
        longTime.remove(QLatin1Char('t'));
        longTime = longTime.trimmed();
        const QString d = l.decimalPoint();
        decimal = d.isEmpty() ? QLatin1Char('.') : d.at(0);
    }
};

Forms &forms()
{
    static Forms f(QLocale::system());
    return f;
}

const QLocale &current() { return forms().locale; }
} // namespace

QLocale locale() { return current(); }
void setLocale(const QLocale &l) { forms() = Forms(l); }

void keepCNumbers()
{
    std::setlocale(LC_NUMERIC, "C");
}

CNumbers::CNumbers()
{
    locale_t c = ::newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    if (c) {
        mC = c;
        mOld = ::uselocale(c);
    }
}

CNumbers::~CNumbers()
{
    if (!mC)
        return;
    ::uselocale(static_cast<locale_t>(mOld));
    ::freelocale(static_cast<locale_t>(mC));
}

QChar decimalSeparator() { return forms().decimal; }

QString formatNumber(double value)
{
    if (std::isnan(value) || std::isinf(value))
        return QString::number(value);
    // A price of whole cents, the usual value, is written directly: the double nearest to the
    // decimal n/100 (the division is correctly rounded), of at most 15 digits, reads back as that
    // decimal in 15 significant digits. The general conversion costs several times as much.
    if (std::fabs(value) < 1e12) {
        const qint64 cents = std::llround(value * 100);
        if (double(cents) / 100 == value && !(cents == 0 && std::signbit(value))) {
            const qint64 whole = (cents < 0 ? -cents : cents) / 100;
            const int part = int((cents < 0 ? -cents : cents) % 100);
            QString s = QString::number(whole);
            if (cents < 0)
                s.prepend(QLatin1Char('-'));
            if (part != 0) {
                s += decimalSeparator();
                s += QLatin1Char(char('0' + part / 10));
                if (part % 10 != 0)
                    s += QLatin1Char(char('0' + part % 10));
            }
            return s;
        }
    }
    QString s = QString::number(value, 'g', 15);
    if (s.contains(QLatin1Char('e'))) {
        s = s.toUpper();
        s.replace(QStringLiteral("E+"), QStringLiteral("E"));
    }
    const QChar sep = decimalSeparator();
    if (sep != QLatin1Char('.'))
        s.replace(QLatin1Char('.'), sep);
    return s;
}

bool parseNumber(const QString &text, double *value)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    const QChar sep = decimalSeparator();
    if (sep != QLatin1Char('.')) {
        if (t.contains(QLatin1Char('.')))
            return false;
        t.replace(sep, QLatin1Char('.'));
    }
    // Only plain numbers: no hex, inf or nan, which toDouble would take.
    for (QChar c : t) {
        if (!(c.isDigit() || c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('+')
              || c == QLatin1Char('e') || c == QLatin1Char('E')))
            return false;
    }
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || std::isinf(v))
        return false;
    *value = v;
    return true;
}

QString shortDateFormat() { return forms().shortDate; }

QString longTimeFormat() { return forms().longTime; }

QString formatDateTime(const QDateTime &value)
{
    if (!value.isValid())
        return QString();
    const Forms &f = forms();
    return f.locale.toString(value.date(), f.shortDate) + QLatin1Char(' ') + f.locale.toString(value.time(), f.longTime);
}

namespace {

// Qt reads a two-digit year as 19yy; the year is taken to lie within fifty years of today.
QDate inCenturyWindow(const QDate &d, const QString &format)
{
    if (!d.isValid() || format.contains(QLatin1String("yyyy")) || !format.contains(QLatin1String("yy")))
        return d;
    const int now = Clock::today().year();
    int year = (now / 100) * 100 + d.year() % 100;
    if (year > now + 50)
        year -= 100;
    else if (year <= now - 50)
        year += 100;
    return QDate(year, d.month(), d.day());
}

} // namespace

QDateTime parseDateTime(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    const QLocale l = current();
    QDateTime d = l.toDateTime(t, shortDateFormat() + QLatin1Char(' ') + longTimeFormat());
    if (d.isValid())
        return QDateTime(inCenturyWindow(d.date(), shortDateFormat()), d.time());
    // The regional date with a bare time, as spreadsheets write it.
    for (const char *tf : {" H:mm:ss", " H:mm"}) {
        d = l.toDateTime(t, shortDateFormat() + QLatin1String(tf));
        if (d.isValid())
            return QDateTime(inCenturyWindow(d.date(), shortDateFormat()), d.time());
    }
    // The date alone, with its marker or without it (a paste takes the marker off).
    for (const QString &f : {shortDateFormat(), forms().bareDate}) {
        const QDate date = inCenturyWindow(l.toDate(t, f), f);
        if (date.isValid())
            return QDateTime(date, QTime(0, 0));
    }
    static const char *iso[] = {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm",
                                "yyyy-MM-dd", "d.M.yyyy H:mm:ss", "d.M.yyyy H:mm", "d.M.yyyy"};
    for (const char *f : iso) {
        d = QDateTime::fromString(t, QString::fromLatin1(f));
        if (d.isValid())
            return d;
    }
    return {};
}

} // namespace regional
