// libFuzzer target: filter and sort texts must parse or fail cleanly, their SQL must carry no user
// text and must run; patterns and the NOCASE comparison must agree with simple reference versions.
#include "filter/FilterError.h"
#include "filter/FilterExpression.h"
#include "filter/JetPattern.h"
#include "filter/SortExpression.h"
#include "sqlite/SqliteDialect.h"
#include "sqlite/SqliteFunctions.h"
#include "base/TextFold.h"

#include <QString>

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const SqliteDialect kDialect;

[[noreturn]] void violation(const char *what, const QString &detail)
{
    std::fprintf(stderr, "fuzz_filter: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

struct Column
{
    const char *name;
    bool isText;
};

constexpr Column kColumns[] = {
    {"id", false},           {"user_id", false},        {"unit_number", true},
    {"unit_name", true},     {"quantity", false},       {"price", false},
    {"second_price", false}, {"deliver_name", true},    {"delivery_country", true},
    {"delivery_unit_number", true}, {"comment", true},  {"modifier", true},
    {"locked", false},       {"deleted", false},        {"last_modified", false},
    {"created", false},
};

std::optional<ColumnInfo> knownColumn(const QString &name)
{
    for (const Column &c : kColumns) {
        if (name.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0)
            return ColumnInfo{QString::fromLatin1(c.name), c.isText};
    }
    return std::nullopt;
}

// Maps every name to some column of main, so that random texts reach SQL generation too.
std::optional<ColumnInfo> anyColumn(const QString &name)
{
    if (auto known = knownColumn(name))
        return known;
    const Column &c = kColumns[qHash(name.toLower()) % std::size(kColumns)];
    return ColumnInfo{QString::fromLatin1(c.name), c.isText};
}

class Fixture
{
public:
    Fixture()
    {
        if (sqlite3_open(":memory:", &db) != SQLITE_OK)
            violation("cannot open the database", {});
        registerVelostokFunctions(db);
        // No stored text holds "[", so a column used as a pattern is always a valid one.
        const char *schema =
            "CREATE TABLE main(id INTEGER PRIMARY KEY, user_id INTEGER, unit_number TEXT,"
            " unit_name TEXT, quantity REAL, price REAL, second_price REAL, deliver_name TEXT,"
            " delivery_country TEXT, delivery_unit_number TEXT, comment TEXT, modifier TEXT,"
            " locked INTEGER NOT NULL DEFAULT 0, deleted INTEGER NOT NULL DEFAULT 0,"
            " last_modified TEXT, created TEXT);"
            "INSERT INTO main VALUES (1, 1, '12-34', 'Маслен ФИЛТЪР', 5, 10.5, 8, 'Иван', 'BG',"
            " 'x1', 'VW Golf', 'Admin', 0, 0, '2024-01-02 10:00:00', NULL);"
            "INSERT INTO main VALUES (2, 2, NULL, 'маслен филтър', 2.5, NULL, NULL, NULL, NULL,"
            " NULL, NULL, NULL, 1, 1, NULL, NULL);"
            "INSERT INTO main VALUES (3, NULL, '99', 'golf*?#', -1, 0, 0, '', 'DE', '', '', '',"
            " 0, 0, '2023-12-31 23:59:59', '2023-01-01 00:00:00');"
            "CREATE TABLE fitment (row_id INTEGER, make TEXT, model TEXT, year_from INTEGER, year_to INTEGER);"
            "INSERT INTO fitment VALUES (1, 'vw', 'golf', 1991, 1997);";
        char *error = nullptr;
        if (sqlite3_exec(db, schema, nullptr, nullptr, &error) != SQLITE_OK)
            violation("cannot create the table", QString::fromUtf8(error));
    }

    // Prepares, binds and runs the statement to the end; any failure is a violation.
    void run(const QString &sql, const QVariantList &params) const
    {
        sqlite3_stmt *stmt = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &stmt, nullptr) != SQLITE_OK)
            violation("prepare failed", sql + QStringLiteral("\n") + QString::fromUtf8(sqlite3_errmsg(db)));
        if (sqlite3_bind_parameter_count(stmt) != params.size())
            violation("parameter count differs from SQLite's", sql);
        for (int i = 0; i < params.size(); ++i) {
            const QVariant &v = params[i];
            int rc = SQLITE_OK;
            switch (v.typeId()) {
            case QMetaType::LongLong:
                rc = sqlite3_bind_int64(stmt, i + 1, v.toLongLong());
                break;
            case QMetaType::Double:
                rc = sqlite3_bind_double(stmt, i + 1, v.toDouble());
                break;
            case QMetaType::QString: {
                const QByteArray text = v.toString().toUtf8();
                rc = sqlite3_bind_text(stmt, i + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
                break;
            }
            default:
                violation("parameter of an unexpected type", sql);
            }
            if (rc != SQLITE_OK)
                violation("bind failed", sql);
        }
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE)
            violation("step failed", sql + QStringLiteral("\n") + QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_finalize(stmt);
    }

    sqlite3 *db = nullptr;
};

// What is left of the SQL once the known identifiers are taken out may hold only placeholders,
// operators, punctuation and our own keywords: never a quote, a name or a value of the user.
void checkShape(const QString &sql, qsizetype paramCount, const QStringList &words)
{
    QString rest = sql;
    for (const Column &c : kColumns)
        rest.replace(QLatin1Char('"') + QLatin1String(c.name) + QLatin1Char('"'), QStringLiteral(" "));
    qsizetype placeholders = 0;
    for (qsizetype i = 0; i < rest.size();) {
        const QChar c = rest[i];
        if (c.isLetter() || c == QLatin1Char('_')) {
            qsizetype j = i;
            while (j < rest.size() && (rest[j].isLetterOrNumber() || rest[j] == QLatin1Char('_')))
                ++j;
            if (!words.contains(rest.mid(i, j - i)))
                violation("unexpected word in the SQL", sql);
            i = j;
            continue;
        }
        if (c == QLatin1Char('0') || c == QLatin1Char('1')) {
            if ((i > 0 && rest[i - 1].isLetterOrNumber())
                || (i + 1 < rest.size() && rest[i + 1].isLetterOrNumber()))
                violation("a number in the SQL", sql);
        } else if (c == QLatin1Char('?')) {
            ++placeholders;
        } else if (!QStringLiteral(" =<>(),").contains(c)) {
            violation("unexpected character in the SQL", sql);
        }
        ++i;
    }
    if (placeholders != paramCount)
        violation("placeholders and parameters differ", sql);
}

void checkError(const FilterError &e, const QString &text)
{
    if (e.position() < 0 || e.position() > text.size() || e.message().isEmpty())
        violation("error without a sound position or message", text + QStringLiteral("\n") + e.message());
}

void checkFilter(const Fixture &fx, const QString &text)
{
    FilterExpression filter;
    try {
        filter = FilterExpression::parse(text);
    } catch (const FilterError &e) {
        checkError(e, text);
        return;
    }
    (void)filter.dump();
    try {
        (void)filter.toSql(kDialect, knownColumn);
    } catch (const FilterError &) {
        // an unknown column
    }
    SqlFragment where;
    try {
        where = filter.toSql(kDialect, anyColumn);
    } catch (const FilterError &e) {
        violation("toSql failed with every column known", text + QStringLiteral("\n") + e.message());
    }
    static const QStringList words = {QStringLiteral("AND"),     QStringLiteral("OR"),
                                      QStringLiteral("NOT"),     QStringLiteral("IS"),
                                      QStringLiteral("NULL"),    QStringLiteral("COLLATE"),
                                      QStringLiteral("NOCASE"),  QStringLiteral("jet_like"),
                                      // the FITS term's lookup in the fitment index
                                      QStringLiteral("rowid"),   QStringLiteral("IN"),
                                      QStringLiteral("SELECT"),  QStringLiteral("row_id"),
                                      QStringLiteral("FROM"),    QStringLiteral("fitment"),
                                      QStringLiteral("WHERE"),   QStringLiteral("make"),
                                      QStringLiteral("model"),   QStringLiteral("year_from"),
                                      QStringLiteral("year_to")};
    checkShape(where.sql, where.params.size(), words);
    fx.run(QStringLiteral("SELECT id FROM main WHERE ") + where.sql, where.params);
}

void checkSort(const Fixture &fx, const QString &text)
{
    SortExpression sort;
    try {
        sort = SortExpression::parse(text);
    } catch (const FilterError &e) {
        checkError(e, text);
        return;
    }
    if (sort.isEmpty())
        return;
    QString order;
    try {
        order = sort.toSql(kDialect, anyColumn);
    } catch (const FilterError &e) {
        violation("sort toSql failed with every column known", text + QStringLiteral("\n") + e.message());
    }
    static const QStringList words = {QStringLiteral("COLLATE"), QStringLiteral("NOCASE"),
                                      QStringLiteral("ASC"), QStringLiteral("DESC")};
    checkShape(order, 0, words);
    fx.run(QStringLiteral("SELECT id FROM main ORDER BY ") + order, {});
}

bool isValidUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// A plain memoised matcher over the pattern text itself, to check the compiled one against.
class ReferenceMatcher
{
public:
    ReferenceMatcher(const QString &pattern, const QString &text)
        : mPattern(pattern.toUcs4()), mText(text.toUcs4()),
          mMemo((mPattern.size() + 1) * (mText.size() + 1), -1)
    {
        for (uint &c : mText)
            c = textfold::foldCodePoint(c);
    }

    bool match() { return at(0, 0); }

private:
    bool at(qsizetype p, qsizetype t)
    {
        signed char &memo = mMemo[p * (mText.size() + 1) + t];
        if (memo < 0)
            memo = compute(p, t) ? 1 : 0;
        return memo == 1;
    }

    bool compute(qsizetype p, qsizetype t)
    {
        const qsizetype np = mPattern.size();
        const qsizetype nt = mText.size();
        if (p == np)
            return t == nt;
        const char32_t c = mPattern[p];
        if (c == U'*')
            return at(p + 1, t) || (t < nt && at(p, t + 1));
        if (c == U'[') {
            qsizetype close = p + 1;
            while (close < np && mPattern[close] != U']')
                ++close;
            qsizetype k = p + 1;
            const bool negated = k < close && mPattern[k] == U'!';
            if (negated)
                ++k;
            if (k == close && !negated)
                return at(close + 1, t);
            if (t == nt)
                return false;
            bool inList = false;
            while (k < close) {
                char32_t low = mPattern[k];
                char32_t high = low;
                if (k + 2 < close && mPattern[k + 1] == U'-') {
                    high = mPattern[k + 2];
                    k += 3;
                } else {
                    k += 1;
                }
                const char32_t f = mText[t];
                if (f >= textfold::foldCodePoint(low) && f <= textfold::foldCodePoint(high))
                    inList = true;
            }
            return inList != negated && at(close + 1, t + 1);
        }
        if (t == nt)
            return false;
        if (c == U'?')
            return at(p + 1, t + 1);
        if (c == U'#')
            return mText[t] >= U'0' && mText[t] <= U'9' && at(p + 1, t + 1);
        return textfold::foldCodePoint(c) == mText[t] && at(p + 1, t + 1);
    }

    QList<uint> mPattern;
    QList<uint> mText;
    std::vector<signed char> mMemo;
};

void checkPattern(const uint8_t *data, size_t size)
{
    if (size < 1)
        return;
    const size_t split = 1 + std::min<size_t>(data[0], size - 1);
    const QByteArray patternBytes(reinterpret_cast<const char *>(data) + 1, qsizetype(split - 1));
    const QByteArray textBytes(reinterpret_cast<const char *>(data) + split, qsizetype(size - split));
    const QString pattern = QString::fromUtf8(patternBytes);
    QString error;
    const std::optional<JetPattern> p = JetPattern::compile(pattern, &error);
    if (!p) {
        if (error.isEmpty())
            violation("pattern refused without a message", pattern);
        return;
    }
    const bool raw = p->matchesUtf8(textBytes.constData(), textBytes.size());
    if (!isValidUtf8(textBytes))
        return;
    const QString text = QString::fromUtf8(textBytes);
    if (p->matches(text) != raw)
        violation("matches and matchesUtf8 differ", pattern + QStringLiteral("\n") + text);
    if (pattern.size() <= 64 && text.size() <= 512 && ReferenceMatcher(pattern, text).match() != raw)
        violation("pattern differs from the reference matcher", pattern + QStringLiteral("\n") + text);
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

void checkFolding(const uint8_t *data, size_t size)
{
    if (size < 1)
        return;
    const size_t split = 1 + std::min<size_t>(data[0], size - 1);
    const char *a = reinterpret_cast<const char *>(data) + 1;
    const auto na = qsizetype(split - 1);
    const char *b = reinterpret_cast<const char *>(data) + split;
    const auto nb = qsizetype(size - split);
    const int ab = textfold::compareNoCase(a, na, b, nb);
    if (sign(ab) != -sign(textfold::compareNoCase(b, nb, a, na)))
        violation("compareNoCase is not antisymmetric", {});
    if (textfold::compareNoCase(a, na, a, na) != 0)
        violation("compareNoCase of a text with itself", {});
    // the shortcut over a common prefix must give what decoding both texts from the start gives
    {
        const char *pa = a;
        const char *pb = b;
        int slow = 0;
        while (slow == 0 && pa < a + na && pb < b + nb) {
            const char32_t ca = textfold::foldNextUtf8(pa, a + na);
            const char32_t cb = textfold::foldNextUtf8(pb, b + nb);
            slow = ca < cb ? -1 : ca > cb ? 1 : 0;
        }
        if (slow == 0)
            slow = int(pa < a + na) - int(pb < b + nb);
        if (sign(ab) != slow)
            violation("compareNoCase differs from decoding from the start", {});
    }
    const QByteArray ba(a, na);
    const QByteArray bb(b, nb);
    if (!isValidUtf8(ba) || !isValidUtf8(bb))
        return;
    // reference: the folded code points compared in order, the shorter text first on a tie
    const QList<uint> fa = textfold::fold(QString::fromUtf8(ba)).toUcs4();
    const QList<uint> fb = textfold::fold(QString::fromUtf8(bb)).toUcs4();
    int expected = 0;
    for (qsizetype i = 0; i < std::min(fa.size(), fb.size()) && expected == 0; ++i)
        expected = fa[i] < fb[i] ? -1 : fa[i] > fb[i] ? 1 : 0;
    if (expected == 0)
        expected = sign(int(fa.size() - fb.size()));
    if (sign(ab) != expected)
        violation("compareNoCase differs from the folded order",
                  QString::fromUtf8(ba) + QStringLiteral("\n") + QString::fromUtf8(bb));

    // a pattern that spells a out literally matches exactly the texts equal to it in any case
    QString literal;
    for (const QChar c : QString::fromUtf8(ba)) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('#') || c == QLatin1Char('['))
            literal += QLatin1Char('[') + c + QLatin1Char(']');
        else
            literal += c;
    }
    const std::optional<JetPattern> p = JetPattern::compile(literal);
    if (!p)
        violation("a literal pattern did not compile", literal);
    if (p->matchesUtf8(b, nb) != (ab == 0))
        violation("literal pattern and compareNoCase differ", literal + QStringLiteral("\n") + QString::fromUtf8(bb));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Fixture fixture;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    checkFilter(fixture, text);
    checkSort(fixture, text);
    checkPattern(data, size);
    checkFolding(data, size);
    return 0;
}
