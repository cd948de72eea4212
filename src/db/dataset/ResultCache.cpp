// The connection's kept results: distinct-value lists of the stored pick-list queries, and the
// reads in the background that fix a query's rows at the moment it is opened.
#include "dataset/ResultCache.h"

#include "base/DaoError.h"
#include "engine/DbEngine.h"
#include "base/DbLog.h"
#include "base/FreedMemory.h"
#include "engine/SqlDialect.h"

#include <QThread>
#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// Writes of ours kept for a list still being read; beyond them the list is read anew.
constexpr size_t MaxChanges = 10000;
bool gEnabled = true;
bool gBackground = true;
// One list is scanned at a time: several at once, each a million rows, slowed the window's own
// reading four times over on two processors, and the one wanted first came last.
std::timed_mutex gScanTurn;
} // namespace

// What a read in the background shares with its ticket: whether anyone still wants it.
struct Reading
{
    std::atomic<bool> cancelled = false;
};

// One reserved answer: the rows themselves, or the read that makes them.
class ResultCache::Ticket
{
public:
    QString table;
    QString column;
    qint64 dataVersion = 0;  // ours, when the view was taken
    bool installable = true; // false once we ran a statement of unknown effect meanwhile
    std::vector<Change> changes; // what we wrote to the column since the view was taken
    Rows rows;
    std::shared_future<void> viewReleased;
    std::future<std::unique_ptr<DistinctValues>> result;
    QString error; // the read's failure, once it is known
    std::shared_ptr<Reading> reading;
    std::unique_ptr<QThread> thread;

    ~Ticket() { stop(); }
    // Nobody will want the rows: the read stops where it is.
    void stop()
    {
        if (!thread)
            return;
        reading->cancelled = true;
        thread->wait();
        thread.reset();
    }
};

void ResultCache::setEnabled(bool on) { gEnabled = on; }

void ResultCache::setBackgroundReading(bool on) { gBackground = on; }

ResultCache::~ResultCache()
{
    // The reading connections end before this one does.
    for (const auto &w : mReading)
        if (const TicketPtr t = w.lock())
            t->stop();
}

DistinctValues *ResultCache::listOf(const QString &table, const QString &column)
{
    for (auto &e : mDistinct)
        if (e->table().compare(table, Qt::CaseInsensitive) == 0 && e->column().compare(column, Qt::CaseInsensitive) == 0)
            return e.get();
    mDistinct.push_back(std::make_unique<DistinctValues>(table, column));
    return mDistinct.back().get();
}

ResultCache::TicketPtr ResultCache::reserve(const SourceInfo &source, bool soon)
{
    if (!gEnabled || !source.distinctOf)
        return nullptr;
    const auto &[table, column] = *source.distinctOf;
    auto ticket = std::make_shared<Ticket>();
    ticket->table = table;
    ticket->column = column;
    ticket->dataVersion = mEngine.dataVersion();
    DistinctValues *d = listOf(table, column);
    // Other connections' commits change the data version; ours keep the list current.
    if (d->valid() && d->builtAtDataVersion() == ticket->dataVersion) {
        ticket->rows = d->rows();
        return ticket;
    }
    // A read of this list already under way serves: as it is when nothing of ours was written
    // since its view was taken; otherwise once it is kept with our writes.
    for (const auto &w : mReading) {
        const TicketPtr t = w.lock();
        if (!t || !t->installable || t->rows || !t->error.isEmpty() || t->dataVersion != ticket->dataVersion
            || t->table.compare(table, Qt::CaseInsensitive) != 0 || t->column.compare(column, Qt::CaseInsensitive) != 0)
            continue;
        if (t->changes.empty())
            return t;
        try {
            rowsOf(t);
        } catch (const DaoError &) {
            break; // read anew below
        }
        d = listOf(table, column); // the list kept now
        if (d->valid() && d->builtAtDataVersion() == ticket->dataVersion) {
            ticket->rows = d->rows();
            return ticket;
        }
        break;
    }
    // Inside a write transaction a reading connection would not see what this one wrote.
    if (!gBackground || mEngine.inTransaction())
        return nullptr;
    std::unique_ptr<DbEngine> reader;
    try {
        reader = mEngine.openReader();
    } catch (const DaoError &e) {
        qCWarning(lcDb) << "no reading connection, the list is read when asked:" << e.message();
        return nullptr;
    }
    auto viewTaken = std::make_shared<std::promise<void>>();
    std::future<void> taken = viewTaken->get_future();
    auto viewReleased = std::make_shared<std::promise<void>>();
    ticket->viewReleased = viewReleased->get_future().share();
    auto result = std::make_shared<std::promise<std::unique_ptr<DistinctValues>>>();
    ticket->result = result->get_future();
    auto reading = std::make_shared<Reading>();
    ticket->reading = reading;
    reader->setStopCheck([reading] { return reading->cancelled.load(); });
    DbEngine *r = reader.release();
    ticket->thread.reset(QThread::create([r, reading, viewTaken, viewReleased, result, soon, table = table, column = column] {
        std::unique_ptr<DbEngine> engine(r);
        bool told = false;
        bool released = false;
        const auto closeEngine = [&] { engine.reset(); };
        const auto stopIfCancelled = [&] {
            if (reading->cancelled)
                throw DaoError(QStringLiteral("Четенето е прекратено."));
        };
        try {
            // Below the window's thread while it holds its view, but never starved of the
            // processor (others wait to commit until it is done); lower still once it is.
            if (!soon)
                setpriority(PRIO_PROCESS, pid_t(gettid()), 10);
            auto list = std::make_unique<DistinctValues>(table, column);
            const SqlDialect &d = engine->dialect();
            engine->beginRead();
            // The first read takes the view; others may commit again once the scan is over.
            engine->prepare(QStringLiteral("SELECT 1 FROM ") + d.quoteIdentifier(table))->step();
            viewTaken->set_value();
            told = true;
            std::unique_lock turn(gScanTurn, std::defer_lock);
            while (!turn.try_lock_for(std::chrono::milliseconds(20)))
                stopIfCancelled();
            list->scan(*engine);
            engine->rollback();
            closeEngine();
            viewReleased->set_value();
            released = true;
            turn.unlock(); // the next list's view is waiting; ordering this one need not
            stopIfCancelled();
            // The view is given back: ordering the list can wait for the window's work.
            if (!soon)
                QThread::currentThread()->setPriority(QThread::IdlePriority);
            list->order();
            list->rows(); // made here, not on the window's thread
            result->set_value(std::move(list));
            freedmemory::giveBack(); // the scan's and the connection's memory
        } catch (...) {
            closeEngine();
            if (!told)
                viewTaken->set_exception(std::current_exception());
            if (!released)
                viewReleased->set_value();
            result->set_exception(std::current_exception());
        }
    }));
    ticket->thread->start();
    if (!ticket->thread->isRunning() && !ticket->thread->isFinished()) {
        qCWarning(lcDb) << "no thread to read the list in the background: it is read when asked";
        return nullptr;
    }
    try {
        taken.get();
    } catch (const DaoError &e) {
        qCWarning(lcDb) << "the list's view could not be taken, it is read when asked:" << e.message();
        return nullptr; // the ticket waits for its thread as it goes
    } catch (const std::exception &e) {
        qCWarning(lcDb) << "the list's view could not be taken, it is read when asked:" << e.what();
        return nullptr;
    }
    std::erase_if(mReading, [](const std::weak_ptr<Ticket> &w) { return w.expired(); });
    mReading.push_back(ticket);
    return ticket;
}

void ResultCache::install(Ticket &ticket)
{
    std::unique_ptr<DistinctValues> list;
    if (ticket.error.isEmpty()) {
        try {
            list = ticket.result.get();
        } catch (const DaoError &e) {
            ticket.error = e.message();
        } catch (const std::exception &e) {
            ticket.error = QString::fromLocal8Bit(e.what());
        }
    }
    if (!list) {
        // Told to every reader of this ticket; the next reservation reads anew.
        ticket.installable = false;
        ticket.stop();
        throw DaoError(ticket.error);
    }
    ticket.rows = list->rows();
    ticket.thread->wait();
    ticket.thread.reset();
    if (!ticket.installable)
        return;
    // Kept for the next questions: current as of its view, with what we wrote since.
    for (const Change &c : ticket.changes)
        list->change(c.hasBefore ? &c.before : nullptr, c.hasAfter ? &c.after : nullptr);
    list->setDataVersion(ticket.dataVersion);
    for (auto &e : mDistinct) {
        if (e->table().compare(ticket.table, Qt::CaseInsensitive) == 0
            && e->column().compare(ticket.column, Qt::CaseInsensitive) == 0) {
            e = std::move(list);
            return;
        }
    }
    mDistinct.push_back(std::move(list));
}

ResultCache::Rows ResultCache::rowsOf(const TicketPtr &ticket)
{
    if (!ticket->rows)
        install(*ticket);
    return ticket->rows;
}

ResultCache::Rows ResultCache::rowsOf(const SourceInfo &source)
{
    if (!gEnabled || !source.distinctOf)
        return nullptr;
    const auto &[table, column] = *source.distinctOf;
    DistinctValues *d = listOf(table, column);
    const qint64 version = mEngine.dataVersion();
    if (!d->valid() || d->builtAtDataVersion() != version) {
        d->build(mEngine);
        d->setDataVersion(version);
    }
    return d->rows();
}

namespace {
// Asked for every list at every row written: names of another length are passed over first.
std::vector<QString>::const_iterator findColumn(const std::vector<QString> &columns, const QString &name)
{
    return std::find_if(columns.begin(), columns.end(), [&](const QString &c) {
        return c.size() == name.size() && c.compare(name, Qt::CaseInsensitive) == 0;
    });
}
} // namespace

void ResultCache::rowChanged(const QString &table, const std::vector<QString> &columns,
                             const std::vector<QVariant> *before, const std::vector<QVariant> *after)
{
    for (const auto &w : mReading) {
        // A read in the background does not see this write: its list takes it in when kept.
        const TicketPtr t = w.lock();
        if (!t || t->rows || t->table.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        auto col = findColumn(columns, t->column);
        if (col == columns.end()) {
            if (!before || !after)
                t->installable = false;
            continue;
        }
        const size_t i = size_t(col - columns.begin());
        if (before && after && before->at(i) == after->at(i))
            continue; // an update that leaves this column as it was
        if (t->changes.size() >= MaxChanges) {
            // Nobody looked at this list for long: it is not kept, the next question reads anew.
            t->installable = false;
            t->changes.clear();
            continue;
        }
        Change c;
        c.hasBefore = before != nullptr;
        c.hasAfter = after != nullptr;
        if (before)
            c.before = before->at(i);
        if (after)
            c.after = after->at(i);
        t->changes.push_back(std::move(c));
    }
    for (auto &d : mDistinct) {
        if (!d->valid() || d->table().compare(table, Qt::CaseInsensitive) != 0)
            continue;
        auto col = findColumn(columns, d->column());
        if (col == columns.end()) {
            // An update leaves a column it does not name alone; a new or removed row we cannot see.
            if (!before || !after)
                d->invalidate();
            continue;
        }
        const size_t i = size_t(col - columns.begin());
        d->change(before ? &before->at(i) : nullptr, after ? &after->at(i) : nullptr);
    }
}

void ResultCache::beforeWrite()
{
    for (const auto &w : mReading)
        if (const TicketPtr t = w.lock(); t && t->viewReleased.valid())
            t->viewReleased.wait();
}

void ResultCache::forgetAll()
{
    for (const auto &w : mReading)
        if (const TicketPtr t = w.lock())
            t->installable = false;
    for (auto &d : mDistinct)
        d->invalidate();
}
