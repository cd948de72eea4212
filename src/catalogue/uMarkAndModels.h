// The compatibility picker: one make and model of the catalogue with its years of production,
// turned into one compatibility entry (PickedCompatibility) for the caller's memo. It filters
// tblModels to the chosen make while it is open and never leaves it filtered.
#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The picker's result: make, model, first year "-" last year and ";", set by "&Добави", emptied
// by "&Изход", left alone by Esc and the close box.
extern QString PickedCompatibility;

class TfMarkAndModels : public QDialog
{
    Q_OBJECT

public:
    explicit TfMarkAndModels(QWidget *parent = nullptr);

    QLabel *Label1;
    QComboBox *dbcbMark;
    QLabel *Label2;
    QComboBox *dbcbModel;
    QLabel *Label3;
    QLineEdit *eFirstDate;
    QLabel *Label4;
    QLineEdit *eLastDate;
    QPushButton *dxButton1;
    QPushButton *bCancel;

    void FillMarks();
    void FilterModels();
    void FormShow();
    void dbcbMarkChange();
    void dbcbModelChange();
    void dxButton1Click();
    void bCancelClick();
    void FormCloseQuery();

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void setupUi();
};

extern TfMarkAndModels *fMarkAndModels;
