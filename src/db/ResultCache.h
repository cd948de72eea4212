// The results a connection keeps between queries: today the rows of the stored pick-list queries
// (the distinct values of one column each), which the program re-queries after every post and
// which would otherwise be grouped and sorted anew from the whole table each time.
//
// A dataset asks one question, rowsOf; the connection's writers tell it what they changed. Rows
// handed out never change afterwards: a reader keeps what it got while the cache moves on.
// Another connection's commit (the engine's data version) makes the lists be read anew.
#pragma once

#include "DistinctValues.h"

#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

class DbEngine;
struct SourceInfo;

class ResultCache
{
public:
    using Rows = std::shared_ptr<const std::vector<QVariant>>;

    explicit ResultCache(DbEngine &engine) : mEngine(engine) {}

    // The rows of a query over a stored source, unfiltered and unsorted, one value each; null when
    // the cache does not keep that query and it must be run.
    Rows rowsOf(const SourceInfo &source);

    // A written row's stored values before and after, in the order of columns (either may be
    // null: an inserted or deleted row).
    void rowChanged(const QString &table, const std::vector<QString> &columns, const std::vector<QVariant> *before,
                    const std::vector<QVariant> *after);
    // A statement whose effect is not known ran, or a transaction was undone: nothing kept holds.
    void forgetAll();

    // Process-wide switch for the benchmark that compares the kept results with the plain queries.
    static void setEnabled(bool on);
    static bool enabled();

private:
    DbEngine &mEngine;
    std::vector<std::unique_ptr<DistinctValues>> mDistinct;
};
