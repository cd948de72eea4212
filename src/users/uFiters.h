// The users window: the users table in a grid, with the name and the password of the current user.
#pragma once

#include <QDialog>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class TDBEdit;
class TDBGrid;

class TfFiters : public QDialog
{
    Q_OBJECT

public:
    explicit TfFiters(QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *tbxSearchValue;
    QLabel *Image1;
    TDBGrid *DBGrid1; // tblUsers: id, user_name, pass_stars, comment
    QLabel *Label2;
    TDBEdit *DBEdit1; // user_name, read-only
    QLabel *Label3;
    TDBEdit *DBEdit2; // password
    QPushButton *bYes;
    QPushButton *bCancel; // closes the window

    // Binds the grid and the edits to the users table (once the data module exists).
    void bind();

    void tbxSearchValueChange(const QString &text);
    void DBGrid1TitleClick(int column);
    bool DBGrid1KeyPress(QKeyEvent *event);
    void bYesClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setupUi();
};

extern TfFiters *fFiters;
