// One field of a dataset: name, type, size, visibility, and typed access to the value of the
// dataset's current row. Reading while the dataset is closed or has no current row gives null
// (an empty text, 0, false). Writing needs the dataset in editing or inserting state.
//
// Fields belong to their dataset, which makes them and keeps them across reopening (see
// TDaoTable). Text written to a number field converts only in the regional form (the regional
// decimal separator; see Regional.h); any other text raises "'<text>' is not a valid ... value for
// field '<name>'". Values read from the database are converted from the engine's stored form.
#pragma once

#include "engine/FieldType.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

class TDaoTable;


class TDaoField
{
public:
    const QString &FieldName() const { return mName; }
    TFieldType DataType() const { return mType; }
    int Size() const { return mSize; } // characters, for text; 0 otherwise
    int Index() const { return mIndex; }
    bool Visible() const { return mVisible; }
    void setVisible(bool v) { mVisible = v; }
    bool isNumeric() const;
    bool isText() const { return mType == TFieldType::Text; }

    bool IsNull() const;
    // The typed value: QString, qint64, double, bool or QDateTime; an invalid QVariant for null.
    QVariant Value() const;
    void setValue(const QVariant &value);
    void Clear() { setValue(QVariant()); }

    QString AsString() const;
    void setAsString(const QString &text);
    qint64 AsInteger() const;
    void setAsInteger(qint64 value);
    double AsFloat() const;
    void setAsFloat(double value);
    bool AsBoolean() const;
    void setAsBoolean(bool value);
    QDateTime AsDateTime() const;
    void setAsDateTime(const QDateTime &value);

    // Whether a typed character can be part of this field's text: for integers the digits and
    // the signs, for floats also "E", "e" and the regional decimal separator; any for the rest.
    bool IsValidChar(QChar c) const;

    // The text of a value of this field's type, as AsString gives it (regional forms).
    QString textOf(const QVariant &typed) const;
    // A value as the database or its change history keeps it, in this field's type.
    QVariant typedOf(const QVariant &stored) const { return fromStorage(stored); }

private:
    friend class TDaoTable;
    friend class FieldSet;
    TDaoField(TDaoTable *dataSet, int index, QString name, TFieldType type, int size);
    // A stored value in this field's type.
    QVariant fromStorage(const QVariant &stored) const;
    QVariant raw() const;
    void store(const QVariant &typed);
    [[noreturn]] void invalid(const QString &text, const char *kind) const;
    QVariant parseText(const QString &text) const;

    TDaoTable *mDataSet;
    int mIndex;
    QString mName;
    TFieldType mType;
    int mSize;
    bool mVisible = true;
};
