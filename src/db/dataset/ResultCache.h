// The results a connection keeps between queries: today the rows of the stored pick-list queries
// (the distinct values of one column each), which the program re-queries after every post and
// which would otherwise be grouped and sorted anew from the whole table each time.
//
// A dataset asks one question: the rows of a query over a stored source. It asks it in two
// steps, so that a query opened now and read later gives the rows of the moment it was opened:
// reserve() fixes the answer at once (the list kept, when it is current; otherwise a read of its
// own that takes its view of the database before reserve returns and works on a reading
// connection in the background, at the lowest priority), rowsOf() hands it over when the rows
// are wanted (waiting for that read if needed). The connection's writers tell the cache what
// they changed; another connection's commit (the engine's data version) makes a list stale.
// Rows handed out never change afterwards: a reader keeps what it got while the cache moves on.
#pragma once

#include "dataset/DistinctValues.h"

#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

class DbEngine;
struct SourceInfo;

class ResultCache
{
public:
    using Rows = TextListPtr;
    class Ticket;
    using TicketPtr = std::shared_ptr<Ticket>;

    explicit ResultCache(DbEngine &engine) : mEngine(engine) {}
    ~ResultCache();

    // The rows of a query over a stored source, unfiltered and unsorted, one value each, fixed
    // as of now; null when the cache does not keep that query and it must be run.
    // soon: wanted soon after (a list read ahead): read at the window's own priority.
    TicketPtr reserve(const SourceInfo &source, bool soon = false);
    // The reserved rows; raises the reading's error.
    Rows rowsOf(const TicketPtr &ticket);
    // The same in one step, as of now.
    Rows rowsOf(const SourceInfo &source);

    // Before this connection writes: waits until no read in the background holds its view (which
    // keeps others from committing).
    void beforeWrite();
    // A written row's stored values before and after, in the order of columns (either may be
    // null: an inserted or deleted row).
    void rowChanged(const QString &table, const std::vector<QString> &columns, const std::vector<QVariant> *before,
                    const std::vector<QVariant> *after);
    // A statement whose effect is not known ran, or a transaction was undone: nothing kept holds.
    void forgetAll();

    // Process-wide switches for the benchmark that compares the kept results with the plain
    // queries, and for the tests that read in the foreground.
    static void setEnabled(bool on);
    static void setBackgroundReading(bool on);

private:
    struct Change
    {
        bool hasBefore = false;
        bool hasAfter = false;
        QVariant before;
        QVariant after;
    };
    DistinctValues *listOf(const QString &table, const QString &column);
    void install(Ticket &ticket);

    DbEngine &mEngine;
    std::vector<std::unique_ptr<DistinctValues>> mDistinct;
    std::vector<std::weak_ptr<Ticket>> mReading; // reads in the background not yet handed over
};
