// The inventory grid's look and handlers, filtering and the drop-down lists.
#include "InventoryGrid.h"

#include <QAbstractItemDelegate>
#include <QTimer>

#include "filter/FilterExpression.h"

#include "InventoryLog.h"
#include "base/DaoError.h"
#include "GridLayout.h"
#include "Guard.h"
#include "Prompts.h"
#include "Scope.h"
#include "Settings.h"
#include "TDBGrid.h"
#include "module/uDM.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLoggingCategory>

namespace {

QFont sansSerif(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Whether a row of tblMain is locked or deleted, read without moving the current row.
bool rowFlag(int row, const char *field)
{
    TDaoTable *t = DM ? DM->tblMain : nullptr;
    if (!t || !t->Active())
        return false;
    TDaoField *f = t->FindField(QLatin1String(field));
    try {
        return f && t->rowValue(row, f->Index()).toBool();
    } catch (const DaoError &) {
        return false; // a failed read while painting is told by the grid's model
    }
}

// The rows of a one-column query as the texts of a pick list; none when they cannot be read, and
// the user is told.
TextList queryTexts(TDaoTable *q, bool requery = false)
{
    try {
        if (!q->Active())
            return {};
        if (requery)
            q->Requery();
        // The connection's kept list of texts is taken as it is: shared, not copied.
        TDaoField *f = q->Fields(0);
        if (f->DataType() == TFieldType::Text)
            if (const std::shared_ptr<const TextList> kept = q->cachedTexts())
                return *kept;
        const int n = q->RecordCount();
        TextList::Builder values;
        values.reserve(n, 0);
        for (int r = 0; r < n; ++r) {
            const QVariant v = q->rowValue(r, 0);
            values.append(v.isValid() ? f->textOf(v) : QString());
        }
        return values.take();
    } catch (const DaoError &e) {
        qCWarning(lcInventory) << "the list" << q->objectName() << "could not be read:" << e.message();
        // Told once the cell editor that asked is up, not from inside its making.
        QMetaObject::invokeMethod(qApp, [text = e.message()] { prompts().message(text); }, Qt::QueuedConnection);
        return {};
    }
}

} // namespace

bool databaseConnected()
{
    return DM && DM->DataBase->Connected();
}

InventoryGrid::InventoryGrid(TDBGrid *grid, QObject *parent) : QObject(parent), mGrid(grid)
{
    mGrid->setObjectName(QStringLiteral("DBGrid1"));
    connect(mGrid->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (mPickListsStale && !mGrid->editorOpen() && databaseConnected())
                Guard::run([this] { readPickLists(true); });
        });
    });
    mGrid->setFont(sansSerif(11));
    QPalette gp = mGrid->palette();
    gp.setColor(QPalette::Base, QColor(192, 192, 192));
    gp.setColor(QPalette::Text, QColor(255, 83, 83));
    gp.setColor(QPalette::Button, QColor(227, 228, 234));
    gp.setColor(QPalette::Window, QColor(227, 228, 234));
    mGrid->setPalette(gp);
    mGrid->horizontalHeader()->setPalette(gp);
    mGrid->verticalHeader()->setPalette(gp);
    mGrid->setColumns(formColumns());
    mGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    if (DM) {
        mGrid->setDataSource(DM->srcMain);
        DM->RefreshPickLists = [this] { RefreshPickLists(); };
    }
    mGrid->cellTextColour = [this](int row, bool selected, const QColor &drawn) {
        return DBGrid1DrawColumnCell(row, selected, drawn);
    };
    mGrid->keyPress = [this](QKeyEvent *e) { return DBGrid1KeyPress(e); };
    connect(mGrid, &TDBGrid::cellClicked, this, Guard::slot([this](int row, int col) { DBGrid1CellClick(row, col); }));
    connect(mGrid, &TDBGrid::titleClicked, this, Guard::slot([this](int col) { DBGrid1TitleClick(col); }));
    connect(mGrid, &QAbstractItemView::doubleClicked, this, Guard::slot([this] {
                if (editRecord)
                    editRecord();
            }));
    setMainGrid(this);
}

InventoryGrid::~InventoryGrid()
{
    if (DM)
        DM->RefreshPickLists = nullptr;
    if (mainGrid() == this)
        setMainGrid(nullptr);
}

QList<TColumn> InventoryGrid::formColumns()
{
    struct C
    {
        const char *field;
        const char *title;
        int width;
        bool blue;
    };
    static const C cols[] = {
        {"user_id", " №", 35, false},
        {"unit_number", "Кат.№", 78, false},
        {"unit_name", "Наименованние", 227, false},
        {"quantity", "Кол.", 30, false},
        {"price", "Цена", 44, false},
        {"second_price", "Ц.-едро", 53, false},
        {"comment", "Съвместимост", 242, false},
        {"deliver_name", "Доставчик", 80, false},
        {"delivery_unit_number", "№ при доставчика", 119, false},
        {"delivery_country", "Производител", 100, false},
        {"last_modified", "Последна промяна", 124, true},
        {"modifier", "Променил", 69, true},
        {"deleted", "Изтрит", 55, true},
    };
    QList<TColumn> out;
    for (const C &c : cols) {
        TColumn col;
        col.FieldName = QString::fromUtf8(c.field);
        col.Title = QString::fromUtf8(c.title);
        col.Width = c.width;
        col.TitleAlignment = Qt::AlignHCenter;
        col.TitleFont = sansSerif(11, true);
        col.TitleColor = c.blue ? QColor(0, 0, 255) : QColor(0, 0, 0);
        col.Font = sansSerif(11);
        out << col;
    }
    return out;
}

const QStringList &InventoryGrid::specialFields()
{
    static const QStringList f{QStringLiteral("last_modified"), QStringLiteral("modifier"), QStringLiteral("deleted")};
    return f;
}

const QStringList &InventoryGrid::dataPickListFields()
{
    static const QStringList f{QStringLiteral("unit_number"), QStringLiteral("unit_name"), QStringLiteral("deliver_name")};
    return f;
}

TDaoTable *InventoryGrid::dataSet() const
{
    return DM ? DM->tblMain : nullptr;
}

// The pick lists that the data fills at every connection are left out: they are rebuilt before
// anyone sees them and can hold every catalogue number.
QByteArray InventoryGrid::savedLayout() const
{
    QList<TColumn> columns = mGrid->Columns();
    for (TColumn &c : columns)
        if (dataPickListFields().contains(c.FieldName))
            c.PickList.clear();
    return GridLayout::save(columns);
}

void InventoryGrid::restoreLayout(const QByteArray &stored)
{
    std::optional<QList<TColumn>> columns = GridLayout::load(stored);
    if (!columns)
        return; // the grid keeps its columns
    // The lists the data fills are not stored; the ones in hand stay.
    const QList<TColumn> &now = mGrid->Columns();
    for (TColumn &c : *columns)
        if (dataPickListFields().contains(c.FieldName))
            for (const TColumn &o : now)
                if (o.FieldName == c.FieldName)
                    c.PickList = o.PickList;
    mGrid->setColumns(*columns);
}

QList<int> InventoryGrid::specialColumns() const
{
    QList<int> cols;
    for (int i = 0; i < specialFields().size(); ++i)
        cols << mGrid->columnOfField(specialFields().at(i), 10 + i);
    return cols;
}

void InventoryGrid::showSpecialColumns(bool visible)
{
    const QList<int> cols = specialColumns();
    for (int c : cols)
        if (c >= mGrid->Columns().size())
            throw DaoError(QStringLiteral("List index out of bounds (%1)").arg(c));
    for (int c : cols)
        mGrid->setColumnVisible(c, visible);
    mGrid->viewport()->update();
}

void InventoryGrid::ApplyFilter(const QString &filter)
{
    // Filtered off, the filter, Filtered on: one reading of the rows does for the three steps.
    emit fitmentFound(QString());
    DM->tblMain->applyFilter(filter);
    if (FilterExpression::parse(filter).usesFitment())
    {
        const int n = DM->tblMain->RecordCount();
        emit fitmentFound(n == 1 ? QStringLiteral("Подходящи: 1 ред ") : QStringLiteral("Подходящи: %1 реда ").arg(n));
    }
}

void InventoryGrid::RefreshPickLists()
{
    if (!databaseConnected())
        return;
    TDaoTable *t = DM->tblMain;
    const ControlsSuspended suspended(t);
    t->Refresh();
    readPickLists(false);
}

void InventoryGrid::followOthers()
{
    if (!databaseConnected())
        return;
    // An open drop-down shares its list's model: a new list would take the typed text away.
    if (mGrid->editorOpen()) {
        mPickListsStale = true;
        return;
    }
    readPickLists(true);
}

void InventoryGrid::readPickLists(bool later)
{
    mPickListsStale = false;
    QList<TColumn> &cols = mGrid->Columns();
    for (TColumn &c : cols)
        c.PickList.clear();
    const int fallback[] = {1, 2, 7};
    TDaoTable *queries[] = {DM->tblUnitNumber, DM->tblUnitName, DM->tblDeliverName};
    for (int i = 0; i < 3; ++i) {
        const int col = mGrid->columnOfField(dataPickListFields().at(i), fallback[i]);
        TDaoTable *q = queries[i];
        if (!later)
            q->Requery();
        // Read when someone first looks: nearly a million catalogue numbers need not be read
        // before the grid is shown. The query holds its rows as of this re-query until then;
        // after others' changes it is re-queried only then, since they may come every second.
        if (col >= 0 && col < cols.size())
            cols[col].PickList.setPendingTexts([q, later] { return queryTexts(q, later); });
    }
}

QColor InventoryGrid::DBGrid1DrawColumnCell(int row, bool selected, const QColor &drawn) const
{
    if (DM && DM->BulkUpdate)
        return drawn;
    // Deletion wins over locking; both show also in a selected cell. A skin chooses its own
    // colours, readable on its grounds; without one the form's white and black.
    if (rowFlag(row, "deleted")) {
        const QColor skin = mGrid->deletedColor(selected);
        return skin.isValid() ? skin : QColor(255, 255, 255);
    }
    if (rowFlag(row, "locked")) {
        const QColor skin = mGrid->lockedColor(selected);
        return skin.isValid() ? skin : QColor(0, 0, 0);
    }
    return drawn;
}

bool InventoryGrid::DBGrid1KeyPress(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        return false; // Esc ends an edit on any row
    const int row = TDBGridModel::gridRow(dataSet());
    if (settings().passByChange() && row >= 0 && (rowFlag(row, "locked") || rowFlag(row, "deleted")))
        return true; // protected rows cannot be typed into
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !mGrid->editorOpen()) {
        if (editRecord)
            editRecord();
        return true;
    }
    return false;
}

void InventoryGrid::DBGrid1CellClick(int row, int)
{
    if (settings().passByChange()) {
        if (rowFlag(row, "locked") || rowFlag(row, "deleted"))
            mGrid->setReadOnly(true);
    } else {
        mGrid->setReadOnly(false);
    }
}

void InventoryGrid::DBGrid1TitleClick(int column)
{
    const WaitCursor wait;
    if (!databaseConnected() || column < 0 || column >= mGrid->Columns().size())
        return;
    TDaoTable *t = DM->tblMain;
    t->SortedBy() = QStringList{QLatin1Char('[') + mGrid->Columns().at(column).FieldName + QStringLiteral("] ASC")};
    t->ApplySort();
}

void InventoryGrid::tbtFirstClick()
{
    if (databaseConnected() && mGrid->isEnabled())
        DM->tblMain->First();
}

void InventoryGrid::tbtLastClick()
{
    if (databaseConnected() && mGrid->isEnabled() && DM->tblMain->RecordCount() > 0)
        DM->tblMain->Last();
}
