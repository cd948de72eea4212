// The makes-and-models window's form.
#include "uModels.h"

#include "FormLook.h"
#include "Pictures.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcCatalogue, "velostok.catalogue", QtWarningMsg)

TfModels *fModels = nullptr;

TfModels::TfModels(QWidget *parent)
    : QDialog(parent)
{
    setupUi();
}

void TfModels::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("fModels"), QStringLiteral("Модели"), 456, 344);

    Label1 = FormLook::label(this, QStringLiteral("Label1"), QStringLiteral("Търсене по марка"), 8, 14);
    tbxSearchValue = new QLineEdit(this);
    tbxSearchValue->setObjectName(QStringLiteral("tbxSearchValue"));
    tbxSearchValue->setGeometry(112, 10, 170, 21);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(416, 4, 32, 32);
    Image1->setPixmap(Pictures::toolBarIcon(15).pixmap(32, 32));

    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(8, 42, 440, 260);
    FormLook::setupDataGrid(DBGrid1, {{QStringLiteral("id"), QStringLiteral("№"), 36, true},
                                      {QStringLiteral("mark_name"), QStringLiteral("Марка"), 105, true},
                                      {QStringLiteral("model_name"), QStringLiteral("Модел"), 98, true},
                                      {QStringLiteral("first_date"), QStringLiteral("Нач. год. произ."), 85},
                                      {QStringLiteral("last_date"), QStringLiteral("Кр-на год. пр."), 72}});

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    delete1 = PopupMenu1->addAction(QStringLiteral("Премахни"));
    delete1->setObjectName(QStringLiteral("delete1"));
    delete1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    N1 = PopupMenu1->addAction(QStringLiteral("Добави"));
    N1->setObjectName(QStringLiteral("N1"));
    N1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));

    dxButton1 = new QPushButton(QStringLiteral("&Премахни"), this);
    dxButton1->setObjectName(QStringLiteral("dxButton1"));
    dxButton1->setGeometry(8, 310, 100, 25);
    dxButton1->setAutoDefault(false);

    bCancel = new QPushButton(QStringLiteral("&Изход"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(348, 310, 100, 25);
    bCancel->setAutoDefault(false);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
}
