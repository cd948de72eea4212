// The one error type of the data layer: carries the message shown to the user.
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

// A filter or sort text that does not parse; position is the 0-based character offset of the problem.
class FilterError : public DaoError
{
public:
    FilterError(const QString &message, int position);

    int position() const { return mPosition; }

private:
    int mPosition;
};
