// The record editor: one inventory row, field by field.
#pragma once

#include <QDialog>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

class TfEditor : public QDialog
{
    Q_OBJECT

public:
    explicit TfEditor(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *Image1;
    QLabel *Label1;
    QLineEdit *eID;
    QLabel *Label2;
    QComboBox *cbxUnitNum;
    QLabel *Label3;
    QComboBox *cbxUnitName;
    QLabel *Label4;
    QLineEdit *eQuantity;
    QLabel *Label5;
    QLineEdit *ePrice;
    QLabel *Label6;
    QLineEdit *eSecondPrice;
    QLabel *Label7;
    QPlainTextEdit *eComment;
    QLabel *Label8;
    QLineEdit *eDeliverName;
    QLabel *Label9;
    QLineEdit *eDeliverNum;
    QLabel *Label10;
    QLineEdit *eDeliveryCountry;
    QLabel *lblUsers;
    QComboBox *cbxUsers;
    QLabel *lblPass;
    QLineEdit *ePassword;
    QPushButton *bChange;
    QPushButton *bCancel; // closes the window with the cancel result

    // The memo's pop-up menu.
    QMenu *PopupMenu1;
    QAction *Copy1;
    QAction *Cut1;
    QAction *Paste1;
    QAction *N3;
    QAction *Select1;

private:
    void setupUi();
};

extern TfEditor *fEditor;
