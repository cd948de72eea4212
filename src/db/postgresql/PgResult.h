// One libpq result (PGresult), owned: freed when the object goes.
#pragma once

#include <QByteArrayView>
#include <QString>

struct pg_result;

class PgResult
{
public:
    PgResult() = default;
    explicit PgResult(pg_result *r) : mResult(r) {}
    ~PgResult();
    PgResult(PgResult &&other) noexcept : mResult(other.mResult) { other.mResult = nullptr; }
    PgResult &operator=(PgResult &&other) noexcept;
    PgResult(const PgResult &) = delete;
    PgResult &operator=(const PgResult &) = delete;

    pg_result *get() const { return mResult; }
    int rows() const;
    int columns() const;
    bool isNull(int row, int col) const;
    QByteArrayView text(int row, int col) const;
    QString string(int row, int col) const { return QString::fromUtf8(text(row, col)); }

private:
    pg_result *mResult = nullptr;
};
