// The makes-and-models window's form.
#include "uModels.h"

#include "FormLook.h"
#include "Guard.h"
#include "Prompts.h"
#include "Scope.h"
#include "Pictures.h"
#include "TDBGrid.h"
#include "module/uDM.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QLoggingCategory>

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

    DBGrid1 = new TDBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(8, 42, 440, 260);
    // Editable in place with the cell editor always shown.
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows); // the current row drawn as such
    DBGrid1->setEditTriggers(QAbstractItemView::AllEditTriggers);
    DBGrid1->setTabKeyNavigation(true);
    QList<TColumn> cols;
    auto column = [&](const char *field, const char *title, int width, bool centred) {
        TColumn c;
        c.FieldName = QString::fromLatin1(field);
        c.Title = QString::fromUtf8(title);
        c.Width = width;
        c.TitleAlignment = centred ? Qt::AlignHCenter : Qt::AlignLeft;
        cols << c;
    };
    column("id", "№", 36, true);
    column("mark_name", "Марка", 105, true);
    column("model_name", "Модел", 98, true);
    column("first_date", "Нач. год. произ.", 85, false);
    // One pixel wider than the form's 72: the style's margins and this title's font need 73.
    column("last_date", "Кр-на год. пр.", 73, false);
    DBGrid1->setColumns(cols);
    DBGrid1->ConfirmDelete = false;
    DBGrid1->CancelOnExit = true;
    DBGrid1->LimitToField = true;
    DBGrid1->keyPress = [this](QKeyEvent *e) { return DBGrid1KeyPress(e); };
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(at)); });
    connect(DBGrid1, &TDBGrid::titleClicked, this, [this](int c) { Guard::run([&] { DBGrid1TitleClick(c); }); });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    delete1 = PopupMenu1->addAction(QStringLiteral("Премахни"));
    delete1->setObjectName(QStringLiteral("delete1"));
    delete1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    N1 = PopupMenu1->addAction(QStringLiteral("Добави"));
    N1->setObjectName(QStringLiteral("N1"));
    N1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    // The menu's keys work while the grid or its cell editor has the focus, ahead of the grid's
    // own Ctrl+Del.
    for (QAction *a : {delete1, N1}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        a->setProperty("gridCommand", true);
        DBGrid1->addAction(a);
    }
    connect(delete1, &QAction::triggered, this, Guard::slot([this] { dxButton1Click(); }));
    connect(N1, &QAction::triggered, this, Guard::slot([this] { N1Click(); }));

    dxButton1 = new QPushButton(QStringLiteral("&Премахни"), this);
    dxButton1->setObjectName(QStringLiteral("dxButton1"));
    dxButton1->setGeometry(8, 310, 100, 25);
    dxButton1->setAutoDefault(false);

    bCancel = new QPushButton(QStringLiteral("&Изход"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(348, 310, 100, 25);
    bCancel->setAutoDefault(false);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(dxButton1, &QPushButton::clicked, this, Guard::slot([this] { dxButton1Click(); }));
    connect(tbxSearchValue, &QLineEdit::textChanged, this, Guard::slot([this](const QString &t) { tbxSearchValueChange(t); }));
    tbxSearchValue->installEventFilter(this);
    bind();
}

void TfModels::bind()
{
    if (DM)
        DBGrid1->setDataSource(DM->srcModels);
}

void TfModels::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormActivate();
}

void TfModels::FormActivate()
{
    // Nothing is reset: the search text, the position and the order stay as they were.
    tbxSearchValue->setFocus();
}

void TfModels::tbxSearchValueChange(const QString &text)
{
    if (DM && DM->tblModels->Active())
        DM->tblModels->FindByKey(QStringLiteral("mark_name"), text);
}

bool TfModels::eventFilter(QObject *watched, QEvent *event)
{
    // tbxSearchValueKeyPress: Esc is consumed and closes the window.
    if (watched == tbxSearchValue && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfModels::DBGrid1TitleClick(int column)
{
    const WaitCursor wait;
    TDaoTable *t = DM->tblModels;
    if (!t->Active() || column < 0 || column >= DBGrid1->Columns().size())
        return;
    // Lasts for the run, and orders the picker's model list as well (the same table).
    t->SortedBy() = QStringList{QLatin1Char('[') + DBGrid1->Columns().at(column).FieldName + QStringLiteral("] ASC")};
    t->ApplySort();
}

bool TfModels::DBGrid1KeyPress(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape)
        return false;
    DBGrid1->cancelEdit();
    reject();
    return true;
}

void TfModels::dxButton1Click()
{
    if (!DM || !DM->DataBase->Connected())
        return;
    if (!prompts().confirm(QStringLiteral("Наистина ли искате да премахнете този запис ?")))
        return;
    TDaoTable *t = DM->tblModels;
    if (!t->Active())
        return;
    if (t->State() == TDaoTable::dsInsert) {
        t->Cancel(); // a new row was never stored: dropping it is its deletion
        return;
    }
    if (t->RecordCount() > 0)
        t->Delete();
}

void TfModels::N1Click()
{
    if (!DM || !DM->DataBase->Connected() || !DM->tblModels->Active())
        return;
    DBGrid1->setFocus();
    DM->tblModels->Append();
}
