// The record editor's form.
#include "ueditor.h"

#include "FormLook.h"
#include "Pictures.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcEditor, "velostok.editor", QtWarningMsg)

TfEditor *fEditor = nullptr;

namespace {

// Rows of the panel: a label column, then the boxes.
constexpr int BoxLeft = 100;
constexpr int BoxWidth = 280;
constexpr int RowStep = 28;
constexpr int FirstRow = 12;

int rowTop(int row)
{
    return FirstRow + row * RowStep;
}

} // namespace

TfEditor::TfEditor(QWidget *parent)
    : QDialog(parent)
{
    setupUi();
}

void TfEditor::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("fEditor"), QStringLiteral("Редактиране"), 400, 380);

    Panel1 = FormLook::loweredPanel(this, QStringLiteral("Panel1"));
    Panel1->setGeometry(4, 4, 392, 337);

    auto label = [this](const char *name, const QString &text, int left, int top) {
        return FormLook::label(Panel1, QLatin1String(name), text, left, top + 4);
    };
    auto edit = [this](const char *name, int left, int top, int width, int limit) {
        auto *e = new QLineEdit(Panel1);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(left, top, width, 21);
        if (limit > 0)
            e->setMaxLength(limit);
        return e;
    };
    auto combo = [this](const char *name, int left, int top, int width) {
        auto *c = new QComboBox(Panel1);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setGeometry(left, top, width, 21);
        return c;
    };

    Label1 = label("Label1", QStringLiteral("№"), 8, rowTop(0));
    eID = edit("eID", BoxLeft, rowTop(0), 80, 0);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(352, 4, 32, 32);
    Image1->setPixmap(Pictures::toolBarIcon(12).pixmap(32, 32));

    Label2 = label("Label2", QStringLiteral("Каталожен №"), 8, rowTop(1));
    cbxUnitNum = combo("cbxUnitNum", BoxLeft, rowTop(1), BoxWidth);
    Label3 = label("Label3", QStringLiteral("Наименование"), 8, rowTop(2));
    cbxUnitName = combo("cbxUnitName", BoxLeft, rowTop(2), BoxWidth);

    Label4 = label("Label4", QStringLiteral("Количество"), 8, rowTop(3));
    eQuantity = edit("eQuantity", BoxLeft, rowTop(3), 100, 30);
    Label5 = label("Label5", QStringLiteral("Цена"), 212, rowTop(3));
    ePrice = edit("ePrice", 250, rowTop(3), BoxLeft + BoxWidth - 250, 30);

    Label6 = label("Label6", QStringLiteral("Цена-едро"), 8, rowTop(4));
    eSecondPrice = edit("eSecondPrice", BoxLeft, rowTop(4), 100, 0);

    Label7 = label("Label7", QStringLiteral("Съвместимост"), 8, rowTop(5));
    eComment = new QPlainTextEdit(Panel1);
    eComment->setObjectName(QStringLiteral("eComment"));
    eComment->setGeometry(BoxLeft, rowTop(5), BoxWidth, 62);
    eComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    eComment->setTabChangesFocus(true);
    eComment->setToolTip(QStringLiteral("Щракнете два пъти с мишката"));

    // The memo takes two and a half rows.
    const int below = rowTop(5) + 70;
    Label8 = label("Label8", QStringLiteral("Доставчик"), 8, below);
    eDeliverName = edit("eDeliverName", BoxLeft, below, BoxWidth, 50);
    Label9 = label("Label9", QStringLiteral("№ при дост."), 8, below + RowStep);
    eDeliverNum = edit("eDeliverNum", BoxLeft, below + RowStep, BoxWidth, 50);
    Label10 = label("Label10", QStringLiteral("Произведено"), 8, below + 2 * RowStep);
    eDeliveryCountry = edit("eDeliveryCountry", BoxLeft, below + 2 * RowStep, BoxWidth, 50);

    const int users = below + 3 * RowStep;
    lblUsers = label("lblUsers", QStringLiteral("Променил"), 8, users);
    cbxUsers = combo("cbxUsers", BoxLeft, users, 120);
    lblPass = label("lblPass", QStringLiteral("Парола"), 230, users);
    ePassword = edit("ePassword", 272, users, BoxLeft + BoxWidth - 272, 0);
    FormLook::setPasswordCharacter(ePassword, QLatin1Char('#'));

    bChange = new QPushButton(QStringLiteral("&Промяна"), this);
    bChange->setObjectName(QStringLiteral("bChange"));
    bChange->setGeometry(198, 347, 96, 25);
    bChange->setAutoDefault(false);

    bCancel = new QPushButton(QStringLiteral("&Изход"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(300, 347, 96, 25);
    bCancel->setAutoDefault(false);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto item = [this](const char *name, const QString &text, QKeyCombination key) {
        QAction *a = PopupMenu1->addAction(text);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(QKeySequence(key));
        return a;
    };
    Copy1 = item("Copy1", QStringLiteral("Копирай"), Qt::CTRL | Qt::Key_C);
    Cut1 = item("Cut1", QStringLiteral("Изрежи"), Qt::CTRL | Qt::Key_X);
    Paste1 = item("Paste1", QStringLiteral("Постави"), Qt::CTRL | Qt::Key_V);
    N3 = PopupMenu1->addSeparator();
    N3->setObjectName(QStringLiteral("N3"));
    Select1 = item("Select1", QStringLiteral("Избор"), Qt::CTRL | Qt::Key_S);
}
