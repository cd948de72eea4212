// The change history as this connection writes and reads it.
#include "dataset/ChangeLog.h"

#include "base/Clock.h"
#include "base/StoredDateTime.h"
#include "engine/DbEngine.h"
#include "engine/DbStatement.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace {

constexpr int LinesPerPart = 10000;

QDateTime timeOf(const QVariant &v)
{
    if (v.metaType().id() == QMetaType::QDateTime)
        return v.toDateTime();
    return storedtime::parse(v.toString());
}

int columnOrder(const QString &field)
{
    int i = 0;
    for (const char *c : inventoryschema::HistoryColumns) {
        if (field == QLatin1String(c))
            return i;
        ++i;
    }
    return i;
}

void appendJsonString(QString &out, QStringView text)
{
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
}

void appendJsonValue(QString &out, const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        out += QLatin1String("null");
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        out += v.toBool() ? QLatin1String("true") : QLatin1String("false");
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        out += QString::number(v.toLongLong());
        return;
    case QMetaType::Double: {
        const double d = v.toDouble();
        if (std::isfinite(d))
            out += QString::number(d, 'g', QLocale::FloatingPointShortest);
        else
            out += QLatin1String("null");
        return;
    }
    case QMetaType::QDateTime:
        appendJsonString(out, storedtime::text(v.toDateTime()));
        return;
    default:
        appendJsonString(out, v.toString());
    }
}

} // namespace

bool ChangeLog::kept() const { return mEngine.additions() >= 1; }

void ChangeLog::mark(const QString &who, Mode mode)
{
    if (!mMarked) {
        const std::unique_ptr<DbStatement> st = mEngine.prepare(QStringLiteral("INSERT INTO history_writer (who, mode) VALUES (?, ?)"));
        st->bindAll({who, int(mode)});
        st->step();
        mMarked = true;
    } else if (who != mWho || mode != mMode) {
        const std::unique_ptr<DbStatement> st = mEngine.prepare(QStringLiteral("UPDATE history_writer SET who = ?, mode = ?"));
        st->bindAll({who, int(mode)});
        st->step();
    }
    mWho = who;
    mMode = mode;
    if (mode == Mode::Quiet)
        mEngine.holdHistoryTriggers();
}

void ChangeLog::foldCollected(const QString &who)
{
    struct Row
    {
        qint64 id;
        int kind;
        QString fields;
    };
    std::vector<Row> rows;
    {
        const std::unique_ptr<DbStatement> st =
            mEngine.prepare(QStringLiteral("SELECT row_id, kind, fields FROM history_collect ORDER BY row_id"));
        while (st->step())
            rows.push_back({st->columnInt64(0), int(st->columnInt64(1)), st->column(2).toString()});
    }
    if (rows.empty())
        return;
    mEngine.execute(QStringLiteral("DELETE FROM history_collect"));
    const QDateTime at = Clock::now();
    if (rows.size() == 1) {
        addEntry(at, who, Kind(rows.front().kind), rows.front().id, rows.front().fields);
        return;
    }
    const bool oneKind = std::all_of(rows.begin(), rows.end(), [&](const Row &r) { return r.kind == rows.front().kind; });
    const qint64 entry = addEntry(at, who, oneKind ? Kind(rows.front().kind) : Kind::Change, QVariant(), QString());
    const std::unique_ptr<DbStatement> part =
        mEngine.prepare(QStringLiteral("INSERT INTO history_rows (entry, first_row, last_row, rows) VALUES (?, ?, ?, ?)"));
    for (size_t first = 0; first < rows.size(); first += LinesPerPart) {
        const size_t last = std::min(rows.size(), first + LinesPerPart) - 1;
        QString text;
        for (size_t i = first; i <= last; ++i)
            text += QStringLiteral("%1\t%2\t%3\n").arg(rows[i].id).arg(rows[i].kind).arg(rows[i].fields);
        part->reset();
        part->bindAll({entry, rows[first].id, rows[last].id, text});
        part->step();
    }
}

void ChangeLog::recastNext(Kind kind, qint64 formerRow)
{
    mRecast = {kind, formerRow};
}

void ChangeLog::settleRecast()
{
    if (!mMarked || mMode != Mode::Collect)
        return; // not a write of main's
    const Recast recast = mRecast;
    mRecast = {};
    qint64 row = 0;
    QList<FieldChange> fields;
    {
        const std::unique_ptr<DbStatement> st = mEngine.prepare(QStringLiteral("SELECT row_id, fields FROM history_collect"));
        if (!st->step())
            return; // the post wrote nothing
        row = st->columnInt64(0);
        fields = parseFields(st->column(1).toString());
    }
    mEngine.execute(QStringLiteral("DELETE FROM history_collect"));
    if (recast.formerRow != 0)
        fields.prepend({QStringLiteral("id"), recast.formerRow, row});
    addEntry(Clock::now(), mWho, recast.kind, row, fieldsJson(fields));
}

void ChangeLog::rowWritten(qint64 row, Kind kind, const QString &fieldsJson)
{
    if (fieldsJson == QLatin1String("{}"))
        return; // written as it was (a renumbering that kept a row's number)
    mOp.pending.push_back({row, kind, fieldsJson});
    // A large operation's lines are written as they come, a part at a time, so that they are
    // never all held at once.
    if (mOp.pending.size() >= LinesPerPart && mMarked)
        flushOperation();
}

qint64 ChangeLog::addEntry(const QDateTime &at, const QString &who, Kind kind, const QVariant &row, const QString &fields)
{
    const std::unique_ptr<DbStatement> st =
        mEngine.prepare(QStringLiteral("INSERT INTO history (at, who, kind, row_id, fields) VALUES (?, ?, ?, ?, ?)"));
    st->bindAll({storedtime::text(at), who.isEmpty() ? QVariant() : QVariant(who.left(30)), int(kind), row,
                 fields.isEmpty() ? QVariant() : QVariant(fields)});
    st->step();
    return mEngine.lastInsertId(QStringLiteral("history"));
}

void ChangeLog::flushOperation()
{
    if (mOp.pending.empty())
        return;
    std::sort(mOp.pending.begin(), mOp.pending.end(), [](const auto &a, const auto &b) { return a.row < b.row; });
    if (mOp.entry == 0) {
        mOp.entry = addEntry(mOp.at, mOp.who, mOp.kind, QVariant(), mOp.fields);
        mOp.entryThisTransaction = true;
    }
    const std::unique_ptr<DbStatement> part =
        mEngine.prepare(QStringLiteral("INSERT INTO history_rows (entry, first_row, last_row, rows) VALUES (?, ?, ?, ?)"));
    for (size_t first = 0; first < mOp.pending.size(); first += LinesPerPart) {
        const size_t last = std::min(mOp.pending.size(), first + LinesPerPart) - 1;
        qsizetype size = 0;
        for (size_t i = first; i <= last; ++i)
            size += mOp.pending[i].fields.size() + 16;
        QString text;
        text.reserve(size);
        for (size_t i = first; i <= last; ++i) {
            const Operation::Line &line = mOp.pending[i];
            text += QString::number(line.row);
            text += QLatin1Char('\t');
            text += QString::number(int(line.kind));
            text += QLatin1Char('\t');
            text += line.fields;
            text += QLatin1Char('\n');
        }
        part->reset();
        part->bindAll({mOp.entry, mOp.pending[first].row, mOp.pending[last].row, text});
        part->step();
    }
    mOp.pending.clear();
}

void ChangeLog::beforeCommit()
{
    flushOperation();
    if (mMarked)
        mEngine.execute(QStringLiteral("DELETE FROM history_writer"));
    mMarked = false;
}

void ChangeLog::ended(bool committed)
{
    mMarked = false;
    mOp.pending.clear();
    if (!committed && mOp.entryThisTransaction)
        mOp.entry = 0; // undone with the transaction
    mOp.entryThisTransaction = false;
    if (!mOp.active)
        mOp = Operation();
}

void ChangeLog::beginOperation(Kind kind, const QString &who, const QString &entryFields)
{
    mOp = Operation();
    mOp.active = true;
    mOp.kind = kind;
    mOp.who = who;
    mOp.fields = entryFields;
    mOp.at = Clock::now();
}

void ChangeLog::endOperation() { mOp.active = false; }

// ---------------------------------------------------------------- reading

QList<ChangeLog::Entry> ChangeLog::entriesOf(qint64 row)
{
    QList<Entry> out;
    if (!kept())
        return out;
    {
        const std::unique_ptr<DbStatement> st = mEngine.prepare(
            QStringLiteral("SELECT id, at, who, kind, outside, fields FROM history WHERE row_id = ? ORDER BY id DESC"));
        st->bindInt64(1, row);
        while (st->step()) {
            Entry e;
            e.id = st->columnInt64(0);
            e.at = timeOf(st->column(1));
            e.who = st->column(2).toString();
            e.kind = Kind(st->columnInt64(3));
            e.outside = st->column(4).toBool();
            e.row = row;
            e.fields = parseFields(st->column(5).toString());
            out.append(e);
        }
    }
    const std::unique_ptr<DbStatement> st = mEngine.prepare(
        QStringLiteral("SELECT h.id, h.at, h.who, p.rows, h.kind FROM history_rows p JOIN history h ON h.id = p.entry "
                       "WHERE p.first_row <= ? AND p.last_row >= ?"));
    st->bindAll({row, row});
    const QString key = QStringLiteral("\n%1\t").arg(row);
    while (st->step()) {
        const QString rows = QLatin1Char('\n') + st->column(3).toString();
        const qsizetype at = rows.indexOf(key);
        if (at < 0)
            continue;
        const qsizetype start = at + key.size();
        const qsizetype end = rows.indexOf(QLatin1Char('\n'), start);
        const QString line = rows.mid(start, end - start);
        Entry e;
        e.id = st->columnInt64(0);
        e.at = timeOf(st->column(1));
        e.who = st->column(2).toString();
        e.kind = Kind(line.section(QLatin1Char('\t'), 0, 0).toInt());
        e.row = row;
        e.operation = true;
        e.operationKind = Kind(st->columnInt64(4));
        e.fields = parseFields(line.section(QLatin1Char('\t'), 1));
        out.append(e);
    }
    std::sort(out.begin(), out.end(), [](const Entry &a, const Entry &b) { return a.id > b.id; });
    return out;
}

std::optional<ChangeLog::Entry> ChangeLog::lastEntry(Kind kind)
{
    if (!kept())
        return std::nullopt;
    const std::unique_ptr<DbStatement> st = mEngine.prepare(
        QStringLiteral("SELECT id, at, who, fields FROM history WHERE kind = %1 ORDER BY id DESC LIMIT 1").arg(int(kind)));
    if (!st->step())
        return std::nullopt;
    Entry e;
    e.id = st->columnInt64(0);
    e.at = timeOf(st->column(1));
    e.who = st->column(2).toString();
    e.kind = kind;
    e.fields = parseFields(st->column(3).toString());
    return e;
}

std::optional<ChangeLog::Entry> ChangeLog::entryNaming(Kind kind, const QString &field, qint64 value)
{
    if (!kept())
        return std::nullopt;
    const std::unique_ptr<DbStatement> st = mEngine.prepare(
        QStringLiteral("SELECT id, at, who, fields FROM history WHERE kind = %1 AND fields IS NOT NULL ORDER BY id DESC").arg(int(kind)));
    while (st->step()) {
        Entry e;
        e.fields = parseFields(st->column(3).toString());
        for (const FieldChange &f : std::as_const(e.fields))
            if (f.field == field && f.before.toLongLong() == value) {
                e.id = st->columnInt64(0);
                e.at = timeOf(st->column(1));
                e.who = st->column(2).toString();
                e.kind = kind;
                return e;
            }
    }
    return std::nullopt;
}

QSet<qint64> ChangeLog::rowsChangedAfter(qint64 entry)
{
    QSet<qint64> out;
    if (!kept())
        return out;
    const std::unique_ptr<DbStatement> single =
        mEngine.prepare(QStringLiteral("SELECT DISTINCT row_id FROM history WHERE id > ? AND row_id IS NOT NULL"));
    single->bindInt64(1, entry);
    while (single->step())
        out.insert(single->columnInt64(0));
    std::vector<qint64> operations;
    const std::unique_ptr<DbStatement> ops =
        mEngine.prepare(QStringLiteral("SELECT DISTINCT entry FROM history_rows WHERE entry > ?"));
    ops->bindInt64(1, entry);
    while (ops->step())
        operations.push_back(ops->columnInt64(0));
    for (const qint64 op : operations)
        for (const Entry &e : operationRows(op))
            out.insert(e.row);
    return out;
}

QList<ChangeLog::Entry> ChangeLog::operationRows(qint64 entry)
{
    QList<Entry> out;
    if (!kept())
        return out;
    const std::unique_ptr<DbStatement> st =
        mEngine.prepare(QStringLiteral("SELECT rows FROM history_rows WHERE entry = ? ORDER BY first_row"));
    st->bindInt64(1, entry);
    while (st->step()) {
        const QString rows = st->column(0).toString();
        for (const QStringView line : QStringView(rows).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const qsizetype a = line.indexOf(QLatin1Char('\t'));
            const qsizetype b = line.indexOf(QLatin1Char('\t'), a + 1);
            if (a < 0 || b < 0)
                continue;
            Entry e;
            e.id = entry;
            e.row = line.left(a).toLongLong();
            e.kind = Kind(line.mid(a + 1, b - a - 1).toInt());
            e.operation = true;
            e.fields = parseFields(line.mid(b + 1).toString());
            out.append(e);
        }
    }
    return out;
}

QList<ChangeLog::Entry> ChangeLog::purged(const QString &text)
{
    QList<Entry> out;
    if (!kept())
        return out;
    const QList<QPair<qint64, qint64>> restored = restoredRows();
    const auto wanted = [&](const Entry &e) {
        for (const auto &[row, by] : restored)
            if (row == e.row && by > e.id)
                return false;
        if (text.isEmpty())
            return true;
        for (const FieldChange &f : e.fields)
            if ((f.field == QLatin1String("unit_number") || f.field == QLatin1String("unit_name"))
                && f.before.toString().contains(text, Qt::CaseInsensitive))
                return true;
        return false;
    };
    const int purge = int(Kind::Purge);
    {
        const std::unique_ptr<DbStatement> st = mEngine.prepare(
            QStringLiteral("SELECT id, at, who, outside, row_id, fields FROM history WHERE kind = %1 AND row_id IS NOT NULL").arg(purge));
        while (st->step()) {
            Entry e;
            e.id = st->columnInt64(0);
            e.at = timeOf(st->column(1));
            e.who = st->column(2).toString();
            e.kind = Kind::Purge;
            e.outside = st->column(3).toBool();
            e.row = st->columnInt64(4);
            e.fields = parseFields(st->column(5).toString());
            if (wanted(e))
                out.append(e);
        }
    }
    const std::unique_ptr<DbStatement> st = mEngine.prepare(
        QStringLiteral("SELECT h.id, h.at, h.who, p.rows FROM history_rows p JOIN history h ON h.id = p.entry WHERE h.kind = %1").arg(purge));
    const QString marker = QStringLiteral("\t%1\t").arg(purge);
    while (st->step()) {
        const QStringList lines = st->column(3).toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            if (!line.contains(marker))
                continue;
            Entry e;
            e.id = st->columnInt64(0);
            e.at = timeOf(st->column(1));
            e.who = st->column(2).toString();
            e.kind = Kind::Purge;
            e.row = line.section(QLatin1Char('\t'), 0, 0).toLongLong();
            e.operation = true;
            e.fields = parseFields(line.section(QLatin1Char('\t'), 2));
            if (wanted(e))
                out.append(e);
        }
    }
    std::sort(out.begin(), out.end(), [](const Entry &a, const Entry &b) { return a.id != b.id ? a.id > b.id : a.row < b.row; });
    return out;
}

QList<QPair<qint64, qint64>> ChangeLog::restoredRows()
{
    QList<QPair<qint64, qint64>> out;
    const std::unique_ptr<DbStatement> st =
        mEngine.prepare(QStringLiteral("SELECT id, fields FROM history WHERE kind = %1").arg(int(Kind::Restore)));
    while (st->step())
        for (const FieldChange &f : parseFields(st->column(1).toString()))
            if (f.field == QLatin1String("id"))
                out.append({f.before.toLongLong(), st->columnInt64(0)});
    return out;
}

bool ChangeLog::pruneDue(int days)
{
    if (!kept() || days <= 0)
        return false;
    QDateTime oldest;
    {
        // Entries are written in time order, so the first is the oldest.
        const std::unique_ptr<DbStatement> st = mEngine.prepare(QStringLiteral("SELECT at FROM history ORDER BY id LIMIT 1"));
        if (!st->step())
            return false;
        oldest = timeOf(st->column(0));
    }
    if (!oldest.isValid() || oldest > Clock::now()) {
        // Written by a computer whose clock was ahead: look for the oldest the long way.
        const std::unique_ptr<DbStatement> st = mEngine.prepare(QStringLiteral("SELECT min(at) FROM history"));
        if (st->step())
            oldest = timeOf(st->column(0));
    }
    if (!oldest.isValid() || oldest >= Clock::now().addDays(-days - 1))
        return false;
    dropOlderThan(days);
    return true;
}

void ChangeLog::dropOlderThan(int days)
{
    if (!kept() || days <= 0)
        return;
    const QString cutoff = storedtime::text(Clock::now().addDays(-days));
    mEngine.beginWrite();
    try {
        const std::unique_ptr<DbStatement> parts =
            mEngine.prepare(QStringLiteral("DELETE FROM history_rows WHERE entry IN (SELECT id FROM history WHERE at < ?)"));
        parts->bindAll({cutoff});
        parts->step();
        const std::unique_ptr<DbStatement> entries = mEngine.prepare(QStringLiteral("DELETE FROM history WHERE at < ?"));
        entries->bindAll({cutoff});
        entries->step();
        mEngine.commit();
    } catch (...) {
        mEngine.rollback();
        throw;
    }
}

// Written by hand: a renumbering writes one for each of its rows.
QString ChangeLog::fieldsJson(const QList<FieldChange> &fields)
{
    QString out;
    out.reserve(24 * int(fields.size()) + 2);
    out += QLatin1Char('{');
    for (const FieldChange &f : fields) {
        if (out.size() > 1)
            out += QLatin1Char(',');
        appendJsonString(out, f.field);
        out += QLatin1String(":[");
        appendJsonValue(out, f.before);
        out += QLatin1Char(',');
        appendJsonValue(out, f.after);
        out += QLatin1Char(']');
    }
    out += QLatin1Char('}');
    return out;
}

QList<ChangeLog::FieldChange> ChangeLog::parseFields(const QString &json)
{
    QList<FieldChange> out;
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QJsonArray pair = it.value().toArray();
        out.append({it.key(), pair.at(0).toVariant(), pair.at(1).toVariant()});
    }
    std::sort(out.begin(), out.end(), [](const FieldChange &a, const FieldChange &b) { return columnOrder(a.field) < columnOrder(b.field); });
    return out;
}
