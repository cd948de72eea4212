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

void readAll(DbEngine &engine, EntryWriter &writer, const QStringList &makes,
             const std::function<void(qint64, qint64)> &progress)
{
    // Indexes made after the rows are read: sorting once is far cheaper than inserting into them.
    engine.execute(QStringLiteral("DROP INDEX fitment_car"));
    engine.execute(QStringLiteral("DROP INDEX fitment_row"));
    engine.execute(QStringLiteral("DELETE FROM fitment"));
    engine.execute(QStringLiteral("DELETE FROM fitment_dirty"));
    qint64 total = 0;
    {
        const std::unique_ptr<DbStatement> count = engine.prepare(QStringLiteral("SELECT count(*) FROM main WHERE comment IS NOT NULL"));
        if (count->step())
            total = count->columnInt64(0);
    }
    const std::unique_ptr<DbStatement> rows = engine.prepareScan(QStringLiteral("SELECT id, comment FROM main WHERE comment IS NOT NULL"));
    qint64 done = 0;
    while (rows->step()) {
        writer.add(rows->columnInt64(0), QString::fromUtf8(rows->columnText(1)), makes);
        if (++done % 20000 == 0 && progress)
            progress(done, total);
    }
    writer.flush();
    engine.execute(QStringLiteral("CREATE INDEX fitment_car ON fitment (make, model, year_from)"));
    engine.execute(QStringLiteral("CREATE INDEX fitment_row ON fitment (row_id)"));
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

void bringUpToDate(DbEngine &engine, const std::function<void(qint64 done, qint64 total)> &progress,
                   const std::function<void()> &commit)
{
    if (!present(engine))
        return;
    const QStringList makes = catalogueMakes(engine);
    const QString state = makesState(makes);
    auto stored = [&engine](bool *marked) -> std::optional<QString> {
        const std::unique_ptr<DbStatement> st = engine.prepare(QStringLiteral(
            "SELECT makes, (SELECT count(*) FROM (SELECT 1 FROM fitment_dirty LIMIT 1) AS d) FROM fitment_state"));
        if (!st->step() || st->columnIsNull(0)) {
            *marked = true;
            return std::nullopt;
        }
        *marked = st->columnInt64(1) > 0;
        return QString::fromUtf8(st->columnText(0));
    };
    bool marked = false;
    if (stored(&marked) == state && !marked)
        return;
    engine.beginWrite();
    try {
        // Holds the state row: on a server a second counter bringing it up to date waits here.
        engine.execute(QStringLiteral("UPDATE fitment_state SET makes = makes"));
        EntryWriter writer(engine);
        if (stored(&marked) != state) {
            readAll(engine, writer, makes, progress);
            const std::unique_ptr<DbStatement> set = engine.prepare(QStringLiteral("UPDATE fitment_state SET makes = ?"));
            set->bind(1, state);
            set->step();
        } else if (marked) {
            readMarked(engine, writer, makes, progress);
        }
        if (commit)
            commit();
        else
            engine.commit();
    } catch (...) {
        engine.rollback();
        throw;
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
