// The settings window: its controls, loading and saving the settings, and confirming them.
#include "uSettings.h"

#include "AdminCheck.h"
#include "Guard.h"
#include "HelpViewer.h"
#include "MainGrid.h"
#include "Paths.h"
#include "Prompts.h"
#include "TSkinData.h"
#include "Scope.h"
#include "TDBGrid.h"
#include "module/uDM.h"
#include "Startup.h"

#include <QApplication>
#include <QCheckBox>
#include <QShortcut>
#include <QSpinBox>
#include <algorithm>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTabBar>

TfSettings *fSettings = nullptr;

namespace {

const QColor FormColour(248, 248, 248);
const QColor BoxColour(240, 240, 240);

void place(QWidget *w, const char *name, int left, int top, int width = -1, int height = -1)
{
    w->setObjectName(QString::fromLatin1(name));
    const QSize hint = w->sizeHint();
    w->setGeometry(left, top, width > 0 ? width : hint.width(), height > 0 ? height : hint.height());
}

QPalette withBase(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, c);
    p.setColor(QPalette::Button, c);
    return p;
}

// The emblem: a small wheel.
QPixmap emblem()
{
    QPixmap pm(33, 33);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(43, 47, 54));
    p.drawEllipse(QRectF(1, 1, 31, 31));
    p.setBrush(QColor(201, 206, 214));
    p.drawEllipse(QRectF(7, 7, 19, 19));
    p.setBrush(QColor(89, 98, 112));
    p.drawEllipse(QRectF(13.5, 13.5, 6, 6));
    return pm;
}

} // namespace

TfSettings::TfSettings(QWidget *parent) : QDialog(parent)
{
    setupUi();
    setSettings(this);
}

TfSettings::~TfSettings()
{
    if (&settings() == this)
        setSettings(nullptr);
}

QString TfSettings::database() const { return eDataBase->text(); }
QString TfSettings::daoVersion() const { return cbxDaoVersion->currentText(); }
QString TfSettings::archiveCount() const { return eArchiveCount->currentText(); }
QString TfSettings::skinPath() const { return eSkinPath->text(); }
bool TfSettings::showDeleted() const { return cbxShowDel->isChecked(); }
bool TfSettings::autoArchive() const { return cbAutoArchive->isChecked(); }
bool TfSettings::speedButtons() const { return cbSpeedButtons->isChecked(); }
bool TfSettings::passByChange() const { return cbxPassByChange->isChecked(); }
int TfSettings::historyDays() const { return mHistoryDays; }
bool TfSettings::autoRefresh() const { return cbAutoRefresh->isChecked(); }
bool TfSettings::changeLanguage() const { return cbxChangeLanguage->isChecked(); }
bool TfSettings::skins() const { return cbSkins->isChecked(); }
bool TfSettings::showSpecial() const { return cbxShowSpecial->isChecked(); }
void TfSettings::setDatabase(const QString &path) { eDataBase->setText(path); }
void TfSettings::setSpeedButtons(bool on) { cbSpeedButtons->setChecked(on); }

SettingsFile::Values TfSettings::values() const
{
    SettingsFile::Values v;
    v.database = database();
    v.daoVersion = daoVersion();
    v.archiveCount = archiveCount();
    v.skinPath = skinPath();
    v.showDeleted = showDeleted();
    v.autoArchive = autoArchive();
    v.speedButtons = speedButtons();
    v.passByChange = passByChange();
    v.changeLanguage = changeLanguage();
    v.skins = skins();
    v.historyDays = historyDays();
    v.autoRefresh = autoRefresh();
    return v;
}

void TfSettings::setupUi()
{
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setObjectName(QStringLiteral("HelpKey"));
    connect(f1, &QShortcut::activated, this, [] { Help::open(QStringLiteral("settings")); });

    setObjectName(QStringLiteral("fSettings"));
    setWindowTitle(QStringLiteral("Настройки"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(307, 287);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, FormColour);
    setPalette(pal);
    setAutoFillBackground(true);
    // These boxes take the main window's empty pop-up: they offer no context menu, and their
    // text changes only through the list or the file dialog.
    auto noContextMenu = [](QLineEdit *w) {
        w->setContextMenuPolicy(Qt::NoContextMenu);
        w->setReadOnly(true);
    };

    cbxDaoVersion = new QComboBox(this);
    cbxDaoVersion->setEditable(true);
    place(cbxDaoVersion, "cbxDaoVersion", 9, 13, 43, 21);
    cbxDaoVersion->setPalette(withBase(cbxDaoVersion, BoxColour));
    cbxDaoVersion->setEditText(QStringLiteral("3.6"));
    cbxDaoVersion->lineEdit()->installEventFilter(this);
    noContextMenu(cbxDaoVersion->lineEdit());
    cbxDaoVersion->setInsertPolicy(QComboBox::NoInsert);

    Label1 = new QLabel(QStringLiteral("DAO версия за достъп до базата"), this);
    place(Label1, "Label1", 56, 16);
    Image1 = new QLabel(this);
    place(Image1, "Image1", 267, 5, 33, 33);
    Image1->setPixmap(emblem());

    // Tabs on the right-hand side of the page book.
    TabControl1 = new QTabBar(this);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->setShape(QTabBar::RoundedEast);
    TabControl1->addTab(QStringLiteral("Основни настройки"));
    TabControl1->addTab(QStringLiteral("Допълнителни"));
    TabControl1->setExpanding(false);
    TabControl1->setDrawBase(false);
    TabControl1->setUsesScrollButtons(false);
    TabControl1->setElideMode(Qt::ElideNone);
    // Tabs 20 pixels high, drawn whole by the sheet (the platform's own frame would cover the
    // ends of the vertical captions); their grounds are the skin's.
    TabControl1->setStyleSheet(QStringLiteral(
        "QTabBar::tab { width: 18px; padding: 4px 0px; border: 1px solid palette(mid); }"
        "QTabBar::tab:!selected { margin-left: 2px; }"
        "QTabBar::tab:hover { background: palette(highlight); color: palette(highlighted-text); }"));
    TabControl1->setGeometry(3 + 300 - 22, 42, 22, 209);

    Notebook1 = new QStackedWidget(this);
    Notebook1->setObjectName(QStringLiteral("Notebook1"));
    Notebook1->setGeometry(3, 42, 300 - 22, 209);

    auto page = [this](const char *name) {
        auto *f = new QFrame;
        f->setObjectName(QString::fromLatin1(name));
        f->setFrameStyle(QFrame::Panel | QFrame::Raised);
        f->setLineWidth(2);
        f->setFixedSize(272, 199);
        f->setAutoFillBackground(true);
        QPalette p = f->palette();
        p.setColor(QPalette::Window, Qt::white);
        f->setPalette(p);
        auto *holder = new QWidget;
        f->setParent(holder);
        f->move(3, 5);
        Notebook1->addWidget(holder);
        return f;
    };
    pageMain = page("Main");
    pageAdditionals = page("Additionals");

    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(8);

    lBase = new QLabel(QStringLiteral("База данни"), pageMain);
    place(lBase, "lBase", 7, 14);
    eDataBase = new QLineEdit(QStringLiteral("Velostok.MDB"), pageMain);
    place(eDataBase, "eDataBase", 7, 30, 257, 22);
    eDataBase->setPalette(withBase(eDataBase, BoxColour));
    eDataBase->setFont(arial);
    eDataBase->setTextMargins(0, 0, 20, 0);
    eDataBase->installEventFilter(this);
    noContextMenu(eDataBase);
    btnDBLoad = new QPushButton(QStringLiteral("..."), pageMain);
    place(btnDBLoad, "btnDBLoad", 244, 31, 20, 20);

    auto check = [](QWidget *parent, const char *name, const char *caption, int left, int top, int width, bool on) {
        auto *c = new QCheckBox(QString::fromUtf8(caption), parent);
        place(c, name, left, top, width, 17);
        c->setChecked(on);
        c->setAutoFillBackground(true);
        QPalette p = c->palette();
        p.setColor(QPalette::Window, Qt::white);
        p.setColor(QPalette::Button, Qt::white);
        c->setPalette(p);
        c->setBackgroundRole(QPalette::Window);
        return c;
    };
    cbSpeedButtons = check(pageMain, "cbSpeedButtons", "&Бързи бутони", 7, 57, 200, true);
    cbxChangeLanguage = check(pageMain, "cbxChangeLanguage", "Change languages ability", 7, 83, 170, false);
    cbxShowDel = check(pageMain, "cbxShowDel", "&Да се виждат изтритите записи", 7, 110, 225, false);
    cbxShowSpecial = check(pageMain, "cbxShowSpecial", "&Да се виждат специалните полета", 7, 136, 200, false);
    cbxPassByChange = check(pageMain, "cbxPassByChange", "&Парола при промяна", 7, 162, 200, false);
    for (QCheckBox *c : {cbxShowSpecial, cbxPassByChange}) {
        QFont f(QStringLiteral("MS Sans Serif"));
        f.setPointSize(8);
        c->setFont(f);
        QPalette p = c->palette();
        p.setColor(QPalette::WindowText, QColor(255, 128, 128));
        p.setColor(QPalette::ButtonText, QColor(255, 128, 128));
        c->setPalette(p);
    }

    lHistoryDays = new QLabel(QStringLiteral("Пазене на историята (дни)"), pageMain);
    place(lHistoryDays, "lHistoryDays", 7, 183);
    eHistoryDays = new QSpinBox(pageMain);
    place(eHistoryDays, "eHistoryDays", 200, 180, 64, 17);
    eHistoryDays->setRange(0, 36500);
    eHistoryDays->setValue(mHistoryDays);
    eHistoryDays->setKeyboardTracking(false); // one change when typing ends, not one per digit
    eHistoryDays->setPalette(withBase(eHistoryDays, BoxColour));
    eHistoryDays->setToolTip(QStringLiteral("0: историята се пази завинаги"));

    GroupBox2 = new QGroupBox(QStringLiteral(" Архив "), pageAdditionals);
    place(GroupBox2, "GroupBox2", 8, 5, 255, 75);
    cbAutoArchive = check(GroupBox2, "cbAutoArchive", "&Автоматично архивиране", 8, 16, 164, true);
    eArchiveCount = new QComboBox(GroupBox2);
    eArchiveCount->setEditable(true);
    for (int i = 1; i <= 10; ++i)
        eArchiveCount->addItem(QString::number(i));
    place(eArchiveCount, "eArchiveCount", 8, 40, 38, 21);
    eArchiveCount->setEditText(QStringLiteral("3"));
    eArchiveCount->setPalette(withBase(eArchiveCount, BoxColour));
    eArchiveCount->lineEdit()->installEventFilter(this);
    eArchiveCount->setInsertPolicy(QComboBox::NoInsert);
    noContextMenu(eArchiveCount->lineEdit());
    Label13 = new QLabel(QStringLiteral("Брой архивни копия"), GroupBox2);
    place(Label13, "Label13", 52, 44);

    GroupBox1 = new QGroupBox(QStringLiteral(" Облик "), pageAdditionals);
    place(GroupBox1, "GroupBox1", 8, 87, 256, 104);
    cbSkins = check(GroupBox1, "cbSkins", "&Промяна на облика", 10, 21, 225, true);
    Label2 = new QLabel(QStringLiteral("Път към файла"), GroupBox1);
    place(Label2, "Label2", 11, 48);
    eSkinPath = new QLineEdit(QStringLiteral("..\\Skins\\MySkin.skn"), GroupBox1);
    place(eSkinPath, "eSkinPath", 7, 65, 240, 22);
    eSkinPath->setPalette(withBase(eSkinPath, BoxColour));
    eSkinPath->setFont(arial);
    eSkinPath->setTextMargins(0, 0, 20, 0);
    eSkinPath->installEventFilter(this);
    noContextMenu(eSkinPath);
    btnSkinLoad = new QPushButton(QStringLiteral("..."), GroupBox1);
    place(btnSkinLoad, "btnSkinLoad", 227, 66, 20, 20);
    // The one place left on the pages: how the grid shows others' changes, at the foot of the look.
    cbAutoRefresh = check(GroupBox1, "cbAutoRefresh", "Авто&матично опресняване", 10, 88, 225, true);
    cbAutoRefresh->setFixedHeight(14);
    cbAutoRefresh->setToolTip(QStringLiteral("Промените от другите работни места се показват веднага"));

    bStart = new QPushButton(QStringLiteral("&Да"), this);
    place(bStart, "bStart", 60, 257, 107, 25);
    bCancel = new QPushButton(QStringLiteral("&Отказ"), this);
    place(bCancel, "bCancel", 175, 257, 106, 25);
    bStart->setAutoDefault(false);
    bCancel->setAutoDefault(false);

    ServerSeting = new QPlainTextEdit(this);
    ServerSeting->setObjectName(QStringLiteral("ServerSeting"));
    ServerSeting->hide();

    connect(TabControl1, &QTabBar::currentChanged, this, Guard::slot([this] { TabControl1Change(TabControl1->currentIndex()); }));
    connect(bStart, &QPushButton::clicked, this, [this] {
        setResult(QDialog::Accepted);
        Guard::run([this] { bStartClick(); });
        done(QDialog::Accepted);
    });
    connect(bCancel, &QPushButton::clicked, this, [this] {
        setResult(QDialog::Rejected);
        Guard::run([this] { bCancelClick(); });
        done(QDialog::Rejected);
    });
    connect(btnDBLoad, &QPushButton::clicked, this, Guard::slot([this] { btnDBLoadClick(); }));
    connect(cbAutoArchive, &QCheckBox::toggled, this, Guard::slot([this] { cbAutoArchiveClick(); }));
    connect(cbSkins, &QCheckBox::toggled, this, Guard::slot([this] { cbSkinsClick(); }));
    connect(btnSkinLoad, &QPushButton::clicked, this, [this] { btnSkinLoadClick(); });
    if (SkinData1)
        connect(SkinData1, &TSkinData::applied, this, [this] { keepReadable(); });
    // A user's click, by mouse or keyboard (changes made by loading do not ask).
    connect(cbxPassByChange, &QCheckBox::clicked, this, Guard::slot([this](bool on) { cbxPassByChangeMouseUp(!on); }));
    connect(cbxShowSpecial, &QCheckBox::clicked, this, Guard::slot([this](bool on) { cbxShowSpecialMouseUp(!on); }));
    cbxPassByChange->installEventFilter(this);
    connect(eHistoryDays, &QSpinBox::valueChanged, this, Guard::slot([this](int days) { eHistoryDaysChange(days); }));
    cbxShowSpecial->installEventFilter(this);
}

void TfSettings::FormCreate()
{
    cbxDaoVersion->clear();
    cbxDaoVersion->setEditText(QStringLiteral("3.6"));
    try {
        const QStringList versions = DM ? DM->DataBase->EngineVersions() : QStringList();
        cbxDaoVersion->addItems(versions);
        if (!versions.isEmpty())
            cbxDaoVersion->setCurrentIndex(int(versions.size()) - 1);
        else
            cbxDaoVersion->setEditText(QStringLiteral("3.6"));
    } catch (...) {
        // Without the list the text stays "3.6".
        cbxDaoVersion->setEditText(QStringLiteral("3.6"));
    }
    LoadSettings();
    skinStepOfFormCreate();
}

void TfSettings::keepReadable()
{
    setStyleSheet(QString());
    cbSkins->ensurePolished();
    const QPalette p = cbSkins->palette();
    const int text = p.color(QPalette::WindowText).lightness();
    const int ground = p.color(QPalette::Window).lightness();
    const bool unreadable = cbSkins->fontInfo().pixelSize() < 8 || std::abs(text - ground) < 60
                            || p.color(QPalette::WindowText).alpha() < 128;
    if (unreadable)
        setStyleSheet(QStringLiteral("* { font-size: 9pt; color: black; background: #ece9d8; }"
                                     "QLineEdit, QComboBox { background: white; }"));
}

void TfSettings::skinStepOfFormCreate()
{
    if (!SkinData1)
        return;
    if (!cbSkins->isChecked()) {
        SkinData1->setActive(false);
        return;
    }
    // The configured skin, else the default one beside the program; SkinPath stays as it is.
    SkinData1->useFirstOf({configuredSkin(), Paths::fromProgramDir(QStringLiteral("../Skins/MySkin.skn"))}, true);
}

QString TfSettings::configuredSkin() const
{
    return Paths::fromCurrentDir(eSkinPath->text());
}

void TfSettings::LoadSettings()
{
    QString error;
    const QString setFile = Paths::programFile(QStringLiteral("Set.dll"));
    const std::optional<QStringList> lines = SettingsFile::readFile(setFile, &error);
    if (!lines) {
        // The settings in hand stay; the user learns why the saved ones are not used.
        if (!error.isEmpty())
            prompts().message(QStringLiteral("Файлът с настройките \"%1\" не може да бъде прочетен.").arg(setFile));
        return;
    }
    ServerSeting->setPlainText(lines->join(QLatin1Char('\n')));

    // In this order: the skin path is in place before the skin box reacts to its new state.
    const SettingsFile::Values v = SettingsFile::read(*lines, values());
    eDataBase->setText(v.database);
    cbxDaoVersion->setEditText(v.daoVersion);
    eArchiveCount->setEditText(v.archiveCount);
    eSkinPath->setText(v.skinPath);
    cbxShowDel->setChecked(v.showDeleted);
    cbSpeedButtons->setChecked(v.speedButtons);
    cbxPassByChange->setChecked(v.passByChange);
    cbxChangeLanguage->setChecked(v.changeLanguage);
    cbSkins->setChecked(v.skins);
    cbAutoArchive->setChecked(v.autoArchive);
    setHistoryDays(v.historyDays);
    cbAutoRefresh->setChecked(v.autoRefresh);

    if (MainGrid *main = mainGrid()) {
        QFile g(Paths::programFile(QStringLiteral("grid.ini")));
        if (g.open(QIODevice::ReadOnly))
            main->restoreLayout(g.readAll());
    }
    if (cbSkins->isChecked())
        excludeLanguageSwitch();
}

void TfSettings::SaveSettings()
{
    const WaitCursor wait;
    const SettingsFile::Values v = values();
    ServerSeting->setPlainText(SettingsFile::lines(v).join(QLatin1Char('\n')));
    bool ok = true;
    if (MainGrid *main = mainGrid())
        ok = SettingsFile::writeFile(Paths::programFile(QStringLiteral("grid.ini")),
                                     main->savedLayout());
    if (ok)
        ok = SettingsFile::writeFile(Paths::programFile(QStringLiteral("set.dll")), SettingsFile::bytes(v),
                                     SettingsFile::permissionsFor(v));
    if (!ok)
        prompts().message(QStringLiteral("Програмата не може да съхрани промените."));
}

void TfSettings::cbSkinsClick()
{
    const bool on = cbSkins->isChecked();
    eSkinPath->setEnabled(on);
    btnSkinLoad->setEnabled(on);
    if (on) {
        excludeLanguageSwitch();
        if (SkinData1) {
            // The skin the path names; the default one is for start-up only.
            SkinData1->useFirstOf({configuredSkin()}, false);
            SkinData1->setActive(true);
        }
    } else {
        if (SkinData1)
            SkinData1->setActive(false);
        cbxChangeLanguage->setEnabled(true);
    }
}

void TfSettings::btnSkinLoadClick()
{
    // Any failure here is passed over in silence: the window may stay open.
    try {
        QString current = eSkinPath->text();
        current.replace(QLatin1Char('\\'), QLatin1Char('/'));
        Prompts::FileRequest r;
        r.folder = QFileInfo(configuredSkin()).absolutePath();
        r.filter = QStringLiteral("Skins|*.skn|All files|*.*");
        r.fileName = QFileInfo(current).fileName();
        r.mustExist = true;
        const QString picked = prompts().openFile(r);
        if (picked.isEmpty())
            return;
        if (SkinData1)
            SkinData1->setSkinFile(picked);
        eSkinPath->setText(QFileInfo(picked).absoluteFilePath());
        QCoreApplication::processEvents();
        if (SkinData1)
            SkinData1->setActive(true);
        SkinPicked = true;
        // Closed with Cancel: nothing is applied, but closing saves the new path at once.
        reject();
    } catch (...) {
    }
}

void TfSettings::excludeLanguageSwitch()
{
    // A skin and the language switch exclude each other.
    cbxChangeLanguage->setChecked(false);
    cbxChangeLanguage->setEnabled(false);
    if (hideLanguageMenu)
        hideLanguageMenu();
}

void TfSettings::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (QWidget *p = parentWidget(); !p) {
        if (const QScreen *s = screen()) {
            QRect r = frameGeometry();
            r.moveCenter(s->availableGeometry().center());
            move(r.topLeft());
        }
    }
    Guard::run([this] { FormShow(); });
}

void TfSettings::FormShow()
{
    // Until the first show has applied the setting, the tool bar does not show it yet (the
    // settings window can come up from inside that first show when the database fails).
    if (const std::optional<bool> shown = mainToolBarShown ? mainToolBarShown() : std::nullopt)
        cbSpeedButtons->setChecked(*shown);
    eArchiveCount->setEnabled(cbAutoArchive->isChecked());
    mHistoryDaysAllowed = false;
    Notebook1->setCurrentIndex(TabControl1->currentIndex());
}

void TfSettings::TabControl1Change(int index)
{
    Notebook1->setCurrentIndex(index);
}

void TfSettings::cbAutoArchiveClick()
{
    eArchiveCount->setEnabled(cbAutoArchive->isChecked());
}

void TfSettings::btnDBLoadClick()
{
    Prompts::FileRequest r;
    r.filter = QStringLiteral("Database|*.mdb|All files|*.*");
    QString current = eDataBase->text();
    current.replace(QLatin1Char('\\'), QLatin1Char('/'));
    r.fileName = QFileInfo(current).fileName();
    r.folder = Paths::programDir();
    r.mustExist = true;
    const QString picked = prompts().openFile(r);
    if (!picked.isEmpty())
        eDataBase->setText(QFileInfo(picked).absoluteFilePath());
}

void TfSettings::bStartClick()
{
    SaveSettings();
    if (applyToMainWindow)
        applyToMainWindow();
}

void TfSettings::bCancelClick()
{
    LoadSettings();
    // A skin picked with the browse button stays: its path has been saved.
    if (SkinPicked && SkinData1)
        SkinData1->useFirstOf({configuredSkin()}, false);
    SkinPicked = false;
}

void TfSettings::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
}

void TfSettings::done(int result)
{
    // Every way of closing the window saves the controls' state.
    Guard::run([this] { SaveSettings(); });
    QDialog::done(result);
}

void TfSettings::cbxPassByChangeMouseUp(bool before)
{
    protectedBoxChanged(cbxPassByChange, before);
}

void TfSettings::cbxShowSpecialMouseUp(bool before)
{
    protectedBoxChanged(cbxShowSpecial, before);
}

void TfSettings::protectedBoxChanged(QCheckBox *box, bool before)
{
    if (!MainWindowShown)
        return;
    TAdminCheck outcome;
    try {
        outcome = CheckAdminPassword();
    } catch (...) {
        box->setChecked(before); // no answer: no change
        throw;
    }
    AdminAllows(outcome, [&] { box->setChecked(before); });
}

void TfSettings::setHistoryDays(int days)
{
    mHistoryDays = std::clamp(days, eHistoryDays->minimum(), eHistoryDays->maximum());
    const QSignalBlocker quiet(eHistoryDays);
    eHistoryDays->setValue(mHistoryDays);
}

void TfSettings::eHistoryDaysChange(int days)
{
    if (days == mHistoryDays)
        return;
    if (MainWindowShown && !mHistoryDaysAllowed) {
        TAdminCheck outcome = TAdminCheck::Cancelled;
        try {
            outcome = CheckAdminPassword();
        } catch (...) {
            setHistoryDays(mHistoryDays);
            throw;
        }
        if (!AdminAllows(outcome, [&] { setHistoryDays(mHistoryDays); }))
            return;
        mHistoryDaysAllowed = true;
    }
    mHistoryDays = days;
}

bool TfSettings::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && (watched == cbxPassByChange || watched == cbxShowSpecial)
        && static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        // A right click changes nothing but still asks.
        auto *box = static_cast<QCheckBox *>(watched);
        Guard::run([&] { protectedBoxChanged(box, box->isChecked()); });
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(event);
        const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
        if (watched == eDataBase && enter) {
            Guard::run([this] { btnDBLoadClick(); });
            return true;
        }
        if (watched == eSkinPath && enter) {
            Guard::run([this] { btnSkinLoadClick(); });
            return true;
        }
        // The path changes only through the dialog.
        if (watched == eSkinPath && TDBGrid::typesCharacter(k))
            return true;
        if ((watched == cbxDaoVersion->lineEdit() || watched == eArchiveCount->lineEdit()) && enter)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}
