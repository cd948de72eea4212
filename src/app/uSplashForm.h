// The splash window shown while start-up creates the other windows.
#pragma once

#include <QWidget>

class QAction;
class QFrame;
class QLabel;
class QMenu;

class TfSplashForm : public QWidget
{
    Q_OBJECT

public:
    explicit TfSplashForm(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *Image1;
    QLabel *Label1;
    QLabel *Label2;
    QMenu *PopupMenu1;
    QAction *Close1;

    // Paints the splash at once, before the slow creation of the other windows begins.
    void FormShow();
    // Ends the process at once: no window is closed, nothing is saved.
    [[noreturn]] void Close1Click();

protected:
    void showEvent(QShowEvent *event) override;
};
