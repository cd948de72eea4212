// The administrator password prompt.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TfPass : public QDialog
{
    Q_OBJECT

public:
    explicit TfPass(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *Label1;
    QLineEdit *ePass;
    QPushButton *bYes;    // result Yes (Accepted); also Enter in ePass
    QPushButton *bCancel; // result Cancel (Rejected), as are Esc and the close box

    void FormShow();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setupUi();
};

extern TfPass *fPass;
