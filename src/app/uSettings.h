// The settings window. Its controls hold the program's settings: every reader takes a setting
// from its control at the moment it needs it (through Settings, which this window installs).
// What a confirmed change does to the main window is the shell's: the window asks through the
// hooks that start-up fills.
#pragma once

#include "Settings.h"
#include "SettingsFile.h"

#include <QDialog>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QSpinBox;
class QTabBar;
class QFrame;

class TfSettings : public QDialog, public Settings
{
    Q_OBJECT

public:
    explicit TfSettings(QWidget *parent = nullptr);
    ~TfSettings() override;

    QComboBox *cbxDaoVersion;
    QLabel *Label1;
    QLabel *Image1;
    QTabBar *TabControl1;
    QStackedWidget *Notebook1;
    QFrame *pageMain;
    QFrame *pageAdditionals;
    QPushButton *bStart;
    QPushButton *bCancel;
    QPlainTextEdit *ServerSeting;

    QLabel *lBase;
    QLineEdit *eDataBase;
    QPushButton *btnDBLoad;
    QCheckBox *cbSpeedButtons;
    QCheckBox *cbxChangeLanguage;
    QCheckBox *cbxShowDel;
    QCheckBox *cbxShowSpecial;
    QCheckBox *cbxPassByChange;
    QLabel *lHistoryDays;
    QSpinBox *eHistoryDays; // days the change history is kept; changed after the administrator check
    QCheckBox *cbAutoRefresh;

    QGroupBox *GroupBox2;
    QCheckBox *cbAutoArchive;
    QComboBox *eArchiveCount;
    QLabel *Label13;
    QGroupBox *GroupBox1;
    QCheckBox *cbSkins;
    QLabel *Label2;
    QLineEdit *eSkinPath;
    QPushButton *btnSkinLoad;

    // The settings file and the saved grid layout.
    void LoadSettings();
    void SaveSettings() override;

    // Settings: the controls' present state.
    QString database() const override;
    QString daoVersion() const override;
    QString archiveCount() const override;
    QString skinPath() const override;
    bool showDeleted() const override;
    bool autoArchive() const override;
    bool speedButtons() const override;
    bool passByChange() const override;
    bool changeLanguage() const override;
    bool skins() const override;
    bool showSpecial() const override;
    int historyDays() const override;
    bool autoRefresh() const override;
    void setDatabase(const QString &path) override;
    void setSpeedButtons(bool on) override;
    // The stored settings as the controls hold them now.
    SettingsFile::Values values() const;

    // Filled at start-up: applying a confirmed change to the main window (its filter, the
    // connection, tool bar, special columns and menus); whether the main window's tool bar is
    // shown (nothing until its first show has set it); hiding its Language menu.
    std::function<void()> applyToMainWindow;
    std::function<std::optional<bool>()> mainToolBarShown;
    std::function<void()> hideLanguageMenu;

    // Once, at start-up, after the hooks are filled: the engine versions, the settings file.
    void FormCreate();
    void FormShow();
    void TabControl1Change(int index);
    void bStartClick();
    void bCancelClick();
    void btnDBLoadClick();
    void btnSkinLoadClick();
    // A skin was picked with the browse button since the last "&Отказ".
    bool SkinPicked = false;
    void cbAutoArchiveClick();
    void cbSkinsClick();
    // The protected boxes: after a click (or a right click) the administrator is asked; a
    // cancelled or wrong answer puts the box back as it was.
    void cbxPassByChangeMouseUp(bool before);
    void cbxShowSpecialMouseUp(bool before);
    // A new number of days by the user: the administrator is asked once per showing of the
    // window; refused, the number goes back.
    void eHistoryDaysChange(int days);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupUi();
    void excludeLanguageSwitch();
    void skinStepOfFormCreate();
    // The skin file the path box names, from the current folder.
    QString configuredSkin() const;
    // A skin that leaves this window's text unreadable (no size, or the colour of its ground)
    // does not reach this window, so that the skin can always be switched off here.
    void keepReadable();
    void protectedBoxChanged(QCheckBox *box, bool before);
    void setHistoryDays(int days);

    int mHistoryDays = 365;
    bool mHistoryDaysAllowed = false;
};

extern TfSettings *fSettings;
