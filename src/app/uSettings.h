// The settings window. Its controls hold the program's settings: every reader takes a setting
// from its control at the moment it needs it.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QFrame;

class TfSettings : public QDialog
{
    Q_OBJECT

public:
    explicit TfSettings(QWidget *parent = nullptr);

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
    void SaveSettings();

    void FormCreate();
    void FormShow();
    void TabControl1Change(int index);
    void bStartClick();
    void bCancelClick();
    void btnDBLoadClick();
    void cbAutoArchiveClick();
    void cbSkinsClick();
    // The protected boxes: after a click (or a right click) the administrator is asked; a
    // cancelled or wrong answer puts the box back as it was.
    void cbxPassByChangeMouseUp(bool before);
    void cbxShowSpecialMouseUp(bool before);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupUi();
    void excludeLanguageSwitch();
    void protectedBoxChanged(QCheckBox *box, bool before);
};

extern TfSettings *fSettings;
