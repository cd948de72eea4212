// The drop-down list of a grid column. A list can be given its entries, or a way to read them
// when someone first looks: the inventory's lists can hold nearly a million catalogue numbers,
// and a list nobody opens need not be read. Copies share the entries; changing one copy does
// not change the others.
//
// model() is one list model over the entries, shared by every box that shows the list (the
// grid's drop-down cells, the editor's boxes): it reads a pending list when a box asks for its
// rows, and tells its boxes when the entries change.
#pragma once

#include "base/TextList.h"

#include <QSharedData>
#include <QStringList>
#include <functional>

class QAbstractItemModel;

class TPickList
{
public:
    TPickList();
    TPickList(const QStringList &items); // NOLINT: a list of texts is a pick list
    TPickList(const TPickList &other);
    TPickList &operator=(const TPickList &other);
    ~TPickList();

    // The entries, kept compactly; a pending list reads them now (and keeps them).
    const TextList &texts() const;
    bool isEmpty() const { return texts().isEmpty(); }
    qsizetype size() const { return texts().size(); }
    QString at(qsizetype i) const { return texts().at(i); }
    bool contains(const QString &text) const { return texts().indexOf(text) >= 0; }
    // The entries as texts, made when first asked (a list of a million costs some 70 MB so).
    const QStringList &items() const;
    operator const QStringList &() const { return items(); } // NOLINT

    void clear();
    // The entries will be what reader gives when they are first asked for.
    void setPending(std::function<QStringList()> reader);
    void setPendingTexts(std::function<TextList()> reader);
    // True while the entries have not been read yet.
    bool pending() const;

    // The list model of these entries; it lives as long as this list (and its copies) do.
    QAbstractItemModel *model() const;

    struct Data;

private:
    QSharedDataPointer<Data> d;
};
