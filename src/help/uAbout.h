// The about window: the product's picture, name and version, the maker's notice and address.
#pragma once

#include <QDialog>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;

class TAboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutBox(QWidget *parent = nullptr);

    // The panel that holds everything but the buttons (the form names it like the window).
    QFrame *AboutBox;
    QLabel *Image1;
    QLabel *AppName;
    QLabel *Version;
    QLabel *email;
    QMenu *PopupMenu1; // the address's right-click menu
    QAction *Copy1;
    QAction *Email1;
    QPlainTextEdit *Memo1;
    QPushButton *bOk;
    QPushButton *bHelp;

    // The mail link to the address shown; the maker's web site.
    QString mailLink() const;
    static QString webSite();

    void emailClick();
    void Copy1Click();
    void AppNameClick();
    void bHelpClick();
    // The pointer over the address underlines it; over the panel, the notice or the legal text
    // the underline goes.
    void emailMouseMove();
    void AboutBoxMouseMove();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupUi();
};

extern TAboutBox *AboutBox;
