// Unicode case folding and the case-insensitive comparison behind the engine's collation and pattern
// function.
#include "base/TextFold.h"

#include <QChar>

#include <algorithm>
#include <cstring>

namespace textfold {

namespace {

// Invalid UTF-8 bytes map above the last code point, so they never equal a character.
constexpr char32_t kInvalidBase = 0x110000;

// Folds of U+0000..U+07FF (ASCII, Latin, Greek, Cyrillic, ...), i.e. everything that UTF-8
// writes in one or two bytes. Built from Qt's tables so it agrees with QChar::toCaseFolded.
struct SmallFoldTable
{
    char16_t fold[0x800];

    SmallFoldTable()
    {
        for (char32_t c = 0; c < 0x800; ++c) {
            const char32_t f = QChar::toCaseFolded(c);
            fold[c] = f <= 0xFFFF ? char16_t(f) : char16_t(c);
        }
    }
};

const char16_t *smallTable()
{
    static const SmallFoldTable table;
    return table.fold;
}

Q_ALWAYS_INLINE char32_t foldWide(char32_t c, const char16_t *table)
{
    if (c < 0x800)
        return table[c];
    if (c >= kInvalidBase)
        return c;
    return QChar::toCaseFolded(c);
}

inline bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Strict UTF-8 decoding of the character starting at a non-ASCII lead byte; overlong forms,
// surrogates and truncated sequences give the invalid value of the lead byte alone.
Q_ALWAYS_INLINE char32_t decodeMultiByte(const unsigned char *&p, const unsigned char *end)
{
    const unsigned char lead = *p;
    const qsizetype left = end - p - 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (left >= 1 && isContinuation(p[1])) {
            const char32_t c = (char32_t(lead & 0x1F) << 6) | (p[1] & 0x3F);
            p += 2;
            return c;
        }
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        if (left >= 2 && isContinuation(p[1]) && isContinuation(p[2])
            && !(lead == 0xE0 && p[1] < 0xA0) && !(lead == 0xED && p[1] > 0x9F)) {
            const char32_t c = (char32_t(lead & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6)
                               | (p[2] & 0x3F);
            p += 3;
            return c;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        if (left >= 3 && isContinuation(p[1]) && isContinuation(p[2]) && isContinuation(p[3])
            && !(lead == 0xF0 && p[1] < 0x90) && !(lead == 0xF4 && p[1] > 0x8F)) {
            const char32_t c = (char32_t(lead & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12)
                               | (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            p += 4;
            return c;
        }
    }
    ++p;
    return kInvalidBase + lead;
}

Q_ALWAYS_INLINE char32_t foldNext(const unsigned char *&p, const unsigned char *end, const char16_t *table)
{
    if (*p < 0x80)
        return table[*p++];
    return foldWide(decodeMultiByte(p, end), table);
}

} // namespace

char32_t foldCodePoint(char32_t c)
{
    return foldWide(c, smallTable());
}

char32_t foldNextUtf8(const char *&p, const char *end)
{
    auto *u = reinterpret_cast<const unsigned char *>(p);
    const char32_t f = foldNext(u, reinterpret_cast<const unsigned char *>(end), smallTable());
    p = reinterpret_cast<const char *>(u);
    return f;
}

int compareNoCase(const char *a, qsizetype na, const char *b, qsizetype nb)
{
    const char16_t *table = smallTable();
    auto *pa = reinterpret_cast<const unsigned char *>(a);
    auto *pb = reinterpret_cast<const unsigned char *>(b);
    const auto *ea = pa + na;
    const auto *eb = pb + nb;

    // Sorted and grouped texts share long prefixes: skip the identical bytes, then step back to
    // a character start that both texts share. A byte that is not a continuation byte always
    // starts a character; continuation bytes after an ASCII byte each stand alone, and a
    // sequence is at most four bytes long, so looking three bytes back is enough.
    const qsizetype common = std::min(na, nb);
    qsizetype i = 0;
    while (i + 8 <= common) {
        quint64 wa;
        quint64 wb;
        std::memcpy(&wa, pa + i, 8);
        std::memcpy(&wb, pb + i, 8);
        if (wa != wb)
            break;
        i += 8;
    }
    while (i < common && pa[i] == pb[i])
        ++i;
    if (i == na && i == nb)
        return 0;
    qsizetype start = i;
    for (qsizetype k = i; k > 0 && k > i - 3;) {
        --k;
        if (!isContinuation(pa[k])) {
            if (pa[k] >= 0xC0)
                start = k;
            break;
        }
    }
    pa += start;
    pb += start;

    while (pa < ea && pb < eb) {
        const unsigned char ca = *pa;
        const unsigned char cb = *pb;
        if ((ca | cb) < 0x80) {
            if (ca != cb) {
                const int d = int(table[ca]) - int(table[cb]);
                if (d != 0)
                    return d;
            }
            ++pa;
            ++pb;
            continue;
        }
        const char32_t fa = foldNext(pa, ea, table);
        const char32_t fb = foldNext(pb, eb, table);
        if (fa != fb)
            return fa < fb ? -1 : 1;
    }
    return int(pa < ea) - int(pb < eb);
}

QString fold(QStringView text)
{
    const char16_t *table = smallTable();
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x800) {
            out.append(QChar(table[u]));
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            const char32_t c = QChar::surrogateToUcs4(u, text[i + 1].unicode());
            out.append(QChar::fromUcs4(QChar::toCaseFolded(c)));
            ++i;
        } else if (QChar::isSurrogate(u)) {
            out.append(QChar(u)); // a lone surrogate has no fold
        } else {
            out.append(QChar::fromUcs4(QChar::toCaseFolded(char32_t(u))));
        }
    }
    return out;
}

} // namespace textfold
