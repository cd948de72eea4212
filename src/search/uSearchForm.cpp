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
#include "Prompts.h"
#include "Scope.h"
#include "dataset/TDaoField.h"
#include "dataset/TDaoTable.h"
#include "fitment/CompatibilityText.h"
#include "module/uDM.h"
#include "Pictures.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QProgressDialog>
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
    FormLook::fixedDialog(this, QStringLiteral("fSearchForm"), QStringLiteral("Търсене"), 536, 361);

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
        b->setGeometry(left, 328, width, 25);
        b->setAutoDefault(false); // Enter never starts a search
        return b;
    };
    gbFitment = new QGroupBox(QStringLiteral(" Подходящи за автомобил "), this);
    gbFitment->setObjectName(QStringLiteral("gbFitment"));
    gbFitment->setGeometry(4, 256, 528, 66);
    auto fitCombo = [this](const char *name, int left, int width) {
        auto *c = new QComboBox(gbFitment);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setMaxVisibleItems(16);
        c->setGeometry(left, 34, width, 21);
        return c;
    };
    Label10 = FormLook::label(gbFitment, QStringLiteral("Label10"), QStringLiteral("Мар&ка"), 8, 18);
    cbxFitMake = fitCombo("cbxFitMake", 8, 150);
    Label11 = FormLook::label(gbFitment, QStringLiteral("Label11"), QStringLiteral("Мо&дел"), 166, 18);
    cbxFitModel = fitCombo("cbxFitModel", 166, 150);
    Label12 = FormLook::label(gbFitment, QStringLiteral("Label12"), QStringLiteral("&Година"), 324, 18);
    eFitYear = FormLook::lineEdit(gbFitment, QStringLiteral("eFitYear"), 324, 34, 60, 4);
    Label10->setBuddy(cbxFitMake);
    Label11->setBuddy(cbxFitModel);
    Label12->setBuddy(eFitYear);
    bFitSearch = new QPushButton(QStringLiteral("Търси &подходящи"), gbFitment);
    bFitSearch->setObjectName(QStringLiteral("bFitSearch"));
    bFitSearch->setGeometry(392, 32, 128, 25);
    bFitSearch->setAutoDefault(false);
    connect(bFitSearch, &QPushButton::clicked, this, Guard::slot([this] { bFitSearchClick(); }));
    connect(cbxFitMake, &QComboBox::currentTextChanged, this, Guard::slot([this] { cbxFitMakeChange(); }));
    KeyRules::digitsOnly(eFitYear);

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
    fillCatalogue();
}

// The makes and models of the catalogue, read afresh each time the window is shown; the boxes'
// texts stay.
void TfSearchForm::fillCatalogue()
{
    mModels.clear();
    QStringList makes;
    QHash<QString, QString> shownMake;
    {
        TDaoTable models;
        models.setDatabase(DM->DataBase);
        models.setTableName(QStringLiteral("models"));
        models.setFieldNames({QStringLiteral("mark_name"), QStringLiteral("model_name")});
        models.setReadOnly(true);
        models.Open();
        for (models.First(); !models.Eof(); models.Next()) {
            const QString make = models.FieldByName(QStringLiteral("mark_name"))->AsString().simplified();
            const QString model = models.FieldByName(QStringLiteral("model_name"))->AsString().simplified();
            if (make.isEmpty())
                continue;
            const QString key = make.toCaseFolded();
            if (!shownMake.contains(key)) {
                shownMake.insert(key, make);
                makes << make;
            }
            if (!model.isEmpty() && !mModels.contains(key, model))
                mModels.insert(key, model);
        }
    }
    makes.sort(Qt::CaseInsensitive);
    const QString text = cbxFitMake->currentText();
    {
        const QSignalBlocker quiet(cbxFitMake);
        cbxFitMake->clear();
        cbxFitMake->addItems(makes);
        cbxFitMake->setEditText(text);
    }
    const QString model = cbxFitModel->currentText();
    cbxFitMakeChange();
    cbxFitModel->setEditText(model);
}

// The model list follows the make, as in the picker; the model typed is cleared.
void TfSearchForm::cbxFitMakeChange()
{
    QStringList models = mModels.values(cbxFitMake->currentText().simplified().toCaseFolded());
    models.sort(Qt::CaseInsensitive);
    const QSignalBlocker quiet(cbxFitModel);
    cbxFitModel->clear();
    cbxFitModel->addItems(models);
    cbxFitModel->setEditText(QString());
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

// Narrows the rows the grid's filter shows (without the term of an earlier fitment search) to the
// parts that fit the car.
void TfSearchForm::bFitSearchClick()
{
    const QString make = cbxFitMake->currentText().simplified();
    const QString model = cbxFitModel->currentText().simplified();
    const QString year = eFitYear->text().trimmed();
    if (make.isEmpty()) {
        prompts().message(QStringLiteral("Въведете марка на автомобила."));
        cbxFitMake->setFocus();
        return;
    }
    if (!year.isEmpty() && !compatibility::isYear(year)) {
        prompts().message(QStringLiteral("Годината трябва да е от 1886 до 2100."));
        eFitYear->setFocus();
        return;
    }
    MainGrid *g = mainGrid();
    if (!g || !DM || !DM->DataBase->Connected())
        return;
    auto quote = [](QString text) { return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"'); };
    const QString term = QStringLiteral("FITS(%1, %2, %3)").arg(quote(make), quote(model), year.isEmpty() ? QStringLiteral("0") : year);
    const TDaoTable *rows = g->dataSet();
    const QString current = rows->Filtered() ? rows->Filter().trimmed() : QString();
    const QString base = !mFitApplied.isEmpty() && current == mFitApplied ? mFitBase : current;
    const QString filter = base.isEmpty() ? term : QStringLiteral("(%1) AND %2").arg(base, term);
    {
        // The first search after many rows changed reads them into the index.
        WaitCursor wait;
        std::unique_ptr<QProgressDialog> progress;
        DM->DataBase->bringFitmentUpToDate([&](qint64 done, qint64 total) {
            if (!progress) {
                progress = std::make_unique<QProgressDialog>(QStringLiteral("Четене на съвместимостта на редовете ..."), QString(), 0, 1000, this);
                progress->setWindowTitle(QStringLiteral("Търсене"));
                progress->setMinimumDuration(0);
            }
            progress->setValue(total > 0 ? int(done * 1000 / total) : 0);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
    }
    g->ApplyFilter(filter);
    mFitBase = base;
    mFitApplied = filter;
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
    cbxFitMake->setEditText(QString());
    cbxFitModel->setEditText(QString());
    eFitYear->clear();
}
