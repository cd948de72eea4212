// The makes-and-models window: the car catalogue in an editable grid.
#pragma once

#include <QDialog>

class QAction;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class TDBGrid;

class TfModels : public QDialog
{
    Q_OBJECT

public:
    explicit TfModels(QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *tbxSearchValue;
    QLabel *Image1;
    TDBGrid *DBGrid1; // srcModels: id, mark_name, model_name, first_date, last_date
    QMenu *PopupMenu1;   // the grid's pop-up menu
    QAction *delete1;
    QAction *N1;
    QPushButton *dxButton1;
    QPushButton *bCancel; // closes the window

    // Binds the grid to the catalogue (once the data module exists).
    void bind();

    void FormActivate();
    void tbxSearchValueChange(const QString &text);
    void DBGrid1TitleClick(int column);
    bool DBGrid1KeyPress(QKeyEvent *event);
    void dxButton1Click();
    void N1Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupUi();
};

extern TfModels *fModels;
