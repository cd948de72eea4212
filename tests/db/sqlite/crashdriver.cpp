// The process the crash test kills: works on an inventory file as the program does, at random,
// until it is killed, and says on stdout (flushed) what it is about to do and what returned:
//   crashdriver DATABASE ROUND SEED
//   "try C <id> <token>"  / "done C <id> <token>"   a post of one row's comment
//   "try A <token>"       / "done A <token>"        a new row, its unit_number the token
//   "bulk"                / "bulked"                a paste-like or renumbering loop in bulk mode
//   "compacting"          / "connected"             the connection closed, compacted, reopened
//   "connected"                                     open (listed in the lock file)
#include "base/DaoError.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"

#include <QRandomGenerator>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

void say(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: crashdriver DATABASE ROUND SEED\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString round = QString::fromLatin1(argv[2]);
    QRandomGenerator random(quint32(std::strtoul(argv[3], nullptr, 10)));

    TDaoDatabase db;
    db.setDatabase(path);
    db.SmartOpen = false;
    db.Open();
    TDaoTable t;
    t.setDatabase(&db);
    t.setTableName(QStringLiteral("main"));
    t.Open();
    say(QStringLiteral("connected"));

    for (int seq = 1;; ++seq) {
        const QString token = QStringLiteral("%1-%2").arg(round).arg(seq);
        const int what = random.bounded(100);
        try {
            if (what < 50 && t.RecordCount() > 0) {
                t.setRecNo(random.bounded(t.RecordCount()));
                const int id = t.FieldByName(QStringLiteral("id"))->AsInteger();
                say(QStringLiteral("try C %1 %2").arg(id).arg(token));
                t.Edit();
                t.FieldByName(QStringLiteral("comment"))->setAsString(token);
                t.Post();
                say(QStringLiteral("done C %1 %2").arg(id).arg(token));
            } else if (what < 80) {
                say(QStringLiteral("try A %1").arg(token));
                t.Append();
                t.FieldByName(QStringLiteral("user_id"))->setAsInteger(t.RecordCount() + 1);
                t.FieldByName(QStringLiteral("unit_number"))->setAsString(token);
                t.Post();
                say(QStringLiteral("done A %1").arg(token));
            } else if (what < 95) {
                // A paste's names or renumbering, row by row in bulk mode.
                const bool renumber = random.bounded(2) == 0;
                say(QStringLiteral("bulk"));
                db.beginOperation(renumber ? inventoryschema::ChangeKind::Renumbering : inventoryschema::ChangeKind::Paste);
                t.setBulkMode(true);
                for (t.First(); !t.Eof(); t.Next()) {
                    t.Edit();
                    if (renumber)
                        t.FieldByName(QStringLiteral("user_id"))->setAsInteger(t.RecNo() + 1);
                    else
                        t.FieldByName(QStringLiteral("unit_name"))->setAsString(token);
                    t.Post();
                }
                t.setBulkMode(false);
                db.endOperation();
                say(QStringLiteral("bulked"));
            } else {
                say(QStringLiteral("compacting"));
                t.Close();
                db.Close();
                db.CompactDatabaseFile(path, QString());
                db.Open();
                t.Open();
                say(QStringLiteral("connected"));
            }
        } catch (const DaoError &e) {
            // Nothing else writes this file: any failure is a fault.
            say(QStringLiteral("error %1").arg(e.message()));
            return 1;
        }
    }
}
