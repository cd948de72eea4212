#include "uVelostok.h"

#include "DaoError.h"
#include "Guard.h"
#include "Paths.h"
#include "Pictures.h"
#include "Prompts.h"
#include "TDBGrid.h"
#include "uAbout.h"
#include "uDM.h"
#include "uModels.h"
#include "uSearchForm.h"
#include "uSettings.h"
#include "ueditor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

TfVelostok *fVelostok = nullptr;
bool MainWindowShown = false;

namespace {

const QColor FormColour(248, 248, 248);

QFont sansSerif(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// The grid's columns as laid out in the form.
QList<TColumn> formColumns()
{
    struct C
    {
        const char *field;
        const char *title;
        int width;
        bool blue;
    };
    static const C cols[] = {
        {"user_id", " №", 35, false},
        {"unit_number", "Кат.№", 78, false},
        {"unit_name", "Наименованние", 227, false},
        {"quantity", "Кол.", 30, false},
        {"price", "Цена", 44, false},
        {"second_price", "Ц.-едро", 53, false},
        {"comment", "Съвместимост", 242, false},
        {"deliver_name", "Доставчик", 80, false},
        {"delivery_unit_number", "№ при доставчика", 119, false},
        {"delivery_country", "Производител", 100, false},
        {"last_modified", "Последна промяна", 124, true},
        {"modifier", "Променил", 69, true},
        {"deleted", "Изтрит", 55, true},
    };
    QList<TColumn> out;
    for (const C &c : cols) {
        TColumn col;
        col.FieldName = QString::fromUtf8(c.field);
        col.Title = QString::fromUtf8(c.title);
        col.Width = c.width;
        col.TitleAlignment = Qt::AlignHCenter;
        col.TitleFont = sansSerif(11, true);
        col.TitleColor = c.blue ? QColor(0, 0, 255) : QColor(0, 0, 0);
        col.Font = sansSerif(11);
        out << col;
    }
    return out;
}

} // namespace

TfVelostok::TfVelostok(QWidget *parent) : QMainWindow(parent)
{
    setupUi();
}

TfVelostok::~TfVelostok()
{
    if (DM)
        DM->RefreshPickLists = nullptr;
    if (fVelostok == this)
        fVelostok = nullptr;
}

void TfVelostok::setupUi()
{
    setObjectName(QStringLiteral("fVelostok"));
    setWindowTitle(QStringLiteral("Velostok 1.4"));
    setFont(sansSerif(11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, FormColour);
    setPalette(pal);
    setAutoFillBackground(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setAutoFillBackground(true);
    Panel1->setPalette(pal);
    auto *layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    setupGrid();
    layout->addWidget(DBGrid1, 1);

    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setFixedHeight(20);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();
    layout->addWidget(ProgressBar1);

    StatusBar1 = new QStatusBar(Panel1);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(false);
    layout->addWidget(StatusBar1);
    setCentralWidget(Panel1);

    EmptyPopup = new QMenu(this);
    EmptyPopup->setObjectName(QStringLiteral("EmptyPopup"));

    setupToolBar();
    setupMenus();

    resize(DesignWidth, DesignHeight);
}

void TfVelostok::setupGrid()
{
    DBGrid1 = new TDBGrid(Panel1);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setFont(sansSerif(11));
    QPalette gp = DBGrid1->palette();
    gp.setColor(QPalette::Base, QColor(192, 192, 192));
    gp.setColor(QPalette::Text, QColor(255, 83, 83));
    gp.setColor(QPalette::Button, QColor(227, 228, 234));
    gp.setColor(QPalette::Window, QColor(227, 228, 234));
    DBGrid1->setPalette(gp);
    DBGrid1->horizontalHeader()->setPalette(gp);
    DBGrid1->verticalHeader()->setPalette(gp);
    DBGrid1->setColumns(formColumns());
    if (DM) {
        DBGrid1->setDataSource(DM->srcMain);
        DM->RefreshPickLists = [this] { RefreshPickLists(); };
    }
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    DBGrid1->cellTextColour = [this](int row, bool selected, const QColor &drawn) {
        return DBGrid1DrawColumnCell(row, selected, drawn);
    };
    DBGrid1->keyPress = [this](QKeyEvent *e) { return DBGrid1KeyPress(e); };
    connect(DBGrid1, &TDBGrid::cellClicked, this, Guard::slot([this](int row, int col) { DBGrid1CellClick(row, col); }));
    connect(DBGrid1, &TDBGrid::titleClicked, this, [this](int col) { Guard::run([&] { DBGrid1TitleClick(col); }); });
    connect(DBGrid1, &QAbstractItemView::doubleClicked, this, Guard::slot([this] { Connect1Click(); }));
}

namespace {

// Whether a row of tblMain is locked or deleted, read without moving the current row.
bool rowFlag(int row, const char *field)
{
    TDaoTable *t = DM ? DM->tblMain : nullptr;
    if (!t || !t->Active())
        return false;
    TDaoField *f = t->FindField(QLatin1String(field));
    try {
        return f && t->rowValue(row, f->Index()).toBool();
    } catch (const DaoError &) {
        return false; // a failed read while painting is told by the grid's model
    }
}

// The grid row of the current row: a new row sits after the last one.
int currentGridRow()
{
    TDaoTable *t = DM->tblMain;
    if (!t->Active())
        return -1;
    return t->State() == TDaoTable::dsInsert ? t->RecordCount() : t->RecNo();
}

} // namespace

QColor TfVelostok::DBGrid1DrawColumnCell(int row, bool, const QColor &drawn) const
{
    if (DM && DM->BulkUpdate)
        return drawn;
    // Deletion wins over locking; both show also in a selected cell.
    if (rowFlag(row, "deleted"))
        return QColor(255, 255, 255);
    if (rowFlag(row, "locked"))
        return QColor(0, 0, 0);
    return drawn;
}

bool TfVelostok::DBGrid1KeyPress(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        return false; // Esc ends an edit on any row
    const int row = currentGridRow();
    if (fSettings->cbxPassByChange->isChecked() && row >= 0 && (rowFlag(row, "locked") || rowFlag(row, "deleted")))
        return true; // protected rows cannot be typed into
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !DBGrid1->editorOpen()) {
        Connect1Click();
        return true;
    }
    return false;
}

void TfVelostok::DBGrid1CellClick(int row, int)
{
    if (fSettings->cbxPassByChange->isChecked()) {
        if (rowFlag(row, "locked") || rowFlag(row, "deleted"))
            DBGrid1->setReadOnly(true);
    } else {
        DBGrid1->setReadOnly(false);
    }
}

void TfVelostok::DBGrid1TitleClick(int column)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore
    {
        ~Restore() { QApplication::restoreOverrideCursor(); }
    } restore;
    if (!connected() || column < 0 || column >= DBGrid1->Columns().size())
        return;
    TDaoTable *t = DM->tblMain;
    t->SortedBy() = QStringList{QLatin1Char('[') + DBGrid1->Columns().at(column).FieldName + QStringLiteral("] ASC")};
    t->ApplySort();
}

void TfVelostok::Connect1Click()
{
    if (!DBGrid1->isEnabled() || !connected())
        return;
    if (DM->tblMain->FieldByName(QStringLiteral("id"))->IsNull())
        return;
    prompts().showModal(fEditor);
    DM->tblMain->Requery();
}

void TfVelostok::setupToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setFixedWidth(40);
    ToolBar1->setContentsMargins(0, 0, 0, 0);
    ToolBar1->setStyleSheet(QStringLiteral(
        "QToolBar#ToolBar1 { background: white; border: none; padding: 0px; spacing: 0px; }"
        "QToolBar#ToolBar1 QToolButton { border: none; margin: 0px; padding: 0px; }"));
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::LeftToolBarArea, ToolBar1);

    struct B
    {
        QToolButton **button;
        const char *name;
        const char *hint;
        int image;
    };
    const B buttons[] = {
        {&tbtEdit, "tbtEdit", "Опресни", 1},       {&tbtSave, "tbtSave", "Запис", 2},
        {&tbtFirst, "tbtFirst", "Първи", 3},        {&tbtLast, "tbtLast", "Последен", 6},
        {&tbtAdd, "tbtAdd", "Добави", 7},           {&tbtDell, "tbtDell", "Изтрий", 8},
        {&tbtSearch, "tbtSearch", "Търсене", 9},    {&tbtPrint, "tbtPrint", "Печат", 10},
        {&tbtPreviews, "tbtPreviews", "Потребители", 0}, {&tbtNext, "tbtNext", "Модели", 15},
        {&tbtSettings, "tbtSettings", "Настройки", 11}, {&tbtHelp, "tbtHelp", "Помощ", 13},
        {&tbtReconnect, "tbtReconnect", "Редакция", 12},
    };
    for (const B &b : buttons) {
        auto *t = new QToolButton(ToolBar1);
        t->setObjectName(QString::fromLatin1(b.name));
        t->setToolTip(QString::fromUtf8(b.hint));
        t->setIcon(Pictures::toolBarIcon(b.image));
        t->setIconSize(QSize(32, 32));
        t->setFixedSize(40, 39);
        t->setAutoRaise(true);
        t->setFocusPolicy(Qt::NoFocus);
        ToolBar1->addWidget(t);
        *b.button = t;
    }

    connect(tbtFirst, &QToolButton::clicked, this, Guard::slot([this] { tbtFirstClick(); }));
    connect(tbtLast, &QToolButton::clicked, this, Guard::slot([this] { tbtLastClick(); }));
    connect(tbtSearch, &QToolButton::clicked, this, Guard::slot([this] { Find1Click(); }));
    connect(tbtNext, &QToolButton::clicked, this, Guard::slot([this] { Models1Click(); }));
    connect(tbtSettings, &QToolButton::clicked, this, Guard::slot([this] { Settings1Click(); }));
    connect(tbtHelp, &QToolButton::clicked, this, Guard::slot([this] { About1Click(); }));
    connect(tbtReconnect, &QToolButton::clicked, this, Guard::slot([this] { Connect1Click(); }));
    connect(tbtEdit, &QToolButton::clicked, this, Guard::slot([this] { Rollback1Click(); }));
    connect(tbtSave, &QToolButton::clicked, this, Guard::slot([this] { Commit1Click(); }));
    connect(tbtAdd, &QToolButton::clicked, this, Guard::slot([this] { Add1Click(); }));
    connect(tbtDell, &QToolButton::clicked, this, Guard::slot([this] { Dell1Click(); }));
    connect(tbtPreviews, &QToolButton::clicked, this, Guard::slot([this] { Users1Click(); }));
}

void TfVelostok::setupMenus()
{
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    auto menu = [this](QMenu *parent, const char *name, const char *caption) {
        QMenu *m = parent ? parent->addMenu(QString::fromUtf8(caption)) : MainMenu1->addMenu(QString::fromUtf8(caption));
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Item"));
        return m;
    };
    auto entry = [](QMenu *m, const char *name, const char *caption, int image) {
        QAction *a = m->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        if (image >= 0)
            a->setIcon(Pictures::menuIcon(image));
        return a;
    };
    auto separator = [](QMenu *m, const char *name) {
        QAction *a = m->addSeparator();
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };

    Actions1 = menu(nullptr, "Actions1", "&Операции");
    Commit1 = entry(Actions1, "Commit1", "По&твърждение", 1);
    Rollback1 = entry(Actions1, "Rollback1", "&Опресни         Ctrl+R", 2);
    Add1 = entry(Actions1, "Add1", "&Добави           Ins", 3);
    Dell1 = entry(Actions1, "Dell1", "&Изтрий           Ctrl+D", 4);
    N7 = separator(Actions1, "N7");
    ConnectTo1 = entry(Actions1, "ConnectTo1", "&Свързване към база", 12);
    NewBase1 = entry(Actions1, "NewBase1", "&Нова база", 27);
    N1 = separator(Actions1, "N1");
    Print3 = entry(Actions1, "Print3", "&Печат", 7);
    PrintDlg = entry(Actions1, "PrintDlg", "Настройки печат", 22);
    N6 = separator(Actions1, "N6");
    Exit1 = entry(Actions1, "Exit1", "Из&ход", 8);

    Edit1 = menu(nullptr, "Edit1", "&Действие");
    Copy1 = entry(Edit1, "Copy1", "&Копирай         Ctrl+C", 24);
    Paste1 = entry(Edit1, "Paste1", "&Постави         Ctrl+V", 25);
    Connect1 = entry(Edit1, "Connect1", "&Редакция       Ctrl+E", 6);
    UnDel1 = entry(Edit1, "UnDel1", "&Възтанови     Ctrl+U", 26);
    N2 = entry(Edit1, "N2", "Пре&номерирай", 28);
    Erase1 = entry(Edit1, "Erase1", "Премахни &изтр.", 0);
    N13 = separator(Edit1, "N13");
    Compact1 = entry(Edit1, "Compact1", "&Сбиване на базата", 21);

    Tables1 = menu(nullptr, "Tables1", "&Таблици");
    Users1 = entry(Tables1, "Users1", "&Потребители", 9);
    Models1 = entry(Tables1, "Models1", "&Модели авт.", 18);
    ExportTo1Menu = menu(Tables1, "ExportTo1Menu", "&Трансформирай в");
    ExportTo1 = ExportTo1Menu->menuAction();
    ExportTo1->setObjectName(QStringLiteral("ExportTo1"));
    ExportTo1->setIcon(Pictures::menuIcon(5));
    Excel1 = entry(ExportTo1Menu, "Excel1", "Excel", -1);
    Html1 = entry(ExportTo1Menu, "Html1", "Html", -1);
    Text1 = entry(ExportTo1Menu, "Text1", "Text", -1);

    Tools1 = menu(nullptr, "Tools1", "&Инструменти");
    Find1 = entry(Tools1, "Find1", "&Търси ...", 13);
    Find1->setShortcut(QKeySequence(Qt::Key_F3));
    N3 = separator(Tools1, "N3");
    Settings1 = entry(Tools1, "Settings1", "&Настройки", 14);
    N14 = separator(Tools1, "N14");
    SpeedButtons1 = entry(Tools1, "SpeedButtons1", "&Бързи бутони", -1);
    SpeedButtons1->setCheckable(true);
    SpeedButtons1->setChecked(true);
    Language1Menu = menu(Tools1, "Language1Menu", "Language");
    Language1 = Language1Menu->menuAction();
    Language1->setObjectName(QStringLiteral("Language1"));
    Language1->setIcon(Pictures::menuIcon(23));
    auto *languages = new QActionGroup(this);
    Bulgarian1 = entry(Language1Menu, "Bulgarian1", "Bulgarian", -1);
    English1 = entry(Language1Menu, "English1", "English", -1);
    for (QAction *a : {Bulgarian1, English1}) {
        a->setCheckable(true);
        languages->addAction(a);
    }
    Bulgarian1->setChecked(true);

    Help1 = menu(nullptr, "Help1", "&Помощ");
    Contents1 = entry(Help1, "Contents1", "&Съдържание", 15);
    About1 = entry(Help1, "About1", "&За програмата", 16);
    Updates1 = entry(Help1, "Updates1", "&Нови версии", 19);

    // The grid's context menu; its shortcuts work while the grid or its cell editor has focus.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto popup = [this](const char *name, const char *caption, const QKeySequence &key) {
        QAction *a = PopupMenu1->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            DBGrid1->addAction(a);
        }
        return a;
    };
    Copy2 = popup("Copy2", "Копирай ред", QKeySequence(Qt::CTRL | Qt::Key_C));
    Paste2 = popup("Paste2", "Постави", QKeySequence(Qt::CTRL | Qt::Key_V));
    N4 = PopupMenu1->addSeparator();
    N4->setObjectName(QStringLiteral("N4"));
    N5 = popup("N5", "Опресни", QKeySequence(Qt::CTRL | Qt::Key_R));
    Add2 = popup("Add2", "Добави", QKeySequence(Qt::Key_Insert));
    Change2 = popup("Change2", "Промени", QKeySequence(Qt::CTRL | Qt::Key_E));
    Dell2 = popup("Dell2", "Изтрий", QKeySequence(Qt::CTRL | Qt::Key_D));
    Save2 = popup("Save2", "Запис", {});
    UnDel2 = popup("UnDel2", "Възтанови", QKeySequence(Qt::CTRL | Qt::Key_U));
    Erase2 = popup("Erase2", "Премахни изтр.", {});
    ExportTo2Menu = PopupMenu1->addMenu(QStringLiteral("&Трансформирай в"));
    ExportTo2Menu->setObjectName(QStringLiteral("ExportTo2Menu"));
    ExportTo2 = ExportTo2Menu->menuAction();
    ExportTo2->setObjectName(QStringLiteral("ExportTo2"));
    for (auto [ptr, name] : {std::pair{&Excel2, "Excel2"}, std::pair{&Html2, "Html2"}, std::pair{&Text2, "Text2"}}) {
        *ptr = ExportTo2Menu->addAction(QString::fromLatin1(name).chopped(1));
        (*ptr)->setObjectName(QString::fromLatin1(name));
    }
    connect(PopupMenu1, &QMenu::aboutToShow, this, Guard::slot([this] { PopupMenu1Popup(); }));
    // A hidden action takes no shortcut; the entries are hidden only while the menu is open, so
    // that their keys keep working on the grid.
    connect(PopupMenu1, &QMenu::aboutToHide, this, [this] {
        for (QAction *a : PopupMenu1->actions())
            a->setVisible(true);
    });
    connect(Edit1, &QMenu::aboutToShow, this, Guard::slot([this] { Edit1Click(); }));
    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(pos)); });

    connect(Models1, &QAction::triggered, this, Guard::slot([this] { Models1Click(); }));
    connect(Settings1, &QAction::triggered, this, Guard::slot([this] { Settings1Click(); }));
    connect(Find1, &QAction::triggered, this, Guard::slot([this] { Find1Click(); }));
    connect(About1, &QAction::triggered, this, Guard::slot([this] { About1Click(); }));
    connect(Exit1, &QAction::triggered, this, Guard::slot([this] { Exit1Click(); }));
    // Each command's entries in the main menu and in the grid's context menu.
    const std::pair<QList<QAction *>, void (TfVelostok::*)()> commands[] = {
        {{Connect1, Change2}, &TfVelostok::Connect1Click},
        {{Commit1, Save2}, &TfVelostok::Commit1Click},
        {{Rollback1, N5}, &TfVelostok::Rollback1Click},
        {{Add1, Add2}, &TfVelostok::Add1Click},
        {{Dell1, Dell2}, &TfVelostok::Dell1Click},
        {{UnDel1, UnDel2}, &TfVelostok::UnDel2Click},
        {{N2}, &TfVelostok::N2Click},
        {{Erase1, Erase2}, &TfVelostok::Erase2Click},
        {{Users1}, &TfVelostok::Users1Click},
    };
    for (const auto &[actions, handler] : commands)
        for (QAction *a : actions) {
            connect(a, &QAction::triggered, this, Guard::slot([this, h = handler] { (this->*h)(); }));
            a->setProperty("gridCommand", true); // its shortcut works also inside a cell editor
        }
    connect(SpeedButtons1, &QAction::triggered, this, Guard::slot([this] { SpeedButtons1Click(); }));
}

const QStringList &TfVelostok::specialFields()
{
    static const QStringList f{QStringLiteral("last_modified"), QStringLiteral("modifier"), QStringLiteral("deleted")};
    return f;
}

const QStringList &TfVelostok::dataPickListFields()
{
    static const QStringList f{QStringLiteral("unit_number"), QStringLiteral("unit_name"), QStringLiteral("deliver_name")};
    return f;
}

QList<int> TfVelostok::specialColumns() const
{
    QList<int> cols;
    for (int i = 0; i < specialFields().size(); ++i)
        cols << DBGrid1->columnOfField(specialFields().at(i), 10 + i);
    return cols;
}

void TfVelostok::showSpecialColumns(bool visible)
{
    const QList<int> cols = specialColumns();
    for (int c : cols)
        if (c >= DBGrid1->Columns().size())
            throw DaoError(QStringLiteral("List index out of bounds (%1)").arg(c));
    for (int c : cols)
        DBGrid1->setColumnVisible(c, visible);
    DBGrid1->viewport()->update();
}

bool TfVelostok::connected() const
{
    return DM && DM->DataBase->Connected();
}

void TfVelostok::ConnectDatabase()
{
    TDaoDatabase *db = DM->DataBase;
    db->Close();

    const QString templ = Paths::fromProgramDir(QStringLiteral("../Sys/EmptyBase.bck"));
    const QString deflt = QStringLiteral("Velostok.mdb");
    // "VELOSTOK.MDB" made on a system that ignores case is the same file: no second copy.
    const bool haveDefault = QFileInfo::exists(deflt)
                             || !QDir::current().entryList({deflt}, QDir::Files | QDir::Hidden).isEmpty();
    if (QFileInfo::exists(templ) && !haveDefault)
        QFile::copy(templ, deflt); // a failed copy is ignored: the open below reports

    const QString configured = fSettings ? fSettings->eDataBase->text() : QString();
    db->setDatabase(configured.isEmpty() ? deflt : configured);
    db->setProgramDir(Paths::programDir());
    db->setVersion(fSettings ? fSettings->cbxDaoVersion->currentText() : QStringLiteral("3.6"));
    DM->dbInfo->setDatabase(db->Database());

    bool failed = false;
    try {
        db->Open();
        db->Idle();
        DM->dbInfo->setActive(true);
        for (TDaoTable *t : DM->connectOrder())
            t->Open();
    } catch (...) {
        failed = true;
    }
    if (failed) {
        DM->dbInfo->setActive(false);
        db->Close();
        prompts().message(QStringLiteral("Не може да се установи връзка с базата или тя е повредена !"));
        if (fSettings && !fSettings->isVisible())
            prompts().showModal(fSettings);
    }
    StatusBar1->showMessage(QStringLiteral("   Velostok v1.0 - DataBase: ") + db->Database());
}

void TfVelostok::ApplyFilter(const QString &filter)
{
    TDaoTable *t = DM->tblMain;
    t->setFiltered(false);
    t->setFilter(filter);
    t->setFiltered(true);
}

void TfVelostok::RefreshPickLists()
{
    if (!connected())
        return;
    TDaoTable *t = DM->tblMain;
    t->DisableControls();
    struct Enable
    {
        TDaoTable *t;
        ~Enable() { t->EnableControls(); }
    } enable{t};
    t->Refresh();
    QList<TColumn> &cols = DBGrid1->Columns();
    for (TColumn &c : cols)
        c.PickList.clear();
    const int fallback[] = {1, 2, 7};
    TDaoTable *queries[] = {DM->tblUnitNumber, DM->tblUnitName, DM->tblDeliverName};
    for (int i = 0; i < 3; ++i) {
        const int col = DBGrid1->columnOfField(dataPickListFields().at(i), fallback[i]);
        TDaoTable *q = queries[i];
        q->Requery();
        QStringList values;
        values.reserve(q->RecordCount());
        for (int r = 0; r < q->RecordCount(); ++r) {
            const QVariant v = q->rowValue(r, 0);
            values << (v.isValid() ? q->Fields(0)->textOf(v) : QString());
        }
        if (col >= 0 && col < cols.size())
            cols[col].PickList = values;
    }
}

void TfVelostok::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The main window is shown once; a later show (after minimising) is not a first show.
    if (event->spontaneous() || mFirstShown)
        return;
    {
        mFirstShown = true;
        // The form's size is its outer size, frame included.
        const QSize frame = frameGeometry().size() - size();
        if (size() == QSize(DesignWidth, DesignHeight) && !frame.isEmpty())
            resize(DesignWidth - frame.width(), DesignHeight - frame.height());
        if (const QScreen *s = screen()) {
            QRect r = frameGeometry();
            r.moveCenter(s->availableGeometry().center());
            move(r.topLeft());
        }
    }
    Guard::run([this] { FormShow(); });
}

void TfVelostok::FormShow()
{
    struct Finished
    {
        bool &flag;
        ~Finished() { flag = true; }
    } finished{mFirstShowFinished};
    mMinHeight = frameGeometry().height();
    setMinimumSize(MinimumWidth, qMax(0, mMinHeight - (frameGeometry().height() - height())));
    MainWindowShown = true;

    ConnectDatabase();
    if (!connected())
        return;
    ApplyFilter(QStringLiteral("[deleted]=False"));
    RefreshPickLists();
    ApplyFilter(fSettings->cbxShowDel->isChecked() ? QString() : QStringLiteral("[deleted]=False"));
    ExportTo1->setVisible(DM->DataBase->Version() == QLatin1String("3.6"));
    Language1->setVisible(fSettings->cbxChangeLanguage->isChecked());
    showSpecialColumns(fSettings->cbxShowSpecial->isChecked());
    ToolBar1->setVisible(fSettings->cbSpeedButtons->isChecked());
    SpeedButtons1->setChecked(ToolBar1->isVisible());
    // The skin engine is switched on here once skins exist.
}

void TfVelostok::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Guard::run([this] { FormResize(); });
}

void TfVelostok::FormResize()
{
    if (mResizing)
        return;
    mResizing = true;
    const QRect outer = frameGeometry();
    const int frameH = outer.height() - height();
    const int frameW = outer.width() - width();
    int h = outer.height();
    int w = outer.width();
    if (h < mMinHeight)
        h = mMinHeight;
    if (w < MinimumWidth)
        w = MinimumWidth;
    if (h != outer.height() || w != outer.width())
        resize(w - frameW, h - frameH);
    mResizing = false;
}

void TfVelostok::closeEvent(QCloseEvent *event)
{
    bool canClose = true;
    Guard::run([&] { FormCloseQuery(canClose); });
    if (!canClose) {
        event->ignore();
        return;
    }
    Guard::run([this] { FormClose(); });
    event->accept();
    QMainWindow::closeEvent(event);
}

void TfVelostok::FormCloseQuery(bool &canClose)
{
    canClose = true;
    // A row still being edited is stored, not dropped with the connection; when it cannot be
    // stored the window stays open, so that the user can correct or cancel it.
    if (connected() && DM->tblMain->Active()) {
        TDaoTable *t = DM->tblMain;
        try {
            DBGrid1->commitEditor();
            if (t->State() != TDaoTable::dsBrowse && t->Modified())
                t->Post();
        } catch (...) {
            canClose = false;
            throw;
        }
    }
    // The archive copy of the database is made here when that setting is on.
}

void TfVelostok::FormClose()
{
    if (fSettings)
        fSettings->SaveSettings();
}

namespace {

bool clipboardHasText()
{
    const QMimeData *m = QGuiApplication::clipboard()->mimeData();
    return m && m->hasText();
}

bool currentFlag(const char *field)
{
    TDaoTable *t = DM ? DM->tblMain : nullptr;
    if (!t || !t->Active())
        return false;
    TDaoField *f = t->FindField(QLatin1String(field));
    return f && f->AsBoolean();
}

} // namespace

void TfVelostok::PopupMenu1Popup()
{
    Erase2->setVisible(fSettings->cbxShowDel->isChecked());
    if (!connected())
        return;
    UnDel2->setVisible(currentFlag("deleted"));
    Save2->setVisible(!currentFlag("locked"));
    Paste2->setVisible(clipboardHasText());
    ExportTo2->setVisible(DM->DataBase->Version() == QLatin1String("3.6"));
    // While a cell is being edited, Ctrl+C and Ctrl+V belong to the cell editor.
    if (DBGrid1->editorOpen()) {
        Copy2->setText(QStringLiteral("&Копирай      Ctrl+C"));
        Paste2->setText(QStringLiteral("&Постави      Ctrl+V"));
        Copy2->setShortcut({});
        Paste2->setShortcut({});
    } else {
        Copy2->setText(QStringLiteral("&Копирай ред"));
        Paste2->setText(QStringLiteral("&Постави ред"));
        Copy2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
        Paste2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    }
}

void TfVelostok::Edit1Click()
{
    UnDel1->setVisible(connected() && currentFlag("deleted"));
    Copy1->setText(DBGrid1->editorOpen() ? QStringLiteral("&Копирай        Ctrl+C") : QStringLiteral("&Копирай ред       Ctrl+C"));
    Paste1->setVisible(clipboardHasText());
}

void TfVelostok::Models1Click()
{
    prompts().showModal(fModels);
    RefreshPickLists();
}

void TfVelostok::Settings1Click()
{
    prompts().showModal(fSettings);
}

void TfVelostok::Find1Click()
{
    if (DBGrid1->isEnabled())
        prompts().showModal(fSearchForm);
}

void TfVelostok::About1Click()
{
    prompts().showModal(AboutBox);
}

void TfVelostok::Exit1Click()
{
    close();
}

void TfVelostok::SpeedButtons1Click()
{
    // The action has already toggled its check mark.
    fSettings->cbSpeedButtons->setChecked(SpeedButtons1->isChecked());
    fSettings->SaveSettings();
    ToolBar1->setVisible(SpeedButtons1->isChecked());
}

void TfVelostok::tbtFirstClick()
{
    if (connected() && DBGrid1->isEnabled())
        DM->tblMain->First();
}

void TfVelostok::tbtLastClick()
{
    if (connected() && DBGrid1->isEnabled() && DM->tblMain->RecordCount() > 0)
        DM->tblMain->Last();
}
