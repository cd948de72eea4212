// Case-insensitive comparison of texts in any script (Latin and Cyrillic alike), for the
// collation and the pattern matcher that Velostok registers on its own connections.
#pragma once

#include <QString>
#include <QStringView>

namespace textfold {

// The case fold of one code point (simple Unicode case folding; Cyrillic and Latin by table).
char32_t foldCodePoint(char32_t c);

// Compares two UTF-8 texts by folded code points: 0 when they differ only in letter case,
// otherwise negative or positive as a sorts before or after b. Invalid UTF-8 bytes compare as
// themselves. Fast for ASCII and two-byte Cyrillic.
int compareNoCase(const char *a, qsizetype na, const char *b, qsizetype nb);

// The folded (lower-case) form of a text.
QString fold(QStringView text);

// Decodes the UTF-8 character at p, advances p past it and returns its fold. An invalid byte is
// taken alone and returned as 0x110000 + byte, a value no character folds to. Needs p < end.
char32_t foldNextUtf8(const char *&p, const char *end);

} // namespace textfold
