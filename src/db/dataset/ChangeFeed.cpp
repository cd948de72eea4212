// Reading others' changes from the history.
#include "dataset/ChangeFeed.h"

#include "dataset/ChangeLog.h"
#include "engine/DbEngine.h"

#include <QDateTime>

namespace {
// How long a skipped entry number may still turn up (a transaction begun before a later one
// that committed first), and how long an operation may pause between two parts.
constexpr qint64 GapMs = 60'000;
constexpr qint64 OperationPauseMs = 300'000;
constexpr qint64 MaxGaps = 1000;
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
}

ChangeFeed::Changes ChangeFeed::read()
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
    std::vector<std::pair<qint64, qint64>> fresh;
    {
        const std::unique_ptr<DbStatement> st =
            mEngine.prepare(QStringLiteral("SELECT first_row, last_row FROM history_rows WHERE entry = ?"));
        st->bindInt64(1, entry);
        while (st->step()) {
            const std::pair<qint64, qint64> part(st->columnInt64(0), st->columnInt64(1));
            if (!op.parts.count(part))
                fresh.push_back(part);
        }
    }
    if (fresh.empty())
        return false;
    const std::unique_ptr<DbStatement> st = mEngine.prepare(
        QStringLiteral("SELECT rows FROM history_rows WHERE entry = ? AND first_row = ? AND last_row = ?"));
    for (const auto &part : fresh) {
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
        op.parts.insert(part);
    }
    return true;
}
