// Splitting and converting the text of a row paste.
#include "PasteText.h"

#include "base/Regional.h"

#include <limits>

namespace PasteText {

QList<Line> split(const QString &text)
{
    // Where the last character other than LF is: a line break before it starts another row.
    qsizetype lastNonLf = text.size() - 1;
    while (lastNonLf >= 0 && text.at(lastNonLf) == QLatin1Char('\n'))
        --lastNonLf;
    QList<Line> lines;
    Line line;
    QString cell;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('\t')) {
            line.cells << std::exchange(cell, QString());
        } else if (ch == QLatin1Char('\r')) {
            line.cells << std::exchange(cell, QString());
            line.ended = true;
            line.nextRow = i < lastNonLf;
            lines << std::exchange(line, Line());
        } else if (ch.unicode() <= 27) {
            // dropped, LF included
        } else {
            cell += ch;
        }
    }
    if (!cell.isEmpty())
        line.cells << cell;
    if (!line.cells.isEmpty())
        lines << line;
    return lines;
}

qint32 wholeNumber(const QString &cell)
{
    bool ok = false;
    const qint64 n = cell.toLongLong(&ok);
    return ok && n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max() ? qint32(n) : 0;
}

double number(const QString &cell)
{
    double d = 0;
    return regional::parseNumber(cell, &d) ? d : 0;
}

QDateTime dateTime(const QString &cell)
{
    const qsizetype marker = cell.indexOf(QStringLiteral(" г."));
    return regional::parseDateTime(marker >= 0 ? cell.left(marker) : cell);
}

} // namespace PasteText
