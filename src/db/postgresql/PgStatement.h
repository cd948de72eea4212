// A prepared statement on a PostgreSQL connection.
#pragma once

#include "engine/DbEngine.h"
#include "engine/DbStatement.h"
#include "postgresql/PgConnection.h"
#include "postgresql/PgResult.h"

#include <QByteArray>
#include <optional>
#include <vector>

// One prepared statement: executed at the first step, its rows read from the whole result.
class PgStatement : public DbStatement
{
public:
    PgStatement(PgConnection &conn, const QString &sql);

    void bind(int index, const QVariant &value) override;
    void bindInt64(int index, qint64 value) override;
    bool step() override;
    void reset() override;

    int columnCount() const override;
    QString columnName(int i) const override;
    // The column's description (its name as the server gives it); untyped for an expression.
    ColumnDecl columnDecl(int i) const;
    bool columnIsNull(int i) const override;
    qint64 columnInt64(int i) const override;
    QVariant column(int i) const override;
    QByteArrayView columnText(int i) const override;
    void columnInto(int i, DbStatement &into, int index) const override;

    // The field type of a column of the server's type and modifier; its width in *size
    // (characters, for text of a given width; 0 otherwise). A table's integer key is a Counter.
    static TFieldType fieldTypeOf(unsigned typeOid, int typeModifier, bool primaryKey, int *size);

protected:
    // A value as the server writes it in text form, read as a column of type oid.
    static qint64 int64Of(QByteArrayView text, unsigned oid);
    static QVariant valueOf(QByteArrayView text, unsigned oid);
    static QByteArrayView textOf(QByteArrayView text, unsigned oid);
    static void bindText(QByteArrayView text, unsigned oid, DbStatement &into, int index);

    void refresh() const;
    void describe() const;
    unsigned typeOf(int i) const;

    PgConnection &mConn;
    QString mSql;
    mutable QByteArray mName;
    mutable int mGeneration;
    bool mReadOnly; // a SELECT
    int mParams = 0;
    std::vector<std::optional<QByteArray>> mValues;
    PgResult mResult;
    mutable PgResult mDescription; // the columns, before the statement has run
    int mRow = -1;
    bool mRan = false;
};
