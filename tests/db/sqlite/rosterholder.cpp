// A second process for the roster tests: holds a roster entry, or the gate, until stdin ends.
//   rosterholder DATABASE COMPUTER   joins as COMPUTER/Admin, prints "joined <index>"
//   rosterholder --gate DATABASE     takes the gate exclusively, prints "gate"
//   rosterholder --compact DATABASE  compacts the file over and over, printing "compacted" after
//                                    each, until it is killed
//   rosterholder --paste DATABASE    writes every row's unit_name in bulk mode, as a row paste
//                                    does, round after round ("R<round>", going on from the
//                                    highest round in the file), until it is killed
#include "base/DaoError.h"
#include "sqlite/LockRoster.h"
#include "sqlite/RosterGate.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

void waitForEndOfInput()
{
    while (std::getchar() != EOF) {
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--gate") == 0) {
        RosterGate gate;
        if (!gate.tryLockExclusive(QString::fromLocal8Bit(argv[2]))) {
            std::printf("nogate\n");
            return 1;
        }
        std::printf("gate\n");
        std::fflush(stdout);
        waitForEndOfInput();
        gate.unlock();
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--compact") == 0) {
        TDaoDatabase db;
        for (;;) {
            try {
                db.CompactDatabaseFile(QString::fromLocal8Bit(argv[2]), QString());
                std::printf("compacted\n");
            } catch (const DaoError &e) {
                std::printf("error %s\n", e.what());
            }
            std::fflush(stdout);
        }
    }
    if (argc == 3 && std::strcmp(argv[1], "--paste") == 0) {
        TDaoDatabase db;
        db.setDatabase(QString::fromLocal8Bit(argv[2]));
        db.SmartOpen = false;
        db.Open();
        TDaoTable t;
        t.setDatabase(&db);
        t.setTableName(QStringLiteral("main"));
        t.Open();
        // Rounds go on from the highest one a killed predecessor left, so that along the rows
        // the rounds never rise.
        int last = 0;
        for (t.First(); !t.Eof(); t.Next())
            last = std::max(last, t.FieldByName(QStringLiteral("unit_name"))->AsString().mid(1).toInt());
        for (int round = last + 1;; ++round) {
            t.setBulkMode(true);
            for (t.First(); !t.Eof(); t.Next()) {
                t.Edit();
                t.FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("R%1").arg(round));
                t.Post();
            }
            t.setBulkMode(false);
            std::printf("round %d\n", round);
            std::fflush(stdout);
        }
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: rosterholder DATABASE COMPUTER | --gate DATABASE\n");
        return 2;
    }

    LockRoster roster;
    try {
        if (!roster.join(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                         QStringLiteral("Admin"))) {
            std::printf("unlisted\n");
            return 1;
        }
    } catch (const DaoError &e) {
        std::printf("error %s\n", e.what());
        return 1;
    }
    std::printf("joined %d\n", roster.entryIndex());
    std::fflush(stdout);
    waitForEndOfInput();
    roster.leave();
    return 0;
}
