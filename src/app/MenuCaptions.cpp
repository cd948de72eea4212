// Reading caption files.
#include "MenuCaptions.h"

#include "base/TextCodec.h"

namespace MenuCaptions {

bool hasLines(const QByteArray &bytes)
{
    return !bytes.isEmpty();
}

QHash<QString, QString> parse(const QByteArray &bytes)
{
    QHash<QString, QString> captions;
    const QString text = TextCodec::decode(bytes);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text.at(end) != QLatin1Char('\r') && text.at(end) != QLatin1Char('\n'))
            ++end;
        const QStringView line = QStringView(text).mid(start, end - start);
        if (const qsizetype eq = line.indexOf(QLatin1Char('=')); eq >= 0) {
            const QString name = line.left(eq).toString().toLower();
            if (!captions.contains(name))
                captions.insert(name, line.mid(eq + 1).toString());
        }
        // CR LF is one line end.
        start = end + (end + 1 < text.size() && text.at(end) == QLatin1Char('\r') && text.at(end + 1) == QLatin1Char('\n') ? 2 : 1);
    }
    return captions;
}

} // namespace MenuCaptions
