// How the other windows reach the main window's inventory grid: its filter, its drop-down lists,
// its current row and its columns. The main window installs itself at start-up.
#pragma once

#include <QByteArray>
#include <QString>

class TDBGrid;
class TDaoTable;

class MainGrid
{
public:
    virtual ~MainGrid() = default;

    // Shows only the rows that satisfy a filter text (an empty text shows all); the first row
    // becomes current and the sort stays. Raises for a filter the dataset refuses.
    virtual void ApplyFilter(const QString &filter) = 0;
    // Refreshes the shown rows (a pending edit is posted) and rebuilds the drop-down lists.
    virtual void RefreshPickLists() = 0;
    // The grid: its column set with the pick lists, its enabled and read-only state.
    virtual TDBGrid *grid() const = 0;
    // The inventory dataset; its current row is the grid's current row.
    virtual TDaoTable *dataSet() const = 0;
    // The columns as the layout file keeps them.
    virtual QByteArray savedLayout() const = 0;
    // Lays the columns out as a stored layout has them; a damaged one is ignored.
    virtual void restoreLayout(const QByteArray &stored) = 0;
};

// The installed main grid, or nullptr before the main window exists.
MainGrid *mainGrid();
void setMainGrid(MainGrid *grid);
