// The compatibility picker's form.
#include "uMarkAndModels.h"

#include "FormLook.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfMarkAndModels *fMarkAndModels = nullptr;

TfMarkAndModels::TfMarkAndModels(QWidget *parent)
    : QDialog(parent)
{
    setupUi();
}

void TfMarkAndModels::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("fMarkAndModels"), QStringLiteral("Модели"), 330, 124);

    auto combo = [this](const char *name, int left) {
        auto *c = new QComboBox(this);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setGeometry(left, 24, 150, 21);
        return c;
    };
    Label1 = FormLook::label(this, QStringLiteral("Label1"), QStringLiteral("Марка"), 8, 8);
    dbcbMark = combo("dbcbMark", 8);
    Label2 = FormLook::label(this, QStringLiteral("Label2"), QStringLiteral("Модел"), 172, 8);
    dbcbModel = combo("dbcbModel", 172);

    // The year boxes follow their labels on one line.
    Label3 = FormLook::label(this, QStringLiteral("Label3"), QStringLiteral("Произвеждан от "), 8, 62);
    eFirstDate = new QLineEdit(this);
    eFirstDate->setObjectName(QStringLiteral("eFirstDate"));
    eFirstDate->setGeometry(Label3->geometry().right() + 3, 58, 48, 21);
    Label4 = FormLook::label(this, QStringLiteral("Label4"), QStringLiteral("до годината"),
                             eFirstDate->geometry().right() + 9, 62);
    eLastDate = new QLineEdit(this);
    eLastDate->setObjectName(QStringLiteral("eLastDate"));
    eLastDate->setGeometry(Label4->geometry().right() + 6, 58, 48, 21);

    dxButton1 = new QPushButton(QStringLiteral("&Добави"), this);
    dxButton1->setObjectName(QStringLiteral("dxButton1"));
    dxButton1->setGeometry(76, 92, 86, 25);
    dxButton1->setAutoDefault(false);

    bCancel = new QPushButton(QStringLiteral("&Изход"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(168, 92, 86, 25);
    bCancel->setAutoDefault(false);
}
