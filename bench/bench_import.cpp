// Import benchmark: a supplier's price list of 100,000 rows (half of them parts the inventory
// has, half new) as xlsx and as CSV, imported into a file inventory of 1,000,000 rows as the
// import window does it (the file read and converted, the rows matched, then written as one
// operation), beside the same file read by the reader alone plus the same updates and inserts
// through the sqlite3 C API in one transaction; and how much the resident memory grows.
// Usage: build/bench/bench_import [DIR] [INVENTORY-ROWS] [FILE-ROWS]
#include "InventoryData.h"
#include "base/Regional.h"
#include "dataset/ChangeLog.h"
#include "dataset/TDaoDatabase.h"
#include "import/DelimitedText.h"
#include "import/ImportPlan.h"
#include "import/SheetFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>
#include <xlsxwriter.h>

using namespace inventoryimport;

namespace {

double msSince(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(const char *what, double ours, double base, const char *target)
{
    std::printf("%-44s %9.1f ms   baseline %9.1f ms   ratio %5.2f   (target %s)\n", what, ours, base, ours / base, target);
}

struct Line
{
    qint64 id; // the inventory's row it changes; 0: a new one
    QString number, name, supplier;
    double price, quantity;
};

// A memory figure of this process from /proc (VmRSS: resident now, VmHWM: its peak), in KiB.
long statusKiB(const QByteArray &key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray &l : f.readAll().split('\n'))
        if (l.startsWith(key + ':'))
            return l.mid(key.size() + 1).trimmed().split(' ').first().toLong();
    return 0;
}

// Half the lines are parts the inventory has once (a new price and quantity), half are new.
std::vector<Line> priceList(const QString &inventory, int rows)
{
    std::vector<Line> out;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(inventory.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT min(id), unit_number, min(unit_name) FROM main GROUP BY unit_number HAVING count(*) = 1 "
                       "ORDER BY min(id) LIMIT ?",
                       -1, &st, nullptr);
    sqlite3_bind_int(st, 1, rows / 2);
    QRandomGenerator r(20261211);
    while (sqlite3_step(st) == SQLITE_ROW)
        out.push_back({sqlite3_column_int64(st, 0), QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 1))),
                       QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 2))), QStringLiteral("Авто Плюс"),
                       r.bounded(100000) / 100.0 + 1, double(r.bounded(40))});
    sqlite3_finalize(st);
    sqlite3_close(db);
    for (int i = int(out.size()); i < rows; ++i)
        out.push_back({0, QStringLiteral("N-%1").arg(i, 7, 10, QLatin1Char('0')), QStringLiteral("Нов артикул %1").arg(i),
                       QStringLiteral("Авто Плюс"), r.bounded(100000) / 100.0 + 1, double(r.bounded(40))});
    return out;
}

const char *const Headings[] = {"Код", "Описание", "Цена без ДДС", "Количество", "Доставчик"};

void writeCsv(const std::vector<Line> &lines, const QString &path)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QByteArray out = "Код;Описание;Цена без ДДС;Количество;Доставчик\r\n";
    for (const Line &l : lines)
        out += (l.number + QLatin1Char(';') + l.name + QLatin1Char(';') + regional::formatNumber(l.price) + QLatin1Char(';')
                + regional::formatNumber(l.quantity) + QLatin1Char(';') + l.supplier + QStringLiteral("\r\n"))
                   .toUtf8();
    f.write(out);
}

void writeXlsx(const std::vector<Line> &lines, const QString &path)
{
    const regional::CNumbers c;
    lxw_workbook_options o{};
    o.constant_memory = LXW_TRUE;
    lxw_workbook *book = workbook_new_opt(path.toUtf8().constData(), &o);
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
    for (int c = 0; c < 5; ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), Headings[c], nullptr);
    lxw_row_t row = 1;
    for (const Line &l : lines) {
        worksheet_write_string(sheet, row, 0, l.number.toUtf8().constData(), nullptr);
        worksheet_write_string(sheet, row, 1, l.name.toUtf8().constData(), nullptr);
        worksheet_write_number(sheet, row, 2, l.price, nullptr);
        worksheet_write_number(sheet, row, 3, l.quantity, nullptr);
        worksheet_write_string(sheet, row, 4, l.supplier.toUtf8().constData(), nullptr);
        ++row;
    }
    workbook_close(book);
}

std::unique_ptr<SheetReader> openFile(const QString &path)
{
    const sheetfile::Kind kind = sheetfile::kindOf(path);
    delimitedtext::Format format;
    if (kind == sheetfile::Kind::Text) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        format = delimitedtext::detect(f.read(65536));
    }
    return sheetfile::open(path, kind, format);
}

// The import as the window runs it; the counts it wrote.
QString programImport(const QString &inventory, const QString &file)
{
    TDaoDatabase db;
    db.setDatabase(inventory);
    db.SmartOpen = false;
    db.Open();
    std::optional<SourceInfo> main;
    db.readSnapshot([&](DbEngine &e) { main = e.findSource(QStringLiteral("main")); });
    Options o;
    for (const char *h : Headings)
        o.headings << QString::fromUtf8(h);
    o.fields = QStringList{QStringLiteral("unit_number"), QStringLiteral("unit_name"), QStringLiteral("price"),
                           QStringLiteral("quantity"), QStringLiteral("deliver_name")};
    ImportPlan plan(main->columns, o);
    std::unique_ptr<SheetReader> reader = openFile(file);
    QElapsedTimer t;
    t.start();
    plan.read(*reader);
    const double read = msSince(t);
    t.restart();
    db.readSnapshot([&](DbEngine &e) { plan.match(e); });
    const double match = msSince(t);
    t.restart();
    db.writeOperation(ChangeLog::Kind::Import, [&](DbEngine &e) { plan.write(e, db.changeLog(), QDateTime::currentDateTime()); });
    if (qEnvironmentVariableIsSet("BENCH_PHASES"))
        std::printf("   read %.0f ms, match %.0f ms, write %.0f ms\n", read, match, msSince(t));
    return QStringLiteral("%1 appended, %2 changed").arg(plan.count(Outcome::Append)).arg(plan.count(Outcome::Change));
}

// The file read by the reader alone, then the same writes through the C API in one transaction
// (the history's triggers told to keep quiet, as the program's own operations do).
void baselineImport(const QString &inventory, const QString &file, const std::vector<Line> &lines)
{
    std::unique_ptr<SheetReader> reader = openFile(file);
    QVariantList cells;
    qint64 n = 0;
    while (reader->next(cells))
        n += cells.size();
    if (n == 0)
        qFatal("nothing read");
    sqlite3 *db = nullptr;
    sqlite3_open_v2(inventory.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "BEGIN IMMEDIATE; INSERT INTO history_writer (who, mode) VALUES (NULL, 1)", nullptr, nullptr, nullptr);
    sqlite3_stmt *upd = nullptr, *ins = nullptr;
    sqlite3_prepare_v2(db, "UPDATE main SET price = ?, quantity = ?, deliver_name = ?, last_modified = ? WHERE id = ?", -1, &upd, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO main (user_id, unit_number, unit_name, price, quantity, deliver_name, locked, deleted, last_modified) "
                       "VALUES (?, ?, ?, ?, ?, ?, 0, 0, ?)",
                       -1, &ins, nullptr);
    const QByteArray stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    qint64 next = 1000001;
    for (const Line &l : lines) {
        if (l.id) {
            sqlite3_bind_double(upd, 1, l.price);
            sqlite3_bind_double(upd, 2, l.quantity);
            const QByteArray s = l.supplier.toUtf8();
            sqlite3_bind_text(upd, 3, s.constData(), int(s.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(upd, 4, stamp.constData(), int(stamp.size()), SQLITE_STATIC);
            sqlite3_bind_int64(upd, 5, l.id);
            sqlite3_step(upd);
            sqlite3_reset(upd);
        } else {
            const QByteArray num = l.number.toUtf8(), name = l.name.toUtf8(), s = l.supplier.toUtf8();
            sqlite3_bind_int64(ins, 1, next++);
            sqlite3_bind_text(ins, 2, num.constData(), int(num.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 3, name.constData(), int(name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_double(ins, 4, l.price);
            sqlite3_bind_double(ins, 5, l.quantity);
            sqlite3_bind_text(ins, 6, s.constData(), int(s.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 7, stamp.constData(), int(stamp.size()), SQLITE_STATIC);
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
    }
    sqlite3_finalize(upd);
    sqlite3_finalize(ins);
    sqlite3_exec(db, "DELETE FROM history_writer; COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::current().filePath(QStringLiteral("bench-data"));
    const int inventoryRows = argc > 2 ? atoi(argv[2]) : 1000000;
    const int fileRows = argc > 3 ? atoi(argv[3]) : 100000;
    const QString source = benchdata::inventory(dir, inventoryRows);
    QTemporaryDir work(QDir(dir).filePath(QStringLiteral("import-XXXXXX")));
    const std::vector<Line> lines = priceList(source, fileRows);
    const QString csv = work.filePath(QStringLiteral("list.csv")), xlsx = work.filePath(QStringLiteral("list.xlsx"));
    writeCsv(lines, csv);
    writeXlsx(lines, xlsx);
    const QString copy = work.filePath(QStringLiteral("inventory.mdb"));
    const auto fresh = [&] {
        QFile::remove(copy);
        QFile::copy(source, copy);
    };
    std::printf("import of %d rows (%zu of them in the inventory) into %d rows\n", fileRows,
                size_t(std::count_if(lines.begin(), lines.end(), [](const Line &l) { return l.id != 0; })), inventoryRows);
    const QStringList files = qEnvironmentVariable("BENCH_ONLY") == QLatin1String("xlsx") ? QStringList{xlsx}
                              : qEnvironmentVariable("BENCH_ONLY") == QLatin1String("csv")  ? QStringList{csv}
                                                                                             : QStringList{csv, xlsx};
    for (const QString &file : files) {
        const bool isCsv = file == csv;
        std::vector<double> ours, base;
        QString counts;
        long growth = 0;
        for (int i = 0; i < 3; ++i) {
            fresh();
            QFile reset(QStringLiteral("/proc/self/clear_refs")); // the peak starts again from here
            if (reset.open(QIODevice::WriteOnly))
                reset.write("5");
            reset.close();
            const long before = statusKiB("VmRSS");
            QElapsedTimer t;
            t.start();
            counts = programImport(copy, file);
            ours.push_back(msSince(t));
            growth = std::max(growth, statusKiB("VmHWM") - before);
            fresh();
            t.restart();
            baselineImport(copy, file, lines);
            base.push_back(msSince(t));
        }
        report(isCsv ? "import of the CSV (read, match, write)" : "import of the xlsx (read, match, write)", median(ours), median(base),
               isCsv ? "<= 5 s, <= 1.5x" : "<= 10 s, <= 1.5x");
        std::printf("   %s; resident memory grew by at most %ld MiB (target <= 200 MiB)\n", qPrintable(counts), growth / 1024);
    }
    return 0;
}
