#include "uFiters.h"

#include "FormLook.h"
#include "Pictures.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

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

    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(8, 42, 532, 220);
    FormLook::setupDataGrid(DBGrid1, {{QStringLiteral("id"), QStringLiteral("№"), 28, true},
                                      {QStringLiteral("user_name"), QStringLiteral("Име"), 145, true},
                                      {QStringLiteral("pass_stars"), QStringLiteral("Парола"), 121},
                                      {QStringLiteral("comment"), QStringLiteral("Коментар"), 195, true}});

    Label2 = FormLook::label(this, QStringLiteral("Label2"), QStringLiteral("Име"), 8, 275);
    DBEdit1 = new QLineEdit(this);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->setGeometry(56, 271, 200, 21);
    DBEdit1->setReadOnly(true);
    DBEdit1->setMaxLength(30);

    Label3 = FormLook::label(this, QStringLiteral("Label3"), QStringLiteral("Парола"), 276, 275);
    DBEdit2 = new QLineEdit(this);
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
}
