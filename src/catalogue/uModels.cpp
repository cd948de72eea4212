// The makes-and-models window's form.
#include "uModels.h"

#include "FormLook.h"
#include "Pictures.h"
#include "TDBGrid.h"
#include "uDM.h"

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
    column("last_date", "Кр-на год. пр.", 72, false);
    DBGrid1->setColumns(cols);

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
    bind();
}

void TfModels::bind()
{
    if (DM)
        DBGrid1->setDataSource(DM->srcModels);
}
