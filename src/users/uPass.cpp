// The administrator password prompt.
#include "uPass.h"

#include "FormLook.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfPass *fPass = nullptr;

TfPass::TfPass(QWidget *parent)
    : QDialog(parent)
{
    setupUi();
}

void TfPass::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("fPass"), QStringLiteral("Търсене покупки"), 250, 108);

    Panel1 = FormLook::loweredPanel(this, QStringLiteral("Panel1"));
    Panel1->setGeometry(4, 4, 242, 64);
    Label1 = FormLook::label(Panel1, QStringLiteral("Label1"), QStringLiteral("Парола на администратора"), 12, 10);
    ePass = new QLineEdit(Panel1);
    ePass->setObjectName(QStringLiteral("ePass"));
    ePass->setGeometry(12, 28, 218, 21);
    FormLook::setPasswordCharacter(ePass, QLatin1Char('#'));

    bYes = new QPushButton(QStringLiteral("&Да"), this);
    bYes->setObjectName(QStringLiteral("bYes"));
    bYes->setGeometry(42, 76, 80, 25);
    bYes->setDefault(true);
    connect(bYes, &QPushButton::clicked, this, &QDialog::accept);

    bCancel = new QPushButton(QStringLiteral("&Изход"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(128, 76, 80, 25);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfPass::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfPass::FormShow()
{
    ePass->clear();
    ePass->setFocus();
}
