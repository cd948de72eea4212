// The main window's inventory grid: its columns and look, the colours of locked and deleted rows,
// the keys and clicks it handles, sorting by a column title, the first/last buttons, and the two
// operations the other windows call through MainGrid: ApplyFilter and RefreshPickLists, and its
// layout as the settings keep it.
#pragma once

#include "MainGrid.h"
#include "TColumn.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>

class QKeyEvent;
class TDBGrid;
class TDaoTable;

class InventoryGrid : public QObject, public MainGrid
{
    Q_OBJECT

public:
    // Lays out grid (the main window's DBGrid1) as the form has it and binds it to srcMain.
    InventoryGrid(TDBGrid *grid, QObject *parent = nullptr);
    ~InventoryGrid() override;

    // The columns as laid out in the form.
    static QList<TColumn> formColumns();
    // The fields the special columns show; with no column for one, the positions 10, 11, 12.
    static const QStringList &specialFields();
    // The columns whose pick lists the data fills; with no column for one, 1, 2, 7.
    static const QStringList &dataPickListFields();

    // MainGrid
    void ApplyFilter(const QString &filter) override;
    void RefreshPickLists() override;
    // Others changed the inventory: the grid's pick lists are read again when next looked at
    // (not while a cell editor shows one: once it closes).
    void followOthers();
    TDBGrid *grid() const override { return mGrid; }
    TDaoTable *dataSet() const override;
    QByteArray savedLayout() const override;
    void restoreLayout(const QByteArray &stored) override;

    // The special columns by field name (the last match wins), else their fallback positions.
    QList<int> specialColumns() const;
    // Shows or hides them; raises when the grid has too few columns for a fallback position.
    void showSpecialColumns(bool visible);

    QColor DBGrid1DrawColumnCell(int row, bool selected, const QColor &drawn) const;
    bool DBGrid1KeyPress(QKeyEvent *event);
    void DBGrid1CellClick(int row, int column);
    void DBGrid1TitleClick(int column);
    void tbtFirstClick();
    void tbtLastClick();

    // Opens the current row in the record editor (Enter, double click): the record command.
    std::function<void()> editRecord;

signals:
    // After each filter applied: how many parts fit the car a fitment search asked for, else empty.
    void fitmentFound(const QString &text);

private:
    // The three lists made pending; later: their queries re-queried only when first looked at.
    void readPickLists(bool later);

    TDBGrid *mGrid;
    bool mPickListsStale = false;
};

// Commands that need the database test this first and otherwise do nothing.
bool databaseConnected();
