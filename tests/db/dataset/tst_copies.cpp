// Several copies of the program on one database file: 2, 4 and 8 worker processes (copyworker)
// edit the same rows, edit rows of their own, append numbered rows, renumber and delete, all at
// once, for a few seconds each. Then, from what each copy was told and what the file holds:
// every change a copy was told is stored is there (and nothing it was not told of), every race it
// lost was told to it as a conflict with the dataset left editing, appended rows never share a
// number, no copy met a busy database, and the file is whole.
//
// VELOSTOK_COPIES_MS sets how long each configuration works (default 4000), VELOSTOK_COPIES_SEED
// repeats a run's choices.
#include "CopiesLayout.h"
#include "Reliability.h"
#include "engine/EngineFactory.h"
#include "TestDb.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>

#include <functional>
#include <map>

namespace {

struct Ok
{
    int copy;
    qint64 id;
    QString column;
    QString value;
    QString old;
};

struct Appended
{
    int copy;
    qint64 id;
    qint64 number;
    QString name;
};

// What all copies were told, from their output.
struct Told
{
    std::vector<Ok> oks;
    std::vector<Appended> appends;
    std::map<qint64, int> renumbered; // id -> number, from every committed renumbering post
    std::map<qint64, int> deleted;    // id -> how many copies were told they deleted it
    QStringList faults;               // wrong, busy and error lines, unfinished copies
    int conflicts = 0;
    int busy = 0;
    int posts = 0;
    int renumberings = 0;

    void read(int copy, const QByteArray &output)
    {
        bool finished = false;
        for (const QByteArray &raw : output.split('\n')) {
            const QString line = QString::fromUtf8(raw);
            const QStringList w = line.split(QLatin1Char(' '));
            const QString &kind = w.first();
            if (kind == QLatin1String("ok") && w.size() == 5) {
                oks.push_back({copy, w[1].toLongLong(), w[2], w[3], w[4]});
            } else if (kind == QLatin1String("append") && w.size() == 4) {
                appends.push_back({copy, w[1].toLongLong(), w[2].toLongLong(), w[3]});
            } else if (kind == QLatin1String("renumbered") && w.size() == 3) {
                const qint64 id = w[1].toLongLong();
                if (w[2].toLongLong() != id)
                    faults << QStringLiteral("copy %1 renumbered row %2 as %3").arg(copy).arg(id).arg(w[2]);
                renumbered[id] = w[2].toInt();
            } else if (kind == QLatin1String("deleted") && w.size() == 2) {
                ++deleted[w[1].toLongLong()];
            } else if (kind == QLatin1String("conflict")) {
                ++conflicts;
            } else if (kind == QLatin1String("done")) {
                finished = true;
                for (const QString &figure : w.mid(1)) {
                    const QString name = figure.section(QLatin1Char('='), 0, 0);
                    const int n = figure.section(QLatin1Char('='), 1).toInt();
                    if (name == QLatin1String("posts"))
                        posts += n;
                    else if (name == QLatin1String("renumberings"))
                        renumberings += n;
                }
            } else if (kind == QLatin1String("busy")) {
                ++busy;
                faults << QStringLiteral("copy %1: %2").arg(copy).arg(line);
            } else if (!line.isEmpty() && kind != QLatin1String("ready")) {
                faults << QStringLiteral("copy %1: %2").arg(copy).arg(line);
            }
        }
        if (!finished)
            faults << QStringLiteral("copy %1 did not finish its work").arg(copy);
    }
};

struct Row
{
    qint64 number;
    QString name;
    QString comment;
};

std::map<qint64, Row> rowsOf(const TestDb &db)
{
    // Through the engine of the database (a file or a server), as another program would read it.
    const std::unique_ptr<DbEngine> e = engines::create(db.path);
    e->open(db.path);
    const std::unique_ptr<DbStatement> st = e->prepare(QStringLiteral("SELECT id, user_id, unit_name, comment FROM main"));
    std::map<qint64, Row> rows;
    while (st->step())
        rows[st->columnInt64(0)] = Row{st->columnInt64(1), st->column(2).toString(), st->column(3).toString()};
    return rows;
}

// The checks: changes missing (lost), writes no copy was told of, and appended rows sharing a number.
struct Verdict
{
    int lost = 0;
    int untold = 0;
    int sharedNumbers = 0;
    QStringList why;

    void missing(const QString &what, int changes = 1)
    {
        lost += changes;
        why << what;
    }
    void unreported(const QString &what)
    {
        ++untold;
        why << what;
    }
};

// The unit_name of a contested row: the posts told success must form one chain from the starting
// value, each having read what the one before it wrote (values are unique), and the row must hold
// its end. Two successes that read the same value mean a change was overwritten unseen.
void checkChain(Verdict &v, qint64 id, const QString &start, const std::vector<const Ok *> &posts, const Row *row)
{
    std::map<QString, const Ok *> next;
    for (const Ok *ok : posts) {
        if (!next.emplace(ok->old, ok).second)
            v.why << QStringLiteral("row %1: \"%2\" and \"%3\" were both stored over \"%4\"")
                         .arg(id).arg(next[ok->old]->value, ok->value, ok->old);
    }
    QString at = start;
    size_t steps = 0;
    while (next.count(at) && steps <= posts.size()) {
        at = next[at]->value;
        ++steps;
    }
    // Those off the chain were overwritten by a post that never saw them.
    if (steps < posts.size())
        v.missing(QStringLiteral("row %1: %2 of its %3 stored names are not in its history")
                      .arg(id).arg(posts.size() - steps).arg(posts.size()),
                  int(posts.size() - steps));
    if (!row)
        return;
    if (row->name != at) {
        bool told = false;
        for (const Ok *ok : posts)
            told = told || ok->value == row->name;
        if (told || row->name == start)
            v.missing(QStringLiteral("row %1 holds \"%2\", the last change stored was \"%3\"").arg(id).arg(row->name, at));
        else
            v.unreported(QStringLiteral("row %1 holds \"%2\", which no copy was told it stored").arg(id).arg(row->name));
    }
}

Verdict judge(const Told &told, const std::map<qint64, Row> &rows, int copies)
{
    using namespace copies;
    Verdict v;
    std::map<qint64, std::vector<const Ok *>> names;
    std::map<qint64, const Ok *> lastComment; // each row's comment is written by one copy only
    for (const Ok &ok : told.oks) {
        if (ok.column == QLatin1String("unit_name"))
            names[ok.id].push_back(&ok);
        else
            lastComment[ok.id] = &ok;
    }
    auto row = [&](qint64 id) -> const Row * {
        const auto it = rows.find(id);
        return it == rows.end() ? nullptr : &it->second;
    };

    // Contested rows: their names, and the number renumbering gives them.
    for (qint64 id = 1; id <= Contested; ++id) {
        const Row *r = row(id);
        if (!r) {
            v.missing(QStringLiteral("contested row %1 is gone").arg(id));
            continue;
        }
        checkChain(v, id, contestedName(int(id)), names[id], r);
        const bool renumbered = told.renumbered.count(id) > 0;
        if (renumbered && r->number != id)
            v.missing(QStringLiteral("row %1 was renumbered %1 but holds %2").arg(id).arg(r->number));
        else if (!renumbered && r->number != Contested + 1 - id)
            v.unreported(QStringLiteral("row %1 holds number %2 though no renumbering of it was stored").arg(id).arg(r->number));
    }
    // Doomed rows: gone exactly when one copy was told it deleted them.
    for (qint64 id = FirstDoomed; id < FirstOwned; ++id) {
        const Row *r = row(id);
        const int deletions = told.deleted.count(id) ? told.deleted.at(id) : 0;
        checkChain(v, id, doomedName(int(id)), names[id], r);
        if (deletions > 1)
            v.unreported(QStringLiteral("%1 copies were told they deleted row %2").arg(deletions).arg(id));
        if (r && deletions > 0)
            v.missing(QStringLiteral("row %1 was deleted but is still there").arg(id));
        if (!r && deletions == 0)
            v.missing(QStringLiteral("row %1 is gone though no copy deleted it").arg(id));
        if (r && r->number != id)
            v.unreported(QStringLiteral("row %1 holds number %2").arg(id).arg(r->number));
    }
    // Owned rows: the last comment their copy stored; those of absent copies untouched.
    for (qint64 id = FirstOwned; id <= Numbered; ++id) {
        const Row *r = row(id);
        if (!r) {
            v.missing(QStringLiteral("owned row %1 is gone").arg(id));
            continue;
        }
        const QString expected = lastComment.count(id) ? lastComment[id]->value : ownedComment(int(id));
        if (r->comment != expected)
            v.missing(QStringLiteral("owned row %1 holds \"%2\", its copy last stored \"%3\"").arg(id).arg(r->comment, expected));
        if (r->number != id || r->name != QLatin1String("o"))
            v.unreported(QStringLiteral("owned row %1 changed by someone: %2 \"%3\"").arg(id).arg(r->number).arg(r->name));
        if ((id - FirstOwned) / OwnedPerCopy >= copies && lastComment.count(id))
            v.unreported(QStringLiteral("owned row %1 of an absent copy was written").arg(id));
    }
    // Appended rows: all there as stored, numbered on from the largest number without a gap or
    // a repeat, in the order they were stored.
    std::map<qint64, const Appended *> appended;
    std::map<qint64, int> byNumber;
    for (const Appended &a : told.appends) {
        if (!appended.emplace(a.id, &a).second)
            v.unreported(QStringLiteral("row %1 was appended twice").arg(a.id));
        if (++byNumber[a.number] == 2) {
            ++v.sharedNumbers;
            v.why << QStringLiteral("number %1 was given to more than one new row").arg(a.number);
        }
    }
    qint64 previous = Numbered;
    for (const auto &[id, a] : appended) {
        const Row *r = row(id);
        if (a->number != previous + 1)
            v.why << QStringLiteral("appended row %1 got number %2 after %3").arg(id).arg(a->number).arg(previous);
        previous = a->number;
        if (!r) {
            v.missing(QStringLiteral("appended row %1 (\"%2\") is gone").arg(id).arg(a->name));
            continue;
        }
        const QString comment = lastComment.count(id) ? lastComment[id]->value : a->name;
        if (r->name != a->name || r->comment != comment || r->number != a->number)
            v.missing(QStringLiteral("appended row %1 holds %2 \"%3\" \"%4\", stored as %5 \"%6\" \"%7\"")
                          .arg(id).arg(r->number).arg(r->name, r->comment).arg(a->number).arg(a->name, comment));
    }
    for (const auto &[id, r] : rows)
        if (id > Numbered && !appended.count(id))
            v.unreported(QStringLiteral("row %1 (\"%2\") was stored though no copy was told so").arg(id).arg(r.name));
    return v;
}

} // namespace

class TestCopies : public QObject
{
    Q_OBJECT

    qint64 mConflicts = 0;
    qint64 mLost = 0;

private slots:
    void cleanupTestCase()
    {
        reliabilityCount("conflicts", mConflicts);
        reliabilityCount("lost", mLost);
    }

    void copiesAtOnce_data()
    {
        QTest::addColumn<int>("copies");
        QTest::newRow("2 copies") << 2;
        QTest::newRow("4 copies") << 4;
        QTest::newRow("8 copies") << 8;
    }
    void copiesAtOnce()
    {
        QFETCH(int, copies);
        const int ms = qEnvironmentVariableIsSet("VELOSTOK_COPIES_MS") ? qEnvironmentVariableIntValue("VELOSTOK_COPIES_MS") : 4000;
        const quint32 seed = qEnvironmentVariableIsSet("VELOSTOK_COPIES_SEED")
            ? quint32(qEnvironmentVariableIntValue("VELOSTOK_COPIES_SEED"))
            : QRandomGenerator::global()->bounded(1000000u);
        qInfo("seed %u", seed);

        TestDb db;
        db.exec(copies::startingRowsSql());

        std::vector<std::unique_ptr<QProcess>> workers;
        std::vector<QByteArray> output(static_cast<size_t>(copies));
        const auto stop = qScopeGuard([&] {
            for (auto &p : workers)
                if (p->state() != QProcess::NotRunning) {
                    p->kill();
                    p->waitForFinished();
                }
        });
        for (int c = 0; c < copies; ++c) {
            auto p = std::make_unique<QProcess>();
            p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QProcess *raw = p.get();
            QByteArray *out = &output[size_t(c)];
            connect(raw, &QProcess::readyReadStandardOutput, this, [raw, out] { *out += raw->readAllStandardOutput(); });
            p->start(QStringLiteral(VELOSTOK_TEST_BIN_DIR "/copyworker"),
                     {db.path, QString::number(c), QString::number(ms), QString::number(seed)});
            QVERIFY2(p->waitForStarted(), qPrintable(p->errorString()));
            workers.push_back(std::move(p));
        }
        auto all = [&](const std::function<bool(int)> &test) {
            for (int c = 0; c < copies; ++c)
                if (!test(c))
                    return false;
            return true;
        };
        // All connected before any starts, so that they work at the same moments.
        QTRY_VERIFY_WITH_TIMEOUT(all([&](int c) { return output[size_t(c)].startsWith("ready\n"); }), 60000);
        QElapsedTimer took;
        took.start();
        for (auto &p : workers)
            p->write("go\n");
        QTRY_VERIFY_WITH_TIMEOUT(all([&](int c) { return workers[size_t(c)]->state() == QProcess::NotRunning; }),
                                 ms + 120000);
        const double seconds = took.elapsed() / 1000.0;

        Told told;
        for (int c = 0; c < copies; ++c) {
            QProcess &p = *workers[size_t(c)];
            output[size_t(c)] += p.readAllStandardOutput();
            if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
                told.faults << QStringLiteral("copy %1 ended with %2").arg(c).arg(p.exitCode());
            told.read(c, output[size_t(c)]);
        }
        const std::map<qint64, Row> rows = rowsOf(db);
        const Verdict v = judge(told, rows, copies);
        mConflicts += told.conflicts;
        mLost += v.lost;
        qInfo("%d copies, %.1f s: %d posts, %d rows appended, %d renumberings, %d conflicts told, %d changes lost",
              copies, seconds, told.posts, int(told.appends.size()), told.renumberings, told.conflicts, v.lost);
        for (const QString &w : v.why)
            qWarning("%s", qPrintable(w));
        for (const QString &f : told.faults)
            qWarning("%s", qPrintable(f));

        if (!TestDb::onServer())
            QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        // A failure a copy met comes first: what the file then lacks may follow from it.
        QCOMPARE(told.busy, 0);
        QVERIFY2(told.faults.isEmpty(), qPrintable(told.faults.join(QLatin1Char('\n'))));
        QCOMPARE(v.lost, 0);
        QCOMPARE(v.untold, 0);
        QCOMPARE(v.sharedNumbers, 0);
        QVERIFY2(v.why.isEmpty(), qPrintable(v.why.join(QLatin1Char('\n'))));
        // The copies did store rows: the checks above had something to check.
        QVERIFY(!told.appends.empty());
        QVERIFY(told.posts > 0);
    }
};

QTEST_GUILESS_MAIN(TestCopies)
#include "tst_copies.moc"
