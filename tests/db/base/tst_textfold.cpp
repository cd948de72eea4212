// Case folding, the NOCASE comparison and Jet pattern matching.
#include "filter/JetPattern.h"
#include "base/TextCodec.h"
#include "base/TextFold.h"

#include <QtTest>

#include <algorithm>

namespace {

int sign(int v)
{
    return (v > 0) - (v < 0);
}

int compare(const QByteArray &a, const QByteArray &b)
{
    return textfold::compareNoCase(a.constData(), a.size(), b.constData(), b.size());
}

} // namespace

class TstTextFold : public QObject
{
    Q_OBJECT

private slots:
    void foldCodePoint_data();
    void foldCodePoint();
    void foldText();
    void compareNoCase_data();
    void compareNoCase();
    void compareNoCaseIsATotalOrder();
    void compareNoCaseInvalidUtf8();
    void patterns_data();
    void patterns();
    void patternErrors_data();
    void patternErrors();
    void patternsAreNotExponential();
    void patternsOnInvalidUtf8();
    void decodeUtf8Or1251();
};

void TstTextFold::decodeUtf8Or1251()
{
    // UTF-8 as it is; anything else is code page 1251, including a file whose only letter
    // outside ASCII is its last byte (an unfinished UTF-8 sequence to a decoder that waits).
    QCOMPARE(TextCodec::decode(QByteArrayView("Ключ=стойност")), QStringLiteral("Ключ=стойност"));
    QCOMPARE(TextCodec::decode(QByteArrayView("Skin=\xDF")), QStringLiteral("Skin=Я"));
    QCOMPARE(TextCodec::decode(QByteArrayView("\xCA\xEB\xFE\xF7")), QStringLiteral("Ключ"));
    QCOMPARE(TextCodec::decode(QByteArrayView("a\xD0")), QStringLiteral("aР"));
    QCOMPARE(TextCodec::decode(QByteArrayView("")), QString());
}

void TstTextFold::foldCodePoint_data()
{
    QTest::addColumn<uint>("in");
    QTest::addColumn<uint>("out");
    QTest::newRow("A") << uint('A') << uint('a');
    QTest::newRow("z") << uint('z') << uint('z');
    QTest::newRow("digit") << uint('7') << uint('7');
    QTest::newRow("Я") << 0x42Fu << 0x44Fu;
    QTest::newRow("А") << 0x410u << 0x430u;
    QTest::newRow("Ѐ") << 0x400u << 0x450u;
    QTest::newRow("Ё") << 0x401u << 0x451u;
    QTest::newRow("Ѡ") << 0x460u << 0x461u;
    QTest::newRow("Ӏ") << 0x4C0u << 0x4CFu;
    QTest::newRow("Ӂ") << 0x4C1u << 0x4C2u;
    QTest::newRow("Ӿ") << 0x4FEu << 0x4FFu;
    QTest::newRow("Ä") << 0xC4u << 0xE4u;
    QTest::newRow("Σ") << 0x3A3u << 0x3C3u;
    QTest::newRow("final sigma") << 0x3C2u << 0x3C3u;
    QTest::newRow("Kelvin sign") << 0x212Au << uint('k');
    QTest::newRow("Deseret") << 0x10400u << 0x10428u;
}

void TstTextFold::foldCodePoint()
{
    QFETCH(uint, in);
    QFETCH(uint, out);
    QCOMPARE(uint(textfold::foldCodePoint(char32_t(in))), out);
}

void TstTextFold::foldText()
{
    QCOMPARE(textfold::fold(u"ИВАН Golf ЁЖ"), QStringLiteral("иван golf ёж"));
    QCOMPARE(textfold::fold(u"\U00010400x"), QStringLiteral("\U00010428x"));
    // a lone surrogate is kept as it is
    const QString lone = QString(QChar(0xD800)) + QLatin1Char('A');
    QCOMPARE(textfold::fold(lone), QString(QChar(0xD800)) + QLatin1Char('a'));
}

void TstTextFold::compareNoCase_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");
    QTest::newRow("Cyrillic case") << u"ИВАН"_qs << u"иван"_qs << 0;
    QTest::newRow("Latin case") << u"Golf"_qs << u"GOLF"_qs << 0;
    QTest::newRow("mixed scripts") << u"Филтър Golf 4"_qs << u"фИЛТЪР gOLF 4"_qs << 0;
    QTest::newRow("Ё") << u"ЁЖ"_qs << u"ёж"_qs << 0;
    QTest::newRow("empty") << QString() << QString() << 0;
    QTest::newRow("a < B") << u"a"_qs << u"B"_qs << -1;
    QTest::newRow("B > a") << u"B"_qs << u"a"_qs << 1;
    QTest::newRow("prefix first") << u"ab"_qs << u"ABC"_qs << -1;
    QTest::newRow("empty first") << QString() << u"a"_qs << -1;
    QTest::newRow("а < Я") << u"а"_qs << u"Я"_qs << -1;
    QTest::newRow("Б > а") << u"Б"_qs << u"а"_qs << 1;
    QTest::newRow("Latin before Cyrillic") << u"Z"_qs << u"а"_qs << -1;
    QTest::newRow("differs after a common letter") << u"жА"_qs << u"ЖЯ"_qs << -1;
    QTest::newRow("ASCII against two bytes") << u"a"_qs << u"ä"_qs << -1;
    QTest::newRow("Kelvin sign is k") << u"\u212A"_qs << u"K"_qs << 0;
    QTest::newRow("beyond two bytes") << u"\U00010400"_qs << u"\U00010428"_qs << 0;
    QTest::newRow("simple folding: ß is not ss") << u"ß"_qs << u"ss"_qs << 1;
}

void TstTextFold::compareNoCase()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(sign(compare(a.toUtf8(), b.toUtf8())), expected);
    QCOMPARE(sign(compare(b.toUtf8(), a.toUtf8())), -expected);
}

void TstTextFold::compareNoCaseIsATotalOrder()
{
    const QStringList words = {u"ябълка"_qs, u"ФИЛТЪР"_qs, u"golf"_qs, u"Агне"_qs, u"филтър"_qs,
                               u"GOLF"_qs, u"Ivan"_qs, QString(), u"иван"_qs, u"ИВАН"_qs,
                               u"a"_qs, u"A"_qs, u"_"_qs, u"z"_qs, u"ä"_qs, u"Ä"_qs};
    std::vector<QByteArray> utf8;
    for (const QString &w : words)
        utf8.push_back(w.toUtf8());
    for (const auto &a : utf8) {
        QCOMPARE(compare(a, a), 0);
        for (const auto &b : utf8) {
            QCOMPARE(sign(compare(a, b)), -sign(compare(b, a)));
            // equal exactly when the folded texts are equal
            QCOMPARE(compare(a, b) == 0,
                     textfold::fold(QString::fromUtf8(a)) == textfold::fold(QString::fromUtf8(b)));
            for (const auto &c : utf8) {
                if (compare(a, b) <= 0 && compare(b, c) <= 0)
                    QVERIFY(compare(a, c) <= 0);
            }
        }
    }

    std::vector<QByteArray> sorted = utf8;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const QByteArray &x, const QByteArray &y) { return compare(x, y) < 0; });
    QStringList order;
    for (const auto &s : sorted)
        order << QString::fromUtf8(s);
    const QStringList expected = {QString(), u"_"_qs, u"a"_qs, u"A"_qs, u"golf"_qs, u"GOLF"_qs,
                                  u"Ivan"_qs, u"z"_qs, u"ä"_qs, u"Ä"_qs, u"Агне"_qs, u"иван"_qs,
                                  u"ИВАН"_qs, u"ФИЛТЪР"_qs, u"филтър"_qs, u"ябълка"_qs};
    QCOMPARE(order, expected);
}

void TstTextFold::compareNoCaseInvalidUtf8()
{
    // A truncated sequence at the end must not read the byte that follows the given length.
    const QByteArray zhe("\xD0\x96"); // Ж
    QVERIFY(textfold::compareNoCase(zhe.constData(), 1, zhe.constData(), 2) != 0);
    QVERIFY(textfold::compareNoCase(zhe.constData(), 1, zhe.constData(), 1) == 0);
    const QByteArray euro("\xE2\x82\xAC");
    QVERIFY(textfold::compareNoCase(euro.constData(), 2, euro.constData(), 3) != 0);

    const QList<QByteArray> samples = {QByteArray("\xFF"), QByteArray("\xC3"), QByteArray("\xC3\xBF"),
                                       QByteArray("\xED\xA0\x80"), QByteArray("\xC0\xAF"),
                                       QByteArray("\xF4\x90\x80\x80"), QByteArray("a\x80") + "b",
                                       QByteArray("A\x80") + "B", QByteArray("x")};
    for (const QByteArray &a : samples) {
        QCOMPARE(compare(a, a), 0);
        for (const QByteArray &b : samples)
            QCOMPARE(sign(compare(a, b)), -sign(compare(b, a)));
    }
    // an invalid byte is not the character of the same number
    QVERIFY(compare(QByteArray("\xFF"), QByteArray("\xC3\xBF")) != 0);
    // letters around invalid bytes still fold
    QCOMPARE(compare(QByteArray("a\x80") + "b", QByteArray("A\x80") + "B"), 0);
    // nothing to read at all
    QCOMPARE(textfold::compareNoCase(nullptr, 0, nullptr, 0), 0);
}

void TstTextFold::patterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("star, empty") << u"*"_qs << QString() << true;
    QTest::newRow("star") << u"*"_qs << u"abc"_qs << true;
    QTest::newRow("empty pattern, empty text") << QString() << QString() << true;
    QTest::newRow("empty pattern") << QString() << u"a"_qs << false;
    QTest::newRow("whole text") << u"abc"_qs << u"abcd"_qs << false;
    QTest::newRow("whole text, leading star") << u"*bc"_qs << u"abcd"_qs << false;
    QTest::newRow("prefix") << u"ab*"_qs << u"abcd"_qs << true;
    QTest::newRow("prefix too long") << u"abcde*"_qs << u"abcd"_qs << false;
    QTest::newRow("question") << u"a?c"_qs << u"abc"_qs << true;
    QTest::newRow("question needs one") << u"a?c"_qs << u"ac"_qs << false;
    QTest::newRow("question only one") << u"a?c"_qs << u"abbc"_qs << false;
    QTest::newRow("question, two-byte") << u"?"_qs << u"ж"_qs << true;
    QTest::newRow("question, surrogate pair") << u"?"_qs << u"\U00010400"_qs << true;
    QTest::newRow("two questions, one pair") << u"??"_qs << u"\U00010400"_qs << false;
    QTest::newRow("digit") << u"#"_qs << u"5"_qs << true;
    QTest::newRow("digit, letter") << u"#"_qs << u"a"_qs << false;
    QTest::newRow("digit, Arabic digit") << u"#"_qs << u"\u0661"_qs << false;
    QTest::newRow("digits") << u"##-#"_qs << u"12-3"_qs << true;
    QTest::newRow("list") << u"[abc]"_qs << u"b"_qs << true;
    QTest::newRow("list, miss") << u"[abc]"_qs << u"d"_qs << false;
    QTest::newRow("list, folded") << u"[abc]"_qs << u"B"_qs << true;
    QTest::newRow("range, folded") << u"[a-c]x"_qs << u"BX"_qs << true;
    QTest::newRow("upper range, lower text") << u"[A-C]"_qs << u"b"_qs << true;
    QTest::newRow("range, miss") << u"[a-c]"_qs << u"d"_qs << false;
    QTest::newRow("negated") << u"[!a-c]"_qs << u"d"_qs << true;
    QTest::newRow("negated, folded miss") << u"[!a-c]"_qs << u"B"_qs << false;
    QTest::newRow("negated needs a character") << u"[!a]"_qs << QString() << false;
    QTest::newRow("literal star") << u"[*]"_qs << u"*"_qs << true;
    QTest::newRow("literal star, miss") << u"[*]"_qs << u"a"_qs << false;
    QTest::newRow("literal bracket") << u"[[]"_qs << u"["_qs << true;
    QTest::newRow("literal question") << u"[?]"_qs << u"?"_qs << true;
    QTest::newRow("literal question, miss") << u"[?]"_qs << u"a"_qs << false;
    QTest::newRow("literal hash") << u"[#]"_qs << u"#"_qs << true;
    QTest::newRow("literal hash, miss") << u"[#]"_qs << u"1"_qs << false;
    QTest::newRow("closing bracket outside") << u"a]"_qs << u"a]"_qs << true;
    QTest::newRow("exclamation outside") << u"!a"_qs << u"!A"_qs << true;
    QTest::newRow("hyphen last") << u"[a-]"_qs << u"-"_qs << true;
    QTest::newRow("hyphen first") << u"[-a]"_qs << u"-"_qs << true;
    QTest::newRow("hyphen first, negated") << u"[!-a]"_qs << u"-"_qs << false;
    QTest::newRow("empty list is nothing") << u"a[]b"_qs << u"ab"_qs << true;
    QTest::newRow("negated empty list is any") << u"a[!]b"_qs << u"axb"_qs << true;
    QTest::newRow("Cyrillic") << u"ИВАН"_qs << u"иван"_qs << true;
    QTest::newRow("Cyrillic prefix") << u"иван*"_qs << u"ИВАН ИВАНОВ"_qs << true;
    QTest::newRow("Cyrillic inside") << u"*филтър*"_qs << u"Маслен ФИЛТЪР за Golf"_qs << true;
    QTest::newRow("Cyrillic range") << u"[А-Я]*"_qs << u"жаба"_qs << true;
    QTest::newRow("Cyrillic range, Latin") << u"[а-я]"_qs << u"Q"_qs << false;
    QTest::newRow("Cyrillic is not Latin") << u"ivan"_qs << u"иван"_qs << false;
    QTest::newRow("Latin case") << u"GOLF"_qs << u"golf"_qs << true;
    QTest::newRow("Latin case, star") << u"g*f"_qs << u"GOLF"_qs << true;
    QTest::newRow("Deseret case") << u"\U00010400"_qs << u"\U00010428"_qs << true;
    QTest::newRow("backtrack") << u"*abc"_qs << u"ababc"_qs << true;
    QTest::newRow("several stars") << u"a*b*c"_qs << u"aXbYbZc"_qs << true;
    QTest::newRow("several stars, miss") << u"a*b*c"_qs << u"aXbYbZ"_qs << false;
    QTest::newRow("star then question") << u"*a?"_qs << u"bab"_qs << true;
    QTest::newRow("star then question, miss") << u"*a?"_qs << u"ba"_qs << false;
    QTest::newRow("stars merged") << u"a**b"_qs << u"ab"_qs << true;
    QTest::newRow("star before list") << u"*[0-9]"_qs << u"abc7"_qs << true;
    QTest::newRow("program's search") << u"*12*"_qs << u"A-123"_qs << true;
}

void TstTextFold::patterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QString error;
    const std::optional<JetPattern> p = JetPattern::compile(pattern, &error);
    QVERIFY2(p, qPrintable(error));
    QCOMPARE(p->matches(text), expected);
    const QByteArray utf8 = text.toUtf8();
    QCOMPARE(p->matchesUtf8(utf8.constData(), utf8.size()), expected);
}

void TstTextFold::patternErrors_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("fragment");
    QTest::newRow("unclosed") << u"ab[c"_qs << u"незатворена скоба „[“ при знак 3"_qs;
    QTest::newRow("unclosed, negated") << u"[!a"_qs << u"незатворена скоба „[“ при знак 1"_qs;
    QTest::newRow("unclosed, alone") << u"["_qs << u"незатворена"_qs;
    QTest::newRow("second list unclosed") << u"[a]x[b"_qs << u"при знак 5"_qs;
    QTest::newRow("reversed range") << u"x[z-a]"_qs << u"обратен обхват „z-a“"_qs;
}

void TstTextFold::patternErrors()
{
    QFETCH(QString, pattern);
    QFETCH(QString, fragment);
    QString error;
    QVERIFY(!JetPattern::compile(pattern, &error));
    QVERIFY2(error.contains(fragment), qPrintable(error));
    QVERIFY2(error.contains(pattern), qPrintable(error)); // names the pattern
}

void TstTextFold::patternsAreNotExponential()
{
    // Naive recursion takes ages here; the matcher is linear in text × pattern.
    const std::optional<JetPattern> p = JetPattern::compile(u"*a*a*a*a*a*a*a*a*a*a*b");
    QVERIFY(p);
    const QString text(20000, QLatin1Char('a'));
    QVERIFY(!p->matches(text));
    const QByteArray utf8 = text.toUtf8();
    QVERIFY(!p->matchesUtf8(utf8.constData(), utf8.size()));
    QVERIFY(p->matches(text + QLatin1Char('B')));
}

void TstTextFold::patternsOnInvalidUtf8()
{
    const std::optional<JetPattern> any = JetPattern::compile(u"?");
    const std::optional<JetPattern> two = JetPattern::compile(u"??");
    const std::optional<JetPattern> zhe = JetPattern::compile(u"ж*");
    QVERIFY(any && two && zhe);
    const QByteArray bytes("\xD0\x96"); // Ж, cut after its first byte below
    QVERIFY(any->matchesUtf8(bytes.constData(), 1));
    QVERIFY(!zhe->matchesUtf8(bytes.constData(), 1));
    QVERIFY(zhe->matchesUtf8(bytes.constData(), 2));
    QVERIFY(two->matchesUtf8("\xFF\xFE", 2)); // each invalid byte is one character
    QVERIFY(!any->matchesUtf8("\xFF\xFE", 2));
}

QTEST_APPLESS_MAIN(TstTextFold)
#include "tst_textfold.moc"
