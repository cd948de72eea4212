// The main window: the inventory grid with its tool bar, menus, progress and status bars; its
// first show connects the database; closing it ends the program.
#pragma once

#include <QMainWindow>

class QAction;
class QKeyEvent;
class QFrame;
class QMenu;
class QProgressBar;
class QStatusBar;
class QToolBar;
class QToolButton;
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

    QToolBar *ToolBar1;
    QToolButton *tbtEdit, *tbtSave, *tbtFirst, *tbtLast, *tbtAdd, *tbtDell, *tbtSearch, *tbtPrint,
        *tbtPreviews, *tbtNext, *tbtSettings, *tbtHelp, *tbtReconnect;
    QFrame *Panel1;
    TDBGrid *DBGrid1;
    QProgressBar *ProgressBar1;
    QStatusBar *StatusBar1;

    QMenuBar *MainMenu1;
    QMenu *Actions1, *Edit1, *Tables1, *Tools1, *Help1, *ExportTo1Menu, *Language1Menu;
    QAction *Commit1, *Rollback1, *Add1, *Dell1, *N7, *ConnectTo1, *NewBase1, *N1, *Print3, *PrintDlg,
        *N6, *Exit1;
    QAction *Copy1, *Paste1, *Connect1, *UnDel1, *N2, *Erase1, *N13, *Compact1;
    QAction *Users1, *Models1, *ExportTo1, *Excel1, *Html1, *Text1;
    QAction *Find1, *N3, *Settings1, *N14, *SpeedButtons1, *Language1, *Bulgarian1, *English1;
    QAction *Contents1, *About1, *Updates1;

    QMenu *PopupMenu1;
    QAction *Copy2, *Paste2, *N4, *N5, *Add2, *Change2, *Dell2, *Save2, *UnDel2, *Erase2, *ExportTo2,
        *Excel2, *Html2, *Text2;
    QMenu *ExportTo2Menu;
    QMenu *EmptyPopup;

    // The first show has run to its end (or stopped at a failure).
    bool firstShowFinished() const { return mFirstShowFinished; }
    // The minimum outer height: 0 until the window is first shown.
    int minimumHeight() const { return mMinHeight; }
    // The fields the special columns show, and their positions when no column shows them.
    static const QStringList &specialFields();
    // The columns whose pick lists the data fills (unit_number, unit_name, deliver_name).
    static const QStringList &dataPickListFields();
    // Finds the special columns by field name (last match wins), with the fallback positions.
    QList<int> specialColumns() const;
    // Shows or hides the special columns; raises when the grid has too few columns.
    void showSpecialColumns(bool visible);

    // Closes and reopens the configured database and every dataset; reports its own failure.
    // An engine version that cannot be started raises to the caller.
    void ConnectDatabase();
    // Shows only the rows that satisfy a filter text; empty shows all.
    void ApplyFilter(const QString &filter);
    // Refreshes the shown rows and rebuilds the pick lists.
    void RefreshPickLists();

    void FormShow();
    void FormResize();
    void FormCloseQuery(bool &canClose);
    void FormClose();

    void PopupMenu1Popup();
    void Edit1Click();

    void Models1Click();
    void Settings1Click();
    void Find1Click();
    void About1Click();
    void Exit1Click();
    void SpeedButtons1Click();
    void tbtFirstClick();
    void tbtLastClick();
    void Connect1Click();
    void Users1Click();

    // Record commands.
    void Add1Click();
    void Dell1Click();
    void UnDel2Click();
    void Rollback1Click();
    void Commit1Click();
    void Erase2Click();
    void N2Click();
    // Rows of a table, counted in the database; 0 when closed or on failure.
    int CountRows(const QString &table);

    // The grid's handlers.
    QColor DBGrid1DrawColumnCell(int row, bool selected, const QColor &drawn) const;
    bool DBGrid1KeyPress(QKeyEvent *event);
    void DBGrid1CellClick(int row, int column);
    void DBGrid1TitleClick(int column);

    // Commands that need the database test this first and otherwise do nothing.
    bool connected() const;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setupUi();
    void setupMenus();
    void setupToolBar();
    void setupGrid();

    int mMinHeight = 0;
    bool mFirstShown = false;
    bool mFirstShowFinished = false;
    bool mResizing = false;
};

extern TfVelostok *fVelostok;
// Set when the main window is first shown, before the database is connected; never cleared.
extern bool MainWindowShown;
