// The compatibility picker's form.
#include "uMarkAndModels.h"

#include "FormLook.h"
#include "Guard.h"
#include "module/uDM.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfMarkAndModels *fMarkAndModels = nullptr;
QString PickedCompatibility;

namespace {
// A box's text changed without the user: its reaction does not run.
void setTextQuietly(QComboBox *box, const QString &text)
{
    const QSignalBlocker quiet(box);
    box->setEditText(text);
}

// Down or Up in an empty box gives its first entry, as any list box does; otherwise the box
// would step from the entry it last showed (after a new list, the second).
class FirstEntryKeys : public QObject
{
public:
    explicit FirstEntryKeys(QComboBox *box) : QObject(box), mBox(box) { box->installEventFilter(this); }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *k = static_cast<QKeyEvent *>(event);
        if ((k->key() != Qt::Key_Down && k->key() != Qt::Key_Up) || k->modifiers() != Qt::NoModifier
            || !mBox->currentText().isEmpty() || mBox->count() == 0)
            return false;
        {
            const QSignalBlocker quiet(mBox);
            mBox->setCurrentIndex(-1);
        }
        mBox->setCurrentIndex(0); // the box's reaction runs, as for any other entry chosen
        return true;
    }

private:
    QComboBox *mBox;
};
} // namespace

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
        // What is typed is the make or model as typed: no completion.
        c->setCompleter(nullptr);
        c->setDuplicatesEnabled(true);
        c->setGeometry(left, 24, 150, 21);
        new FirstEntryKeys(c);
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

    connect(dbcbMark, &QComboBox::editTextChanged, this, Guard::slot([this] { dbcbMarkChange(); }));
    connect(dbcbModel, &QComboBox::editTextChanged, this, Guard::slot([this] { dbcbModelChange(); }));
    connect(dxButton1, &QPushButton::clicked, this, Guard::slot([this] { dxButton1Click(); }));
    connect(bCancel, &QPushButton::clicked, this, Guard::slot([this] { bCancelClick(); }));
}

void TfMarkAndModels::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Guard::run([this] { FormShow(); });
}

void TfMarkAndModels::FormShow()
{
    FillMarks();
    // The model and the years start empty; the make and the model list stay as they were.
    setTextQuietly(dbcbModel, QString());
    eFirstDate->clear();
    eLastDate->clear();
}

void TfMarkAndModels::FillMarks()
{
    const QString text = dbcbMark->currentText();
    {
        const QSignalBlocker quiet(dbcbMark);
        dbcbMark->clear();
        dbcbMark->setEditText(text);
    }
    if (!DM || !DM->DataBase->Connected())
        return;
    TDaoTable *marks = DM->tblMark;
    marks->Requery();
    QStringList names;
    for (marks->First(); !marks->Eof(); marks->Next())
        names << marks->FieldByName(QStringLiteral("mark_name"))->AsString();
    const QSignalBlocker quiet(dbcbMark);
    dbcbMark->addItems(names);
    dbcbMark->setEditText(text);
}

void TfMarkAndModels::dbcbMarkChange()
{
    FilterModels();
}

void TfMarkAndModels::FilterModels()
{
    if (!DM || !DM->tblModels->Active())
        return;
    TDaoTable *models = DM->tblModels;
    // The make as typed, not escaped: a double quote in it makes the filter fail.
    models->applyFilter(QStringLiteral("[mark_name]=\"") + dbcbMark->currentText() + QLatin1Char('"'));
    {
        const QSignalBlocker quiet(dbcbModel);
        dbcbModel->clear();
        dbcbModel->setEditText(QString());
    }
    QStringList names;
    for (models->First(); !models->Eof(); models->Next())
        names << models->FieldByName(QStringLiteral("model_name"))->AsString();
    const QSignalBlocker quiet(dbcbModel);
    dbcbModel->addItems(names);
    dbcbModel->setEditText(QString());
}

void TfMarkAndModels::dbcbModelChange()
{
    if (!DM || !DM->tblModels->Active())
        return;
    TDaoTable *models = DM->tblModels;
    // Among the rows the table holds now: the whole catalogue until the make is changed.
    models->FindByKey(QStringLiteral("model_name"), dbcbModel->currentText());
    if (DM->ProcessMessages)
        DM->ProcessMessages();
    // Whether or not a row was found: the years of the row the table is on.
    eFirstDate->setText(models->FieldByName(QStringLiteral("first_date"))->AsString());
    eLastDate->setText(models->FieldByName(QStringLiteral("last_date"))->AsString());
}

void TfMarkAndModels::dxButton1Click()
{
    PickedCompatibility = dbcbMark->currentText() + QLatin1Char(' ') + dbcbModel->currentText() + QLatin1Char(' ')
                          + eFirstDate->text() + QLatin1Char('-') + eLastDate->text() + QLatin1Char(';');
    accept();
}

void TfMarkAndModels::bCancelClick()
{
    PickedCompatibility.clear();
    reject();
}

void TfMarkAndModels::done(int result)
{
    // However it closes, the catalogue is whole again for the catalogue window and later uses.
    Guard::run([this] { FormCloseQuery(); });
    QDialog::done(result);
}

void TfMarkAndModels::FormCloseQuery()
{
    if (DM && DM->tblModels->Active())
        DM->tblModels->setFiltered(false);
}
