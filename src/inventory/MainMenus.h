// The main window's commands as the user reaches them: the main menu MainMenu1, the grid's
// context menu PopupMenu1 (whose entries carry the keyboard shortcuts) and the tool bar
// ToolBar1, all made from one table that names each entry's handler. A handler is bound by its
// name (setHandler("Commit1Click", ...)); an entry whose handler is not bound does nothing.
// Also the rules that show, hide, caption and check entries as the context menu and the
// "&Действие" menu open, and the tool bar switch.
#pragma once

#include <QHash>
#include <QObject>
#include <functional>

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class QToolBar;
class QToolButton;
class TDBGrid;

class MainMenus : public QObject
{
    Q_OBJECT

public:
    // Adds the menu bar and the tool bar to window; the context menu belongs to grid.
    MainMenus(QMainWindow *window, TDBGrid *grid);

    QMenuBar *MainMenu1;
    QMenu *PopupMenu1;
    QToolBar *ToolBar1;
    // A context menu without entries, for boxes that offer none.
    QMenu *EmptyPopup;

    // An entry of either menu by its name (for a submenu, the entry that opens it), or nullptr.
    QAction *action(const QString &name) const;
    QMenu *menu(const QString &name) const;
    QToolButton *button(const QString &name) const;

    void setHandler(const QString &handlerName, std::function<void()> handler);

    // Gives each top-level entry of the main menu and each of its direct sub-entries the caption
    // that captionOf gives for its name (a null text when it has none: the caption is emptied);
    // "-" makes the entry a separator line. Deeper entries are left as they are.
    void setMainMenuCaptions(const std::function<QString(const QString &name)> &captionOf);
    // The names of those entries, in menu order.
    static QStringList mainMenuNames();

    void PopupMenu1Popup();
    void Edit1Click();
    void SpeedButtons1Click();

private:
    void build(QMainWindow *window);
    void run(const QString &handlerName);

    TDBGrid *mGrid;
    QHash<QString, std::function<void()>> mHandlers;
    QHash<QString, QAction *> mActions;
    QHash<QString, QMenu *> mMenus;
    QHash<QString, QToolButton *> mButtons;
};
