// What the benchmarks share: timing, the median, one report line, and prompts that answer
// everything at once so that commands run unattended.
#pragma once

#include "InventoryData.h"
#include "ProgramTree.h"
#include "Prompts.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace bench {

// Before the application is made: the offscreen platform unless another one is asked for.
inline void useOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The command line: [DATA-DIR] [ROWS] [ROWS]...; argument index (1 for the folder) or fallback.
inline QString dataDir(int argc, char **argv)
{
    return argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::current().filePath(QStringLiteral("bench-data"));
}

inline int rowsArg(int argc, char **argv, int index, int fallback)
{
    return argc > index ? QString::fromLocal8Bit(argv[index]).toInt() : fallback;
}

// A copy in the tree of the inventory of rows rows (made once under dir), since benchmarks write.
inline QString workingCopy(const ProgramTree &tree, const QString &dir, int rows, const QString &name = QStringLiteral("bench.mdb"))
{
    const QString path = tree.filePath(name);
    QFile::copy(QFileInfo(benchdata::inventory(dir, rows)).absoluteFilePath(), path);
    return path;
}

inline double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One line: what, our time, the baseline's, their ratio and the target.
inline void report(const char *what, double ours, double base, const char *target)
{
    std::printf("%-58s %9.1f ms   baseline %9.1f ms   ratio %5.2f   (target %s)\n", what, ours, base, ours / base, target);
}

// The baseline of a store: one UPDATE, then the three pick-list queries read whole, through the
// sqlite3 C API on a connection of its own.
inline double storeAndListsMs(const QString &path, const QByteArray &update)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    QElapsedTimer t;
    t.start();
    sqlite3_exec(db, update.constData(), nullptr, nullptr, nullptr);
    for (const char *q : {"SELECT unit_number FROM main GROUP BY unit_number COLLATE NOCASE",
                          "SELECT unit_name FROM main GROUP BY unit_name COLLATE NOCASE",
                          "SELECT deliver_name FROM main GROUP BY deliver_name COLLATE NOCASE"}) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, q, -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            sqlite3_column_text(st, 0);
        sqlite3_finalize(st);
    }
    const double ms = msSince(t);
    sqlite3_close(db);
    return ms;
}

// Confirms everything, records messages, and lets a benchmark act on a window shown modally.
class Unattended : public Prompts
{
public:
    QStringList messages;
    std::function<int(QDialog *)> onModal;
    void message(const QString &text) override { messages << text; }
    bool confirm(const QString &, const QString &, Buttons, Icon) override { return true; }
    QString openFile(const FileRequest &) override { return {}; }
    QString saveFile(const FileRequest &) override { return {}; }
    bool printerSetup(QPrinter *) override { return false; }
    bool openDocument(const QString &) override { return false; }
    int showModal(QDialog *d) override { return onModal ? onModal(d) : 0; }
};

} // namespace bench
