// The record editor: one inventory row, field by field.
#pragma once

#include <QDialog>
#include <QPointer>

class CompatibilityMemo;
class PickListBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TDaoTable;

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
    PickListBox *cbxUnitNum; // the grid's list of catalogue numbers, shared
    QLabel *Label3;
    PickListBox *cbxUnitName; // the grid's list of names, shared
    QLabel *Label4;
    QLineEdit *eQuantity;
    QLabel *Label5;
    QLineEdit *ePrice;
    QLabel *Label6;
    QLineEdit *eSecondPrice;
    QLabel *Label7;
    CompatibilityMemo *eComment; // with its pop-up menu PopupMenu1
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


    void FormShow();
    void LoadRecord();
    void StoreRecord();
    void FillUsers();
    void SetModifierVisible(bool visible);
    void bChangeClick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void done(int result) override;

private:
    void setupUi();

    // A store stopped after its first assignments: the row is still being edited.
    bool mStoreOpen = false;
    bool mHolding = false;
    QPointer<TDaoTable> mHeld;
};

extern TfEditor *fEditor;
