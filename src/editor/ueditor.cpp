// The record editor's form.
#include "ueditor.h"

#include "CompatibilityMemo.h"
#include "base/DaoError.h"
#include "FormLook.h"
#include "Guard.h"
#include "KeyRules.h"
#include "MainGrid.h"
#include "PickListBox.h"
#include "Prompts.h"
#include "Settings.h"
#include "TDBGrid.h"
#include "dataset/TDaoTable.h"
#include "base/Regional.h"
#include "module/uDM.h"
#include "Pictures.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QLoggingCategory>

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
        return FormLook::lineEdit(Panel1, QLatin1String(name), left, top, width, limit);
    };
    auto combo = [this](const char *name, int left, int top, int width) {
        auto *c = new QComboBox(Panel1);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        // The name is stored as typed, even when it only begins a user's name.
        c->setCompleter(nullptr);
        c->setDuplicatesEnabled(true);
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
    auto listBox = [this](const char *name, int top) {
        auto *c = new PickListBox(Panel1);
        c->setObjectName(QLatin1String(name));
        c->setGeometry(BoxLeft, top, BoxWidth, 21);
        return c;
    };
    cbxUnitNum = listBox("cbxUnitNum", rowTop(1));
    Label3 = label("Label3", QStringLiteral("Наименование"), 8, rowTop(2));
    cbxUnitName = listBox("cbxUnitName", rowTop(2));

    Label4 = label("Label4", QStringLiteral("Количество"), 8, rowTop(3));
    eQuantity = edit("eQuantity", BoxLeft, rowTop(3), 100, 30);
    Label5 = label("Label5", QStringLiteral("Цена"), 212, rowTop(3));
    ePrice = edit("ePrice", 250, rowTop(3), BoxLeft + BoxWidth - 250, 30);

    Label6 = label("Label6", QStringLiteral("Цена-едро"), 8, rowTop(4));
    eSecondPrice = edit("eSecondPrice", BoxLeft, rowTop(4), 100, 0);

    Label7 = label("Label7", QStringLiteral("Съвместимост"), 8, rowTop(5));
    eComment = new CompatibilityMemo(Panel1);
    eComment->setGeometry(BoxLeft, rowTop(5), BoxWidth, 62);
    eComment->setTypingLimit(135);
    connect(eComment, &CompatibilityMemo::escapePressed, this, &QDialog::reject);

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

    connect(bChange, &QPushButton::clicked, this, Guard::slot([this] { bChangeClick(); }));

    KeyRules::digitsOnly(eID);
    const auto fieldOf = [](const char *name) {
        return [name]() -> const TDaoField * {
            return DM && DM->tblMain->Active() ? DM->tblMain->FieldByName(QLatin1String(name)) : nullptr;
        };
    };
    KeyRules::numberOf(eQuantity, fieldOf("quantity"));
    KeyRules::numberOf(ePrice, fieldOf("price"));
    KeyRules::numberOf(eSecondPrice, fieldOf("second_price"));
}

namespace {

bool connected()
{
    return DM && DM->DataBase->Connected();
}

QString conflictText()
{
    return QStringLiteral("Записът не е запазен: след отварянето му тук друг потребител го е променил или изтрил. "
                          "Въведеното остава в прозореца. Затворете прозореца, за да видите записа такъв, какъвто е "
                          "сега, и го отворете отново, за да въведете промяната.");
}

} // namespace

void TfEditor::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The boxes show the row as it is now; others' changes of it wait until the window closes,
    // so that a store from them meets the conflict instead of undoing those changes.
    if (!mHolding && connected()) {
        mHeld = DM->tblMain;
        mHeld->holdCurrentRow(true);
        mHolding = true;
    }
    Guard::run([this] { FormShow(); });
}

void TfEditor::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (std::exchange(mHolding, false) && mHeld)
        mHeld->holdCurrentRow(false);
}

void TfEditor::FormShow()
{
    if (!connected())
        return;
    mStoreOpen = false;
    LoadRecord();
    if (settings().passByChange()) {
        SetModifierVisible(true);
        ePassword->clear();
        FillUsers();
    } else {
        SetModifierVisible(false);
    }
}

void TfEditor::LoadRecord()
{
    if (!connected())
        return;
    TDaoTable *t = DM->tblMain;
    auto text = [t](const char *field) { return t->FieldByName(QLatin1String(field))->AsString(); };
    eID->setText(text("user_id"));
    TPickList numbers;
    TPickList names;
    if (MainGrid *g = mainGrid()) {
        const TDBGrid *grid = g->grid();
        if (const int c = grid->columnOfField(QStringLiteral("unit_number"), -1); c >= 0)
            numbers = grid->Columns().at(c).PickList;
        if (const int c = grid->columnOfField(QStringLiteral("unit_name"), -1); c >= 0)
            names = grid->Columns().at(c).PickList;
    }
    cbxUnitNum->setEditText(text("unit_number"));
    cbxUnitNum->setPickList(numbers);
    cbxUnitName->setEditText(text("unit_name"));
    cbxUnitName->setPickList(names);
    eQuantity->setText(text("quantity"));
    ePrice->setText(text("price"));
    eSecondPrice->setText(text("second_price"));
    eComment->setText(text("comment"));
    eDeliverName->setText(text("deliver_name"));
    eDeliverNum->setText(text("delivery_unit_number"));
    eDeliveryCountry->setText(text("delivery_country"));
}

void TfEditor::SetModifierVisible(bool visible)
{
    for (QWidget *w : {static_cast<QWidget *>(cbxUsers), static_cast<QWidget *>(ePassword),
                       static_cast<QWidget *>(lblUsers), static_cast<QWidget *>(lblPass)})
        w->setVisible(visible);
}

void TfEditor::FillUsers()
{
    const QString typed = cbxUsers->currentText();
    cbxUsers->clear();
    TDaoTable *u = DM->tblUsers;
    if (u->Active()) {
        QStringList names;
        u->First();
        while (!u->Eof()) {
            names << u->FieldByName(QStringLiteral("user_name"))->AsString();
            u->Next();
        }
        cbxUsers->addItems(names);
    }
    cbxUsers->setEditText(typed);
}

void TfEditor::bChangeClick()
{
    if (!connected())
        return;
    if (settings().passByChange()) {
        if (cbxUsers->currentText().isEmpty()) {
            prompts().message(QStringLiteral("Не сте въвели име на \"Променил\" !"));
            cbxUsers->setFocus();
            return;
        }
        if (ePassword->text().isEmpty()) {
            prompts().message(QStringLiteral("Не сте въвели парола на променящия !"));
            ePassword->setFocus();
            return;
        }
        // The first user, in the users table's order, whose name begins with the typed text.
        TDaoTable *u = DM->tblUsers;
        if (!u->FindByKey(QStringLiteral("user_name"), cbxUsers->currentText()))
            return;
        if (u->FieldByName(QStringLiteral("password"))->AsString() != ePassword->text()) {
            prompts().message(QStringLiteral("Сгрешихте паролата !"));
            return;
        }
    }
    StoreRecord();
    if (MainGrid *g = mainGrid())
        g->grid()->viewport()->update();
}

void TfEditor::StoreRecord()
{
    if (!connected())
        return;
    TDaoTable *t = DM->tblMain;
    try {
        t->Edit();
    } catch (const RowConflict &) {
        throw DaoError(conflictText());
    }
    mStoreOpen = true;
    auto assign = [t](const char *field, const QString &text) { t->FieldByName(QLatin1String(field))->setAsString(text); };
    assign("user_id", eID->text());
    if (settings().passByChange())
        assign("modifier", cbxUsers->currentText());
    assign("unit_number", cbxUnitNum->currentText());
    assign("unit_name", cbxUnitName->currentText());
    assign("quantity", eQuantity->text());
    assign("price", ePrice->text());
    assign("second_price", eSecondPrice->text());
    assign("comment", eComment->text());
    assign("deliver_name", eDeliverName->text());
    assign("delivery_unit_number", eDeliverNum->text());
    assign("delivery_country", eDeliveryCountry->text());
    try {
        t->Post();
    } catch (const RowConflict &) {
        // Another copy changed or deleted the row since it was loaded: its change stays, what
        // was typed here stays in the boxes, and nothing is left pending to be stored later.
        t->Cancel();
        mStoreOpen = false;
        throw DaoError(conflictText());
    }
    mStoreOpen = false;
}

void TfEditor::done(int result)
{
    // A store stopped by a value its field refused leaves its first assignments pending;
    // closing drops them rather than letting the caller's re-reading store half a change.
    if (mStoreOpen && connected() && DM->tblMain->State() != TDaoTable::dsBrowse)
        Guard::run([] { DM->tblMain->Cancel(); });
    mStoreOpen = false;
    QDialog::done(result);
}
