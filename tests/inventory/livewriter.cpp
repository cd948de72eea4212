// Another counter for the live-view tests: the data module on the same inventory, writing what it
// is told, one command a line on its input, and answering each with "ok" (and the row's id) once
// the change is committed, or "error TEXT".
//   livewriter DATABASE
//   set ID COLUMN TEXT    the row's field typed and posted
//   append NAME           a new row
//   purge ID              the row deleted for good
//   paste N NAME          N new rows in one paste-like operation (write batches, one history entry)
#include "base/DaoError.h"
#include "dataset/TDaoField.h"
#include "engine/InventorySchema.h"
#include "module/uDM.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

void say(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

TDaoTable *rowOf(TDM &dm, const QString &id)
{
    TDaoTable *t = dm.tblMain;
    t->Refresh();
    if (!t->FindByKey(QStringLiteral("id"), id.toLongLong()))
        throw DaoError(QStringLiteral("no row ") + id);
    return t;
}

QString run(TDM &dm, const QStringList &words)
{
    TDaoTable *t = dm.tblMain;
    const QString &what = words.value(0);
    if (what == QLatin1String("set") && words.size() >= 4) {
        rowOf(dm, words[1])->Edit();
        t->FieldByName(words[2])->setAsString(words.mid(3).join(QLatin1Char(' ')));
        t->Post();
        return words[1];
    }
    if (what == QLatin1String("append") && words.size() >= 2) {
        t->Append();
        t->FieldByName(QStringLiteral("unit_name"))->setAsString(words.mid(1).join(QLatin1Char(' ')));
        t->Post();
        return t->FieldByName(QStringLiteral("id"))->AsString();
    }
    if (what == QLatin1String("purge") && words.size() == 2) {
        rowOf(dm, words[1])->Delete();
        return words[1];
    }
    if (what == QLatin1String("paste") && words.size() >= 3) {
        dm.DataBase->beginOperation(inventoryschema::ChangeKind::Paste);
        t->setBulkMode(true);
        for (int i = 0; i < words[1].toInt(); ++i) {
            t->Append();
            t->FieldByName(QStringLiteral("unit_name"))->setAsString(words[2] + QString::number(i));
            t->Post();
        }
        t->setBulkMode(false);
        dm.DataBase->endOperation();
        return words[1];
    }
    throw DaoError(QStringLiteral("unknown command"));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: livewriter DATABASE\n");
        return 2;
    }
    TDM dm;
    try {
        dm.DataBase->setDatabase(QString::fromLocal8Bit(argv[1]));
        dm.DataBase->SmartOpen = false;
        dm.DataBase->Open();
        dm.tblMain->Open();
    } catch (const DaoError &e) {
        say(QStringLiteral("error ") + e.message());
        return 1;
    }
    say(QStringLiteral("ready"));
    QTextStream in(stdin);
    QString line;
    while (in.readLineInto(&line)) {
        try {
            say(QStringLiteral("ok ") + run(dm, line.split(QLatin1Char(' '), Qt::SkipEmptyParts)));
        } catch (const DaoError &e) {
            say(QStringLiteral("error ") + e.message());
        }
    }
    return 0;
}
