// A compiled Jet LIKE pattern: "*" any run of characters, "?" one character, "#" one digit,
// "[abc]" / "[a-z]" one character of the list, "[!abc]" one character not in it.
// Matching ignores letter case (Cyrillic included) and covers the whole text.
#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

class JetPattern
{
public:
    // nullopt and *error set (Bulgarian, naming the problem) for a pattern that is not valid,
    // such as an unclosed "[".
    static std::optional<JetPattern> compile(QStringView pattern, QString *error = nullptr);

    bool matches(QStringView text) const;
    bool matchesUtf8(const char *text, qsizetype length) const;

private:
    enum class Kind : unsigned char { Literal, AnyChar, Digit, Star, Set, NotSet };
    struct Item
    {
        Kind kind;
        char32_t ch;       // Literal: the folded character
        unsigned first;    // Set, NotSet: the item's ranges in mRanges
        unsigned count;
    };
    struct Range
    {
        char32_t low;  // folded, inclusive
        char32_t high;
    };

    template <class Cursor>
    bool matchFrom(Cursor text) const;
    bool itemMatches(const Item &item, char32_t folded) const;

    std::vector<Item> mItems;   // consecutive stars merged into one
    std::vector<Range> mRanges;
};
