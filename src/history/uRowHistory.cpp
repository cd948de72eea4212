// The history window of one inventory row.
#include "uRowHistory.h"

#include "FormLook.h"
#include "Guard.h"
#include "HistoryLog.h"
#include "HistoryText.h"
#include "Prompts.h"
#include "Scope.h"
#include "Settings.h"
#include "base/DaoError.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace {

enum Column { Time, Who, Kind, Field, Old, New, Columns };

} // namespace

TfRowHistory::TfRowHistory(TDaoTable *inventory, QWidget *parent) : QDialog(parent), mInventory(inventory)
{
    setupUi();
}

void TfRowHistory::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("fRowHistory"), QStringLiteral("История на реда"), 720, 400);
    lRow = FormLook::label(this, QStringLiteral("lRow"), QString(), 8, 10);
    lRow->setFixedWidth(704);

    lvHistory = new QTableWidget(0, Columns, this);
    lvHistory->setObjectName(QStringLiteral("lvHistory"));
    lvHistory->setGeometry(8, 30, 704, 330);
    lvHistory->setHorizontalHeaderLabels({QStringLiteral("Време"), QStringLiteral("Потребител"), QStringLiteral("Вид"),
                                          QStringLiteral("Поле"), QStringLiteral("Старо"), QStringLiteral("Ново")});
    lvHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvHistory->setSelectionMode(QAbstractItemView::SingleSelection); // an entry's lines are chosen together
    lvHistory->setWordWrap(false);
    lvHistory->verticalHeader()->setVisible(false);
    lvHistory->verticalHeader()->setDefaultSectionSize(18);
    lvHistory->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {120, 100, 110, 110, 120};
    for (int c = 0; c < int(std::size(widths)); ++c)
        lvHistory->setColumnWidth(c, widths[c]);

    bRevert = new QPushButton(QStringLiteral("&Върни"), this);
    bRevert->setObjectName(QStringLiteral("bRevert"));
    bRevert->setGeometry(512, 368, 96, 25);
    bRevert->setAutoDefault(false);
    bClose = new QPushButton(QStringLiteral("&Затвори"), this);
    bClose->setObjectName(QStringLiteral("bClose"));
    bClose->setGeometry(616, 368, 96, 25);
    bClose->setAutoDefault(false);
    connect(bClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(bRevert, &QPushButton::clicked, this, Guard::slot([this] { bRevertClick(); }));
    connect(lvHistory, &QTableWidget::itemSelectionChanged, this, [this] { chosenChanged(); });
}

void TfRowHistory::load()
{
    const WaitCursor wait;
    mEntries.clear();
    lvHistory->setRowCount(0);
    ChangeLog *log = mInventory->Database()->changeLog();
    const qint64 row = mInventory->FieldByName(QStringLiteral("id"))->AsInteger();
    lRow->setText(QStringLiteral("Кат.№ %1   %2   (запис %3)")
                      .arg(mInventory->FieldByName(QStringLiteral("unit_number"))->AsString(),
                           mInventory->FieldByName(QStringLiteral("unit_name"))->AsString())
                      .arg(row));
    if (log && row > 0)
        mEntries = log->entriesOf(row);

    int lines = 0;
    for (const ChangeLog::Entry &e : std::as_const(mEntries))
        lines += std::max<int>(1, int(e.fields.size()));
    lvHistory->setUpdatesEnabled(false);
    lvHistory->setRowCount(lines);
    int line = 0;
    for (int i = 0; i < mEntries.size(); ++i) {
        const ChangeLog::Entry &e = mEntries.at(i);
        const auto put = [&](int column, const QString &text) {
            auto *item = new QTableWidgetItem(text);
            item->setData(Qt::UserRole, i);
            lvHistory->setItem(line, column, item);
        };
        put(Time, HistoryText::time(e));
        put(Who, HistoryText::who(e));
        put(Kind, HistoryText::kind(e));
        if (e.fields.isEmpty())
            ++line;
        for (const ChangeLog::FieldChange &f : e.fields) {
            if (lvHistory->item(line, Time) == nullptr)
                put(Time, QString());
            put(Field, HistoryText::field(f.field));
            put(Old, HistoryText::value(mInventory, f.field, f.before));
            put(New, HistoryText::value(mInventory, f.field, f.after));
            ++line;
        }
    }
    lvHistory->setUpdatesEnabled(true);
    if (lines > 0)
        lvHistory->selectRow(0);
    chosenChanged();
}

const ChangeLog::Entry *TfRowHistory::chosen() const
{
    const QList<QTableWidgetItem *> items = lvHistory->selectedItems();
    if (items.isEmpty())
        return nullptr;
    const int i = items.first()->data(Qt::UserRole).toInt();
    return i >= 0 && i < mEntries.size() ? &mEntries.at(i) : nullptr;
}

void TfRowHistory::chosenChanged()
{
    // An entry is chosen whole: all the lines of its fields are shown chosen.
    const QList<QTableWidgetItem *> items = lvHistory->selectedItems();
    if (!items.isEmpty()) {
        const int entry = items.first()->data(Qt::UserRole).toInt();
        int first = items.first()->row();
        int last = first;
        while (first > 0 && lvHistory->item(first - 1, Time)->data(Qt::UserRole).toInt() == entry)
            --first;
        while (last + 1 < lvHistory->rowCount() && lvHistory->item(last + 1, Time)->data(Qt::UserRole).toInt() == entry)
            ++last;
        const QSignalBlocker quiet(lvHistory);
        lvHistory->selectionModel()->select(QItemSelection(lvHistory->model()->index(first, 0), lvHistory->model()->index(last, Columns - 1)),
                                            QItemSelectionModel::ClearAndSelect);
        lvHistory->viewport()->update();
    }
    const ChangeLog::Entry *e = chosen();
    bRevert->setEnabled(e && !HistoryText::revertable(*e).isEmpty());
}

QString TfRowHistory::refusal(const ChangeLog::Entry &e) const
{
    // As the grid does with passwords asked on change: confirmed and deleted rows are changed
    // only in the editor, which names its user.
    if (settings().passByChange()
        && (mInventory->FieldByName(QStringLiteral("locked"))->AsBoolean() || mInventory->FieldByName(QStringLiteral("deleted"))->AsBoolean()))
        return QStringLiteral("При включена „Парола при промяна“ потвърден или изтрит ред не може да бъде променян оттук.");
    // Nothing newer is overwritten: each field must still hold what the change wrote.
    for (const ChangeLog::FieldChange &f : HistoryText::revertable(e)) {
        const TDaoField *field = mInventory->FindField(f.field);
        if (!field)
            return QStringLiteral("Полето „%1“ вече не съществува.").arg(HistoryText::field(f.field));
        if (!HistoryText::sameValue(field, field->Value(), field->typedOf(f.after)))
            return QStringLiteral("Полето „%1“ е променено след тази промяна (сега: „%2“), затова промяната не може да бъде върната.")
                .arg(HistoryText::field(f.field), field->AsString());
    }
    return QString();
}

void TfRowHistory::bRevertClick()
{
    const ChangeLog::Entry *e = chosen();
    if (!e)
        return;
    const QList<ChangeLog::FieldChange> fields = HistoryText::revertable(*e);
    if (fields.isEmpty())
        return;
    if (mInventory->State() != TDaoTable::dsBrowse)
        mInventory->Post();
    if (const QString why = refusal(*e); !why.isEmpty()) {
        prompts().message(why);
        return;
    }
    try {
        mInventory->Edit();
        for (const ChangeLog::FieldChange &f : fields) {
            TDaoField *field = mInventory->FieldByName(f.field);
            field->setValue(field->typedOf(f.before));
        }
        mInventory->PostAs(ChangeLog::Kind::Revert);
    } catch (const DaoError &err) {
        // The row stays as it was in the database; the typed-back values are dropped with it.
        qCWarning(lcHistory) << "revert failed:" << err.message();
        mInventory->Cancel();
        prompts().message(QStringLiteral("Промяната не бе върната: %1").arg(err.message()));
    }
    load();
}
