// The users window.
#include "uFiters.h"

#include "FormLook.h"
#include "Guard.h"
#include "Pictures.h"
#include "Scope.h"
#include "TDBEdit.h"
#include "TDBGrid.h"
#include "module/uDM.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfFiters *fFiters = nullptr;

TfFiters::TfFiters(QWidget *parent)
    : QDialog(parent)
{
    setupUi();
}

void TfFiters::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("fFiters"), QStringLiteral("Номенклатури"), 548, 336);

    Label1 = FormLook::label(this, QStringLiteral("Label1"), QStringLiteral("Търсене по име"), 8, 14);
    tbxSearchValue = new QLineEdit(this);
    tbxSearchValue->setObjectName(QStringLiteral("tbxSearchValue"));
    tbxSearchValue->setGeometry(104, 10, 180, 21);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(508, 4, 32, 32);
    Image1->setPixmap(Pictures::toolBarIcon(0).pixmap(32, 32));

    DBGrid1 = new TDBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(8, 42, 532, 220);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows); // the current row drawn as such
    DBGrid1->setEditTriggers(QAbstractItemView::AllEditTriggers);
    DBGrid1->setTabKeyNavigation(true);
    DBGrid1->ConfirmDelete = false;
    DBGrid1->CancelOnExit = true;
    QList<TColumn> cols;
    auto column = [&](const char *field, const char *title, int width, bool centred, bool readOnly) {
        TColumn c;
        c.FieldName = QString::fromLatin1(field);
        c.Title = QString::fromUtf8(title);
        c.Width = width;
        c.TitleAlignment = centred ? Qt::AlignHCenter : Qt::AlignLeft;
        c.ReadOnly = readOnly;
        cols << c;
    };
    column("id", "№", 28, true, false);
    column("user_name", "Име", 145, true, false);
    column("pass_stars", "Парола", 121, false, true);
    column("comment", "Коментар", 195, true, false);
    DBGrid1->setColumns(cols);
    DBGrid1->keyPress = [this](QKeyEvent *e) { return DBGrid1KeyPress(e); };
    connect(DBGrid1, &TDBGrid::titleClicked, this, [this](int c) { Guard::run([&] { DBGrid1TitleClick(c); }); });
    connect(DBGrid1, &QAbstractItemView::doubleClicked, this, Guard::slot([this] { bYesClick(); }));

    Label2 = FormLook::label(this, QStringLiteral("Label2"), QStringLiteral("Име"), 8, 275);
    DBEdit1 = new TDBEdit(this);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->setGeometry(56, 271, 200, 21);
    DBEdit1->setReadOnly(true);
    DBEdit1->setMaxLength(30);

    Label3 = FormLook::label(this, QStringLiteral("Label3"), QStringLiteral("Парола"), 276, 275);
    DBEdit2 = new TDBEdit(this);
    DBEdit2->setObjectName(QStringLiteral("DBEdit2"));
    DBEdit2->setGeometry(330, 271, 210, 21);
    DBEdit2->setMaxLength(20);
    FormLook::setPasswordCharacter(DBEdit2, QLatin1Char('*'));

    bYes = new QPushButton(QStringLiteral("&Промени"), this);
    bYes->setObjectName(QStringLiteral("bYes"));
    bYes->setGeometry(342, 303, 96, 25);
    bYes->setAutoDefault(false);

    bCancel = new QPushButton(QStringLiteral("&Отказ"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(444, 303, 96, 25);
    bCancel->setAutoDefault(false);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(bYes, &QPushButton::clicked, this, Guard::slot([this] { bYesClick(); }));
    connect(tbxSearchValue, &QLineEdit::textChanged, this, Guard::slot([this](const QString &t) { tbxSearchValueChange(t); }));
    bind();
}

void TfFiters::bind()
{
    if (!DM)
        return;
    DBGrid1->setDataSource(DM->srcUsers);
    DBEdit1->setDataSource(DM->srcUsers);
    DBEdit1->setDataField(QStringLiteral("user_name"));
    DBEdit2->setDataSource(DM->srcUsers);
    DBEdit2->setDataField(QStringLiteral("password"));
}

void TfFiters::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Nothing is reset: the search text, the position and the order stay as they were.
    tbxSearchValue->setFocus();
}

void TfFiters::tbxSearchValueChange(const QString &text)
{
    if (DM && DM->tblUsers->Active())
        DM->tblUsers->FindByKey(QStringLiteral("User_name"), text);
}

void TfFiters::DBGrid1TitleClick(int column)
{
    const WaitCursor wait;
    TDaoTable *t = DM->tblUsers;
    if (!t->Active() || column < 0 || column >= DBGrid1->Columns().size())
        return;
    t->SortedBy() = QStringList{QLatin1Char('[') + DBGrid1->Columns().at(column).FieldName + QStringLiteral("] ASC")};
    t->ApplySort();
}

bool TfFiters::DBGrid1KeyPress(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    // The row named exactly "Admin" cannot be typed into from the grid.
    TDaoTable *t = DM->tblUsers;
    return t->Active() && t->FieldByName(QStringLiteral("user_name"))->AsString() == QLatin1String("Admin");
}

void TfFiters::bYesClick()
{
    if (!DM || !DM->DataBase->Connected())
        return;
    TDaoTable *t = DM->tblUsers;
    if (t->State() == TDaoTable::dsBrowse)
        t->Edit();
    t->Post();
}
