// The main window's frame and lifecycle: the panel with the inventory grid, the progress and
// status bars, the first show (connecting the database and applying the settings), the size
// limits and closing; and the commands that only open another window. The grid's handlers, the
// record commands and the menus belong to the inventory classes this window holds; every
// handler keeps its name there, bound to its menu entries and tool buttons by that name.
#pragma once

#include <QMainWindow>

class InventoryGrid;
class MainMenus;
class QAction;
class QFrame;
class QMenu;
class QMenuBar;
class QProgressBar;
class QLabel;
class QStatusBar;
class QToolBar;
class QToolButton;
class RecordCommands;
class DatabaseFiles;
class ExportCommands;
class RowClipboard;
class TDBGrid;

class TfVelostok : public QMainWindow
{
    Q_OBJECT

public:
    explicit TfVelostok(QWidget *parent = nullptr);
    ~TfVelostok() override;

    static constexpr int MinimumWidth = 250;
    static constexpr int DesignWidth = 800;
    static constexpr int DesignHeight = 562;

    QFrame *Panel1;
    TDBGrid *DBGrid1;
    QProgressBar *ProgressBar1;
    QStatusBar *StatusBar1;
    QLabel *lblFitment; // how many rows a fitment search found
    QLabel *lblOthers;  // how many rows another counter changed, for a few seconds
    static constexpr int OthersShownMs = 6000;
    QToolBar *ToolBar1;
    QMenuBar *MainMenu1;
    QMenu *PopupMenu1;
    QMenu *EmptyPopup;

    // The owners of the grid's handlers, the record commands and the menus.
    InventoryGrid *Inventory;
    RecordCommands *Records;
    RowClipboard *Clipboard; // copy and paste of rows and cells
    DatabaseFiles *Files;
    ExportCommands *Exports; // the rows of the view to a spreadsheet, HTML or text file // new database, connect to, compaction, the archive copy
    MainMenus *Commands;
    // A menu entry by its name; a tool button by its name.
    QAction *action(const QString &name) const;
    QToolButton *button(const QString &name) const;

    // The first show has run to its end (or stopped at a failure).
    bool firstShowFinished() const { return mFirstShowFinished; }
    // The minimum outer height: 0 until the window is first shown.
    int minimumHeight() const { return mMinHeight; }

    // Closes and reopens the configured database and every dataset; reports its own failure.
    // An engine version that cannot be started raises to the caller.
    void ConnectDatabase();
    void ApplyFilter(const QString &filter);
    void RefreshPickLists();

    // What the settings decide on the main window: the deleted-rows filter, the export and
    // language menus, the special columns and the tool bar. At the first show in that order;
    // confirmed in the settings window, with the database reconnected after the filter and the
    // tool bar before the columns and menus. A step that raises abandons those after it.
    enum class Apply { FirstShow, Confirmed };
    void applySettings(Apply when);

    void FormShow();
    void FormResize();
    void FormCloseQuery(bool &canClose);
    void FormClose();

    void Models1Click();
    void Settings1Click();
    void Find1Click();
    void Print3Click();
    void Contents1Click();
    // The main menu's captions from the language's caption file; nothing when there is none.
    void LoadMenuCaptions(const QString &language);
    void Bulgarian1Click();
    void English1Click();
    void PrintDlgClick();
    void About1Click();
    void Exit1Click();
    void Users1Click();
    // The history of the current row; the purged rows.
    void History1Click();
    void Purged1Click();
    // The import from a file; its undo.
    void Import1Click();
    void UndoImport1Click();
    void CheckFitment1Click();
    void storePendingRow();
    void pruneHistory();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool mClosing = false;

private:
    void setupUi();
    void bindHandlers();
    // Runs act once the user is not in the middle of something: no modal window, no row being
    // edited, the window enabled.
    void whenIdle(const std::function<void()> &act);

    int mMinHeight = 0;
    bool mFirstShown = false;
    bool mFirstShowFinished = false;
    bool mResizing = false;
};

extern TfVelostok *fVelostok;
