// What an export statement selects: its columns as the source names them, how each is written
// (from its declared type), and the statement that steps through the rows the filter selects,
// a table's in the order they were added.
#pragma once

#include "engine/DbStatement.h"
#include "files/SqliteRealText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <cmath>
#include <memory>
#include <vector>

class DbEngine;
struct ExportStatement;

class ExportSelection
{
public:
    enum class Type { Text, Integer, Number, DateTime, Boolean };

    // Compiles the selection, so that a bad filter or column fails before any file is made:
    // raises DaoError (FilterError for the filter) for a source or column that does not exist.
    ExportSelection(DbEngine &engine, const ExportStatement &statement);
    ~ExportSelection();

    int columnCount() const { return int(mNames.size()); }
    const QString &name(int c) const { return mNames.at(c); }
    Type type(int c) const { return mTypes[size_t(c)]; }
    // The rows: step() to the next one, then read its columns.
    DbStatement &rows() { return *mStatement; }

    // One cell's bytes (UTF-8) of the current row for the text files: numbers with ".",
    // date-times as stored; scratch holds what is made here.
    QByteArrayView plainBytes(int c, QByteArray &scratch) const
    {
        const DbStatement &st = *mStatement;
        if (st.columnIsNull(c))
            return {};
        const Type t = type(c);
        if (t == Type::Boolean)
            return st.columnInt64(c) != 0 ? QByteArrayView("True") : QByteArrayView("False");
        if (t == Type::Number) {
            // As the file gives it, whichever engine read it; a server's NaN, which a file cannot
            // hold, is no number: an empty cell.
            const QVariant v = st.column(c);
            if (v.typeId() == QMetaType::Double) {
                if (std::isnan(v.toDouble()))
                    return {};
                scratch.clear();
                appendSqliteRealText(scratch, v.toDouble());
                return scratch;
            }
        }
        return st.columnText(c);
    }

private:
    QStringList mNames;
    std::vector<Type> mTypes;
    std::unique_ptr<DbStatement> mStatement;
};
