// The drop-down list of a grid column. A list can be given its entries, or a way to read them
// when someone first looks: the inventory's lists can hold nearly a million catalogue numbers,
// and a list nobody opens need not be read. Copies share the entries; changing one copy does
// not change the others.
//
// model() is one list model over the entries, shared by every box that shows the list (the
// grid's drop-down cells, the editor's boxes): it reads a pending list when a box asks for its
// rows, and tells its boxes when the entries change.
#pragma once

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

    // The entries; a pending list reads them now (and keeps them).
    const QStringList &items() const;
    bool isEmpty() const { return items().isEmpty(); }
    qsizetype size() const { return items().size(); }
    QString at(qsizetype i) const { return items().at(i); }
    operator const QStringList &() const { return items(); } // NOLINT

    void clear();
    // The entries will be what reader gives when they are first asked for.
    void setPending(std::function<QStringList()> reader);
    // True while the entries have not been read yet.
    bool pending() const;

    bool contains(const QString &text) const { return items().contains(text); }

    // The list model of these entries; it lives as long as this list (and its copies) do.
    QAbstractItemModel *model() const;

    struct Data;

private:
    QSharedDataPointer<Data> d;
};
