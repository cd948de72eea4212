// A query on a PostgreSQL connection read through COPY ... TO STDOUT.
#pragma once

#include "postgresql/PgStatement.h"

#include <QByteArray>
#include <utility>
#include <vector>

// A query without parameters read through COPY: the server streams the rows in text form while
// they are used, with neither a cursor's round trip for each part nor a whole result in memory.
// For a read in a transaction of its caller's that may end in a rollback: a failed or abandoned
// COPY leaves that transaction aborted.
class PgCopyStatement : public PgStatement
{
public:
    PgCopyStatement(PgConnection &conn, const QString &sql);
    ~PgCopyStatement() override;

    bool step() override;
    void reset() override;
    int columnCount() const override;
    bool columnIsNull(int i) const override;
    qint64 columnInt64(int i) const override;
    QVariant column(int i) const override;
    QByteArrayView columnText(int i) const override;
    void columnInto(int i, DbStatement &into, int index) const override;

private:
    void start();
    // A line of COPY's text form split into its fields, escapes undone.
    void parse(const char *line, qsizetype size);
    QByteArrayView field(int i) const;
    // A COPY still streaming is cancelled and what it sent is read away, so that the
    // connection serves the next statement.
    void finish() noexcept;
    void drainResults() noexcept;

    std::vector<unsigned> mTypes;
    QByteArray mLine;
    std::vector<std::pair<qsizetype, qsizetype>> mFields; // each field's start in mLine (-1: null) and size
    bool mStarted = false;
    bool mCopying = false;
    int mRows = 0;
};
