// The throwaway PostgreSQL server the tests run on (tools/pg.sh, reached through VELOSTOK_PG_TEST):
// it answers, stores UTF-8, and folds Cyrillic and Latin case in lower(), upper(), ILIKE and ~*.
#include <QtTest>

#include <libpq-fe.h>

#include <memory>
#include <vector>

class TstPgServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void server();
    void caseFolding();
    void table();

private:
    // The first row's values, parameters bound as UTF-8 text; an error comes back as the one value
    // (libpq's "ERROR: …"), so that the comparison that expected a result shows it.
    QStringList query(const QByteArray &sql, const QStringList &params = {});
    // A statement without rows: empty, or the error.
    QString exec(const QByteArray &sql, const QStringList &params = {});

    PGconn *mConn = nullptr;
    QByteArray mTable;
};

QStringList TstPgServer::query(const QByteArray &sql, const QStringList &params)
{
    QList<QByteArray> utf8;
    for (const QString &p : params)
        utf8 << p.toUtf8();
    std::vector<const char *> values;
    for (const QByteArray &p : utf8)
        values.push_back(p.constData());
    std::unique_ptr<PGresult, decltype(&PQclear)> r(
        PQexecParams(mConn, sql.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0),
        &PQclear);
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        return {QString::fromUtf8(PQerrorMessage(mConn)).trimmed()};
    QStringList out;
    if (PQntuples(r.get()) > 0) {
        for (int c = 0; c < PQnfields(r.get()); ++c)
            out << (PQgetisnull(r.get(), 0, c) ? QString() : QString::fromUtf8(PQgetvalue(r.get(), 0, c)));
    }
    return out;
}

QString TstPgServer::exec(const QByteArray &sql, const QStringList &params)
{
    return query(sql, params).join(u'|');
}

void TstPgServer::initTestCase()
{
    // Set by the CTest wiring; without it this test would prove nothing, so it fails.
    const QByteArray conninfo = qgetenv("VELOSTOK_PG_TEST");
    QVERIFY2(!conninfo.isEmpty(), "VELOSTOK_PG_TEST is not set (run it through ctest)");
    mConn = PQconnectdb(conninfo.constData());
    QVERIFY2(PQstatus(mConn) == CONNECTION_OK, PQerrorMessage(mConn));
    QCOMPARE(PQsetClientEncoding(mConn, "UTF8"), 0);
    // One per process, so that two runs at once do not share it.
    mTable = "pgserver_smoke_" + QByteArray::number(QCoreApplication::applicationPid());
}

void TstPgServer::cleanupTestCase()
{
    if (mConn && PQstatus(mConn) == CONNECTION_OK) {
        exec("SET client_min_messages = warning"); // no notice when the test dropped it already
        exec("DROP TABLE IF EXISTS " + mTable);
    }
    PQfinish(mConn);
}

void TstPgServer::server()
{
    // A unix socket only: no TCP address to reach it by.
    QCOMPARE(query("SHOW listen_addresses"), QStringList{QString()});
    QCOMPARE(query("SHOW server_encoding"), QStringList{QStringLiteral("UTF8")});
    QCOMPARE(query("SELECT current_database()"), QStringList{QStringLiteral("velostok_test")});
    // The engine's tests make a database of their own each.
    QCOMPARE(query("SELECT rolcreatedb OR rolsuper FROM pg_roles WHERE rolname = current_user"),
             QStringList{QStringLiteral("t")});
}

void TstPgServer::caseFolding()
{
    // Qt's case mapping is the reference for both alphabets.
    const QString upper = QStringLiteral("ЯБЪЛКА ЁЖ ЪГЪЛ ЩИТ ЮЙ ABC XYZ 7.");
    QCOMPARE(query("SELECT lower($1), upper($2)", {upper, upper.toLower()}), (QStringList{upper.toLower(), upper}));

    const QStringList yes = {QStringLiteral("t")};
    const QStringList no = {QStringLiteral("f")};
    QCOMPARE(query("SELECT $1 ILIKE $2", {QStringLiteral("ябълка"), QStringLiteral("ЯБЪЛКА")}), yes);
    QCOMPARE(query("SELECT $1 ILIKE $2", {QStringLiteral("Ёлха Ab"), QStringLiteral("ёЛХА aB")}), yes);
    QCOMPARE(query("SELECT $1 ILIKE $2", {QStringLiteral("ъгъл"), QStringLiteral("%Ъ_Ъ%")}), yes);
    QCOMPARE(query("SELECT $1 ~* $2", {QStringLiteral("Ябълка"), QStringLiteral("^ЯБЪ.К")}), yes);
    QCOMPARE(query("SELECT $1 ~* $2", {QStringLiteral("ёж"), QStringLiteral("ЁЖ$")}), yes);
    QCOMPARE(query("SELECT $1 ~* $2", {QStringLiteral("Bulb"), QStringLiteral("^bULB$")}), yes);
    // Case and nothing more: Ё is not Е, Ъ is not Ь, and a Latin letter is not its Cyrillic look-alike.
    QCOMPARE(query("SELECT $1 ILIKE $2", {QStringLiteral("ёж"), QStringLiteral("ЕЖ")}), no);
    QCOMPARE(query("SELECT $1 ~* $2", {QStringLiteral("ъ"), QStringLiteral("Ь")}), no);
    QCOMPARE(query("SELECT $1 ILIKE $2", {QStringLiteral("a"), QStringLiteral("А")}), no);
}

void TstPgServer::table()
{
    QCOMPARE(exec("CREATE TABLE " + mTable + " (id serial PRIMARY KEY, name varchar(60))"), QString());
    const QStringList names = {QStringLiteral("Ябълка"), QStringLiteral("ЯБЪЛКА червена"),
                               QStringLiteral("ябълков сок"), QStringLiteral("Ёлха"), QStringLiteral("елха"),
                               QStringLiteral("Bulb H7"), QStringLiteral("bulb h4"), QStringLiteral("Булб")};
    for (const QString &n : names)
        QCOMPARE(exec("INSERT INTO " + mTable + " (name) VALUES ($1)", {n}), QString());

    // Stored and read back as written, and folded row by row as Qt folds them.
    QCOMPARE(query("SELECT string_agg(name, '|' ORDER BY id), string_agg(lower(name), '|' ORDER BY id) FROM " + mTable),
             (QStringList{names.join(u'|'), names.join(u'|').toLower()}));

    const auto count = [this](const char *where, const QString &param) {
        return query("SELECT count(*) FROM " + mTable + " WHERE " + where, {param});
    };
    QCOMPARE(count("name ILIKE $1", QStringLiteral("ябълк%")), QStringList{QStringLiteral("3")});
    QCOMPARE(count("lower(name) = lower($1)", QStringLiteral("ЁЛХА")), QStringList{QStringLiteral("1")});
    QCOMPARE(count("upper(name) = $1", QStringLiteral("ЕЛХА")), QStringList{QStringLiteral("1")});
    QCOMPARE(count("name ~* $1", QStringLiteral("^BULB")), QStringList{QStringLiteral("2")});
    QCOMPARE(count("name ILIKE $1", QStringLiteral("б%")), QStringList{QStringLiteral("1")});

    QCOMPARE(exec("DROP TABLE " + mTable), QString());
    QCOMPARE(query("SELECT to_regclass($1) IS NULL", {QString::fromLatin1(mTable)}), QStringList{QStringLiteral("t")});
}

QTEST_GUILESS_MAIN(TstPgServer)
#include "tst_pgserver.moc"
