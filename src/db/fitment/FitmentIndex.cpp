// The fitment index kept up to date from the marks the triggers leave.
#include "fitment/FitmentIndex.h"

#include "base/DaoError.h"
#include "base/TextFold.h"
#include "engine/DbEngine.h"
#include "engine/DbStatement.h"
#include "fitment/CompatibilityText.h"

#include <algorithm>
#include <map>
#include <optional>
#include <memory>
#include <vector>

namespace fitment {

namespace {

constexpr int IndexStep = 2; // the additions step that made the index
constexpr int RowsAtOnce = 500;
constexpr int OpenEnd = 9999; // the last year of an entry open at its end

// The entries' rows, inserted a hundred at a time.
class EntryWriter
{
public:
    explicit EntryWriter(DbEngine &engine) : mEngine(engine) {}

    void add(qint64 rowId, const QString &text, const QStringList &makes)
    {
        for (const compatibility::Entry &e : compatibility::parse(text, makes)) {
            if (e.years == compatibility::Entry::Years::Bad || e.make.isEmpty())
                continue;
            mPending.push_back({rowId, key(e.make), key(e.model), e.from, e.to == 0 ? OpenEnd : e.to});
            if (mPending.size() == Batch)
                flush();
        }
    }

    void flush()
    {
        if (mPending.empty())
            return;
        DbStatement &st = statement(int(mPending.size()));
        st.reset();
        int p = 1;
        for (const Row &r : mPending) {
            st.bindInt64(p++, r.rowId);
            st.bind(p++, r.make);
            st.bind(p++, r.model);
            st.bindInt64(p++, r.from);
            st.bindInt64(p++, r.to);
        }
        st.step();
        mPending.clear();
    }

private:
    static constexpr size_t Batch = 100;
    struct Row
    {
        qint64 rowId;
        QString make;
        QString model;
        int from;
        int to;
    };

    DbStatement &statement(int rows)
    {
        std::unique_ptr<DbStatement> &st = mStatements[rows];
        if (!st) {
            QStringList values;
            for (int i = 0; i < rows; ++i)
                values << QStringLiteral("(?, ?, ?, ?, ?)");
            st = mEngine.prepare(QStringLiteral("INSERT INTO fitment (row_id, make, model, year_from, year_to) VALUES ")
                                 + values.join(QStringLiteral(", ")));
        }
        return *st;
    }

    DbEngine &mEngine;
    std::vector<Row> mPending;
    std::map<int, std::unique_ptr<DbStatement>> mStatements;
};

// What the index was read with: the makes of more than one word, folded, in order.
QString makesState(const QStringList &makes)
{
    QStringList several;
    for (const QString &m : makes)
        if (m.contains(QLatin1Char(' ')))
            several << key(m);
    several.sort();
    several.removeDuplicates();
    return several.join(QLatin1Char('\n'));
}

QString marks(int n)
{
    QStringList m;
    for (int i = 0; i < n; ++i)
        m << QStringLiteral("?");
    return m.join(QLatin1Char(','));
}

// One part of reading every row: the rows after the state's last one, up to RowsPerPart of
// them; after the last part the index is whole and indexed.
constexpr int RowsPerPart = 20000;

void readPart(DbEngine &engine, EntryWriter &writer, const QStringList &makes, qint64 after)
{
    const std::unique_ptr<DbStatement> rows = engine.prepare(
        QStringLiteral("SELECT id, comment FROM main WHERE id > ? AND comment IS NOT NULL ORDER BY id LIMIT %1").arg(RowsPerPart));
    rows->bindInt64(1, after);
    qint64 last = after;
    int n = 0;
    while (rows->step()) {
        last = rows->columnInt64(0);
        writer.add(last, QString::fromUtf8(rows->columnText(1)), makes);
        ++n;
    }
    writer.flush();
    const std::unique_ptr<DbStatement> set = engine.prepare(QStringLiteral("UPDATE fitment_state SET built_to = ?"));
    if (n == RowsPerPart) {
        set->bindInt64(1, last);
        set->step();
        return;
    }
    // Indexes made once all rows are in: sorting once is far cheaper than inserting into them.
    engine.execute(QStringLiteral("CREATE INDEX fitment_car ON fitment (make, model, year_from)"));
    engine.execute(QStringLiteral("CREATE INDEX fitment_row ON fitment (row_id)"));
    set->bind(1, QVariant());
    set->step();
}

void readMarked(DbEngine &engine, EntryWriter &writer, const QStringList &makes,
                const std::function<void(qint64, qint64)> &progress)
{
    std::vector<qint64> ids;
    {
        // Takes exactly the marks it sees: a mark another counter is committing stays for later.
        const std::unique_ptr<DbStatement> take = engine.prepare(QStringLiteral("DELETE FROM fitment_dirty RETURNING row_id"));
        while (take->step())
            ids.push_back(take->columnInt64(0));
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::map<int, std::pair<std::unique_ptr<DbStatement>, std::unique_ptr<DbStatement>>> statements;
    for (size_t at = 0; at < ids.size(); at += RowsAtOnce) {
        const int n = int(std::min<size_t>(RowsAtOnce, ids.size() - at));
        auto &[remove, read] = statements[n];
        if (!remove) {
            remove = engine.prepare(QStringLiteral("DELETE FROM fitment WHERE row_id IN (%1)").arg(marks(n)));
            read = engine.prepare(QStringLiteral("SELECT id, comment FROM main WHERE id IN (%1) AND comment IS NOT NULL").arg(marks(n)));
        }
        remove->reset();
        read->reset();
        for (int i = 0; i < n; ++i) {
            remove->bindInt64(i + 1, ids[at + size_t(i)]);
            read->bindInt64(i + 1, ids[at + size_t(i)]);
        }
        remove->step();
        while (read->step())
            writer.add(read->columnInt64(0), QString::fromUtf8(read->columnText(1)), makes);
        if (progress && ids.size() > 20000)
            progress(qint64(at) + n, qint64(ids.size()));
    }
    writer.flush();
}

} // namespace

QString key(const QString &text)
{
    return textfold::fold(text.simplified());
}

QStringList catalogueMakes(DbEngine &engine)
{
    QStringList makes;
    const std::unique_ptr<DbStatement> st = engine.prepare(QStringLiteral("SELECT DISTINCT mark_name FROM models WHERE mark_name IS NOT NULL"));
    while (st->step()) {
        const QString m = QString::fromUtf8(st->columnText(0)).simplified();
        if (!m.isEmpty())
            makes << m;
    }
    makes.removeDuplicates();
    return makes;
}

bool present(DbEngine &engine)
{
    return engine.additions() >= IndexStep;
}

// Reading every row (the first use, or the catalogue's makes of several words changed) goes in
// parts of its own transactions, so that other counters write between them; the state keeps the
// last row read, and whoever brings the index up to date next goes on from there. Marks left
// meanwhile are read once the whole is read.
void bringUpToDate(DbEngine &engine, const std::function<void(qint64 done, qint64 total)> &progress,
                   const std::function<void()> &commit)
{
    if (!present(engine))
        return;
    const QStringList makes = catalogueMakes(engine);
    const QString wanted = makesState(makes);
    struct State
    {
        std::optional<QString> makes; // none: never read
        std::optional<qint64> builtTo; // the last row read while reading all; none: whole
        bool marked = false;
    };
    auto stored = [&engine] {
        State st;
        const std::unique_ptr<DbStatement> q = engine.prepare(QStringLiteral(
            "SELECT makes, built_to, (SELECT count(*) FROM (SELECT 1 FROM fitment_dirty LIMIT 1) AS d) FROM fitment_state"));
        if (q->step()) {
            if (!q->columnIsNull(0))
                st.makes = QString::fromUtf8(q->columnText(0));
            if (!q->columnIsNull(1))
                st.builtTo = q->columnInt64(1);
            st.marked = q->columnInt64(2) > 0;
        }
        return st;
    };
    State now = stored();
    if (now.makes == wanted && !now.builtTo && !now.marked)
        return;
    qint64 total = -1, done = 0;
    for (;;) {
        engine.beginWrite();
        try {
            // Holds the state row: on a server a second counter bringing it up to date waits here.
            engine.execute(QStringLiteral("UPDATE fitment_state SET makes = makes"));
            now = stored();
            EntryWriter writer(engine);
            bool more = false;
            if (now.makes != wanted) {
                engine.execute(QStringLiteral("DROP INDEX IF EXISTS fitment_car"));
                engine.execute(QStringLiteral("DROP INDEX IF EXISTS fitment_row"));
                engine.execute(QStringLiteral("DELETE FROM fitment"));
                engine.execute(QStringLiteral("DELETE FROM fitment_dirty"));
                const std::unique_ptr<DbStatement> set = engine.prepare(QStringLiteral("UPDATE fitment_state SET makes = ?, built_to = 0"));
                set->bind(1, wanted);
                set->step();
                more = true;
            } else if (now.builtTo) {
                if (total < 0 && progress) {
                    const std::unique_ptr<DbStatement> count = engine.prepare(
                        QStringLiteral("SELECT count(*) FROM main WHERE id > ? AND comment IS NOT NULL"));
                    count->bindInt64(1, *now.builtTo);
                    total = count->step() ? count->columnInt64(0) : 0;
                }
                // After the last part, once more for the rows marked meanwhile.
                readPart(engine, writer, makes, *now.builtTo);
                more = true;
                done += RowsPerPart;
            } else if (now.marked) {
                readMarked(engine, writer, makes, progress);
            }
            if (commit)
                commit();
            else
                engine.commit();
            if (!more)
                break;
        } catch (...) {
            engine.rollback();
            throw;
        }
        if (progress && total > 0)
            progress(std::min(done, total), total);
    }
}

void refreshBeforeUse(DbEngine &engine, const std::function<void(qint64 done, qint64 total)> &progress,
                      const std::function<void()> &commit)
{
    if (!present(engine))
        throw DaoError(QStringLiteral("Търсенето по автомобил не е възможно: базата данни още не е обновена за него. "
                                      "Отворете я веднъж с право за запис."));
    if (!engine.inTransaction())
        bringUpToDate(engine, progress, commit);
}

void requireInventory(const QString &source)
{
    if (source.compare(QLatin1String("main"), Qt::CaseInsensitive) != 0)
        throw DaoError(QStringLiteral("Търсене по автомобил (FITS) е възможно само в склада."));
}

} // namespace fitment
