// The tokens of filter and sort texts, shared by FilterExpression and SortExpression. Errors are
// FilterError with a Bulgarian message and the 0-based position of the problem.
#pragma once

#include "filter/FilterError.h"
#include "engine/SqlFragment.h"

#include <QString>

namespace filtertext {

enum class Tok { End, Name, Bracket, Integer, Real, String, Op, LParen, RParen, Minus, Comma };

struct Token
{
    Tok kind = Tok::End;
    int pos = 0;
    QString text;
};

// A text in the quotes used in messages: „text“.
QString quoted(const QString &text);
// A token as a message names it; endText for the end of the text.
QString describe(const Token &t, const QString &endText);
bool isKeyword(const Token &t, const char *word);
bool isNameStart(QChar c);
bool isNameChar(QChar c);
// The column a name stands for; raises "Непознато поле [name] <where>" at pos when unknown.
ColumnInfo resolve(const ColumnResolver &resolver, const QString &name, const char *where, int pos);

class FilterLexer
{
public:
    FilterLexer(const QString &text, QString errorPrefix)
        : mText(text), mPrefix(std::move(errorPrefix))
    {
    }

    [[noreturn]] void fail(int pos, const QString &what) const
    {
        throw FilterError(mPrefix.arg(pos + 1).arg(what), pos);
    }

    int length() const { return int(mText.size()); }

    const Token &peek()
    {
        if (!mHasPeek) {
            mPeek = scan();
            mHasPeek = true;
        }
        return mPeek;
    }

    Token take()
    {
        peek();
        mHasPeek = false;
        return mPeek;
    }

private:
    Token scan()
    {
        const int n = length();
        while (mPos < n && mText[mPos].isSpace())
            ++mPos;
        Token t;
        t.pos = mPos;
        if (mPos >= n) {
            t.kind = Tok::End;
            return t;
        }
        const QChar c = mText[mPos];
        const char16_t u = c.unicode();
        if (u == '[') {
            const qsizetype close = mText.indexOf(QLatin1Char(']'), mPos + 1);
            if (close < 0)
                fail(mPos, QStringLiteral("незатворено име на поле, очаква се „]“"));
            t.kind = Tok::Bracket;
            t.text = mText.mid(mPos + 1, close - mPos - 1);
            if (t.text.trimmed().isEmpty())
                fail(mPos, QStringLiteral("празно име на поле"));
            mPos = int(close) + 1;
            return t;
        }
        if (u == '"' || u == '\'') {
            t.kind = Tok::String;
            int i = mPos + 1;
            for (;;) {
                if (i >= n)
                    fail(mPos, QStringLiteral("текстът няма затваряща кавичка"));
                if (mText[i] == c) {
                    if (i + 1 < n && mText[i + 1] == c) { // a doubled quote stands for itself
                        t.text.append(c);
                        i += 2;
                        continue;
                    }
                    break;
                }
                t.text.append(mText[i]);
                ++i;
            }
            mPos = i + 1;
            return t;
        }
        if (u >= '0' && u <= '9') {
            int i = mPos;
            while (i < n && mText[i].unicode() >= '0' && mText[i].unicode() <= '9')
                ++i;
            t.kind = Tok::Integer;
            if (i + 1 < n && mText[i] == QLatin1Char('.') && mText[i + 1].unicode() >= '0'
                && mText[i + 1].unicode() <= '9') {
                i += 1;
                while (i < n && mText[i].unicode() >= '0' && mText[i].unicode() <= '9')
                    ++i;
                t.kind = Tok::Real;
            }
            t.text = mText.mid(mPos, i - mPos);
            mPos = i;
            return t;
        }
        if (isNameStart(c)) {
            int i = mPos + 1;
            while (i < n && isNameChar(mText[i]))
                ++i;
            t.kind = Tok::Name;
            t.text = mText.mid(mPos, i - mPos);
            mPos = i;
            return t;
        }
        auto single = [&](Tok kind, int width) {
            t.kind = kind;
            t.text = mText.mid(mPos, width);
            mPos += width;
            return t;
        };
        const char16_t next = mPos + 1 < n ? mText[mPos + 1].unicode() : 0;
        switch (u) {
        case '=':
            return single(Tok::Op, 1);
        case '<':
            return single(Tok::Op, next == '=' || next == '>' ? 2 : 1);
        case '>':
            return single(Tok::Op, next == '=' ? 2 : 1);
        case '(':
            return single(Tok::LParen, 1);
        case ')':
            return single(Tok::RParen, 1);
        case '-':
            return single(Tok::Minus, 1);
        case ',':
            return single(Tok::Comma, 1);
        default:
            break;
        }
        char32_t code = u;
        int width = 1;
        if (c.isHighSurrogate() && QChar::isLowSurrogate(next)) {
            code = QChar::surrogateToUcs4(u, next);
            width = 2;
        }
        if (QChar::isPrint(code))
            fail(mPos, QStringLiteral("неочакван знак ") + quoted(mText.mid(mPos, width)));
        fail(mPos, QStringLiteral("неочакван знак с код U+%1")
                       .arg(QString::number(uint(code), 16).toUpper().rightJustified(4, QLatin1Char('0'))));
    }

    const QString &mText;
    QString mPrefix;
    int mPos = 0;
    Token mPeek;
    bool mHasPeek = false;
};


} // namespace filtertext
