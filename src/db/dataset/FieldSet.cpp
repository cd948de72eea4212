// The dataset's field objects and their column map, made at each opening.
#include "dataset/FieldSet.h"

#include "base/DaoError.h"
#include "engine/DbEngine.h"

FieldSet::~FieldSet() = default;

void FieldSet::setNames(const QStringList &names, bool makeFields)
{
    mNames = names;
    if (!makeFields)
        return;
    std::vector<std::unique_ptr<TDaoField>> fields;
    for (int f = 0; f < names.size(); ++f) {
        std::unique_ptr<TDaoField> *old = size_t(f) < mFields.size() ? &mFields[size_t(f)] : nullptr;
        if (old && *old && (*old)->FieldName().compare(names[f], Qt::CaseInsensitive) == 0)
            fields.push_back(std::move(*old));
        else
            fields.push_back(std::unique_ptr<TDaoField>(new TDaoField(mDataSet, f, names[f], TFieldType::Text, 0)));
    }
    mFields = std::move(fields);
}

std::vector<bool> FieldSet::build(const std::vector<ColumnDecl> &columns, const std::vector<TFieldType> &types,
                                  const std::vector<int> &sizes, bool table)
{
    auto indexOf = [&](const QString &n) -> int {
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name.compare(n, Qt::CaseInsensitive) == 0)
                return int(i);
        return -1;
    };
    QStringList wanted = mNames;
    if (wanted.isEmpty())
        for (const ColumnDecl &c : columns)
            wanted << c.name;
    std::vector<int> found;
    for (const QString &w : std::as_const(wanted)) {
        const int col = indexOf(w);
        if (col < 0)
            throw DaoError(QStringLiteral("Field '%1' not found").arg(w));
        found.push_back(col);
    }

    mAllColumns.clear();
    for (size_t i = 0; i < columns.size(); ++i)
        mAllColumns.push_back(ColumnInfo{columns[i].name, types[i] == TFieldType::Text});
    std::vector<std::unique_ptr<TDaoField>> fields;
    mColumns.clear();
    mSourceColumn.clear();
    mUntyped.clear();
    std::vector<bool> generated;
    for (int f = 0; f < wanted.size(); ++f) {
        const size_t col = size_t(found[size_t(f)]);
        // Callers may hold pointers to the fields.
        std::unique_ptr<TDaoField> *old = size_t(f) < mFields.size() ? &mFields[size_t(f)] : nullptr;
        if (old && *old && (*old)->FieldName().compare(columns[col].name, Qt::CaseInsensitive) == 0) {
            (*old)->mType = types[col];
            (*old)->mSize = sizes[col];
            fields.push_back(std::move(*old));
        } else {
            fields.push_back(std::unique_ptr<TDaoField>(new TDaoField(mDataSet, f, columns[col].name, types[col], sizes[col])));
        }
        mColumns.push_back(columns[col].name);
        mSourceColumn.push_back(table ? f : int(col));
        mUntyped.push_back(columns[col].untyped);
        generated.push_back(types[col] == TFieldType::Counter);
    }
    mFields = std::move(fields);
    return generated;
}

TDaoField *FieldSet::find(const QString &name) const
{
    for (const auto &f : mFields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}
