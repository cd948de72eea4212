// Tokens of filter and sort texts and the helpers of their messages.
#include "filter/FilterLexer.h"

namespace filtertext {

QString quoted(const QString &text)
{
    return QStringLiteral("„%1“").arg(text);
}

QString describe(const Token &t, const QString &endText)
{
    switch (t.kind) {
    case Tok::End:
        return endText;
    case Tok::Bracket:
        return quoted(QLatin1Char('[') + t.text + QLatin1Char(']'));
    case Tok::String: {
        QString shown = t.text;
        if (shown.size() > 30)
            shown = shown.left(30) + QStringLiteral("…");
        return QStringLiteral("текста ") + quoted(shown);
    }
    default:
        return quoted(t.text);
    }
}

bool isKeyword(const Token &t, const char *word)
{
    return t.kind == Tok::Name && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isNameStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_');
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

ColumnInfo resolve(const ColumnResolver &resolver, const QString &name, const char *where, int pos)
{
    std::optional<ColumnInfo> info = resolver ? resolver(name) : std::nullopt;
    if (!info) {
        throw FilterError(QStringLiteral("Непознато поле [%1] %2").arg(name, QString::fromUtf8(where)),
                          pos);
    }
    return *info;
}

} // namespace filtertext
