// Filter and sort parsing, their SQL, and the functions they rely on, run on an in-memory database.
#include "filter/FilterError.h"
#include "filter/FilterExpression.h"
#include "filter/SortExpression.h"
#include "sqlite/SqliteDialect.h"
#include "sqlite/SqliteFunctions.h"

#include <QtTest>

#include <sqlite3.h>

namespace {

const SqliteDialect dialect;

// The columns of main, and a few of the other tables, as the dataset layer would resolve them.
std::optional<ColumnInfo> resolveColumn(const QString &name)
{
    static const QList<ColumnInfo> columns = {
        {u"id"_qs, false},           {u"user_id"_qs, false},      {u"unit_number"_qs, true},
        {u"unit_name"_qs, true},     {u"quantity"_qs, false},     {u"price"_qs, false},
        {u"second_price"_qs, false}, {u"deliver_name"_qs, true},  {u"delivery_country"_qs, true},
        {u"delivery_unit_number"_qs, true}, {u"comment"_qs, true}, {u"modifier"_qs, true},
        {u"locked"_qs, false},       {u"deleted"_qs, false},      {u"last_modified"_qs, false},
        {u"created"_qs, false},      {u"mark_name"_qs, true},     {u"user_name"_qs, true},
        {u"name"_qs, true},
    };
    for (const ColumnInfo &c : columns) {
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return c;
    }
    return std::nullopt;
}

class Database
{
public:
    Database()
    {
        if (sqlite3_open(":memory:", &mDb) != SQLITE_OK)
            qFatal("cannot open an in-memory database");
        registerVelostokFunctions(mDb);
    }
    ~Database() { sqlite3_close(mDb); }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    sqlite3 *handle() const { return mDb; }

    void exec(const char *sql)
    {
        char *error = nullptr;
        if (sqlite3_exec(mDb, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const QString message = QString::fromUtf8(error);
            sqlite3_free(error);
            QTest::qFail(qPrintable(message), __FILE__, __LINE__);
        }
    }

    // Runs a statement with the fragment's parameters; the first column of each row as text
    // ("NULL" for null). *error gets SQLite's message if it fails.
    QStringList query(const QString &sql, const QVariantList &params = {}, QString *error = nullptr)
    {
        QStringList rows;
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(mDb, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            if (error)
                *error = QString::fromUtf8(sqlite3_errmsg(mDb));
            return {u"prepare failed"_qs};
        }
        bind(stmt, params);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            if (sqlite3_column_type(stmt, 0) == SQLITE_NULL)
                rows << u"NULL"_qs;
            else
                rows << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        }
        if (rc != SQLITE_DONE) {
            if (error)
                *error = QString::fromUtf8(sqlite3_errmsg(mDb));
            rows << u"step failed"_qs;
        }
        sqlite3_finalize(stmt);
        return rows;
    }

    static void bind(sqlite3_stmt *stmt, const QVariantList &params)
    {
        for (int i = 0; i < params.size(); ++i) {
            const QVariant &v = params[i];
            switch (v.typeId()) {
            case QMetaType::LongLong:
                sqlite3_bind_int64(stmt, i + 1, v.toLongLong());
                break;
            case QMetaType::Double:
                sqlite3_bind_double(stmt, i + 1, v.toDouble());
                break;
            default: {
                const QByteArray text = v.toString().toUtf8();
                sqlite3_bind_text(stmt, i + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
                break;
            }
            }
        }
    }

private:
    sqlite3 *mDb = nullptr;
};

} // namespace

class TstFilterExpression : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parseErrors_data();
    void parseErrors();
    void tooDeep();
    void deepestFiltersRun();
    void toSql_data();
    void toSql();
    void unknownColumn();
    void sort_data();
    void sort();
    void sortErrors_data();
    void sortErrors();
    void sqlFunctions();
    void patternCacheFollowsParameter();
    void filtersSelectRows_data();
    void filtersSelectRows();
    void sortAndGroupFoldCase();
};

void TstFilterExpression::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tree");

    QTest::newRow("deleted") << u"[deleted]=False"_qs << u"(= [deleted] False)"_qs;
    QTest::newRow("fits") << u"FITS(\"VW\", \"\", 0) OR fits = 1"_qs << u"(OR (FITS \"VW\" \"\" 0) (= [fits] 1))"_qs;
    QTest::newRow("user_id") << u"[user_id]=12"_qs << u"(= [user_id] 12)"_qs;
    QTest::newRow("quantity") << u"[quantity]<5"_qs << u"(< [quantity] 5)"_qs;
    QTest::newRow("negative decimal") << u"[quantity] >= -2.5"_qs << u"(>= [quantity] -2.5)"_qs;
    QTest::newRow("minus apart") << u"[quantity]<- 3"_qs << u"(< [quantity] -3)"_qs;
    QTest::newRow("make") << u"[mark_name]=\"VW\""_qs << u"(= [mark_name] \"VW\")"_qs;
    QTest::newRow("search") << u"[unit_name] LIKE \"*филтър*\" AND [unit_number] LIKE \"12*\""_qs
                            << u"(AND (LIKE [unit_name] \"*филтър*\") (LIKE [unit_number] \"12*\"))"_qs;
    QTest::newRow("AND before OR") << u"a=1 OR b=2 AND c=3"_qs
                                   << u"(OR (= [a] 1) (AND (= [b] 2) (= [c] 3)))"_qs;
    QTest::newRow("parentheses") << u"(a=1 OR b=2) AND c=3"_qs
                                 << u"(AND (OR (= [a] 1) (= [b] 2)) (= [c] 3))"_qs;
    QTest::newRow("left associative") << u"a AND b AND c"_qs << u"(AND (AND [a] [b]) [c])"_qs;
    QTest::newRow("NOT binds to the comparison") << u"NOT [a]=1 AND b=2"_qs
                                                 << u"(AND (NOT (= [a] 1)) (= [b] 2))"_qs;
    QTest::newRow("double NOT") << u"not not a"_qs << u"(NOT (NOT [a]))"_qs;
    QTest::newRow("keywords in any case")
        << u"[a] like 'x' and [b] is not null Or [c] Is Null"_qs
        << u"(OR (AND (LIKE [a] \"x\") (IS NOT NULL [b])) (IS NULL [c]))"_qs;
    QTest::newRow("NOT LIKE") << u"[a] NOT LIKE \"x*\""_qs << u"(NOT LIKE [a] \"x*\")"_qs;
    QTest::newRow("doubled quote") << u"[a]=\"ab\"\"c\""_qs << u"(= [a] \"ab\"\"c\")"_qs;
    QTest::newRow("single quotes") << u"[a]='it''s \"x\"'"_qs << u"(= [a] \"it's \"\"x\"\"\")"_qs;
    QTest::newRow("empty text") << u"[a]=\"\""_qs << u"(= [a] \"\")"_qs;
    QTest::newRow("not equal") << u"[a]<>1"_qs << u"(<> [a] 1)"_qs;
    QTest::newRow("less or equal") << u"[a]<=1"_qs << u"(<= [a] 1)"_qs;
    QTest::newRow("greater or equal") << u"[a]>=1"_qs << u"(>= [a] 1)"_qs;
    QTest::newRow("bare name, True") << u"locked = true"_qs << u"(= [locked] True)"_qs;
    QTest::newRow("Null literal") << u"[a] = Null"_qs << u"(= [a] Null)"_qs;
    QTest::newRow("bracketed keyword is a column") << u"[Null] = 1"_qs << u"(= [Null] 1)"_qs;
    QTest::newRow("Cyrillic bare name") << u"поле=1"_qs << u"(= [поле] 1)"_qs;
    QTest::newRow("name with space") << u"[my col]=1"_qs << u"(= [my col] 1)"_qs;
    QTest::newRow("integer beyond 64 bits") << u"[a]=99999999999999999999"_qs << u"(= [a] 1e+20)"_qs;
    QTest::newRow("smallest integer") << u"[a]=-9223372036854775808"_qs
                                      << u"(= [a] -9223372036854775808)"_qs;
    QTest::newRow("value as a condition") << u"1"_qs << u"1"_qs;
    QTest::newRow("column as a condition") << u"[deleted] OR [locked]"_qs
                                           << u"(OR [deleted] [locked])"_qs;
    QTest::newRow("text compared in parentheses") << u"(\"a\") = [b]"_qs << u"(= \"a\" [b])"_qs;
    QTest::newRow("spaces around") << u"  \t[a] = 1\r\n "_qs << u"(= [a] 1)"_qs;
    QTest::newRow("blank") << u"   "_qs << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TstFilterExpression::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, tree);
    try {
        const FilterExpression f = FilterExpression::parse(text);
        QCOMPARE(f.dump(), tree);
        QCOMPARE(f.isEmpty(), tree.isEmpty());
    } catch (const FilterError &e) {
        QFAIL(qPrintable(e.message()));
    }
}

void TstFilterExpression::parseErrors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("fragment");

    // the user typed ab"c into the search value: "[unit_name] LIKE "ab"c*""
    QTest::newRow("quote in a search value") << u"[unit_name] LIKE \"ab\"c*\""_qs << 21
                                             << u"очаква се AND, OR или край на филтъра вместо „c“"_qs;
    QTest::newRow("quote, then OR") << u"[unit_name] LIKE \"ab\" OR \"c*\""_qs << 25
                                    << u"очаква се условие вместо текста „c*“"_qs;
    QTest::newRow("quote at the end") << u"[mark_name]=\"VW\"\""_qs << 12
                                      << u"текстът няма затваряща кавичка"_qs;
    QTest::newRow("unclosed text") << u"[a]=\"abc"_qs << 4 << u"затваряща кавичка"_qs;
    QTest::newRow("unclosed name") << u"[abc=1"_qs << 0 << u"незатворено име на поле"_qs;
    QTest::newRow("empty name") << u"[]=1"_qs << 0 << u"празно име на поле"_qs;
    QTest::newRow("unexpected end") << u"[a]="_qs << 4 << u"неочакван край на филтъра"_qs;
    QTest::newRow("unexpected end after AND") << u"[a]=1 AND "_qs << 10 << u"неочакван край"_qs;
    QTest::newRow("unclosed parenthesis") << u"([a]=1"_qs << 0 << u"незатворена скоба „(“"_qs;
    QTest::newRow("missing )") << u"([a]=1 [b]"_qs << 7 << u"очаква се „)“ вместо „[b]“"_qs;
    QTest::newRow("extra )") << u"[a]=1)"_qs << 5 << u"вместо „)“"_qs;
    QTest::newRow("two terms without operator") << u"[a]=1 [b]=2"_qs << 6 << u"вместо „[b]“"_qs;
    QTest::newRow("unexpected character") << u"[a] * 2"_qs << 4 << u"неочакван знак „*“"_qs;
    QTest::newRow("control character") << u"[a]=1\u0001"_qs << 5 << u"неочакван знак с код U+0001"_qs;
    QTest::newRow("double equals") << u"[a]==1"_qs << 4 << u"очаква се поле или стойност вместо „=“"_qs;
    QTest::newRow("keyword as operand") << u"AND [a]"_qs << 0 << u"вместо „AND“"_qs;
    QTest::newRow("invalid pattern") << u"[a] LIKE \"ab[c\""_qs << 9
                                     << u"невалиден шаблон: незатворена скоба „[“ при знак 3"_qs;
    QTest::newRow("invalid pattern in NOT LIKE") << u"[a] NOT LIKE \"[z-a]\""_qs << 13
                                                 << u"обратен обхват"_qs;
    QTest::newRow("IS without NULL") << u"[a] IS 5"_qs << 7 << u"след IS се очаква NULL"_qs;
    QTest::newRow("NOT without LIKE") << u"[a] NOT 5"_qs << 8 << u"след NOT се очаква LIKE"_qs;
    QTest::newRow("minus without number") << u"[a] = -x"_qs << 7 << u"след „-“ се очаква число"_qs;
    QTest::newRow("text as the whole filter") << u"\"abc\""_qs << 0 << u"очаква се условие"_qs;
    QTest::newRow("NOT of a text") << u"NOT 'x'"_qs << 4 << u"очаква се условие"_qs;
    QTest::newRow("decimal without digits") << u"[a]=1."_qs << 5 << u"неочакван знак „.“"_qs;
    QTest::newRow("position after Cyrillic") << u"[поле]=\"ж\" И"_qs << 11 << u"вместо „И“"_qs;
    QTest::newRow("FITS without model") << u"FITS(\"VW\", 2003)"_qs << 11 << u"очаква се модел в кавички"_qs;
    QTest::newRow("FITS with an empty make") << u"FITS(\" \", \"\", 0)"_qs << 5 << u"марката не може да е празна"_qs;
    QTest::newRow("FITS with no year") << u"FITS('VW', 'Golf', 19975)"_qs << 19 << u"годината трябва да е от 1886"_qs;
    QTest::newRow("FITS unclosed") << u"FITS('VW', 'Golf', 2003"_qs << 23 << u"очаква се „)“"_qs;
}

void TstFilterExpression::parseErrors()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(QString, fragment);
    try {
        const FilterExpression f = FilterExpression::parse(text);
        QFAIL(qPrintable(u"parsed as "_qs + f.dump()));
    } catch (const FilterError &e) {
        QCOMPARE(e.position(), position);
        const QString prefix = u"Грешка във филтъра при знак %1: "_qs.arg(position + 1);
        QVERIFY2(e.message().startsWith(prefix), qPrintable(e.message()));
        QVERIFY2(e.message().contains(fragment), qPrintable(e.message()));
    }
}

void TstFilterExpression::tooDeep()
{
    const QString nested = QString(5000, QLatin1Char('(')) + u"[a]=1"_qs + QString(5000, QLatin1Char(')'));
    QVERIFY_THROWS_EXCEPTION(FilterError, FilterExpression::parse(nested));
    QString nots;
    for (int i = 0; i < 5000; ++i)
        nots += u"NOT "_qs;
    QVERIFY_THROWS_EXCEPTION(FilterError, FilterExpression::parse(nots + u"[a]"_qs));
    QStringList terms(5000, u"[a]=1"_qs);
    try {
        FilterExpression::parse(terms.join(u" AND "_qs));
        QFAIL("a 5000-term chain parsed");
    } catch (const FilterError &e) {
        QVERIFY2(e.message().contains(u"твърде сложен"_qs), qPrintable(e.message()));
    }
    // what the program writes stays well inside the limits
    QVERIFY(!FilterExpression::parse(QStringList(40, u"[a]=1"_qs).join(u" OR "_qs)).isEmpty());
}

void TstFilterExpression::deepestFiltersRun()
{
    // The most deeply nested filters the parser accepts must still fit SQLite's parser and
    // expression depth; one level more is refused by the parser, not by SQLite.
    auto nest = [](const QString &open, const QString &inner, const QString &close, int levels) {
        QString s = inner;
        for (int i = 0; i < levels; ++i)
            s = open + s + close;
        return s;
    };
    const QStringList chain(180, u"[quantity]<5"_qs);
    struct Shape
    {
        QString open;
        QString close;
        int perLevel; // parentheses and NOTs a level adds
    };
    const QList<Shape> shapes = {
        {u"("_qs, u")"_qs, 1},
        {u"NOT "_qs, QString(), 1},
        {u"[unit_name] NOT LIKE ("_qs, u")"_qs, 1},
        {u"\"x\" LIKE ("_qs, u")"_qs, 1},
        {u"[quantity] = ("_qs, u")"_qs, 1},
        {u"[unit_name] = (NOT "_qs, u")"_qs, 2},
        {u"NOT ([deleted] OR [unit_name] LIKE ("_qs, u"))"_qs, 3},
    };
    Database db;
    db.exec("CREATE TABLE main(id INTEGER PRIMARY KEY, unit_name TEXT, quantity REAL, deleted INTEGER);"
            "INSERT INTO main VALUES (1, 'a', 1, 0), (2, NULL, NULL, 1);");
    for (const auto &[open, close, perLevel] : shapes) {
        for (const QString &inner : {u"[unit_name] LIKE \"a*\""_qs, u"("_qs + chain.join(u" AND "_qs) + u")"_qs}) {
            const int innerNesting = inner.startsWith(u'(') ? 1 : 0;
            const int levels = (12 - innerNesting) / perLevel;
            const QString deepest = nest(open, inner, close, levels);
            const SqlFragment where = FilterExpression::parse(deepest).toSql(dialect, resolveColumn);
            QString error;
            db.query(u"SELECT id FROM main WHERE "_qs + where.sql + u" ORDER BY id"_qs, where.params, &error);
            QVERIFY2(error.isEmpty(), qPrintable(error + u": "_qs + deepest));
            const QString tooDeep = nest(open, inner, close, levels + 1);
            bool refused = false;
            try {
                FilterExpression::parse(tooDeep);
            } catch (const FilterError &e) {
                refused = e.message().contains(u"твърде сложен"_qs);
            }
            QVERIFY2(refused, qPrintable(tooDeep));
        }
    }
}

void TstFilterExpression::toSql_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("params");

    QTest::newRow("deleted") << u"[deleted]=False"_qs << u"(\"deleted\" = ?)"_qs
                             << QVariantList{qint64(0)};
    QTest::newRow("True") << u"[locked]=true"_qs << u"(\"locked\" = ?)"_qs << QVariantList{qint64(1)};
    QTest::newRow("make") << u"[mark_name]=\"VW\""_qs << u"(\"mark_name\" COLLATE NOCASE = ?)"_qs
                          << QVariantList{u"VW"_qs};
    QTest::newRow("search")
        << u"[unit_name] LIKE \"*филтър*\" AND [unit_number] LIKE \"12*\""_qs
        << u"(jet_like(?, \"unit_name\") AND jet_like(?, \"unit_number\"))"_qs
        << QVariantList{u"*филтър*"_qs, u"12*"_qs};
    QTest::newRow("NOT LIKE") << u"[unit_name] NOT LIKE \"a*\""_qs
                              << u"(NOT jet_like(?, \"unit_name\"))"_qs << QVariantList{u"a*"_qs};
    QTest::newRow("pattern from a column comes first")
        << u"\"abc\" LIKE [unit_name]"_qs << u"jet_like(\"unit_name\", ?)"_qs
        << QVariantList{u"abc"_qs};
    QTest::newRow("parameters in text order")
        << u"[user_id]=1 AND ([unit_name] LIKE \"x\" OR [price]>2.5)"_qs
        << u"((\"user_id\" = ?) AND (jet_like(?, \"unit_name\") OR (\"price\" > ?)))"_qs
        << QVariantList{qint64(1), u"x"_qs, 2.5};
    QTest::newRow("chain written flat") << u"[id]=1 AND [user_id]=2 AND [price]=3"_qs
                                        << u"((\"id\" = ?) AND (\"user_id\" = ?) AND (\"price\" = ?))"_qs
                                        << QVariantList{qint64(1), qint64(2), qint64(3)};
    QTest::newRow("grouped chain written flat") << u"[id]=1 OR ([user_id]=2 OR [price]=3)"_qs
                                                << u"((\"id\" = ?) OR (\"user_id\" = ?) OR (\"price\" = ?))"_qs
                                                << QVariantList{qint64(1), qint64(2), qint64(3)};
    QTest::newRow("AND inside OR keeps its parentheses")
        << u"[id]=1 OR [user_id]=2 AND [price]=3"_qs
        << u"((\"id\" = ?) OR ((\"user_id\" = ?) AND (\"price\" = ?)))"_qs
        << QVariantList{qint64(1), qint64(2), qint64(3)};
    QTest::newRow("text column on the right") << u"5 = [unit_name]"_qs
                                              << u"(? COLLATE NOCASE = \"unit_name\")"_qs
                                              << QVariantList{qint64(5)};
    QTest::newRow("text literal against a number column") << u"[quantity] = \"5\""_qs
                                                          << u"(\"quantity\" COLLATE NOCASE = ?)"_qs
                                                          << QVariantList{u"5"_qs};
    QTest::newRow("numbers keep no collation") << u"[quantity]<-5"_qs << u"(\"quantity\" < ?)"_qs
                                               << QVariantList{qint64(-5)};
    QTest::newRow("decimal") << u"[price] >= 1.25"_qs << u"(\"price\" >= ?)"_qs
                             << QVariantList{1.25};
    QTest::newRow("NOT and a column") << u"[user_id]=12 OR NOT [locked]"_qs
                                      << u"((\"user_id\" = ?) OR (NOT \"locked\"))"_qs
                                      << QVariantList{qint64(12)};
    QTest::newRow("IS NULL") << u"[comment] IS NULL"_qs << u"(\"comment\" IS NULL)"_qs << QVariantList{};
    QTest::newRow("IS NOT NULL") << u"[comment] is not null"_qs << u"(\"comment\" IS NOT NULL)"_qs
                                 << QVariantList{};
    QTest::newRow("Null literal") << u"[price] = Null"_qs << u"(\"price\" = NULL)"_qs << QVariantList{};
    QTest::newRow("real column name") << u"[Unit_Name]=\"x\" AND UNIT_NUMBER=\"y\""_qs
                                      << u"((\"unit_name\" COLLATE NOCASE = ?) AND (\"unit_number\" COLLATE NOCASE = ?))"_qs
                                      << QVariantList{u"x"_qs, u"y"_qs};
    QTest::newRow("quotes stay in the value")
        << u"[unit_name]=\"x\"\") OR 1=1 --\""_qs << u"(\"unit_name\" COLLATE NOCASE = ?)"_qs
        << QVariantList{u"x\") OR 1=1 --"_qs};
    QTest::newRow("found by key") << u"[user_name] LIKE \"o\"\"brien*\""_qs
                                  << u"jet_like(?, \"user_name\")"_qs << QVariantList{u"o\"brien*"_qs};
    QTest::newRow("FITS: make, model and year folded")
        << u"[deleted]=False AND fits(\"Опел\", \" ASTRA  G\", 2003)"_qs
        << u"((\"deleted\" = ?) AND (rowid IN (SELECT row_id FROM fitment WHERE make = ? AND model = ? AND year_from <= ? AND year_to >= ?)))"_qs
        << QVariantList{qint64(0), u"опел"_qs, u"astra g"_qs, qint64(2003), qint64(2003)};
    QTest::newRow("FITS: any model, any year") << u"FITS('VW', '', 0)"_qs
                                               << u"(rowid IN (SELECT row_id FROM fitment WHERE make = ?))"_qs
                                               << QVariantList{u"vw"_qs};
    QTest::newRow("empty") << QString() << u"1"_qs << QVariantList{};
}

void TstFilterExpression::toSql()
{
    QFETCH(QString, text);
    QFETCH(QString, sql);
    QFETCH(QVariantList, params);
    try {
        const SqlFragment f = FilterExpression::parse(text).toSql(dialect, resolveColumn);
        QCOMPARE(f.sql, sql);
        QCOMPARE(f.params.size(), params.size());
        for (int i = 0; i < params.size(); ++i) {
            QCOMPARE(f.params[i].typeId(), params[i].typeId());
            QCOMPARE(f.params[i], params[i]);
        }
    } catch (const FilterError &e) {
        QFAIL(qPrintable(e.message()));
    }
}

void TstFilterExpression::unknownColumn()
{
    const QStringList texts = {u"[xyz]=1"_qs, u"[unit_name] LIKE \"a\" OR xyz IS NULL"_qs,
                               u"NOT ([xyz] LIKE \"a*\")"_qs, u"\"a\" LIKE [xyz]"_qs};
    for (const QString &text : texts) {
        const FilterExpression f = FilterExpression::parse(text);
        try {
            f.toSql(dialect, resolveColumn);
            QFAIL(qPrintable(text));
        } catch (const FilterError &e) {
            QCOMPARE(e.message(), u"Непознато поле [xyz] във филтъра"_qs);
            QCOMPARE(e.position(), int(text.indexOf(u"xyz"_qs)) - (text.contains(u"[xyz]"_qs) ? 1 : 0));
        }
    }
}

void TstFilterExpression::sort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("terms");

    QTest::newRow("one term as the layer writes it") << u"[unit_name] ASC "_qs
                                                     << u"\"unit_name\" COLLATE NOCASE ASC"_qs << 1;
    QTest::newRow("two terms") << u"[unit_name] ASC,[user_id] ASC "_qs
                               << u"\"unit_name\" COLLATE NOCASE ASC, \"user_id\" ASC"_qs << 2;
    QTest::newRow("bare and descending") << u"user_id desc, Comment"_qs
                                         << u"\"user_id\" DESC, \"comment\" COLLATE NOCASE ASC"_qs << 2;
    QTest::newRow("no direction") << u"[quantity]"_qs << u"\"quantity\" ASC"_qs << 1;
    QTest::newRow("trailing comma") << u"[unit_name] ASC , "_qs << u"\"unit_name\" COLLATE NOCASE ASC"_qs
                                    << 1;
    QTest::newRow("lines with breaks") << u"[deleted] ASC,\r\n[unit_number] DESC "_qs
                                       << u"\"deleted\" ASC, \"unit_number\" COLLATE NOCASE DESC"_qs << 2;
    QTest::newRow("empty") << u" "_qs << QString() << 0;
}

void TstFilterExpression::sort()
{
    QFETCH(QString, text);
    QFETCH(QString, sql);
    QFETCH(int, terms);
    try {
        const SortExpression s = SortExpression::parse(text);
        QCOMPARE(int(s.terms().size()), terms);
        QCOMPARE(s.isEmpty(), terms == 0);
        QCOMPARE(s.toSql(dialect, resolveColumn), sql);
    } catch (const FilterError &e) {
        QFAIL(qPrintable(e.message()));
    }
    const SortExpression s = SortExpression::parse(u"[Unit_Name] DESC"_qs);
    QCOMPARE(s.terms().front().column, u"Unit_Name"_qs); // as written
    QVERIFY(s.terms().front().descending);
}

void TstFilterExpression::sortErrors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("fragment");
    QTest::newRow("leading comma") << u",[a]"_qs << 0 << u"очаква се име на поле вместо „,“"_qs;
    QTest::newRow("double comma") << u"[a],,[b]"_qs << 4 << u"очаква се име на поле"_qs;
    QTest::newRow("missing comma") << u"[a] ASC [b]"_qs << 8 << u"вместо „[b]“"_qs;
    QTest::newRow("unclosed name") << u"[a] ASC, [b"_qs << 9 << u"незатворено име на поле"_qs;
    QTest::newRow("text") << u"\"x\""_qs << 0 << u"очаква се име на поле"_qs;
    QTest::newRow("number") << u"1"_qs << 0 << u"очаква се име на поле"_qs;
    QTest::newRow("unknown column") << u"[unit_name], [xyz] ASC"_qs << 13
                                    << u"Непознато поле [xyz] в сортирането"_qs;
}

void TstFilterExpression::sortErrors()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(QString, fragment);
    try {
        const QString sql = SortExpression::parse(text).toSql(dialect, resolveColumn);
        QFAIL(qPrintable(u"accepted as "_qs + sql));
    } catch (const FilterError &e) {
        QCOMPARE(e.position(), position);
        QVERIFY2(e.message().contains(fragment), qPrintable(e.message()));
    }
}

void TstFilterExpression::sqlFunctions()
{
    Database db;
    QCOMPARE(db.query(u"SELECT jet_like('иван*', 'ИВАН ИВАНОВ')"_qs), QStringList{u"1"_qs});
    QCOMPARE(db.query(u"SELECT jet_like('иван*', 'Петър')"_qs), QStringList{u"0"_qs});
    QCOMPARE(db.query(u"SELECT jet_like(NULL, 'x')"_qs), QStringList{u"NULL"_qs});
    QCOMPARE(db.query(u"SELECT jet_like('*', NULL)"_qs), QStringList{u"NULL"_qs});
    QCOMPARE(db.query(u"SELECT NOT jet_like('*', NULL)"_qs), QStringList{u"NULL"_qs});
    // numbers are matched in their text form
    QCOMPARE(db.query(u"SELECT jet_like('1#', 12)"_qs), QStringList{u"1"_qs});
    QCOMPARE(db.query(u"SELECT jet_like('1.5', 1.5)"_qs), QStringList{u"1"_qs});
    QCOMPARE(db.query(u"SELECT jet_like(12, '12')"_qs), QStringList{u"1"_qs});
    QString error;
    db.query(u"SELECT jet_like('ab[c', 'abc')"_qs, {}, &error);
    QVERIFY2(error.contains(u"незатворена скоба „[“"_qs), qPrintable(error));

    QCOMPARE(db.query(u"SELECT 'ФИЛТЪР' = 'филтър' COLLATE NOCASE"_qs), QStringList{u"1"_qs});
    QCOMPARE(db.query(u"SELECT 'Golf' = 'GOLF' COLLATE NOCASE"_qs), QStringList{u"1"_qs});
    QCOMPARE(db.query(u"SELECT 'агне' < 'Ябълка' COLLATE NOCASE"_qs), QStringList{u"1"_qs});
    QCOMPARE(db.query(u"SELECT 'ФИЛТЪР' = 'филтър'"_qs), QStringList{u"0"_qs}); // BINARY untouched
}

void TstFilterExpression::patternCacheFollowsParameter()
{
    // One prepared statement re-run with another pattern must not keep the first one.
    Database db;
    db.exec("CREATE TABLE t(name TEXT);"
            "INSERT INTO t VALUES ('Иван'), ('Иво'), ('Петър'), ('петя');");
    sqlite3_stmt *stmt = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db.handle(), "SELECT count(*) FROM t WHERE jet_like(?, name)", -1,
                                &stmt, nullptr),
             SQLITE_OK);
    auto count = [&](const QString &pattern) {
        sqlite3_reset(stmt);
        Database::bind(stmt, {pattern});
        if (sqlite3_step(stmt) != SQLITE_ROW)
            return -1;
        return sqlite3_column_int(stmt, 0);
    };
    QCOMPARE(count(u"ив*"_qs), 2);
    QCOMPARE(count(u"пет*"_qs), 2);
    QCOMPARE(count(u"*р"_qs), 1);
    QCOMPARE(count(u"[!и]*"_qs), 2);
    sqlite3_finalize(stmt);
}

void TstFilterExpression::filtersSelectRows_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("ids");

    QTest::newRow("empty") << QString() << u"1 2 3 4 5 6"_qs;
    QTest::newRow("not deleted") << u"[deleted]=False"_qs << u"1 3 4 5 6"_qs;
    QTest::newRow("deleted") << u"[deleted] = True"_qs << u"2"_qs;
    QTest::newRow("Cyrillic pattern") << u"[unit_name] LIKE \"*филтър*\""_qs << u"1 2"_qs;
    QTest::newRow("NOT LIKE skips nulls") << u"[unit_name] NOT LIKE \"*филтър*\""_qs << u"3 5 6"_qs;
    QTest::newRow("NOT before LIKE skips nulls") << u"NOT [unit_name] LIKE \"*филтър*\""_qs
                                                 << u"3 5 6"_qs;
    QTest::newRow("Cyrillic equality") << u"[unit_name] = \"ИВАН\""_qs << u"5"_qs;
    QTest::newRow("Cyrillic prefix") << u"[unit_name] LIKE \"иван*\""_qs << u"5"_qs;
    QTest::newRow("not equal skips nulls") << u"[unit_name] <> \"golf wheel\""_qs << u"1 2 5 6"_qs;
    QTest::newRow("NOT equal skips nulls") << u"NOT ([unit_name] = \"GOLF WHEEL\")"_qs
                                           << u"1 2 5 6"_qs;
    QTest::newRow("less") << u"[quantity]<5"_qs << u"2 5 6"_qs;
    QTest::newRow("NOT less skips nulls") << u"NOT [quantity]<5"_qs << u"1 3"_qs;
    QTest::newRow("range") << u"[quantity] > 1 AND [quantity] < 4"_qs << u"2 6"_qs;
    QTest::newRow("decimal") << u"[quantity] = 0.5"_qs << u"5"_qs;
    QTest::newRow("number prefix") << u"[unit_number] LIKE \"12*\""_qs << u"1 2 6"_qs;
    QTest::newRow("two digits") << u"[unit_number] LIKE \"##\""_qs << u"5 6"_qs;
    QTest::newRow("range list") << u"[unit_number] LIKE \"[a-c]-#\""_qs << u"4"_qs;
    QTest::newRow("is null") << u"[comment] IS NULL"_qs << u"2"_qs;
    QTest::newRow("is not null") << u"[comment] IS NOT NULL"_qs << u"1 3 4 5 6"_qs;
    QTest::newRow("empty text is not null") << u"[comment] = \"\""_qs << u"5"_qs;
    QTest::newRow("star skips nulls") << u"[comment] LIKE \"*\""_qs << u"1 3 4 5 6"_qs;
    QTest::newRow("NOT star matches nothing") << u"NOT [comment] LIKE \"*\""_qs << QString();
    QTest::newRow("OR") << u"[unit_name] LIKE \"golf*\" OR [comment] LIKE \"*golf\""_qs << u"1 3"_qs;
    QTest::newRow("null against null") << u"[comment] = Null OR NOT ([comment] = Null)"_qs << QString();
    QTest::newRow("number against a text column") << u"[unit_number] = 12"_qs << u"6"_qs;
    QTest::newRow("pattern on a number column") << u"[quantity] LIKE \"1*\""_qs << u"3"_qs;
    QTest::newRow("quote in a value") << u"[unit_name] = \"x\"\" OR 1=1 OR \"\"\""_qs << QString();
}

void TstFilterExpression::filtersSelectRows()
{
    QFETCH(QString, filter);
    QFETCH(QString, ids);
    Database db;
    db.exec("CREATE TABLE main(id INTEGER PRIMARY KEY, unit_name TEXT, unit_number TEXT,"
            " quantity REAL, deleted INTEGER NOT NULL DEFAULT 0, comment TEXT);"
            "INSERT INTO main VALUES (1, 'Маслен ФИЛТЪР', '12-34', 5, 0, 'VW Golf');"
            "INSERT INTO main VALUES (2, 'маслен филтър', '1234', 2, 1, NULL);"
            "INSERT INTO main VALUES (3, 'Golf wheel', NULL, 10, 0, 'golf');"
            "INSERT INTO main VALUES (4, NULL, 'A-1', NULL, 0, 'ИВАН');"
            "INSERT INTO main VALUES (5, 'Иван', '99', 0.5, 0, '');"
            "INSERT INTO main VALUES (6, 'ivan', '12', 3, 0, 'Ivan');");
    const SqlFragment where = FilterExpression::parse(filter).toSql(dialect, resolveColumn);
    QString error;
    const QStringList rows = db.query(u"SELECT id FROM main WHERE "_qs + where.sql + u" ORDER BY id"_qs,
                                      where.params, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error + u": "_qs + where.sql));
    QCOMPARE(rows.join(QLatin1Char(' ')), ids);
}

void TstFilterExpression::sortAndGroupFoldCase()
{
    Database db;
    db.exec("CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT);"
            "INSERT INTO t(name) VALUES ('ФИЛТЪР'), ('филтър'), (NULL), ('ябълка'), ('Агне'),"
            " ('golf'), ('GOLF'), ('Ivan');");
    const QString order = SortExpression::parse(u"[name] ASC "_qs).toSql(dialect, resolveColumn);
    QCOMPARE(db.query(u"SELECT id FROM t ORDER BY "_qs + order + u", id"_qs).join(QLatin1Char(' ')),
             u"3 6 7 8 5 1 2 4"_qs);
    const QString desc = SortExpression::parse(u"name DESC"_qs).toSql(dialect, resolveColumn);
    QCOMPARE(db.query(u"SELECT id FROM t ORDER BY "_qs + desc + u", id"_qs).join(QLatin1Char(' ')),
             u"4 1 2 5 8 6 7 3"_qs);

    // the stored pick-list queries: one row per value in any letter case, null first
    QCOMPARE(db.query(u"SELECT count(*) FROM t GROUP BY name COLLATE NOCASE ORDER BY name COLLATE NOCASE"_qs)
                 .join(QLatin1Char(' ')),
             u"1 2 1 1 2 1"_qs);
    const QStringList groups =
        db.query(u"SELECT name FROM t GROUP BY name COLLATE NOCASE ORDER BY name COLLATE NOCASE"_qs);
    QCOMPARE(groups.size(), 6);
    QCOMPARE(groups.first(), u"NULL"_qs);
    QVERIFY(groups.at(4).compare(u"филтър"_qs, Qt::CaseInsensitive) == 0);

    // a UNIQUE NOCASE column refuses a value that differs only in Cyrillic letter case
    db.exec("CREATE TABLE k(name TEXT COLLATE NOCASE UNIQUE);");
    db.exec("INSERT INTO k VALUES ('ФИЛТЪР');");
    QString error;
    db.query(u"INSERT INTO k VALUES ('филтър')"_qs, {}, &error);
    QVERIFY2(error.contains(u"UNIQUE"_qs), qPrintable(error));
}

QTEST_APPLESS_MAIN(TstFilterExpression)
#include "tst_filterexpression.moc"
