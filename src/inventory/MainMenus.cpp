// The command table of the main window and the rules of its menus.
#include "MainMenus.h"

#include "FormLook.h"

#include "Guard.h"
#include "InventoryGrid.h"
#include "Pictures.h"
#include "Settings.h"
#include "TDBGrid.h"
#include "module/uDM.h"

#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QToolBar>
#include <QToolButton>

namespace {

enum class Kind { Menu, Entry, Separator, Check, Radio, Button };

// One entry: where it sits (a menu's name, "MainMenu1", "PopupMenu1" or "ToolBar1"), its
// caption (the hint, for a button), its picture, shortcut and handler.
struct Entry
{
    Kind kind;
    const char *name;
    const char *parent;
    const char *caption = "";
    int image = -1;
    QKeyCombination key = {};
    const char *handler = nullptr;
};

constexpr QKeyCombination none = {};

// In the order the menus and the tool bar show them.
const Entry table[] = {
    {Kind::Menu, "Actions1", "MainMenu1", "&Операции"},
    {Kind::Entry, "Commit1", "Actions1", "По&твърждение", 1, none, "Commit1Click"},
    {Kind::Entry, "Rollback1", "Actions1", "&Опресни         Ctrl+R", 2, none, "Rollback1Click"},
    {Kind::Entry, "Add1", "Actions1", "&Добави           Ins", 3, none, "Add1Click"},
    {Kind::Entry, "Dell1", "Actions1", "&Изтрий           Ctrl+D", 4, none, "Dell1Click"},
    {Kind::Separator, "N7", "Actions1"},
    {Kind::Entry, "ConnectTo1", "Actions1", "&Свързване към база", 12, none, "ConnectTo1Click"},
    {Kind::Entry, "NewBase1", "Actions1", "&Нова база", 27, none, "NewBase1Click"},
    {Kind::Separator, "N1", "Actions1"},
    {Kind::Entry, "Print3", "Actions1", "&Печат", 7, none, "Print3Click"},
    {Kind::Entry, "PrintDlg", "Actions1", "Настройки печат", 22, none, "PrintDlgClick"},
    {Kind::Separator, "N6", "Actions1"},
    {Kind::Entry, "Exit1", "Actions1", "Из&ход", 8, none, "Exit1Click"},

    {Kind::Menu, "Edit1", "MainMenu1", "&Действие"},
    {Kind::Entry, "Copy1", "Edit1", "&Копирай         Ctrl+C", 24, none, "Copy2Click"},
    {Kind::Entry, "Paste1", "Edit1", "&Постави         Ctrl+V", 25, none, "Paste2Click"},
    {Kind::Entry, "Connect1", "Edit1", "&Редакция       Ctrl+E", 6, none, "Connect1Click"},
    {Kind::Entry, "UnDel1", "Edit1", "&Възтанови     Ctrl+U", 26, none, "UnDel2Click"},
    {Kind::Entry, "N2", "Edit1", "Пре&номерирай", 28, none, "N2Click"},
    {Kind::Entry, "Erase1", "Edit1", "Премахни &изтр.", 0, none, "Erase2Click"},
    {Kind::Entry, "History1", "Edit1", "Ис&тория на реда  Ctrl+H", -1, none, "History1Click"},
    {Kind::Separator, "N13", "Edit1"},
    {Kind::Entry, "Compact1", "Edit1", "&Сбиване на базата", 21, none, "Compact1Click"},

    {Kind::Menu, "Tables1", "MainMenu1", "&Таблици"},
    {Kind::Entry, "Users1", "Tables1", "&Потребители", 9, none, "Users1Click"},
    {Kind::Entry, "Models1", "Tables1", "&Модели авт.", 18, none, "Models1Click"},
    {Kind::Entry, "Purged1", "Tables1", "&Изтрити и изчистени редове", -1, none, "Purged1Click"},
    {Kind::Entry, "Import1", "Tables1", "&Вмъкване от файл ...", -1, none, "Import1Click"},
    {Kind::Entry, "UndoImport1", "Tables1", "Отмяна на последното вмъкване", -1, none, "UndoImport1Click"},
    {Kind::Entry, "CheckFitment1", "Tables1", "Проверка на &съвместимостта ...", -1, none, "CheckFitment1Click"},
    {Kind::Menu, "ExportTo1", "Tables1", "&Трансформирай в", 5},
    {Kind::Entry, "Excel1", "ExportTo1", "Excel", -1, none, "Excel1Click"},
    {Kind::Entry, "Html1", "ExportTo1", "Html", -1, none, "Html1Click"},
    {Kind::Entry, "Text1", "ExportTo1", "Text", -1, none, "Text1Click"},

    {Kind::Menu, "Tools1", "MainMenu1", "&Инструменти"},
    {Kind::Entry, "Find1", "Tools1", "&Търси ...", 13, Qt::Key_F3, "Find1Click"},
    {Kind::Separator, "N3", "Tools1"},
    {Kind::Entry, "Settings1", "Tools1", "&Настройки", 14, none, "Settings1Click"},
    {Kind::Separator, "N14", "Tools1"},
    {Kind::Check, "SpeedButtons1", "Tools1", "&Бързи бутони", -1, none, "SpeedButtons1Click"},
    {Kind::Menu, "Language1", "Tools1", "Language", 23},
    {Kind::Radio, "Bulgarian1", "Language1", "Bulgarian", -1, none, "Bulgarian1Click"},
    {Kind::Radio, "English1", "Language1", "English", -1, none, "English1Click"},

    {Kind::Menu, "Help1", "MainMenu1", "&Помощ"},
    {Kind::Entry, "Contents1", "Help1", "&Съдържание", 15, none, "Contents1Click"},
    {Kind::Entry, "About1", "Help1", "&За програмата", 16, none, "About1Click"},
    {Kind::Entry, "Updates1", "Help1", "&Нови версии", 19}, // does nothing

    {Kind::Entry, "Copy2", "PopupMenu1", "Копирай ред", -1, Qt::CTRL | Qt::Key_C, "Copy2Click"},
    {Kind::Entry, "Paste2", "PopupMenu1", "Постави", -1, Qt::CTRL | Qt::Key_V, "Paste2Click"},
    {Kind::Separator, "N4", "PopupMenu1"},
    {Kind::Entry, "N5", "PopupMenu1", "Опресни", -1, Qt::CTRL | Qt::Key_R, "Rollback1Click"},
    {Kind::Entry, "Add2", "PopupMenu1", "Добави", -1, Qt::Key_Insert, "Add1Click"},
    {Kind::Entry, "Change2", "PopupMenu1", "Промени", -1, Qt::CTRL | Qt::Key_E, "Connect1Click"},
    {Kind::Entry, "Dell2", "PopupMenu1", "Изтрий", -1, Qt::CTRL | Qt::Key_D, "Dell1Click"},
    {Kind::Entry, "Save2", "PopupMenu1", "Запис", -1, none, "Commit1Click"},
    {Kind::Entry, "UnDel2", "PopupMenu1", "Възтанови", -1, Qt::CTRL | Qt::Key_U, "UnDel2Click"},
    {Kind::Entry, "Erase2", "PopupMenu1", "Премахни изтр.", -1, none, "Erase2Click"},
    {Kind::Entry, "History2", "PopupMenu1", "История на реда", -1, Qt::CTRL | Qt::Key_H, "History1Click"},
    {Kind::Entry, "Import2", "PopupMenu1", "Вмъкване от файл ...", -1, none, "Import1Click"},
    {Kind::Menu, "ExportTo2", "PopupMenu1", "&Трансформирай в"},
    {Kind::Entry, "Excel2", "ExportTo2", "Excel", -1, none, "Excel1Click"},
    {Kind::Entry, "Html2", "ExportTo2", "Html", -1, none, "Html1Click"},
    {Kind::Entry, "Text2", "ExportTo2", "Text", -1, none, "Text1Click"},

    {Kind::Button, "tbtEdit", "ToolBar1", "Опресни", 1, none, "Rollback1Click"},
    {Kind::Button, "tbtSave", "ToolBar1", "Запис", 2, none, "Commit1Click"},
    {Kind::Button, "tbtFirst", "ToolBar1", "Първи", 3, none, "tbtFirstClick"},
    {Kind::Button, "tbtLast", "ToolBar1", "Последен", 6, none, "tbtLastClick"},
    {Kind::Button, "tbtAdd", "ToolBar1", "Добави", 7, none, "Add1Click"},
    {Kind::Button, "tbtDell", "ToolBar1", "Изтрий", 8, none, "Dell1Click"},
    {Kind::Button, "tbtSearch", "ToolBar1", "Търсене", 9, none, "Find1Click"},
    {Kind::Button, "tbtPrint", "ToolBar1", "Печат", 10, none, "Print3Click"},
    {Kind::Button, "tbtPreviews", "ToolBar1", "Потребители", 0, none, "Users1Click"},
    {Kind::Button, "tbtNext", "ToolBar1", "Модели", 15, none, "Models1Click"},
    {Kind::Button, "tbtSettings", "ToolBar1", "Настройки", 11, none, "Settings1Click"},
    {Kind::Button, "tbtHelp", "ToolBar1", "Помощ", 13, none, "About1Click"},
    {Kind::Button, "tbtReconnect", "ToolBar1", "Редакция", 12, none, "Connect1Click"},
};

bool clipboardHasText()
{
    const QMimeData *m = QGuiApplication::clipboard()->mimeData();
    return m && m->hasText();
}

// A flag of the current row of tblMain; false without a row.
bool currentFlag(const char *field)
{
    TDaoTable *t = DM ? DM->tblMain : nullptr;
    if (!t || !t->Active())
        return false;
    TDaoField *f = t->FindField(QLatin1String(field));
    return f && f->AsBoolean();
}

bool engineOffersExport()
{
    return DM && DM->DataBase->Version() == QLatin1String("3.6");
}

} // namespace

MainMenus::MainMenus(QMainWindow *window, TDBGrid *grid) : QObject(window), mGrid(grid)
{
    build(window);
    setHandler(QStringLiteral("SpeedButtons1Click"), [this] { SpeedButtons1Click(); });
    connect(PopupMenu1, &QMenu::aboutToShow, this, Guard::slot([this] { PopupMenu1Popup(); }));
    // A hidden entry takes no shortcut; the entries are hidden only while the menu is open, so
    // that their keys keep working on the grid.
    connect(PopupMenu1, &QMenu::aboutToHide, this, [this] {
        for (QAction *a : PopupMenu1->actions())
            a->setVisible(true);
    });
    connect(menu(QStringLiteral("Edit1")), &QMenu::aboutToShow, this, Guard::slot([this] { Edit1Click(); }));
    connect(menu(QStringLiteral("Tables1")), &QMenu::aboutToShow, this, [this] {
        // The import and the repair write into the grid's inventory: offered while the grid is.
        for (const char *name : {"Import1", "UndoImport1", "CheckFitment1"})
            action(QLatin1String(name))->setVisible(mGrid->isEnabled() && databaseConnected());
    });
    connect(mGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(mGrid->viewport()->mapToGlobal(pos)); });
}

void MainMenus::build(QMainWindow *window)
{
    MainMenu1 = window->menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    PopupMenu1 = new QMenu(window);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    EmptyPopup = new QMenu(window);
    EmptyPopup->setObjectName(QStringLiteral("EmptyPopup"));

    ToolBar1 = new QToolBar(window);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setFixedWidth(40);
    ToolBar1->setContentsMargins(0, 0, 0, 0);
    // White through the palette, not a style sheet of its own, so that a skin can paint it.
    ToolBar1->setAutoFillBackground(true);
    FormLook::setBackground(ToolBar1, Qt::white);
    ToolBar1->layout()->setSpacing(0);
    ToolBar1->layout()->setContentsMargins(0, 0, 0, 0);
    ToolBar1->toggleViewAction()->setVisible(false);
    window->addToolBar(Qt::LeftToolBarArea, ToolBar1);

    mMenus.insert(QStringLiteral("PopupMenu1"), PopupMenu1);
    auto *languages = new QActionGroup(this);
    for (const Entry &e : table) {
        const QString name = QString::fromLatin1(e.name);
        const QString caption = QString::fromUtf8(e.caption);
        const QString parent = QString::fromLatin1(e.parent);
        const QString handler = e.handler ? QString::fromLatin1(e.handler) : QString();
        if (e.kind == Kind::Button) {
            auto *b = new QToolButton(ToolBar1);
            b->setObjectName(name);
            b->setToolTip(caption);
            b->setIcon(Pictures::toolBarIcon(e.image));
            b->setIconSize(QSize(32, 32));
            b->setFixedSize(40, 39);
            b->setAutoRaise(true);
            b->setFocusPolicy(Qt::NoFocus);
            ToolBar1->addWidget(b);
            if (!handler.isEmpty())
                connect(b, &QToolButton::clicked, this, [this, handler] { run(handler); });
            mButtons.insert(name, b);
            continue;
        }
        QAction *a = nullptr;
        if (e.kind == Kind::Menu) {
            QMenu *m = parent == QLatin1String("MainMenu1") ? MainMenu1->addMenu(caption) : mMenus.value(parent)->addMenu(caption);
            // The menu carries the entry's name; the entry that opens it too, but for the
            // top-level menus, whose entries in the bar are named "<name>Item".
            const bool topLevel = parent == QLatin1String("MainMenu1");
            m->setObjectName(topLevel ? name : name + QStringLiteral("Menu"));
            a = m->menuAction();
            a->setObjectName(topLevel ? name + QStringLiteral("Item") : name);
            mMenus.insert(name, m);
        } else if (e.kind == Kind::Separator) {
            a = mMenus.value(parent)->addSeparator();
            a->setObjectName(name);
        } else {
            a = mMenus.value(parent)->addAction(caption);
            a->setObjectName(name);
            if (!handler.isEmpty())
                connect(a, &QAction::triggered, this, [this, handler] { run(handler); });
        }
        if (e.image >= 0)
            a->setIcon(Pictures::menuIcon(e.image));
        if (e.kind == Kind::Check) {
            a->setCheckable(true);
            a->setChecked(true);
        } else if (e.kind == Kind::Radio) {
            a->setCheckable(true);
            languages->addAction(a);
        }
        if (e.key != none) {
            a->setShortcut(QKeySequence(e.key));
            if (parent == QLatin1String("PopupMenu1")) {
                // The context menu's keys work while the grid or its cell editor has the focus,
                // also inside a cell editor that would take the key for itself.
                a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
                a->setProperty("gridCommand", true);
                mGrid->addAction(a);
            }
        }
        mActions.insert(name, a);
    }
    action(QStringLiteral("Bulgarian1"))->setChecked(true);
}

QAction *MainMenus::action(const QString &name) const
{
    return mActions.value(name);
}

QMenu *MainMenus::menu(const QString &name) const
{
    return mMenus.value(name);
}

QToolButton *MainMenus::button(const QString &name) const
{
    return mButtons.value(name);
}

QStringList MainMenus::mainMenuNames()
{
    QStringList top;
    QStringList names;
    for (const Entry &e : table) {
        const QString parent = QLatin1String(e.parent);
        if (parent == QLatin1String("MainMenu1")) {
            top << QLatin1String(e.name);
            names << QLatin1String(e.name);
        } else if (top.contains(parent)) {
            names << QLatin1String(e.name);
        }
    }
    return names;
}

void MainMenus::setMainMenuCaptions(const std::function<QString(const QString &)> &captionOf)
{
    for (const QString &name : mainMenuNames()) {
        QAction *a = mActions.value(name);
        if (!a)
            continue;
        const QString caption = captionOf(name);
        a->setSeparator(caption == QLatin1String("-"));
        if (caption != QLatin1String("-"))
            a->setText(caption);
    }
}

void MainMenus::setHandler(const QString &handlerName, std::function<void()> handler)
{
    mHandlers.insert(handlerName, std::move(handler));
}

void MainMenus::run(const QString &handlerName)
{
    const std::function<void()> handler = mHandlers.value(handlerName);
    if (handler)
        Guard::run(handler);
}

void MainMenus::PopupMenu1Popup()
{
    action(QStringLiteral("Erase2"))->setVisible(settings().showDeleted());
    if (!databaseConnected())
        return;
    action(QStringLiteral("UnDel2"))->setVisible(currentFlag("deleted"));
    action(QStringLiteral("Save2"))->setVisible(!currentFlag("locked"));
    QAction *copy = action(QStringLiteral("Copy2"));
    QAction *paste = action(QStringLiteral("Paste2"));
    paste->setVisible(clipboardHasText());
    action(QStringLiteral("ExportTo2"))->setVisible(engineOffersExport());
    action(QStringLiteral("Import2"))->setVisible(mGrid->isEnabled());
    // While a cell is being edited, Ctrl+C and Ctrl+V belong to the cell editor.
    if (mGrid->editorOpen()) {
        copy->setText(QStringLiteral("&Копирай      Ctrl+C"));
        paste->setText(QStringLiteral("&Постави      Ctrl+V"));
        copy->setShortcut({});
        paste->setShortcut({});
    } else {
        copy->setText(QStringLiteral("&Копирай ред"));
        paste->setText(QStringLiteral("&Постави ред"));
        copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
        paste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    }
}

void MainMenus::Edit1Click()
{
    action(QStringLiteral("UnDel1"))->setVisible(databaseConnected() && currentFlag("deleted"));
    action(QStringLiteral("Copy1"))->setText(mGrid->editorOpen() ? QStringLiteral("&Копирай        Ctrl+C")
                                                                 : QStringLiteral("&Копирай ред       Ctrl+C"));
    action(QStringLiteral("Paste1"))->setVisible(clipboardHasText());
}

void MainMenus::SpeedButtons1Click()
{
    // The entry has already toggled its check mark.
    QAction *entry = action(QStringLiteral("SpeedButtons1"));
    settings().setSpeedButtons(entry->isChecked());
    settings().SaveSettings();
    ToolBar1->setVisible(entry->isChecked());
}
