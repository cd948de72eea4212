// The error type of the data layer: carries the message shown to the user. Every failure raised
// by the layer is a DaoError (a filter that does not parse: its FilterError).
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

class DaoError : public std::exception
{
public:
    explicit DaoError(QString message);

    const QString &message() const { return mMessage; }
    const char *what() const noexcept override { return mUtf8.constData(); }

private:
    QString mMessage;
    QByteArray mUtf8;
};

// A row that another copy of the program changed or deleted after this one read it.
class RowConflict : public DaoError
{
public:
    using DaoError::DaoError;
};

// A statement stopped on purpose (its stop check, or interrupt() from another thread).
class Interrupted : public DaoError
{
public:
    using DaoError::DaoError;
};

// A database file the engine found damaged in its tables: what can be read is kept, nothing is
// written to it, and no copy of it is made in place of a sound one.
class FileDamaged : public DaoError
{
public:
    using DaoError::DaoError;
};

// The posts of a bulk write batch that the engine undid (a full disk, an I/O error). row: the
// position in its dataset of the first row the batch had written, -1 when not known; the rows
// written before it were committed by earlier batches and are stored.
class BatchLost : public DaoError
{
public:
    explicit BatchLost(QString message, int row = -1)
        : DaoError(std::move(message)), mRow(row)
    {
    }
    int row() const { return mRow; }

private:
    int mRow;
};
