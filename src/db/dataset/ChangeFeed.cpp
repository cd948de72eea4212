// Reading others' changes from the history.
#include "dataset/ChangeFeed.h"

#include "dataset/ChangeLog.h"
#include "engine/DbEngine.h"

#include <QDateTime>

namespace {
// How long a skipped entry number may still turn up (a transaction begun before a later one
// that committed first), and how long an operation may pause between two parts.
constexpr qint64 GapMs = 300'000;
constexpr qint64 OperationPauseMs = 300'000;
constexpr qint64 MaxGaps = 1000;
constexpr qint64 RecentEntries = 200;
} // namespace

void ChangeFeed::start()
{
    mGaps.clear();
    mOperations.clear();
    mSeen = 0;
    if (!mLog.kept())
        return;
    const std::unique_ptr<DbStatement> st = mEngine.prepare(QStringLiteral("SELECT MAX(id) FROM history"));
    if (st->step() && !st->columnIsNull(0))
        mSeen = st->columnInt64(0);
    // The last entries: numbers missing among them may belong to transactions still open, and
    // operations among them may still be adding parts (those they have are not news).
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const std::unique_ptr<DbStatement> recent =
        mEngine.prepare(QStringLiteral("SELECT id, row_id FROM history WHERE id > ? ORDER BY id"));
    recent->bindInt64(1, mSeen - RecentEntries);
    std::set<qint64> present;
    std::vector<qint64> operations;
    while (recent->step()) {
        present.insert(recent->columnInt64(0));
        if (recent->columnIsNull(1))
            operations.push_back(recent->columnInt64(0));
    }
    for (qint64 id = std::max<qint64>(1, mSeen - RecentEntries + 1); id < mSeen; ++id)
        if (!present.count(id))
            mGaps.emplace(id, now);
    std::vector<qint64> ignored;
    for (const qint64 id : operations) {
        Operation op{{}, now};
        readOperation(id, op, ignored);
        mOperations.emplace(id, std::move(op));
    }
}

ChangeFeed::Changes ChangeFeed::read(const QSet<qint64> &own)
{
    Changes out;
    if (!mLog.kept()) {
        out.whole = true;
        return out;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto it = mGaps.begin(); it != mGaps.end();)
        it = now - it->second > GapMs ? mGaps.erase(it) : std::next(it);
    const qint64 floor = mGaps.empty() ? mSeen : std::min(mSeen, mGaps.begin()->first - 1);
    const std::unique_ptr<DbStatement> st =
        mEngine.prepare(QStringLiteral("SELECT id, row_id FROM history WHERE id > ? ORDER BY id"));
    st->bindInt64(1, floor);
    std::map<qint64, qint64> gaps = mGaps;
    qint64 seen = mSeen;
    std::vector<qint64> operations;
    while (st->step()) {
        const qint64 id = st->columnInt64(0);
        if (id <= seen) {
            if (!gaps.erase(id))
                continue; // read before
        } else {
            for (qint64 missed = std::max(seen + 1, id - MaxGaps); missed < id; ++missed)
                gaps.emplace(missed, now);
            seen = id;
        }
        if (own.contains(id))
            continue;
        if (st->columnIsNull(1))
            operations.push_back(id);
        else
            out.rows.push_back(st->columnInt64(1));
    }
    std::map<qint64, Operation> ops = mOperations;
    for (const qint64 id : operations)
        ops.emplace(id, Operation{{}, now});
    for (auto it = ops.begin(); it != ops.end();) {
        if (readOperation(it->first, it->second, out.rows))
            it->second.grew = now;
        it = now - it->second.grew > OperationPauseMs ? ops.erase(it) : std::next(it);
    }
    // Kept only once everything was read: a failure reads the same again next time.
    mGaps = std::move(gaps);
    mSeen = seen;
    mOperations = std::move(ops);
    return out;
}

// The parts of an operation not read yet: their rows' ids, the first field of each line.
bool ChangeFeed::readOperation(qint64 entry, Operation &op, std::vector<qint64> &rows)
{
    // Parts are told apart by their first and last rows and how many there are of each: two
    // transactions may write the same rows.
    std::vector<std::pair<std::pair<qint64, qint64>, qint64>> grown;
    {
        const std::unique_ptr<DbStatement> st = mEngine.prepare(QStringLiteral(
            "SELECT first_row, last_row, COUNT(*) FROM history_rows WHERE entry = ? GROUP BY first_row, last_row"));
        st->bindInt64(1, entry);
        while (st->step()) {
            const std::pair<qint64, qint64> part(st->columnInt64(0), st->columnInt64(1));
            const auto seen = op.parts.find(part);
            if (seen == op.parts.end() || seen->second < st->columnInt64(2))
                grown.emplace_back(part, st->columnInt64(2));
        }
    }
    if (grown.empty())
        return false;
    const std::unique_ptr<DbStatement> st = mEngine.prepare(
        QStringLiteral("SELECT rows FROM history_rows WHERE entry = ? AND first_row = ? AND last_row = ?"));
    for (const auto &[part, count] : grown) {
        st->reset();
        st->bindInt64(1, entry);
        st->bindInt64(2, part.first);
        st->bindInt64(3, part.second);
        while (st->step()) {
            const QByteArrayView text = st->columnText(0);
            qsizetype line = 0;
            while (line < text.size()) {
                qsizetype end = text.indexOf('\n', line);
                if (end < 0)
                    end = text.size();
                const qsizetype tab = text.sliced(line, end - line).indexOf('\t');
                bool ok = false;
                const qint64 id = text.sliced(line, tab < 0 ? end - line : tab).toLongLong(&ok);
                if (ok)
                    rows.push_back(id);
                line = end + 1;
            }
        }
        op.parts[part] = count;
    }
    return true;
}
