// Compatibility entries read back from their text.
#include "fitment/CompatibilityText.h"

#include <QRegularExpression>

namespace compatibility {

namespace {

QString collapsed(const QString &text) { return text.simplified(); }

// The year part at the end of an entry: "1991-1997", "2003-", "-1998", "2003" or something that
// looks like years but is not ("1991-19975"). Gives where the years begin (-1: no years).
qsizetype readYears(const QString &entry, Entry &e)
{
    static const QRegularExpression range(QStringLiteral("(?:^|\\s)(\\d*)\\s*-\\s*(\\d*)$"));
    static const QRegularExpression single(QStringLiteral("(?:^|\\s)(\\d{4,})$"));
    QRegularExpressionMatch m = range.match(entry);
    if (m.hasMatch()) {
        const QString a = m.captured(1), b = m.captured(2);
        const bool okA = a.isEmpty() || isYear(a), okB = b.isEmpty() || isYear(b);
        e.years = okA && okB && (a.isEmpty() || b.isEmpty() || a.toInt() <= b.toInt()) ? Entry::Years::Given : Entry::Years::Bad;
        if (e.years == Entry::Years::Given) {
            e.from = a.isEmpty() ? 0 : a.toInt();
            e.to = b.isEmpty() ? 0 : b.toInt();
        }
        return m.capturedStart(1);
    }
    m = single.match(entry);
    if (m.hasMatch()) {
        e.years = isYear(m.captured(1)) ? Entry::Years::Given : Entry::Years::Bad;
        if (e.years == Entry::Years::Given)
            e.from = e.to = m.captured(1).toInt();
        return m.capturedStart(1);
    }
    return -1;
}

} // namespace

bool isYear(QStringView text)
{
    if (text.size() != 4)
        return false;
    for (const QChar c : text)
        if (!c.isDigit() || c.unicode() > '9')
            return false;
    const int y = text.toInt();
    return y >= 1886 && y <= 2100;
}

bool Entry::fits(const QString &carMake, const QString &carModel, int year) const
{
    if (make.compare(carMake, Qt::CaseInsensitive) != 0)
        return false;
    if (!carModel.isEmpty() && model.compare(carModel, Qt::CaseInsensitive) != 0)
        return false;
    if (year == 0 || years != Years::Given)
        return years != Years::Bad || year == 0;
    return (from == 0 || year >= from) && (to == 0 || year <= to);
}

QList<Entry> parse(const QString &text, const QStringList &knownMakes)
{
    QList<Entry> out;
    QString normalised = text;
    normalised.replace(QLatin1Char('\r'), QLatin1Char(';')).replace(QLatin1Char('\n'), QLatin1Char(';'));
    for (const QString &part : normalised.split(QLatin1Char(';'))) {
        const QString entry = collapsed(part);
        if (entry.isEmpty() || entry == QLatin1String("-"))
            continue;
        Entry e;
        e.text = entry;
        const qsizetype yearsAt = readYears(entry, e);
        const QString car = collapsed(yearsAt < 0 ? entry : entry.left(yearsAt));
        // The make: the longest known make the entry begins with (a whole word), else its first word.
        qsizetype makeEnd = car.indexOf(QLatin1Char(' '));
        if (makeEnd < 0)
            makeEnd = car.size();
        for (const QString &known : knownMakes) {
            const QString k = collapsed(known);
            if (k.size() > makeEnd && car.startsWith(k, Qt::CaseInsensitive)
                && (car.size() == k.size() || car.at(k.size()) == QLatin1Char(' ')))
                makeEnd = k.size();
        }
        e.make = car.left(makeEnd);
        const QString models = car.mid(makeEnd).trimmed();
        if (models.isEmpty()) {
            out.append(e);
            continue;
        }
        for (const QString &model : models.split(QLatin1Char('/'))) {
            Entry one = e;
            one.model = collapsed(model);
            if (!one.model.isEmpty())
                out.append(one);
        }
    }
    return out;
}

} // namespace compatibility
