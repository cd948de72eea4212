// Jet LIKE patterns, matched case-insensitively over folded code points.
#include "filter/JetPattern.h"

#include "base/TextFold.h"

#include <QChar>

namespace {

struct CodePoint
{
    char32_t value;
    qsizetype position; // index in the pattern text, for messages
};

std::vector<CodePoint> codePoints(QStringView text)
{
    std::vector<CodePoint> out;
    out.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out.push_back({QChar::surrogateToUcs4(u, text[i + 1].unicode()), i});
            ++i;
        } else {
            out.push_back({char32_t(u), i});
        }
    }
    return out;
}

QString quoted(QStringView text)
{
    return QStringLiteral("„%1“").arg(text);
}

// Walks raw UTF-8 as the engine hands it over; ASCII is folded inline, as it is most of the data.
struct Utf8Cursor
{
    const char *p;
    const char *end;

    bool atEnd() const { return p == end; }
    char32_t next()
    {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x80) {
            ++p;
            return c >= 'A' && c <= 'Z' ? char32_t(c + ('a' - 'A')) : char32_t(c);
        }
        return textfold::foldNextUtf8(p, end);
    }
};

struct Utf16Cursor
{
    const QChar *p;
    const QChar *end;

    bool atEnd() const { return p == end; }
    char32_t next()
    {
        char32_t c = p->unicode();
        ++p;
        if (QChar::isHighSurrogate(c) && p != end && p->isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), p->unicode());
            ++p;
        }
        return textfold::foldCodePoint(c);
    }
};

} // namespace

std::optional<JetPattern> JetPattern::compile(QStringView pattern, QString *error)
{
    const std::vector<CodePoint> cps = codePoints(pattern);
    JetPattern result;
    auto fail = [&](const QString &message) -> std::optional<JetPattern> {
        if (error)
            *error = message;
        return std::nullopt;
    };

    for (size_t i = 0; i < cps.size(); ++i) {
        const char32_t c = cps[i].value;
        switch (c) {
        case U'*':
            if (result.mItems.empty() || result.mItems.back().kind != Kind::Star)
                result.mItems.push_back({Kind::Star, 0, 0, 0});
            break;
        case U'?':
            result.mItems.push_back({Kind::AnyChar, 0, 0, 0});
            break;
        case U'#':
            result.mItems.push_back({Kind::Digit, 0, 0, 0});
            break;
        case U'[': {
            size_t j = i + 1;
            const bool negated = j < cps.size() && cps[j].value == U'!';
            if (negated)
                ++j;
            size_t close = j;
            while (close < cps.size() && cps[close].value != U']')
                ++close;
            if (close == cps.size()) {
                return fail(QStringLiteral("незатворена скоба „[“ при знак %1 на шаблона %2")
                                .arg(cps[i].position + 1)
                                .arg(quoted(pattern)));
            }
            const auto first = unsigned(result.mRanges.size());
            for (size_t k = j; k < close;) {
                const char32_t low = cps[k].value;
                // "-" first or last in the list stands for itself
                if (k + 2 < close && cps[k + 1].value == U'-') {
                    const char32_t high = cps[k + 2].value;
                    if (high < low) {
                        const QStringView range =
                            pattern.mid(cps[k].position,
                                        cps[k + 2].position - cps[k].position + (high > 0xFFFF ? 2 : 1));
                        return fail(QStringLiteral("обратен обхват %1 при знак %2 на шаблона %3")
                                        .arg(quoted(range))
                                        .arg(cps[k].position + 1)
                                        .arg(quoted(pattern)));
                    }
                    result.mRanges.push_back(
                        {textfold::foldCodePoint(low), textfold::foldCodePoint(high)});
                    k += 3;
                } else {
                    const char32_t f = textfold::foldCodePoint(low);
                    result.mRanges.push_back({f, f});
                    ++k;
                }
            }
            const auto count = unsigned(result.mRanges.size()) - first;
            if (count > 0)
                result.mItems.push_back({negated ? Kind::NotSet : Kind::Set, 0, first, count});
            else if (negated)
                result.mItems.push_back({Kind::AnyChar, 0, 0, 0}); // "[!]": not in the empty list
            // "[]" is the empty text and adds nothing
            i = close;
            break;
        }
        default:
            result.mItems.push_back({Kind::Literal, textfold::foldCodePoint(c), 0, 0});
            break;
        }
    }
    if (error)
        error->clear();
    return result;
}

bool JetPattern::itemMatches(const Item &item, char32_t folded) const
{
    switch (item.kind) {
    case Kind::Literal:
        return folded == item.ch;
    case Kind::AnyChar:
        return true;
    case Kind::Digit:
        return folded >= U'0' && folded <= U'9';
    case Kind::Set:
    case Kind::NotSet: {
        bool inList = false;
        for (unsigned r = item.first; r < item.first + item.count; ++r) {
            if (folded >= mRanges[r].low && folded <= mRanges[r].high) {
                inList = true;
                break;
            }
        }
        return inList == (item.kind == Kind::Set);
    }
    case Kind::Star:
        break;
    }
    return false;
}

// Every item but the star takes exactly one character, so on a mismatch it is enough to let the
// last star swallow one more character and retry from there: O(text × pattern) at worst.
template <class Cursor>
bool JetPattern::matchFrom(Cursor text) const
{
    const size_t n = mItems.size();
    size_t item = 0;
    size_t afterStar = n + 1; // none yet
    Cursor starText = text;

    for (;;) {
        if (item < n && mItems[item].kind == Kind::Star) {
            if (item + 1 == n)
                return true; // a trailing star takes the rest
            afterStar = ++item;
            starText = text;
            continue;
        }
        if (text.atEnd())
            break;
        const char32_t c = text.next();
        if (item < n && itemMatches(mItems[item], c)) {
            ++item;
            continue;
        }
        if (afterStar > n)
            return false;
        starText.next();
        text = starText;
        item = afterStar;
    }
    return item == n;
}

bool JetPattern::matches(QStringView text) const
{
    return matchFrom(Utf16Cursor{text.data(), text.data() + text.size()});
}

bool JetPattern::matchesUtf8(const char *text, qsizetype length) const
{
    return matchFrom(Utf8Cursor{text, text + length});
}
