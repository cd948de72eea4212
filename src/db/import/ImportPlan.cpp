// The import's plan, its write and its undo.
#include "import/ImportPlan.h"

#include "base/DaoError.h"
#include "base/StoredDateTime.h"
#include "base/TextFold.h"
#include "dataset/ChangeLog.h"
#include "dataset/TDaoDatabase.h"
#include "engine/DbStatement.h"
#include "engine/SqlDialect.h"
#include "import/CellValue.h"
#include "import/SheetReader.h"

#include <QSet>
#include <limits>
#include <cmath>

namespace inventoryimport {

namespace {

constexpr qint64 ProgressEvery = 1000;

bool blank(const QVariant &v)
{
    return !v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty());
}

bool numeric(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

// Two values as the database holds them, one perhaps still typed: null and an invalid value
// are one; numbers, yes/no and dates compare by value.
bool same(const QVariant &a, const QVariant &b)
{
    const bool na = !a.isValid() || a.isNull(), nb = !b.isValid() || b.isNull();
    if (na || nb)
        return na == nb;
    if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString)
        return *static_cast<const QString *>(a.constData()) == *static_cast<const QString *>(b.constData());
    if (a.typeId() == QMetaType::Double && b.typeId() == QMetaType::Double)
        return *static_cast<const double *>(a.constData()) == *static_cast<const double *>(b.constData());
    if (numeric(a) && numeric(b))
        return a.toDouble() == b.toDouble();
    const auto text = [](const QVariant &v) {
        return v.typeId() == QMetaType::QDateTime ? storedtime::text(v.toDateTime()) : v.toString();
    };
    if (numeric(a) != numeric(b)) {
        // A stored number read back as text (or the other way round).
        bool ok = false;
        const double d = (numeric(a) ? b : a).toString().toDouble(&ok);
        return ok && d == (numeric(a) ? a : b).toDouble();
    }
    return text(a) == text(b);
}

QString folded(const QVariant &v)
{
    return textfold::fold(v.toString().trimmed());
}

bool space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A key's part as matching compares it: UTF-8 without surrounding blanks, letter case folded.
void appendFolded(QByteArrayView text, QByteArray &out)
{
    const char *p = text.data(), *end = p + text.size();
    while (p < end && space(uchar(*p)))
        ++p;
    while (end > p && space(uchar(end[-1])))
        --end;
    while (p < end) {
        const uchar c = uchar(*p);
        if (c < 0x80) {
            out.append(char(c >= 'A' && c <= 'Z' ? c + 32 : c));
            ++p;
            continue;
        }
        const char32_t f = textfold::foldNextUtf8(p, end);
        if (f >= 0x110000) {
            out.append(char(f - 0x110000)); // a byte that is no UTF-8 stands for itself
            continue;
        }
        char buf[4];
        int n = 0;
        if (f < 0x800) {
            buf[n++] = char(0xC0 | (f >> 6));
        } else if (f < 0x10000) {
            buf[n++] = char(0xE0 | (f >> 12));
            buf[n++] = char(0x80 | ((f >> 6) & 0x3F));
        } else {
            buf[n++] = char(0xF0 | (f >> 18));
            buf[n++] = char(0x80 | ((f >> 12) & 0x3F));
            buf[n++] = char(0x80 | ((f >> 6) & 0x3F));
        }
        buf[n++] = char(0x80 | (f & 0x3F));
        out.append(buf, n);
    }
}

void tell(const Progress &progress, qint64 done)
{
    if (progress && done % ProgressEvery == 0 && !progress(done))
        throw DaoError(QStringLiteral("Вмъкването е прекъснато."));
}

QString columnsList(const std::vector<ColumnDecl> &columns, const SqlDialect &d, bool withKey)
{
    QStringList out;
    for (const ColumnDecl &c : columns)
        if (withKey || c.type != TFieldType::Counter)
            out << d.quoteIdentifier(c.name);
    return out.join(QStringLiteral(", "));
}

} // namespace

QStringList importableFields(const std::vector<ColumnDecl> &columns)
{
    QStringList out;
    for (const ColumnDecl &c : columns)
        if (c.type != TFieldType::Counter)
            out << c.name;
    return out;
}

bool exportHeadings(const QStringList &headings, const std::vector<ColumnDecl> &columns)
{
    const auto named = [&](const QString &h) {
        return std::any_of(columns.begin(), columns.end(), [&](const ColumnDecl &c) { return c.name == h.trimmed(); });
    };
    return !headings.isEmpty() && std::all_of(headings.begin(), headings.end(), named);
}

ImportPlan::ImportPlan(std::vector<ColumnDecl> columns, Options options)
    : mColumns(std::move(columns)), mOptions(std::move(options))
{
    for (const QString &f : std::as_const(mOptions.fields)) {
        const int i = f.isEmpty() ? -1 : columnIndex(f);
        mTargets.push_back(i >= 0 && mColumns[size_t(i)].type != TFieldType::Counter ? i : -1);
    }
    mId = columnIndex(QStringLiteral("id"));
    mNumber = columnIndex(QStringLiteral("unit_number"));
    mSupplier = columnIndex(QStringLiteral("deliver_name"));
    mQuantity = columnIndex(QStringLiteral("quantity"));
    mStamp = columnIndex(QStringLiteral("last_modified"));
    mUserId = columnIndex(QStringLiteral("user_id"));
    mDeleted = columnIndex(QStringLiteral("deleted"));
    if (mColumns.size() > 64 || mId < 0 || mNumber < 0 || mSupplier < 0 || mQuantity < 0 || mStamp < 0 || mUserId < 0 || mDeleted < 0)
        throw DaoError(QStringLiteral("Таблицата на склада няма нужните колони."));
}

int ImportPlan::columnIndex(const QString &name) const
{
    for (size_t i = 0; i < mColumns.size(); ++i)
        if (mColumns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

qint64 ImportPlan::count(Outcome outcome) const
{
    return std::count_if(mRows.begin(), mRows.end(), [&](const PlannedRow &r) { return r.outcome == outcome; });
}

void ImportPlan::read(SheetReader &reader, const Progress &progress)
{
    mRows.clear();
    mIncoming.clear();
    mNotes.clear();
    mWarnings = 0;
    QVariantList cells;
    qint64 done = 0;
    while (reader.next(cells)) {
        tell(progress, ++done);
        const qint64 fileRow = reader.row();
        if (fileRow <= mOptions.headingRow || std::all_of(cells.begin(), cells.end(), blank))
            continue;
        if (qint64(mRows.size()) >= MaxRows)
            throw DaoError(QStringLiteral("Листът има повече от %1 реда с данни (ред %2). Разделете файла на части и ги вмъкнете една след друга.")
                               .arg(MaxRows)
                               .arg(fileRow));
        PlannedRow row;
        row.fileRow = fileRow;
        row.outcome = Outcome::Append; // until matched
        std::vector<QVariant> values(mColumns.size());
        QStringList refusals;
        for (qsizetype c = 0; c < cells.size() && c < qsizetype(mTargets.size()); ++c) {
            const int t = mTargets[size_t(c)];
            if (t < 0)
                continue;
            const cellvalue::Converted v = cellvalue::convert(cells.at(c), mColumns[size_t(t)].type, mColumns[size_t(t)].size,
                                                              mOptions.exportForm ? cellvalue::Form::Export : cellvalue::Form::Regional);
            if (v.refusal.isEmpty() && v.warning.isEmpty()) {
                values[size_t(t)] = v.value;
                if (t == mNumber)
                    row.number = v.value.toString().trimmed();
                continue;
            }
            const QString heading = c < mOptions.headings.size() && !mOptions.headings.at(c).trimmed().isEmpty()
                ? mOptions.headings.at(c).trimmed()
                : QString::number(c + 1);
            const QString where = QStringLiteral("ред %1, колона „%2“: ").arg(fileRow).arg(heading);
            if (!v.refusal.isEmpty()) {
                refusals << where + v.refusal;
                continue;
            }
            values[size_t(t)] = v.value;
            if (t == mNumber)
                row.number = v.value.toString().trimmed();
            row.reasons << where + v.warning;
            ++mWarnings;
        }
        if (!refusals.isEmpty()) {
            mWarnings -= row.reasons.size();
            row.outcome = Outcome::Refuse;
            row.reasons = refusals;
            values.clear();
        }
        mNotes.push_back(row.outcome == Outcome::Refuse ? QStringList() : row.reasons);
        mRows.push_back(std::move(row));
        mIncoming.push_back(std::move(values));
    }
}

QByteArray ImportPlan::keyOf(QByteArrayView number, QByteArrayView supplier) const
{
    QByteArray key;
    appendFolded(number, key);
    if (key.isEmpty() || mOptions.key == Key::Number)
        return key;
    key.append('\x1f');
    appendFolded(supplier, key);
    return key;
}

QByteArray ImportPlan::keyOf(const std::vector<QVariant> &values) const
{
    return keyOf(values[size_t(mNumber)].toString().toUtf8(), values[size_t(mSupplier)].toString().toUtf8());
}

QString ImportPlan::keyText(const std::vector<QVariant> &values) const
{
    const QString number = values[size_t(mNumber)].toString().trimmed();
    if (mOptions.key == Key::Number)
        return number;
    return number + QStringLiteral(" / ") + values[size_t(mSupplier)].toString().trimmed();
}

void ImportPlan::match(DbEngine &engine, const Progress &progress)
{
    // Each row of the file has one key at most once; a key the file repeats is refused.
    QHash<QByteArray, size_t> byKey;
    std::vector<std::vector<qint64>> hits(mRows.size());
    for (size_t i = 0; i < mRows.size(); ++i) {
        PlannedRow &row = mRows[i];
        if (row.outcome == Outcome::Refuse && mIncoming[i].empty())
            continue;
        row.outcome = Outcome::Append;
        row.id = 0;
        row.before.clear();
        row.reasons = mNotes[i];
        const QByteArray key = keyOf(mIncoming[i]);
        if (key.isEmpty())
            continue;
        const auto it = byKey.constFind(key);
        if (it == byKey.constEnd()) {
            byKey.insert(key, i);
        } else {
            row.outcome = Outcome::Refuse;
            row.reasons = QStringList(QStringLiteral("ред %1: „%2“ се повтаря (ред %3)")
                                          .arg(row.fileRow)
                                          .arg(keyText(mIncoming[i]))
                                          .arg(mRows[it.value()].fileRow));
        }
    }

    mVersion = engine.dataVersion();
    const SqlDialect &d = engine.dialect();
    // The rows whose catalogue number some row of the file has: found from the numbers alone,
    // which the database reads from their index, then read whole.
    QSet<QByteArray> numbers;
    for (const auto &[key, i] : byKey.asKeyValueRange())
        numbers.insert(mOptions.key == Key::Number ? key : key.left(key.indexOf('\x1f')));
    std::vector<qint64> candidates;
    {
        const std::unique_ptr<DbStatement> scan = engine.prepareScan(QStringLiteral("SELECT %1, %2 FROM main").arg(
            d.quoteIdentifier(mColumns[size_t(mId)].name), d.quoteIdentifier(mColumns[size_t(mNumber)].name)));
        qint64 done = 0;
        QByteArray key;
        key.reserve(64);
        while (scan->step()) {
            tell(progress, ++done);
            const QByteArrayView text = scan->columnText(1);
            if (text.isEmpty())
                continue;
            // Most numbers are already as compared (digits, signs, lower-case letters): looked
            // up in place, without a copy.
            const bool asIs = !space(uchar(text.front())) && !space(uchar(text.back()))
                && std::none_of(text.begin(), text.end(), [](char c) { return uchar(c) >= 0x80 || (c >= 'A' && c <= 'Z'); });
            if (asIs) {
                if (numbers.contains(QByteArray::fromRawData(text.data(), text.size())))
                    candidates.push_back(scan->columnInt64(0));
                continue;
            }
            key.resize(0);
            appendFolded(text, key);
            if (!key.isEmpty() && numbers.contains(key))
                candidates.push_back(scan->columnInt64(0));
        }
    }
    std::sort(candidates.begin(), candidates.end());
    QHash<qint64, std::vector<QVariant>> current;
    // One statement of a fixed number of keys (the last repeated to fill it), prepared once.
    constexpr int Part = 500;
    QStringList marks;
    for (int k = 0; k < Part; ++k)
        marks << QStringLiteral("?");
    const std::unique_ptr<DbStatement> fetch = candidates.empty() ? nullptr : engine.prepare(
        QStringLiteral("SELECT %1 FROM main WHERE %2 IN (%3)").arg(columnsList(mColumns, d, true), d.rowKey(), marks.join(QLatin1Char(','))));
    for (size_t first = 0; first < candidates.size(); first += Part) {
        fetch->reset();
        for (int k = 0; k < Part; ++k)
            fetch->bindInt64(k + 1, candidates[std::min(candidates.size() - 1, first + size_t(k))]);
        while (fetch->step()) {
            std::vector<QVariant> values(mColumns.size());
            for (size_t c = 0; c < mColumns.size(); ++c)
                values[c] = fetch->column(int(c));
            if (mOptions.skipDeleted && values[size_t(mDeleted)].toBool())
                continue;
            const auto it = byKey.constFind(keyOf(values));
            if (it == byKey.constEnd())
                continue; // the number matches, the supplier does not
            const qint64 id = values[size_t(mId)].toLongLong();
            hits[it.value()].push_back(id);
            if (mOptions.mode != Mode::AppendOnly)
                current.insert(id, std::move(values));
        }
        tell(progress, qint64(first));
    }

    for (size_t i = 0; i < mRows.size(); ++i) {
        PlannedRow &row = mRows[i];
        if (row.outcome == Outcome::Refuse)
            continue;
        if (hits[i].size() > 1) {
            row.outcome = Outcome::Refuse;
            row.reasons = QStringList(QStringLiteral("ред %1: „%2“ съвпада с %3 реда в склада")
                                          .arg(row.fileRow)
                                          .arg(keyText(mIncoming[i]))
                                          .arg(hits[i].size()));
            continue;
        }
        if (hits[i].empty()) {
            row.outcome = mOptions.mode == Mode::UpdateOnly ? Outcome::Skip : Outcome::Append;
            continue;
        }
        row.id = hits[i].front();
        if (mOptions.mode == Mode::AppendOnly) {
            row.outcome = Outcome::Skip;
            continue;
        }
        const auto found = current.find(row.id);
        if (found == current.end())
            throw DaoError(QStringLiteral("Ред от склада изчезна по време на прегледа; прегледайте отново."));
        row.before = std::move(found.value());
        row.outcome = Outcome::Change;
        if (changedColumns(row).empty()) {
            row.outcome = Outcome::Same;
            row.before = std::vector<QVariant>(); // not shown, not written: its memory goes
        }
    }
}

std::vector<QVariant> ImportPlan::after(const PlannedRow &row) const
{
    const std::vector<QVariant> &in = mIncoming[size_t(&row - mRows.data())];
    if (row.outcome == Outcome::Append)
        return in;
    if (row.outcome != Outcome::Change && row.outcome != Outcome::Same)
        return {};
    std::vector<QVariant> out = row.before;
    if (out.empty())
        return out;
    for (size_t c = 0; c < mColumns.size(); ++c) {
        if (blank(in[c]) || int(c) == mStamp || mColumns[c].name == QLatin1String("created"))
            continue; // an empty cell leaves the field as it is; the stamps are the import's
        if (int(c) == mUserId)
            continue; // a matched row keeps its number (the renumbering command gives numbers)
        if ((int(c) == mNumber || (int(c) == mSupplier && mOptions.key == Key::NumberAndSupplier))
            && folded(in[c]) == folded(row.before[c]))
            continue; // the key as the inventory writes it
        if (int(c) == mQuantity && mOptions.quantity == Quantity::Add)
            out[c] = row.before[c].toDouble() + in[c].toDouble();
        else
            out[c] = in[c];
    }
    return out;
}

std::vector<int> ImportPlan::changedColumns(const PlannedRow &row) const
{
    return changedColumns(row, after(row));
}

std::vector<int> ImportPlan::changedColumns(const PlannedRow &row, const std::vector<QVariant> &after) const
{
    std::vector<int> out;
    if (row.before.empty() || after.size() != row.before.size())
        return out;
    for (size_t c = 0; c < row.before.size(); ++c)
        if (!same(row.before[c], after[c]))
            out.push_back(int(c));
    return out;
}

void ImportPlan::write(DbEngine &engine, ChangeLog *log, const QDateTime &stamp, const Progress &progress)
{
    if (engine.dataVersion() != mVersion) {
        // Another counter wrote since the preview: what is written must be what was shown.
        const auto counts = [this] {
            return std::vector<qint64>{count(Outcome::Append), count(Outcome::Change), count(Outcome::Same),
                                       count(Outcome::Skip), count(Outcome::Refuse)};
        };
        const std::vector<qint64> shown = counts();
        match(engine);
        if (counts() != shown)
            throw DaoError(QStringLiteral("Складът е променен от друго работно място след прегледа. Натиснете „Преглед“ отново."));
    }
    const SqlDialect &d = engine.dialect();
    const bool recorded = log && log->inOperation();
    // The time stamp as stored, made once: every row written takes it.
    const QVariant stored = engine.storedForm(stamp);
    qint64 next = 1;
    {
        const std::unique_ptr<DbStatement> max = engine.prepare(
            QStringLiteral("SELECT max(%1) FROM main").arg(d.quoteIdentifier(mColumns[size_t(mUserId)].name)));
        if (max->step() && !max->column(0).isNull())
            next = max->column(0).toLongLong() + 1;
    }
    // Every column but the key; created only when the file gives it (else the database's default).
    std::vector<size_t> insertColumns;
    int created = columnIndex(QStringLiteral("created"));
    for (size_t c = 0; c < mColumns.size(); ++c)
        if (int(c) != mId && int(c) != created)
            insertColumns.push_back(c);
    const auto insertSql = [&](bool withCreated) {
        QStringList names, marks;
        for (size_t c : insertColumns)
            names << d.quoteIdentifier(mColumns[c].name), marks << QStringLiteral("?");
        if (withCreated)
            names << d.quoteIdentifier(mColumns[size_t(created)].name), marks << QStringLiteral("?");
        return QStringLiteral("INSERT INTO main (%1) VALUES (%2)").arg(names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    };
    std::unique_ptr<DbStatement> insertPlain = engine.prepare(insertSql(false));
    std::unique_ptr<DbStatement> insertCreated = created >= 0 ? engine.prepare(insertSql(true)) : nullptr;
    QHash<quint64, std::shared_ptr<DbStatement>> updates; // by the set of columns changed

    qint64 done = 0;
    QVariantList binds;
    for (PlannedRow &row : mRows) {
        if (row.outcome != Outcome::Append && row.outcome != Outcome::Change)
            continue;
        tell(progress, ++done);
        QList<ChangeLog::FieldChange> fields;
        std::vector<QVariant> v = after(row);
        if (row.outcome == Outcome::Append) {
            // The file's number only where no row has it (above the largest), so the program's own
            // export comes back with its numbers and a supplier's "№" column takes none in use.
            if (v[size_t(mUserId)].toLongLong() < next)
                v[size_t(mUserId)] = next;
            next = v[size_t(mUserId)].toLongLong() + 1;
            if (next > std::numeric_limits<qint32>::max())
                throw DaoError(QStringLiteral("Ред %1 от файла: номерата на редовете са изчерпани.").arg(row.fileRow));
            if (blank(v[size_t(mStamp)]))
                v[size_t(mStamp)] = stored;
            binds.clear();
            for (size_t c : insertColumns) {
                if (mColumns[c].type == TFieldType::Boolean && blank(v[c]))
                    v[c] = false;
                binds << v[c];
            }
            const bool withCreated = created >= 0 && !blank(v[size_t(created)]);
            if (withCreated)
                binds << v[size_t(created)];
            DbStatement &st = withCreated ? *insertCreated : *insertPlain;
            st.reset();
            st.bindAll(binds);
            st.step();
            row.id = engine.lastInsertId(QStringLiteral("main"));
            if (recorded) {
                for (size_t c = 0; c < mColumns.size(); ++c)
                    if (int(c) != mId && !blank(v[c]))
                        fields.append({mColumns[c].name, QVariant(), engine.storedForm(v[c])});
                log->rowWritten(row.id, ChangeLog::Kind::New, ChangeLog::fieldsJson(fields));
            }
            continue;
        }
        v[size_t(mStamp)] = stored;
        binds.clear();
        quint64 mask = 0;
        for (int c : changedColumns(row, v)) {
            mask |= quint64(1) << c;
            binds << v[size_t(c)];
            fields.append({mColumns[size_t(c)].name, row.before[size_t(c)], engine.storedForm(v[size_t(c)])});
        }
        binds << row.id;
        std::shared_ptr<DbStatement> &st = updates[mask];
        if (!st) {
            QStringList sets;
            for (size_t c = 0; c < mColumns.size(); ++c)
                if (mask & (quint64(1) << c))
                    sets << d.quoteIdentifier(mColumns[c].name) + QStringLiteral(" = ?");
            st = engine.prepare(QStringLiteral("UPDATE main SET %1 WHERE %2 = ?").arg(sets.join(QStringLiteral(", ")), d.rowKey()));
        }
        st->reset();
        st->bindAll(binds);
        st->step();
        if (engine.changes() != 1)
            throw DaoError(QStringLiteral("Ред %1 от файла: редът от склада вече го няма.").arg(row.fileRow));
        if (recorded)
            log->rowWritten(row.id, ChangeLog::Kind::Change, ChangeLog::fieldsJson(fields));
    }
}

UndoResult undoLastImport(TDaoDatabase &db, const Progress &progress)
{
    ChangeLog *log = db.changeLog();
    std::optional<ChangeLog::Entry> last;
    bool undone = false;
    db.readSnapshot([&](DbEngine &) {
        if (!log->kept())
            throw DaoError(QStringLiteral("Тази база не пази история на промените, затова вмъкването не може да се отмени."));
        last = log->lastEntry(ChangeLog::Kind::Import);
        undone = last && log->entryNaming(ChangeLog::Kind::Revert, QStringLiteral("import"), last->id);
    });
    if (!last)
        throw DaoError(QStringLiteral("Няма вмъкване от файл, което да се отмени."));
    if (undone)
        throw DaoError(QStringLiteral("Последното вмъкване от файл вече е отменено."));

    UndoResult result;
    const QString mark = ChangeLog::fieldsJson({{QStringLiteral("import"), last->id, QVariant()}});
    db.writeOperation(
        ChangeLog::Kind::Revert,
        [&](DbEngine &e) {
            result = UndoResult();
            const std::optional<SourceInfo> main = e.findSource(QStringLiteral("main"));
            if (!main)
                throw DaoError(QStringLiteral("Таблицата на склада липсва."));
            const SqlDialect &d = e.dialect();
            const std::unique_ptr<DbStatement> fetch = e.prepare(
                QStringLiteral("SELECT %1 FROM main WHERE %2 = ?").arg(columnsList(main->columns, d, true), d.rowKey()));
            const std::unique_ptr<DbStatement> remove = e.prepare(QStringLiteral("DELETE FROM main WHERE %1 = ?").arg(d.rowKey()));
            const QSet<qint64> since = log->rowsChangedAfter(last->id);
            qint64 done = 0;
            for (const ChangeLog::Entry &line : log->operationRows(last->id)) {
                tell(progress, ++done);
                fetch->reset();
                fetch->bindInt64(1, line.row);
                if (!fetch->step())
                    continue; // gone since: nothing to give back
                QHash<QString, QVariant> now;
                QString number;
                for (size_t c = 0; c < main->columns.size(); ++c) {
                    now.insert(main->columns[c].name, fetch->column(int(c)));
                    if (main->columns[c].name == QLatin1String("user_id"))
                        number = fetch->column(int(c)).toString();
                }
                // Untouched: no entry since, and every field as the import left it (a row it
                // added: every field at all).
                bool untouched = !since.contains(line.row);
                QHash<QString, QVariant> written;
                for (const ChangeLog::FieldChange &f : line.fields)
                    written.insert(f.field, f.after);
                for (const ColumnDecl &c : main->columns)
                    if (written.contains(c.name) || (line.kind == ChangeLog::Kind::New && c.type != TFieldType::Counter
                                                     && c.name != QLatin1String("created")))
                        untouched = untouched && same(now.value(c.name), written.value(c.name));
                if (!untouched) {
                    result.leftAlone << (number.isEmpty() ? QStringLiteral("(без №)") : number);
                    continue;
                }
                QList<ChangeLog::FieldChange> fields;
                if (line.kind == ChangeLog::Kind::New) {
                    for (const ColumnDecl &c : main->columns)
                        if (c.type != TFieldType::Counter && !blank(now.value(c.name)))
                            fields.append({c.name, now.value(c.name), QVariant()});
                    remove->reset();
                    remove->bindInt64(1, line.row);
                    remove->step();
                    log->rowWritten(line.row, ChangeLog::Kind::Purge, ChangeLog::fieldsJson(fields));
                    ++result.removed;
                    continue;
                }
                QStringList sets;
                QVariantList binds;
                for (const ChangeLog::FieldChange &f : line.fields) {
                    sets << d.quoteIdentifier(f.field) + QStringLiteral(" = ?");
                    binds << f.before;
                    fields.append({f.field, now.value(f.field), f.before});
                }
                if (sets.isEmpty())
                    continue;
                binds << line.row;
                const std::unique_ptr<DbStatement> st =
                    e.prepare(QStringLiteral("UPDATE main SET %1 WHERE %2 = ?").arg(sets.join(QStringLiteral(", ")), d.rowKey()));
                st->bindAll(binds);
                st->step();
                log->rowWritten(line.row, ChangeLog::Kind::Change, ChangeLog::fieldsJson(fields));
                ++result.restored;
            }
        },
        mark);
    return result;
}

} // namespace inventoryimport
