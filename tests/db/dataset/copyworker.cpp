// One copy of the program's data layer for the several-copies test (tst_copies), working on the
// rows of CopiesLayout.h through the data module as the inventory window does: every post of
// tblMain is stamped and numbered by the module, and followed by the refresh of the grid and of
// its pick lists.
//   copyworker DATABASE COPY MILLISECONDS SEED
// Prints "ready" once connected, starts when a line arrives on its input, works for MILLISECONDS
// and then prints "done …". What it was told, one line each:
//   ok ID COLUMN NEW OLD      a post that returned (OLD: the value it read)
//   append ID NUMBER NAME     a new row stored, with the number it was given
//   renumbered ID N           a renumbering post whose write batch was committed
//   deleted ID                a row it deleted
//   conflict WHAT ID          a post, edit or delete refused: another copy got there first
//   wrong TEXT                a refusal that left the dataset other than the data layer promises
//   busy TEXT / error TEXT    any other failure (a busy one: another copy's lock outlasted the wait)
#include "CopiesLayout.h"
#include "base/DaoError.h"
#include "module/uDM.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QThread>

#include <cstdio>
#include <map>
#include <vector>

namespace {

void say(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Worker
{
public:
    Worker(TDM &dm, int copy, quint32 seed) : mDm(dm), t(dm.tblMain), mCopy(copy), mRandom(seed)
    {
        for (int j = 0; j < copies::OwnedPerCopy; ++j) {
            const int id = copies::firstOwnedBy(copy) + j;
            mOwned[id] = copies::ownedComment(id);
        }
    }

    void run(int ms)
    {
        QDeadlineTimer end(ms);
        QDeadlineTimer deletesFrom(ms / 2);
        while (!end.hasExpired()) {
            const int dice = int(mRandom.bounded(100));
            try {
                if (dice < 35)
                    editContested();
                else if (dice < 60)
                    editOwned();
                else if (dice < 80)
                    append();
                else if (dice < 85)
                    renumber();
                else if (dice < 90 && deletesFrom.hasExpired())
                    deleteDoomed();
                else
                    requery();
            } catch (const DaoError &e) {
                // A read after the work (the new row's number, say) failed.
                failed(e);
                mDm.BulkUpdate = false;
                if (t->State() != TDaoTable::dsBrowse)
                    t->Cancel();
            }
        }
        say(QStringLiteral("done posts=%1 appends=%2 renumberings=%3 conflicts=%4")
                .arg(mPosts).arg(mAppends).arg(mRenumberings).arg(mConflicts));
    }

private:
    TDaoField *field(const char *name) const { return t->FieldByName(QLatin1String(name)); }

    void failed(const DaoError &e)
    {
        const QString text = e.message().simplified();
        say((text.contains(QStringLiteral("Базата е заета")) ? QStringLiteral("busy ") : QStringLiteral("error ")) + text);
    }

    void conflict(const char *what, qint64 id)
    {
        ++mConflicts;
        say(QStringLiteral("conflict %1 %2").arg(QLatin1String(what)).arg(id));
    }

    // Brings the row to the current position; false when it is no longer in the database.
    bool goTo(qint64 id)
    {
        if (mRandom.bounded(2))
            t->Refresh(); // otherwise the values held since the last refresh are edited
        return t->FindByKey(QStringLiteral("id"), id);
    }

    // One edit of one column as a user makes it: read, type (a moment), store.
    void edit(qint64 id, const char *column, const QString &value)
    {
        try {
            if (!goTo(id))
                return;
        } catch (const DaoError &e) {
            failed(e);
            return;
        }
        TDaoField *f = field(column);
        try {
            t->Edit();
        } catch (const RowConflict &) {
            // A row another copy deleted is refused before anything is typed.
            if (t->State() != TDaoTable::dsBrowse)
                say(QStringLiteral("wrong edit of a deleted row %1 left the dataset editing").arg(id));
            conflict("edit", id);
            return;
        } catch (const DaoError &e) {
            failed(e);
            return;
        }
        const QString old = f->AsString();
        f->setAsString(value);
        if (mRandom.bounded(2) == 0)
            QThread::usleep(mRandom.bounded(4000));
        try {
            t->Post();
        } catch (const RowConflict &) {
            if (t->State() != TDaoTable::dsEdit || f->AsString() != value)
                say(QStringLiteral("wrong refused post of %1 left state %2, %3 \"%4\"")
                        .arg(id).arg(int(t->State())).arg(QLatin1String(column), f->AsString()));
            conflict("post", id);
            t->Cancel();
            return;
        } catch (const DaoError &e) {
            failed(e);
            if (t->State() != TDaoTable::dsBrowse) {
                t->Cancel();
                return;
            }
            // The row was written and what follows the post failed.
        }
        ++mPosts;
        say(QStringLiteral("ok %1 %2 %3 %4").arg(id).arg(QLatin1String(column), value, old));
    }

    QString nextValue(char kind) { return QStringLiteral("%1%2n%3").arg(QLatin1Char(kind)).arg(mCopy).arg(++mSerial); }

    void editContested()
    {
        // Mostly the contested rows, now and then one that may be deleted under us.
        const int id = mRandom.bounded(4) == 0 ? copies::FirstDoomed + int(mRandom.bounded(copies::Doomed))
                                               : 1 + int(mRandom.bounded(copies::Contested));
        edit(id, "unit_name", nextValue('u'));
    }

    void editOwned()
    {
        auto it = mOwned.begin();
        std::advance(it, mRandom.bounded(int(mOwned.size())));
        const QString value = nextValue('c');
        const int before = mPosts;
        edit(it->first, "comment", value);
        if (mPosts != before)
            it->second = value;
    }

    // A new row, numbered by the data module when it is stored.
    void append()
    {
        const QString name = nextValue('a');
        try {
            t->Append();
            field("unit_name")->setAsString(name);
            field("comment")->setAsString(name);
            field("quantity")->setAsInteger(mCopy);
            t->Post();
        } catch (const DaoError &e) {
            failed(e);
            if (t->State() != TDaoTable::dsBrowse) {
                t->Cancel();
                return;
            }
        }
        ++mPosts;
        ++mAppends;
        const qint64 id = field("id")->AsInteger();
        mOwned[int(id)] = name;
        say(QStringLiteral("append %1 %2 %3").arg(id).arg(field("user_id")->AsString(), name));
    }

    // The renumbering command over the rows a search shows, as the main window runs it.
    void renumber()
    {
        ++mRenumberings;
        std::vector<std::pair<qint64, qint64>> done;
        try {
            t->applyFilter(copies::renumberFilter());
        } catch (const DaoError &e) {
            failed(e);
            return;
        }
        mDm.BulkUpdate = true;
        t->DisableControls();
        bool bulk = false;
        try {
            t->First();
            t->setBulkMode(true);
            bulk = true;
            TDaoField *number = field("user_id");
            for (qint64 n = 1; !t->Eof(); ++n) {
                const qint64 id = field("id")->AsInteger();
                t->Edit();
                number->setAsInteger(n);
                try {
                    t->Post();
                } catch (const RowConflict &) {
                    if (t->State() != TDaoTable::dsEdit || number->AsInteger() != n)
                        say(QStringLiteral("wrong refused renumbering of %1 left state %2").arg(id).arg(int(t->State())));
                    conflict("renumber", id);
                    t->Cancel();
                    break; // the command stops at the first failure, as in the window
                }
                done.emplace_back(id, n);
                t->Next();
            }
        } catch (const DaoError &e) {
            failed(e);
            if (t->State() != TDaoTable::dsBrowse)
                t->Cancel();
        }
        t->EnableControls();
        if (bulk) {
            try {
                t->setBulkMode(false);
            } catch (const BatchLost &e) {
                failed(e);
                // Stored up to the first row of the lost batch, if it is known.
                done.resize(e.row() < 0 ? 0 : std::min(done.size(), size_t(e.row())));
            } catch (const DaoError &e) {
                failed(e);
                done.clear();
            }
        }
        mDm.BulkUpdate = false;
        for (const auto &[id, n] : done) {
            ++mPosts;
            say(QStringLiteral("renumbered %1 %2").arg(id).arg(n));
        }
        try {
            t->setFiltered(false);
        } catch (const DaoError &e) {
            failed(e);
        }
    }

    void deleteDoomed()
    {
        const int id = copies::FirstDoomed + int(mRandom.bounded(copies::Doomed));
        try {
            if (!goTo(id))
                return;
            t->Delete();
        } catch (const RowConflict &) {
            conflict("delete", id);
            return;
        } catch (const DaoError &e) {
            failed(e);
            return;
        }
        say(QStringLiteral("deleted %1").arg(id));
    }

    // Showing others' new rows, as the commands do after their work.
    void requery()
    {
        try {
            mDm.DataBase->Idle();
            t->Requery();
            if (mRandom.bounded(2))
                mDm.tblUnitName->RecordCount(); // a look at a pick list
        } catch (const DaoError &e) {
            failed(e);
        }
    }

    TDM &mDm;
    TDaoTable *t;
    int mCopy;
    QRandomGenerator mRandom;
    std::map<int, QString> mOwned; // id -> the comment it holds
    int mSerial = 0;
    int mPosts = 0;
    int mAppends = 0;
    int mRenumberings = 0;
    int mConflicts = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: copyworker DATABASE COPY MILLISECONDS SEED\n");
        return 2;
    }
    const int copy = std::atoi(argv[2]);
    const int ms = std::atoi(argv[3]);
    const quint32 seed = quint32(std::strtoul(argv[4], nullptr, 10));

    TDM dm;
    try {
        dm.DataBase->setDatabase(QString::fromLocal8Bit(argv[1]));
        dm.DataBase->SmartOpen = false;
        dm.DataBase->Open();
        for (TDaoTable *t : dm.connectOrder())
            t->Open();
    } catch (const DaoError &e) {
        say(QStringLiteral("error ") + e.message());
        return 1;
    }
    // What the grid does after every stamped post.
    dm.RefreshPickLists = [&dm] {
        dm.tblMain->Refresh();
        for (TDaoTable *q : {dm.tblUnitNumber, dm.tblUnitName, dm.tblDeliverName})
            q->Requery();
    };
    say(QStringLiteral("ready"));
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {
    }
    Worker(dm, copy, seed * 31u + quint32(copy)).run(ms);
    return 0;
}
