// The compatibility picker: one make and model of the catalogue with its years of production.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

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

private:
    void setupUi();
};

extern TfMarkAndModels *fMarkAndModels;
