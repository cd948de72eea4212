// The record commands of the main window: add, edit in the record editor, mark deleted, restore,
// refresh, commit (lock every row), purge the deleted rows and renumber the shown rows.
// Each does nothing when the connection is closed (and the grid-bound ones when the grid is
// disabled); failures of the database reach the caller as DaoError unless the command tells
// its own message.
#pragma once

#include <QObject>
#include <exception>
#include <functional>

class InventoryGrid;
class QProgressBar;
class TDaoTable;
class QWidget;

class RecordCommands : public QObject
{
    Q_OBJECT

public:
    // window is disabled while renumbering runs; progress shows how far it is.
    RecordCommands(InventoryGrid *grid, QWidget *window, QProgressBar *progress, QObject *parent = nullptr);

    void Add1Click();
    void Connect1Click();
    void Dell1Click();
    void UnDel2Click();
    void Rollback1Click();
    void Commit1Click();
    void Erase2Click();
    void N2Click();
    // Rows of a table, counted in the database; 0 when closed or on failure.
    int CountRows(const QString &table);

    // Shows the record editor modally on the current row (filled by the shell).
    std::function<void()> showEditor;

private:
    // The renumbering loop under bulk mode; a failure to end bulk mode goes to endError.
    void renumberRows(TDaoTable *t, std::exception_ptr &endError);

    InventoryGrid *mGrid;
    QWidget *mWindow;
    QProgressBar *mProgress;
};
