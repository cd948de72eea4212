// The users window: the users table in a grid, with the name and the password of the current user.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class TfFiters : public QDialog
{
    Q_OBJECT

public:
    explicit TfFiters(QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *tbxSearchValue;
    QLabel *Image1;
    QTableView *DBGrid1; // columns id, user_name, pass_stars, comment
    QLabel *Label2;
    QLineEdit *DBEdit1; // user_name, read-only
    QLabel *Label3;
    QLineEdit *DBEdit2; // password
    QPushButton *bYes;
    QPushButton *bCancel; // closes the window

private:
    void setupUi();
};

extern TfFiters *fFiters;
