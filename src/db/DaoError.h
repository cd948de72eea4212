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
