// The search window's form.
#include "uSearchForm.h"

#include "CompatibilityMemo.h"
#include "FormLook.h"
#include "Guard.h"
#include "KeyRules.h"
#include "MainGrid.h"
#include "PickListBox.h"
#include "SearchFilter.h"
#include "Settings.h"
#include "TDBGrid.h"
#include "dataset/TDaoTable.h"
#include "module/uDM.h"
#include "Pictures.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QLoggingCategory>

TfSearchForm *fSearchForm = nullptr;

namespace {

constexpr int LeftColumn = 8;
constexpr int LeftWidth = 300;
constexpr int RightColumn = 320;
constexpr int RightWidth = 200;

} // namespace

TfSearchForm::TfSearchForm(QWidget *parent)
    : QDialog(parent)
{
    setupUi();
}

void TfSearchForm::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("fSearchForm"), QStringLiteral("Търсене"), 536, 291);

    Panel1 = FormLook::loweredPanel(this, QStringLiteral("Panel1"));
    Panel1->setGeometry(4, 4, 528, 248);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 32, 32);
    Image1->setPixmap(Pictures::toolBarIcon(9).pixmap(32, 32));

    auto label = [this](const char *name, const QString &text, int left, int top) {
        return FormLook::label(Panel1, QLatin1String(name), text, left, top);
    };
    auto edit = [this](const char *name, int left, int top, int width, int limit) {
        return FormLook::lineEdit(Panel1, QLatin1String(name), left, top, width, limit);
    };
    auto combo = [this](const char *name, int left, int top, int width) {
        auto *c = new PickListBox(Panel1);
        c->setObjectName(QLatin1String(name));
        c->setGeometry(left, top, width, 21);
        return c;
    };

    // Left column; "№" stands beside the picture.
    Label1 = label("Label1", QStringLiteral("№"), 48, 8);
    eID = edit("eID", 48, 24, 90, 0);
    Label2 = label("Label2", QStringLiteral("Каталожен №"), LeftColumn, 52);
    cbxUnitNum = combo("cbxUnitNum", LeftColumn, 68, LeftWidth);
    Label3 = label("Label3", QStringLiteral("Наименование"), LeftColumn, 96);
    cbxUnitName = combo("cbxUnitName", LeftColumn, 112, LeftWidth);
    Label4 = label("Label4", QStringLiteral("Съвместимост"), LeftColumn, 140);
    Label5 = label("Label5", QStringLiteral("( Тук можете да посочите повече от една дума ! )"), LeftColumn, 154);
    Label5->setFont(FormLook::pixelFont(QStringLiteral("MS Sans Serif"), 11, false, true));
    FormLook::setTextColour(Label5, QColor(128, 128, 128));
    Label5->adjustSize();
    eComment = new CompatibilityMemo(Panel1);
    eComment->setGeometry(LeftColumn, 170, LeftWidth, 70);
    eComment->setToolTip(QString()); // no hint here
    eComment->setTypingLimit(135);
    connect(eComment, &CompatibilityMemo::escapePressed, this, &QDialog::reject);

    // Right column.
    Label6 = label("Label6", QStringLiteral("Доставчик"), RightColumn, 8);
    eDeliverName = edit("eDeliverName", RightColumn, 24, RightWidth, 50);
    Label7 = label("Label7", QStringLiteral("№ при дост."), RightColumn, 52);
    eDeliverNum = edit("eDeliverNum", RightColumn, 68, RightWidth, 50);
    Label8 = label("Label8", QStringLiteral("Произведено"), RightColumn, 96);
    eDeliveryCountry = edit("eDeliveryCountry", RightColumn, 112, RightWidth, 50);

    Label9 = label("Label9", QStringLiteral("Количество"), RightColumn, 140);
    lblException = label("lblException", QStringLiteral("="), Label9->geometry().right() + 6, 140);
    lblException->setFont(FormLook::pixelFont(QStringLiteral("MS Sans Serif"), 11, true));
    FormLook::setTextColour(lblException, QColor(255, 0, 0));
    lblException->adjustSize();
    eQuantity = edit("eQuantity", RightColumn, 156, 104, 0);

    ComparisonGroup = new QButtonGroup(this);
    ComparisonGroup->setObjectName(QStringLiteral("ComparisonGroup"));
    ComparisonGroup->setExclusive(true);
    auto toggle = [this](const char *name, const QString &text, int left) {
        auto *b = new QToolButton(Panel1);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(left, 155, 30, 23);
        ComparisonGroup->addButton(b);
        return b;
    };
    Less = toggle("Less", QStringLiteral("<"), RightColumn + 108);
    Equal = toggle("Equal", QStringLiteral("="), RightColumn + 139);
    More = toggle("More", QStringLiteral(">"), RightColumn + 170);
    Equal->setChecked(true);

    cbxStar = new QCheckBox(QStringLiteral("Търсене по начални символи"), Panel1);
    cbxStar->setObjectName(QStringLiteral("cbxStar"));
    cbxStar->setGeometry(RightColumn, 192, RightWidth, 17);
    cbxHide = new QCheckBox(QStringLiteral("Да се скрива след търсене"), Panel1);
    cbxHide->setObjectName(QStringLiteral("cbxHide"));
    cbxHide->setGeometry(RightColumn, 216, RightWidth, 17);

    auto button = [this](const char *name, const QString &text, int left, int width) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(left, 258, width, 25);
        b->setAutoDefault(false); // Enter never starts a search
        return b;
    };
    bNewSearch = button("bNewSearch", QStringLiteral("&Ново търсене"), 4, 110);
    bSearch = button("bSearch", QStringLiteral("&Търси"), 326, 100);
    bCancel = button("bCancel", QStringLiteral("&Изход"), 432, 100);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(bSearch, &QPushButton::clicked, this, Guard::slot([this] { bSearchClick(); }));
    connect(bNewSearch, &QPushButton::clicked, this, Guard::slot([this] { bNewSearchClick(); }));
    connect(Less, &QToolButton::clicked, this, [this] { LessClick(); });
    connect(Equal, &QToolButton::clicked, this, [this] { EqualClick(); });
    connect(More, &QToolButton::clicked, this, [this] { MoreClick(); });
    KeyRules::digitsOnly(eID);
    KeyRules::numberOf(eQuantity, []() -> const TDaoField * {
        return DM && DM->tblMain->Active() ? DM->tblMain->FieldByName(QStringLiteral("quantity")) : nullptr;
    });
}

void TfSearchForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Guard::run([this] { FormShow(); });
}

void TfSearchForm::FormShow()
{
    if (!DM || !DM->DataBase->Connected())
        return;
    // The grid's lists, shared; the boxes' texts stay.
    MainGrid *g = mainGrid();
    if (!g)
        return;
    const TDBGrid *grid = g->grid();
    for (auto [box, field] : {std::pair{cbxUnitNum, "unit_number"}, std::pair{cbxUnitName, "unit_name"}}) {
        const int c = grid->columnOfField(QLatin1String(field), -1);
        box->setPickList(c >= 0 ? grid->Columns().at(c).PickList : TPickList());
    }
}

void TfSearchForm::comparisonClicked(QToolButton *button, const QString &character)
{
    if (!button->isChecked())
        return;
    lblException->setText(character);
    lblException->adjustSize();
    QuantityComparison = character;
}

void TfSearchForm::LessClick()
{
    comparisonClicked(Less, QStringLiteral("<"));
}

void TfSearchForm::EqualClick()
{
    comparisonClicked(Equal, QStringLiteral("="));
}

void TfSearchForm::MoreClick()
{
    comparisonClicked(More, QStringLiteral(">"));
}

void TfSearchForm::bSearchClick()
{
    SearchCriteria c;
    c.id = eID->text();
    c.quantity = eQuantity->text();
    c.comparison = QuantityComparison;
    c.unitNumber = cbxUnitNum->currentText();
    c.unitName = cbxUnitName->currentText();
    c.deliverName = eDeliverName->text();
    c.deliverNumber = eDeliverNum->text();
    c.deliveryCountry = eDeliveryCountry->text();
    c.comment = eComment->text();
    c.fromStart = cbxStar->isChecked();
    c.showDeleted = settings().showDeleted();
    // A filter the dataset refuses raises here: its error is shown and the window stays.
    if (MainGrid *g = mainGrid())
        g->ApplyFilter(searchFilter(c));
    if (cbxHide->isChecked())
        accept();
}

void TfSearchForm::bNewSearchClick()
{
    for (QLineEdit *e : {eID, eDeliverName, eDeliverNum, eDeliveryCountry, eQuantity})
        e->clear();
    eComment->clear();
    // The lists stay empty until the window is shown again.
    for (PickListBox *box : {cbxUnitNum, cbxUnitName}) {
        box->setPickList(TPickList());
        box->setEditText(QString());
    }
}
