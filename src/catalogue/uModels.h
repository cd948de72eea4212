// The makes-and-models window: the car catalogue in an editable grid.
#pragma once

#include <QDialog>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;

class TfModels : public QDialog
{
    Q_OBJECT

public:
    explicit TfModels(QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *tbxSearchValue;
    QLabel *Image1;
    QTableView *DBGrid1; // columns id, mark_name, model_name, first_date, last_date
    QMenu *PopupMenu1;   // the grid's pop-up menu
    QAction *delete1;
    QAction *N1;
    QPushButton *dxButton1;
    QPushButton *bCancel; // closes the window

private:
    void setupUi();
};

extern TfModels *fModels;
