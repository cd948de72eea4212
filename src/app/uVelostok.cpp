// The main window's frame, its first show, size limits and closing, and its window commands.
#include "uVelostok.h"

#include "AdminCheck.h"
#include "AppLog.h"
#include "base/DaoError.h"
#include "DatabaseFiles.h"
#include "engine/DbEngine.h"
#include "ExportCommands.h"
#include "engine/EngineFactory.h"
#include "files/FileCheck.h"
#include "Guard.h"
#include "HelpViewer.h"
#include "InventoryGrid.h"
#include "MainMenus.h"
#include "MenuCaptions.h"
#include "Paths.h"
#include "Prompts.h"
#include "RecordCommands.h"
#include "RowClipboard.h"
#include "Settings.h"
#include "Startup.h"
#include "TDBGrid.h"
#include "dataset/ChangeLog.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"
#include "TSkinData.h"
#include "module/uDM.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScopeGuard>
#include <QShortcut>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

TfVelostok *fVelostok = nullptr;

TfVelostok::TfVelostok(QWidget *parent) : QMainWindow(parent)
{
    SkinData1 = new TSkinData(this); // inactive, no skin: the settings window decides
    setupUi();
    bindHandlers();
}

TfVelostok::~TfVelostok()
{
    delete Files;
    delete SkinData1; // the platform's look again
    SkinData1 = nullptr;
    delete Exports;
    if (fVelostok == this)
        fVelostok = nullptr;
}

void TfVelostok::setupUi()
{
    setObjectName(QStringLiteral("fVelostok"));
    setWindowTitle(QStringLiteral("Velostok 1.4"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(248, 248, 248));
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

    DBGrid1 = new TDBGrid(Panel1);
    Inventory = new InventoryGrid(DBGrid1, this);
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
    lblFitment = new QLabel(StatusBar1);
    lblFitment->setObjectName(QStringLiteral("lblFitment"));
    StatusBar1->addPermanentWidget(lblFitment);
    connect(Inventory, &InventoryGrid::fitmentFound, lblFitment, &QLabel::setText);
    lblOthers = new QLabel(StatusBar1);
    lblOthers->setObjectName(QStringLiteral("lblOthers"));
    StatusBar1->addPermanentWidget(lblOthers);
    auto *othersShown = new QTimer(this);
    othersShown->setSingleShot(true);
    othersShown->setInterval(OthersShownMs);
    connect(othersShown, &QTimer::timeout, lblOthers, &QLabel::clear);
    connect(DM->DataBase, &TDaoDatabase::othersChanged, this, [this, othersShown](int rows) {
        Guard::run([this] { Inventory->followOthers(); });
        if (rows == 0)
            return;
        lblOthers->setText(rows < 0   ? QStringLiteral("Редове променени от друго работно място ")
                           : rows == 1 ? QStringLiteral("1 ред променен от друго работно място ")
                                       : QStringLiteral("%1 реда променени от друго работно място ").arg(rows));
        othersShown->start();
    });
    layout->addWidget(StatusBar1);
    setCentralWidget(Panel1);

    Records = new RecordCommands(Inventory, this, ProgressBar1, this);
    Files = new DatabaseFiles([this] { ConnectDatabase(); });
    Files->setProgressBar(ProgressBar1);
    Clipboard = new RowClipboard(Inventory, this, ProgressBar1, this);
    Exports = new ExportCommands;
    Commands = new MainMenus(this, DBGrid1);
    ToolBar1 = Commands->ToolBar1;
    MainMenu1 = Commands->MainMenu1;
    PopupMenu1 = Commands->PopupMenu1;
    EmptyPopup = Commands->EmptyPopup;

    resize(DesignWidth, DesignHeight);

    // The file is checked once the grid has painted, so that the check never delays it.
    DBGrid1->viewport()->installEventFilter(this);
    connect(DM->DataBase, &TDaoDatabase::fileChecked, this, [this](const FileHealth &health, const QStringList &sound) {
        whenIdle([this, health, sound] { Files->fileChecked(health, sound); });
    });
}

bool TfVelostok::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && watched == DBGrid1->viewport() && Files && Files->checkWanted())
        QTimer::singleShot(0, this, [this] { Guard::run([this] { Files->startFileCheck(); }); });
    return QMainWindow::eventFilter(watched, event);
}

void TfVelostok::whenIdle(const std::function<void()> &act)
{
    const bool busy = QApplication::activeModalWidget() || !isEnabled() || DBGrid1->editorOpen()
                      || (DM->tblMain->Active() && DM->tblMain->State() != TDaoTable::dsBrowse);
    if (busy) {
        QTimer::singleShot(500, this, [this, act] { whenIdle(act); });
        return;
    }
    Guard::run(act);
}

void TfVelostok::bindHandlers()
{
    // F1: the manual at the grid's section from the grid, else at the main window's.
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setObjectName(QStringLiteral("HelpKey"));
    connect(f1, &QShortcut::activated, this, [this] {
        QWidget *f = QApplication::focusWidget();
        Help::open(f && (f == DBGrid1 || DBGrid1->isAncestorOf(f)) ? QStringLiteral("grid") : QStringLiteral("start"));
    });
    Records->showEditor = [] { Windows::showEditor(); };
    Inventory->editRecord = [this] { Records->Connect1Click(); };

    const std::pair<const char *, std::function<void()>> handlers[] = {
        {"Add1Click", [this] { Records->Add1Click(); }},
        {"Connect1Click", [this] { Records->Connect1Click(); }},
        {"Dell1Click", [this] { Records->Dell1Click(); }},
        {"UnDel2Click", [this] { Records->UnDel2Click(); }},
        {"Rollback1Click", [this] { Records->Rollback1Click(); }},
        {"Commit1Click", [this] { Records->Commit1Click(); }},
        {"Erase2Click", [this] { Records->Erase2Click(); }},
        {"N2Click", [this] { Records->N2Click(); }},
        {"tbtFirstClick", [this] { Inventory->tbtFirstClick(); }},
        {"tbtLastClick", [this] { Inventory->tbtLastClick(); }},
        {"Models1Click", [this] { Models1Click(); }},
        {"Settings1Click", [this] { Settings1Click(); }},
        {"Find1Click", [this] { Find1Click(); }},
        {"About1Click", [this] { About1Click(); }},
        {"Exit1Click", [this] { Exit1Click(); }},
        {"Users1Click", [this] { Users1Click(); }},
        {"History1Click", [this] { History1Click(); }},
        {"Purged1Click", [this] { Purged1Click(); }},
        {"Import1Click", [this] { Import1Click(); }},
        {"UndoImport1Click", [this] { UndoImport1Click(); }},
        {"CheckFitment1Click", [this] { CheckFitment1Click(); }},
        {"Copy2Click", [this] { Clipboard->Copy2Click(); }},
        {"Paste2Click", [this] { Clipboard->Paste2Click(); }},
        {"Print3Click", [this] { Print3Click(); }},
        {"Contents1Click", [this] { Contents1Click(); }},
        {"Bulgarian1Click", [this] { Bulgarian1Click(); }},
        {"English1Click", [this] { English1Click(); }},
        {"PrintDlgClick", [this] { PrintDlgClick(); }},
        {"Excel1Click", [this] { Exports->Excel1Click(); }},
        {"Html1Click", [this] { Exports->Html1Click(); }},
        {"Text1Click", [this] { Exports->Text1Click(); }},
        {"NewBase1Click", [this] { Files->NewBase1Click(); }},
        {"ConnectTo1Click", [this] { Files->ConnectTo1Click(); }},
        {"Compact1Click", [this] { Files->Compact1Click(); }},
    };
    for (const auto &[name, handler] : handlers)
        Commands->setHandler(QString::fromLatin1(name), handler);
}

QAction *TfVelostok::action(const QString &name) const
{
    return Commands->action(name);
}

QToolButton *TfVelostok::button(const QString &name) const
{
    return Commands->button(name);
}

void TfVelostok::ApplyFilter(const QString &filter)
{
    Inventory->ApplyFilter(filter);
}

void TfVelostok::RefreshPickLists()
{
    Inventory->RefreshPickLists();
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

    const QString configured = settings().database();
    db->setDatabase(configured.isEmpty() ? deflt : configured);
    db->setProgramDir(Paths::programDir());
    db->setVersion(settings().daoVersion());
    // Others' changes come in as they are committed, or only with a refresh.
    db->watchCommits(settings().autoRefresh());
    db->followOthers(settings().autoRefresh());
    DM->dbInfo->setDatabase(db->Database());

    bool failed = false;
    bool damaged = false;
    try {
        db->Open();
        // The roster is read under the name the connection found (letter case, the program
        // folder), which is the lock file's.
        DM->dbInfo->setDatabase(db->Database());
        db->Idle();
        // The catalogue numbers' pick list (up to a million distinct values) is read in the
        // background while the inventory opens, ahead of the other lists, which start when their
        // queries open; the query takes the read over as it opens.
        db->readAhead({DM->tblUnitNumber->TableName()});
        DM->dbInfo->setActive(true);
        for (TDaoTable *t : DM->connectOrder())
            t->Open();
        db->readAhead({});
        Files->connected();
    } catch (const FileDamaged &e) {
        qCWarning(lcApp) << "connecting" << db->Database() << "failed:" << e.message();
        failed = damaged = true;
    } catch (const DaoError &e) {
        // The user is told the connection failed; why, only the log says.
        qCWarning(lcApp) << "connecting" << db->Database() << "failed:" << e.message();
        failed = true;
    } catch (...) {
        failed = true;
    }
    if (failed) {
        DM->dbInfo->setActive(false);
        db->Close();
        // A damaged file is named, with the archive copies that can take its place.
        if (damaged) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            const QStringList sound = FileCheck::soundOf(DatabaseFiles::backupFiles());
            QGuiApplication::restoreOverrideCursor();
            prompts().message(DatabaseFiles::damageMessage(db->Database(), sound, false));
        } else {
            prompts().message(QStringLiteral("Не може да се установи връзка с базата или тя е повредена !"));
        }
        Windows::showSettingsIfHidden();
    }
    StatusBar1->showMessage(QStringLiteral("   Velostok v1.0 - DataBase: ") + engines::shownName(db->Database()));
}

void TfVelostok::applySettings(Apply when)
{
    const Settings &s = settings();
    const auto toolBar = [&] {
        ToolBar1->setVisible(s.speedButtons());
        action(QStringLiteral("SpeedButtons1"))->setChecked(s.speedButtons());
    };
    const auto specialColumns = [&] { Inventory->showSpecialColumns(s.showSpecial()); };
    const auto menus = [&] {
        action(QStringLiteral("ExportTo1"))->setVisible(DM->DataBase->Version() == QLatin1String("3.6"));
        action(QStringLiteral("Language1"))->setVisible(s.changeLanguage());
    };
    Inventory->ApplyFilter(s.deletedFilter());
    if (when == Apply::Confirmed) {
        ConnectDatabase();
        toolBar();
        specialColumns();
        menus();
    } else {
        menus();
        specialColumns();
        toolBar();
    }
}

void TfVelostok::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The main window is shown once; a later show (after minimising) is not a first show.
    if (event->spontaneous() || mFirstShown)
        return;
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
    Guard::run([this] { FormShow(); });
}

void TfVelostok::FormShow()
{
    const auto finished = qScopeGuard([this] { mFirstShowFinished = true; });
    mMinHeight = frameGeometry().height();
    setMinimumSize(MinimumWidth, qMax(0, mMinHeight - (frameGeometry().height() - height())));
    MainWindowShown = true;

    ConnectDatabase();
    if (!DM->DataBase->Connected())
        return;
    Inventory->ApplyFilter(QStringLiteral("[deleted]=False"));
    Inventory->RefreshPickLists();
    applySettings(Apply::FirstShow);
    // The engine on (with no skin read, nothing shows).
    if (SkinData1 && !SkinData1->Active())
        SkinData1->setActive(true);
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
    const auto done = qScopeGuard([this] { mResizing = false; });
    const QRect outer = frameGeometry();
    const int frameH = outer.height() - height();
    const int frameW = outer.width() - width();
    const int h = qMax(outer.height(), mMinHeight);
    const int w = qMax(outer.width(), MinimumWidth);
    if (h != outer.height() || w != outer.width())
        resize(w - frameW, h - frameH);
}

void TfVelostok::closeEvent(QCloseEvent *event)
{
    // The archive copy repaints the window while it goes on; a second close asked meanwhile
    // (the title bar's button again) waits for the first.
    if (mClosing) {
        event->ignore();
        return;
    }
    mClosing = true;
    const auto closed = qScopeGuard([this] { mClosing = false; });
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
    if (DM->DataBase->Connected() && DM->tblMain->Active()) {
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
    pruneHistory();
    Files->archiveOnClose();
}

// The history older than the setting goes, at most once a day; a failure costs only the pruning.
void TfVelostok::pruneHistory()
{
    ChangeLog *log = DM->DataBase->Connected() ? DM->DataBase->changeLog() : nullptr;
    if (!log)
        return;
    try {
        if (log->pruneDue(settings().historyDays()))
            qCInfo(lcApp) << "history older than" << settings().historyDays() << "days dropped";
    } catch (const DaoError &e) {
        qCWarning(lcApp) << "history not pruned:" << e.message();
    }
}

void TfVelostok::FormClose()
{
    settings().SaveSettings();
}

void TfVelostok::Models1Click()
{
    Windows::showModels();
    Inventory->RefreshPickLists();
}

void TfVelostok::Settings1Click()
{
    Windows::showSettings();
}

void TfVelostok::Find1Click()
{
    if (DBGrid1->isEnabled())
        Windows::showSearch();
}

void TfVelostok::Print3Click()
{
    if (!DBGrid1->isEnabled())
        return;
    // The special columns are printed whether or not the grid shows them; afterwards the grid
    // shows them as the setting says, also when the report fails.
    QList<int> special;
    for (int c : Inventory->specialColumns())
        if (c < DBGrid1->Columns().size())
            special << c;
    const auto restore = qScopeGuard([&] {
        for (int c : std::as_const(special))
            DBGrid1->setColumnVisible(c, settings().showSpecial());
    });
    for (int c : std::as_const(special))
        DBGrid1->setColumnVisible(c, true);
    Windows::printGrid(DBGrid1);
}

void TfVelostok::PrintDlgClick()
{
    Windows::printerSetup();
}

void TfVelostok::LoadMenuCaptions(const QString &language)
{
    const QString path = Paths::fromProgramDir(QStringLiteral("../") + language + QStringLiteral("/Menu.set"));
    if (!QFileInfo::exists(path))
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде прочетен: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде прочетен: %2").arg(path, file.errorString()));
    if (!MenuCaptions::hasLines(bytes))
        return;
    const QHash<QString, QString> captions = MenuCaptions::parse(bytes);
    Commands->setMainMenuCaptions([&](const QString &name) { return captions.value(name.toLower()); });
}

void TfVelostok::Bulgarian1Click()
{
    LoadMenuCaptions(QStringLiteral("Bul"));
}

void TfVelostok::English1Click()
{
    LoadMenuCaptions(QStringLiteral("Eng"));
}

void TfVelostok::Contents1Click()
{
    Help::open();
}

void TfVelostok::About1Click()
{
    Windows::showAbout();
}

void TfVelostok::Exit1Click()
{
    close();
}

void TfVelostok::Users1Click()
{
    const TAdminCheck outcome = CheckAdminPassword();
    if (outcome == TAdminCheck::Cancelled)
        return;
    if (outcome == TAdminCheck::Passed)
        Windows::showUsers();
    Inventory->RefreshPickLists();
}

namespace {

// Whether the open inventory keeps a history; says so when it does not.
bool historyKept()
{
    ChangeLog *log = DM->DataBase->changeLog();
    if (log && log->kept())
        return true;
    prompts().message(QStringLiteral("Тази база данни не пази история на промените."));
    return false;
}

} // namespace

void TfVelostok::History1Click()
{
    TDaoTable *t = DM->tblMain;
    if (!DBGrid1->isEnabled() || !DM->DataBase->Connected() || !t->Active())
        return;
    // The history is of what is stored: a row being edited is stored first.
    DBGrid1->commitEditor();
    if (t->State() == TDaoTable::dsInsert && !t->Modified()) {
        t->Cancel(); // an empty new row has no history; neither is another row's shown for it
        return;
    }
    if (t->State() != TDaoTable::dsBrowse) {
        if (t->Modified())
            t->Post();
        else
            t->Cancel();
    }
    if (t->FieldByName(QStringLiteral("id"))->IsNull() || !historyKept())
        return;
    Windows::showRowHistory();
}

// The import compares the file with what is stored: a row being edited is stored first (an
// empty new row is dropped), before the preview reads anything.
void TfVelostok::storePendingRow()
{
    TDaoTable *t = DM->tblMain;
    DBGrid1->commitEditor();
    if (t->State() == TDaoTable::dsInsert && !t->Modified())
        t->Cancel();
    else if (t->State() != TDaoTable::dsBrowse)
        t->Post();
}

void TfVelostok::Import1Click()
{
    if (!DBGrid1->isEnabled() || !DM->DataBase->Connected() || !DM->tblMain->Active())
        return;
    storePendingRow();
    Windows::showImport();
}

void TfVelostok::UndoImport1Click()
{
    if (!DBGrid1->isEnabled() || !DM->DataBase->Connected() || !DM->tblMain->Active())
        return;
    storePendingRow();
    Windows::undoLastImport();
}

void TfVelostok::CheckFitment1Click()
{
    if (!DBGrid1->isEnabled() || !DM->DataBase->Connected() || !DM->tblMain->Active())
        return;
    storePendingRow();
    Windows::showCompatibilityCheck();
}

void TfVelostok::Purged1Click()
{
    if (!DBGrid1->isEnabled() || !DM->DataBase->Connected() || !DM->tblMain->Active() || !historyKept())
        return;
    Windows::showPurgedRows();
    Inventory->RefreshPickLists();
}
