// The fitment index: each row's compatibility entries as (make, model, first year, last year),
// folded, in the inventory's table fitment. The engine's triggers mark every row whose text
// changes, whoever writes it; the marked rows are read again before the index is used. The
// entries depend on the catalogue's makes of several words ("Alfa Romeo"): when those change,
// every row is read again.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class DbEngine;

namespace fitment {

// The folded form the index keeps and the search compares: letter case folded, blanks collapsed.
QString key(const QString &text);

// The catalogue's makes, in the order the catalogue keeps them (distinct, blanks collapsed).
QStringList catalogueMakes(DbEngine &engine);

// Whether the inventory has the index (an older one opened read only has not).
bool present(DbEngine &engine);

// Brings the index up to date in one write transaction of its own, when any row is marked or the
// makes changed; nothing to do costs two small reads. progress(done, total) is called now and
// then while many rows are read. Raises DaoError; the index stays as it was then.
// commit ends the transaction (the engine's commit when empty).
void bringUpToDate(DbEngine &engine, const std::function<void(qint64 done, qint64 total)> &progress = {},
                   const std::function<void()> &commit = {});

// Before a statement that reads the index: brought up to date unless a transaction is open (its
// own writes are then read as the index held them before it). Raises DaoError, with a message
// for the clerk, when the inventory has no index.
void refreshBeforeUse(DbEngine &engine, const std::function<void(qint64 done, qint64 total)> &progress = {},
                      const std::function<void()> &commit = {});

// The filter's source must be the inventory: the index knows only its rows.
void requireInventory(const QString &source);

} // namespace fitment
