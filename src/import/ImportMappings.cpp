// The remembered column mappings.
#include "ImportMappings.h"

#include "Paths.h"
#include "import/ColumnGuess.h"

#include <QFile>
#include <QSaveFile>

namespace ImportMappings {

namespace {

constexpr int Kept = 100;

QString path() { return Paths::programFile(QStringLiteral("import.ini")); }

// The headings as one line's key: their compared forms, which hold letters and digits only.
QString keyOf(const QStringList &headings)
{
    QStringList keys;
    for (const QString &h : headings)
        keys << columnguess::key(h);
    return keys.join(QLatin1Char('|'));
}

QStringList lines()
{
    QFile in(path());
    if (!in.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(in.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

} // namespace

QStringList recall(const QStringList &headings)
{
    const QString key = keyOf(headings) + QLatin1Char('=');
    for (const QString &line : lines())
        if (line.startsWith(key)) {
            const QStringList fields = line.mid(key.size()).split(QLatin1Char('|'));
            return fields.size() == headings.size() ? fields : QStringList();
        }
    return {};
}

void remember(const QStringList &headings, const QStringList &fields)
{
    const QString key = keyOf(headings) + QLatin1Char('=');
    QStringList kept{key + fields.join(QLatin1Char('|'))};
    for (const QString &line : lines())
        if (!line.startsWith(key) && kept.size() < Kept)
            kept << line;
    QSaveFile out(path());
    if (out.open(QIODevice::WriteOnly)) {
        out.write((kept.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
        out.commit();
    }
}

} // namespace ImportMappings
