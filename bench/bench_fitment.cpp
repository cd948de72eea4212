// Fitment benchmark: an inventory of 1,000,000 rows whose compatibility texts hold one to four
// entries drawn from the car catalogue. "What fits this car" through the grid's dataset (the
// FITS filter, the keyset read whole) beside the same lookup on the same index through the
// sqlite3 C API, and beside the search window's word search for the same make and model; a post
// that changes a compatibility text beside one that does not; and the index read whole once.
// Usage: build/bench/bench_fitment [DIR] [ROWS]
#include "BenchSupport.h"
#include "SearchFilter.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoField.h"
#include "dataset/TDaoTable.h"

#include <QCoreApplication>
#include <QRandomGenerator>

namespace {

struct Car
{
    QByteArray make, model;
    int first, last;
};

std::vector<Car> catalogue()
{
    std::vector<Car> cars;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(VELOSTOK_SYS_DIR "/EmptyBase.bck", &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT mark_name, model_name, first_date, last_date FROM models WHERE model_name IS NOT NULL", -1, &st,
                       nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        cars.push_back({reinterpret_cast<const char *>(sqlite3_column_text(st, 0)),
                        reinterpret_cast<const char *>(sqlite3_column_text(st, 1)), sqlite3_column_int(st, 2),
                        sqlite3_column_int(st, 3)});
    sqlite3_finalize(st);
    sqlite3_close(db);
    return cars;
}

// The catalogue into the copy, and each row's text made of one to four of its cars as the
// picker writes them (a car without a last year as an open range).
void fillTexts(const QString &path, const std::vector<Car> &cars)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    auto exec = [db](const char *sql) {
        char *error = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            std::fprintf(stderr, "%s: %s\n", sql, error);
            std::exit(1);
        }
    };
    exec("ATTACH '" VELOSTOK_SYS_DIR "/EmptyBase.bck' AS t");
    exec("PRAGMA main.journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN; DELETE FROM models; "
         "INSERT INTO models SELECT * FROM t.models");
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "UPDATE main SET comment = ? WHERE id = ?", -1, &st, nullptr);
    QRandomGenerator r(20261211);
    sqlite3_int64 rows = 0;
    sqlite3_stmt *count = nullptr;
    sqlite3_prepare_v2(db, "SELECT max(id) FROM main", -1, &count, nullptr);
    if (sqlite3_step(count) == SQLITE_ROW)
        rows = sqlite3_column_int64(count, 0);
    sqlite3_finalize(count);
    for (sqlite3_int64 id = 1; id <= rows; ++id) {
        QByteArray text;
        for (int n = 1 + r.bounded(4); n > 0; --n) {
            const Car &c = cars[size_t(r.bounded(int(cars.size())))];
            text += c.make + ' ' + c.model + ' ' + QByteArray::number(c.first) + '-' + (c.last ? QByteArray::number(c.last) : QByteArray())
                    + ';';
        }
        sqlite3_bind_text(st, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 2, id);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    exec("COMMIT; DETACH t");
    sqlite3_close(db);
}

// The ids the index gives for the car, in the keyset's order, through the C API.
double handWrittenMs(const QString &path, const QByteArray &make, const QByteArray &model, int year, qint64 *found)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::vector<double> times;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer t;
        t.start();
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT rowid FROM main WHERE rowid IN (SELECT row_id FROM fitment WHERE make = ? AND model = ? "
                           "AND year_from <= ? AND year_to >= ?) ORDER BY rowid",
                           -1, &st, nullptr);
        sqlite3_bind_text(st, 1, make.constData(), int(make.size()), SQLITE_STATIC);
        sqlite3_bind_text(st, 2, model.constData(), int(model.size()), SQLITE_STATIC);
        sqlite3_bind_int(st, 3, year);
        sqlite3_bind_int(st, 4, year);
        std::vector<sqlite3_int64> ids;
        while (sqlite3_step(st) == SQLITE_ROW)
            ids.push_back(sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
        times.push_back(bench::msSince(t));
        *found = qint64(ids.size());
    }
    sqlite3_close(db);
    return bench::median(times);
}

} // namespace

int main(int argc, char **argv)
{
    bench::useOffscreen();
    QCoreApplication app(argc, argv);
    const int rows = bench::rowsArg(argc, argv, 2, 1000000);
    ProgramTree tree;
    const QString path = bench::workingCopy(tree, bench::dataDir(argc, argv), rows);
    const std::vector<Car> cars = catalogue();
    QElapsedTimer t;
    t.start();
    fillTexts(path, cars);
    std::printf("%d rows, texts of 1-4 entries from %zu catalogue cars written in %.0f ms\n", rows, cars.size(), bench::msSince(t));

    TDaoDatabase db;
    db.setDatabase(path);
    db.SmartOpen = false;
    db.Open();
    t.restart();
    db.bringFitmentUpToDate();
    std::printf("%-58s %9.1f ms   (once, at the first search after the upgrade)\n", "the index read from every row", bench::msSince(t));
    if (qEnvironmentVariableIsSet("BENCH_BUILD_ONLY")) // for profiling the reading
        return 0;

    const QString make = QStringLiteral("VW"), model = QStringLiteral("Golf IV");
    const int year = 2003;
    const QString fits = QStringLiteral("[deleted]=False AND FITS(\"%1\", \"%2\", %3)").arg(make, model).arg(year);
    SearchCriteria words;
    words.comment = make + QLatin1Char(' ') + model;
    const QString wordFilter = searchFilter(words);
    auto search = [&](const QString &filter, int *found) {
        std::vector<double> times;
        for (int i = 0; i < 15; ++i) {
            TDaoTable table;
            table.setDatabase(&db);
            table.setTableName(QStringLiteral("main"));
            table.setFilter(filter);
            table.setFiltered(true);
            QElapsedTimer e;
            e.start();
            table.Open();
            *found = table.RecordCount();
            times.push_back(bench::msSince(e));
        }
        return bench::median(times);
    };
    int fitting = 0, worded = 0;
    qint64 handFound = 0;
    const double ours = search(fits, &fitting);
    const double bare = search(QStringLiteral("FITS(\"%1\", \"%2\", %3)").arg(make, model).arg(year), &fitting);
    const double hand = handWrittenMs(path, "vw", "golf iv", year, &handFound);
    const double word = search(wordFilter, &worded);
    std::printf("VW Golf IV 2003: %d rows fit (%lld by hand, deleted included); the word search finds %d\n", fitting,
                static_cast<long long>(handFound), worded);
    bench::report("fitment search, as the grid opens it", bare, hand, "<= 50 ms, <= 1.5x the C API");
    bench::report("fitment search with [deleted]=False", ours, hand, "<= 50 ms");
    bench::report("fitment search against the word search", ours, word, "<= 0.2x (5x faster)");

    // Posts: the same row's price, then its text, alternately.
    TDaoTable table;
    table.setDatabase(&db);
    table.setTableName(QStringLiteral("main"));
    table.setFilter(QStringLiteral("[id]=500000"));
    table.setFiltered(true);
    table.Open();
    const QString texts[] = {QStringLiteral("VW Golf IV 1997-2006;"), QStringLiteral("Opel Astra G 1998-2004;")};
    std::vector<double> plain, changed;
    for (int i = 0; i < 301; ++i) {
        QElapsedTimer e;
        table.Edit();
        table.FieldByName(QStringLiteral("price"))->setAsFloat(10 + i);
        e.start();
        table.Post();
        plain.push_back(bench::msSince(e));
        table.Edit();
        table.FieldByName(QStringLiteral("comment"))->setAsString(texts[i % 2]);
        e.restart();
        table.Post();
        changed.push_back(bench::msSince(e));
    }
    bench::report("a post that changes the compatibility text", bench::median(changed), bench::median(plain), "<= 1.1x one that does not");
    t.restart();
    db.bringFitmentUpToDate();
    std::printf("%-58s %9.1f ms\n", "the next search reads the changed row again", bench::msSince(t));
    return 0;
}
