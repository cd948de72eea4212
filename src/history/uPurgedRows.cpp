// The purged rows window.
#include "uPurgedRows.h"

#include "AdminCheck.h"
#include "FormLook.h"
#include "Guard.h"
#include "HistoryLog.h"
#include "HistoryText.h"
#include "Prompts.h"
#include "Scope.h"
#include "base/DaoError.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

namespace {

// The columns after "purged at" and "by": the row's fields that tell it apart.
const char *const shown[] = {"unit_number", "unit_name", "quantity", "price", "deliver_name", "delivery_country"};

// What a restored row takes from the purged one: not its key, number, time stamp or modifier (it
// is numbered and stamped as an appended row, by whoever restores it), and not its delete mark.
bool restored(const QString &column)
{
    for (const char *c : {"id", "user_id", "last_modified", "modifier", "deleted"})
        if (column == QLatin1String(c))
            return false;
    return true;
}

} // namespace

TfPurgedRows::TfPurgedRows(TDaoTable *inventory, QWidget *parent) : QDialog(parent), mInventory(inventory)
{
    setupUi();
}

void TfPurgedRows::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("fPurgedRows"), QStringLiteral("Изтрити и изчистени редове"), 720, 400);
    Label1 = FormLook::label(this, QStringLiteral("Label1"), QStringLiteral("Търсене по кат.№ или наименование"), 8, 14);
    tbxSearchValue = FormLook::lineEdit(this, QStringLiteral("tbxSearchValue"), 200, 10, 220);

    QStringList titles{QStringLiteral("Изчистен на"), QStringLiteral("Изчистил")};
    for (const char *c : shown)
        titles << HistoryText::field(QLatin1String(c));
    lvPurged = new QTableWidget(0, int(titles.size()), this);
    lvPurged->setObjectName(QStringLiteral("lvPurged"));
    lvPurged->setGeometry(8, 40, 704, 320);
    lvPurged->setHorizontalHeaderLabels(titles);
    lvPurged->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvPurged->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvPurged->setSelectionMode(QAbstractItemView::SingleSelection);
    lvPurged->setWordWrap(false);
    lvPurged->verticalHeader()->setVisible(false);
    lvPurged->verticalHeader()->setDefaultSectionSize(18);
    lvPurged->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {110, 70, 95, 150, 35, 50, 80};
    for (int c = 0; c < int(std::size(widths)); ++c)
        lvPurged->setColumnWidth(c, widths[c]);

    bRestore = new QPushButton(QStringLiteral("&Възстанови"), this);
    bRestore->setObjectName(QStringLiteral("bRestore"));
    bRestore->setGeometry(512, 368, 96, 25);
    bRestore->setAutoDefault(false);
    bClose = new QPushButton(QStringLiteral("&Затвори"), this);
    bClose->setObjectName(QStringLiteral("bClose"));
    bClose->setGeometry(616, 368, 96, 25);
    bClose->setAutoDefault(false);

    // The list is read again once typing pauses, not at every letter.
    mSearch = new QTimer(this);
    mSearch->setSingleShot(true);
    mSearch->setInterval(200);
    connect(mSearch, &QTimer::timeout, this, Guard::slot([this] { load(); }));
    connect(tbxSearchValue, &QLineEdit::textChanged, mSearch, qOverload<>(&QTimer::start));
    connect(bClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(bRestore, &QPushButton::clicked, this, Guard::slot([this] { bRestoreClick(); }));
    connect(lvPurged, &QTableWidget::itemSelectionChanged, this, [this] { bRestore->setEnabled(chosen() != nullptr); });
}

void TfPurgedRows::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    tbxSearchValue->setFocus();
}

void TfPurgedRows::load()
{
    const WaitCursor wait;
    mSearch->stop();
    ChangeLog *log = mInventory->Database() ? mInventory->Database()->changeLog() : nullptr;
    mEntries = log ? log->purged(tbxSearchValue->text().trimmed()) : QList<ChangeLog::Entry>();
    lvPurged->setUpdatesEnabled(false);
    lvPurged->setRowCount(int(mEntries.size()));
    for (int i = 0; i < mEntries.size(); ++i) {
        const ChangeLog::Entry &e = mEntries.at(i);
        lvPurged->setItem(i, 0, new QTableWidgetItem(HistoryText::time(e)));
        lvPurged->setItem(i, 1, new QTableWidgetItem(HistoryText::who(e)));
        int c = 2;
        for (const char *column : shown) {
            QVariant value;
            for (const ChangeLog::FieldChange &f : e.fields)
                if (f.field == QLatin1String(column))
                    value = f.before;
            lvPurged->setItem(i, c++, new QTableWidgetItem(HistoryText::value(mInventory, QLatin1String(column), value)));
        }
    }
    lvPurged->setUpdatesEnabled(true);
    if (!mEntries.isEmpty())
        lvPurged->selectRow(0);
    bRestore->setEnabled(chosen() != nullptr);
}

const ChangeLog::Entry *TfPurgedRows::chosen() const
{
    const QList<QTableWidgetItem *> items = lvPurged->selectedItems();
    if (items.isEmpty())
        return nullptr;
    const int i = items.first()->row();
    return i >= 0 && i < mEntries.size() ? &mEntries.at(i) : nullptr;
}

void TfPurgedRows::bRestoreClick()
{
    const ChangeLog::Entry *e = chosen();
    if (!e || !mInventory->Active())
        return;
    // The list must not be read again under the password prompt: the row chosen is this one.
    mSearch->stop();
    const ChangeLog::Entry entry = *e;
    if (!AdminAllows(CheckAdminPassword()))
        return;
    if (mInventory->State() != TDaoTable::dsBrowse)
        mInventory->Post();
    try {
        mInventory->Append();
        for (const ChangeLog::FieldChange &f : entry.fields) {
            TDaoField *field = mInventory->FindField(f.field);
            if (field && restored(f.field))
                field->setValue(field->typedOf(f.before));
        }
        mInventory->FieldByName(QStringLiteral("deleted"))->setAsBoolean(false);
        mInventory->PostAs(ChangeLog::Kind::Restore, entry.row);
    } catch (const DaoError &err) {
        qCWarning(lcHistory) << "restore failed:" << err.message();
        mInventory->Cancel();
        prompts().message(QStringLiteral("Редът не бе възстановен: %1").arg(err.message()));
        return;
    }
    prompts().message(QStringLiteral("Редът е възстановен с № %1.").arg(mInventory->FieldByName(QStringLiteral("user_id"))->AsString()));
    load();
}
