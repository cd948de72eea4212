#include "TDBGrid.h"

#include "Guard.h"
#include "TDaoTable.h"
#include "TDataSource.h"

#include "DaoError.h"
#include "Prompts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QStringListModel>
#include <QStyledItemDelegate>

namespace {

// The grid row of the dataset's current row: a row being inserted sits after the last one.
int gridRow(const TDaoTable *t)
{
    if (!t || !t->Active())
        return -1;
    return t->State() == TDaoTable::dsInsert ? t->RecordCount() : t->RecNo();
}

// Draws cells in the colour the grid's owner chooses, and edits a column with a pick list in a
// drop-down box that also takes typed text.
class TDBGridDelegate : public QStyledItemDelegate
{
public:
    TDBGridDelegate(TDBGrid *grid) : QStyledItemDelegate(grid), mGrid(grid) {}

    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!mGrid->cellTextColour)
            return;
        const bool selected = option->state & QStyle::State_Selected;
        const QColor drawn = selected ? option->palette.color(QPalette::HighlightedText)
                                      : option->palette.color(QPalette::Text);
        const QColor c = mGrid->cellTextColour(index.row(), selected, drawn);
        option->palette.setColor(QPalette::Text, c);
        option->palette.setColor(QPalette::HighlightedText, c);
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QList<TColumn> &cols = mGrid->Columns();
        if (index.column() < cols.size() && !cols.at(index.column()).PickList.isEmpty()) {
            auto *box = new QComboBox(parent);
            box->setEditable(true);
            box->setInsertPolicy(QComboBox::NoInsert);
            box->setModel(new QStringListModel(cols.at(index.column()).PickList, box));
            if (auto *view = qobject_cast<QListView *>(box->view()))
                view->setUniformItemSizes(true);
            // The drop-down box in the ordinary colours, not the grid's cell colours.
            QPalette pal = box->palette();
            const QPalette app = QApplication::palette();
            for (QPalette::ColorRole r : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText, QPalette::Base,
                                          QPalette::Window, QPalette::Button})
                pal.setColor(r, app.color(r));
            box->setPalette(pal);
            box->view()->setPalette(pal);
            box->setMaxVisibleItems(16);
            box->lineEdit()->installEventFilter(mGrid);
            mGrid->editorCreated(box);
            return box;
        }
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor) {
            editor->installEventFilter(mGrid); // typed keys reach the grid's key handler first
            mGrid->editorCreated(editor);
        }
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        // The text starts selected, so that a key which opens the editor replaces it.
        if (auto *box = qobject_cast<QComboBox *>(editor)) {
            box->setEditText(index.data(Qt::EditRole).toString());
            box->lineEdit()->selectAll();
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->selectAll();
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        if (auto *box = qobject_cast<QComboBox *>(editor)) {
            model->setData(index, box->currentText(), Qt::EditRole);
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    TDBGrid *mGrid;
};

} // namespace

TDBGridModel::TDBGridModel(QObject *parent) : QAbstractTableModel(parent) {}

TDBGridModel::~TDBGridModel()
{
    if (mDataSet)
        mDataSet->setUpdateRecordHook(this, {});
}

void TDBGridModel::setDataSource(TDataSource *source)
{
    if (mSource)
        disconnect(mSource, nullptr, this, nullptr);
    mSource = source;
    if (mSource)
        connect(mSource, &TDataSource::dataSetChanged, this, &TDBGridModel::attach);
    attach();
}

TDaoTable *TDBGridModel::dataSet() const
{
    return mDataSet;
}

void TDBGridModel::attach()
{
    for (const auto &c : std::as_const(mConnections))
        disconnect(c);
    mConnections.clear();
    if (mDataSet)
        mDataSet->setUpdateRecordHook(this, {});
    mDataSet = mSource ? mSource->DataSet() : nullptr;
    if (mDataSet) {
        mDataSet->setUpdateRecordHook(this, [this] {
            if (updateRecord)
                updateRecord();
        });
        mConnections << connect(mDataSet, &TDaoTable::dataSetChanged, this, &TDBGridModel::reset)
                     << connect(mDataSet, &TDaoTable::stateChanged, this, [this] {
                            // Opening and closing change the whole row set; an edit state only
                            // changes the current row, which rowChanged reports.
                            if (!mDataSet->Active() || datasetRows() != mRows)
                                reset();
                        })
                     << connect(mDataSet, &TDaoTable::rowChanged, this, &TDBGridModel::rowChanged)
                     << connect(mDataSet, &TDaoTable::rowInserted, this, &TDBGridModel::rowInserted)
                     << connect(mDataSet, &TDaoTable::rowRemoved, this, &TDBGridModel::rowRemoved)
                     << connect(mDataSet, &TDaoTable::currentChanged, this,
                                [this] { emit currentRowChanged(gridRow(mDataSet)); })
                     << connect(mDataSet, &QObject::destroyed, this, &TDBGridModel::reset);
    }
    reset();
}

void TDBGridModel::setColumns(const QList<TColumn> *columns)
{
    beginResetModel();
    mColumns = columns;
    endResetModel();
    columnsReset();
}

void TDBGridModel::columnsReset()
{
    beginResetModel();
    mFieldIndex.clear();
    if (mColumns) {
        for (const TColumn &c : *mColumns) {
            int f = -1;
            if (mDataSet && mDataSet->Active()) {
                for (int i = 0; i < mDataSet->FieldCount(); ++i) {
                    if (mDataSet->Fields(i)->FieldName().compare(c.FieldName, Qt::CaseInsensitive) == 0) {
                        f = i;
                        break;
                    }
                }
            }
            mFieldIndex << f;
        }
    }
    mRows = datasetRows();
    endResetModel();
}

int TDBGridModel::datasetRows() const
{
    if (!mDataSet || !mDataSet->Active())
        return 0;
    return mDataSet->RecordCount() + (mDataSet->State() == TDaoTable::dsInsert ? 1 : 0);
}

void TDBGridModel::reset()
{
    // Field indexes depend on the open dataset, so they are found again with the rows.
    columnsReset();
    if (gridRow(mDataSet) >= 0)
        emit currentRowChanged(gridRow(mDataSet));
}

void TDBGridModel::rowChanged(int position)
{
    if (position < 0)
        return;
    if (datasetRows() != mRows) {
        reset();
        return;
    }
    if (position < mRows)
        emit dataChanged(index(position, 0), index(position, columnCount() - 1));
}

void TDBGridModel::rowInserted(int position)
{
    const int rows = datasetRows();
    if (rows != mRows + 1 || position < 0 || position > mRows) {
        reset();
        return;
    }
    beginInsertRows({}, position, position);
    mRows = rows;
    endInsertRows();
}

void TDBGridModel::rowRemoved(int position)
{
    const int rows = datasetRows();
    if (rows != mRows - 1 || position < 0 || position >= mRows) {
        reset();
        return;
    }
    beginRemoveRows({}, position, position);
    mRows = rows;
    endRemoveRows();
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!index.isValid() || mReadOnly || !mDataSet || !mDataSet->Active() || !mDataSet->isTable() || mDataSet->ReadOnly())
        return f;
    const int field = fieldOf(index.column());
    if (field < 0 || (mColumns && mColumns->at(index.column()).ReadOnly)
        || mDataSet->Fields(field)->DataType() == TFieldType::Counter)
        return f;
    return f | Qt::ItemIsEditable;
}

bool TDBGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    TDaoTable *t = mDataSet;
    const int field = fieldOf(index.column());
    // The typed text goes into the current row's buffer; leaving the row posts it.
    try {
        const bool newRow = t->State() == TDaoTable::dsInsert && index.row() == t->RecordCount();
        if (!newRow && index.row() != t->RecNo())
            t->setRecNo(index.row());
        TDaoField *f = t->Fields(field);
        if (f->AsString() == value.toString())
            return true;
        if (t->State() == TDaoTable::dsBrowse)
            t->Edit();
        f->setAsString(value.toString());
        return true;
    } catch (const DaoError &e) {
        if (mHoldFailure)
            mFailure = e.message();
        else
            emit setDataFailed(index, value.toString(), e.message());
        return false;
    }
}

int TDBGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : mRows;
}

int TDBGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !mColumns ? 0 : int(mColumns->size());
}

int TDBGridModel::fieldOf(int column) const
{
    return column >= 0 && column < mFieldIndex.size() ? mFieldIndex.at(column) : -1;
}

QVariant TDBGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !mDataSet || !mDataSet->Active() || !mColumns)
        return QVariant();
    const TColumn &c = mColumns->at(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const int f = fieldOf(index.column());
        if (f < 0)
            return QVariant();
        TDaoField *field = mDataSet->Fields(f);
        try {
            const QVariant v = mDataSet->rowValue(index.row(), f);
            return v.isValid() ? field->textOf(v) : QString();
        } catch (const DaoError &e) {
            // A read that fails while painting (a lost network folder) is told once, later:
            // not from inside the paint.
            if (!mReadFailed) {
                mReadFailed = true;
                QMetaObject::invokeMethod(const_cast<TDBGridModel *>(this), [this, text = e.message()] {
                    prompts().message(text);
                    mReadFailed = false;
                }, Qt::QueuedConnection);
            }
            return QVariant();
        }
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(c.Alignment | Qt::AlignVCenter));
    case Qt::FontRole:
        return c.Font;
    case Qt::ForegroundRole:
        return c.Color.isValid() ? QVariant(c.Color) : QVariant();
    default:
        return QVariant();
    }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        // The row indicator: a mark on the current row, a star on a new one.
        if (role == Qt::DisplayRole && section == gridRow(mDataSet)) {
            if (mDataSet->State() == TDaoTable::dsInsert)
                return QStringLiteral("*");
            return mDataSet->State() == TDaoTable::dsEdit ? QStringLiteral("I") : QStringLiteral("\u25B8");
        }
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    }
    if (!mColumns || section < 0 || section >= mColumns->size())
        return QVariant();
    const TColumn &c = mColumns->at(section);
    switch (role) {
    case Qt::DisplayRole:
        return c.Title;
    case Qt::UserRole:
        return c.FieldName;
    case Qt::FontRole:
        return c.TitleFont;
    case Qt::ForegroundRole:
        return c.TitleColor;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(c.TitleAlignment | Qt::AlignVCenter));
    default:
        return QVariant();
    }
}

TDBGrid::TDBGrid(QWidget *parent) : QTableView(parent), mModel(new TDBGridModel(this))
{
    mModel->setColumns(&mColumns);
    setModel(mModel);
    setItemDelegate(new TDBGridDelegate(this));
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    QHeaderView *v = verticalHeader();
    // Fixed row heights: the view never measures rows, so a million rows cost nothing.
    v->setSectionResizeMode(QHeaderView::Fixed);
    v->setDefaultSectionSize(18);
    v->setMinimumSectionSize(10);
    v->setFixedWidth(12);
    v->setDefaultAlignment(Qt::AlignCenter);
    QHeaderView *h = horizontalHeader();
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setHighlightSections(false);
    h->setSectionsClickable(true);
    connect(h, &QHeaderView::sectionResized, this, &TDBGrid::sectionResized);
    connect(h, &QHeaderView::sectionClicked, this, &TDBGrid::titleClicked);
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex &i) { emit cellClicked(i.row(), i.column()); });
    connect(mModel, &TDBGridModel::currentRowChanged, this, &TDBGrid::followDataSet);
    mModel->updateRecord = [this] { commitEditor(); };
    connect(mModel, &TDBGridModel::setDataFailed, this, [this](const QModelIndex &, const QString &, const QString &message) {
        // Told once the editor has closed, not from inside the editor's own handling.
        QMetaObject::invokeMethod(this, [message] { prompts().message(message); }, Qt::QueuedConnection);
    });
    connect(mModel, &QAbstractItemModel::modelReset, this, [this] { applyColumnLayout(); });
}

void TDBGrid::setRowHeight(int pixels)
{
    verticalHeader()->setDefaultSectionSize(pixels);
}

void TDBGrid::setDataSource(TDataSource *source)
{
    mSource = source;
    mModel->setDataSource(source);
}

void TDBGrid::setColumns(const QList<TColumn> &columns)
{
    mColumns = columns;
    columnsChanged();
}

void TDBGrid::columnsChanged()
{
    mModel->columnsReset();
    applyColumnLayout();
}

void TDBGrid::applyColumnLayout()
{
    mSyncing = true;
    for (int i = 0; i < mColumns.size(); ++i) {
        setColumnWidth(i, mColumns.at(i).Width);
        setColumnHidden(i, !mColumns.at(i).Visible);
    }
    mSyncing = false;
    if (const int row = gridRow(dataSet()); row >= 0)
        followDataSet(row);
}

void TDBGrid::sectionResized(int logical, int, int newSize)
{
    // Dragging a title's edge resizes the column in the column set too; hiding does not.
    if (mSyncing || logical < 0 || logical >= mColumns.size() || newSize == 0)
        return;
    mColumns[logical].Width = newSize;
}

int TDBGrid::columnOfField(const QString &fieldName, int fallback) const
{
    int found = -1;
    for (int i = 0; i < mColumns.size(); ++i)
        if (mColumns.at(i).FieldName == fieldName)
            found = i;
    return found >= 0 ? found : fallback;
}

void TDBGrid::setColumnVisible(int column, bool visible)
{
    if (column < 0 || column >= mColumns.size())
        throw std::out_of_range("column");
    mColumns[column].Visible = visible;
    mSyncing = true;
    setColumnHidden(column, !visible);
    if (visible && columnWidth(column) == 0)
        setColumnWidth(column, mColumns.at(column).Width);
    mSyncing = false;
}

void TDBGrid::followDataSet(int position)
{
    if (mSyncing || position < 0 || position >= mModel->rowCount())
        return;
    mSyncing = true;
    int col = currentIndex().isValid() ? currentIndex().column() : -1;
    if (col < 0 || isColumnHidden(col)) {
        col = 0;
        while (col < mModel->columnCount() && isColumnHidden(col))
            ++col;
    }
    if (col < mModel->columnCount()) {
        const QModelIndex idx = mModel->index(position, col);
        selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
        scrollTo(idx);
    }
    viewport()->update();
    verticalHeader()->viewport()->update();
    mSyncing = false;
}

void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (mSyncing || !current.isValid())
        return;
    TDaoTable *t = dataSet();
    if (!t || !t->Active() || current.row() == gridRow(t))
        return;
    // The user moved to another row: the dataset follows (posting a pending edit first).
    mSyncing = true;
    const bool ok = Guard::run([&] { t->setRecNo(current.row()); });
    mSyncing = false;
    if (!ok && gridRow(t) >= 0)
        followDataSet(gridRow(t));
    verticalHeader()->viewport()->update();
}

void TDBGrid::setReadOnly(bool ro)
{
    mReadOnly = ro;
    mModel->setReadOnly(ro);
}

QList<int> TDBGrid::selectedRowsOrCurrent() const
{
    QList<int> rows;
    for (const QModelIndex &i : selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty() && currentIndex().isValid())
        rows << currentIndex().row();
    return rows;
}

int TDBGrid::selectedRowCount() const
{
    return int(selectionModel()->selectedRows().size());
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    TDaoTable *t = dataSet();
    const bool active = t && t->Active();
    if (typedKeySwallowed(event))
        return;
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        Guard::run([this] { deleteRows(); });
        return;
    }
    if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
        if (active && !mReadOnly)
            Guard::run([this] { appendRow(); });
        return;
    }
    if (event->key() == Qt::Key_Escape && active && t->State() != TDaoTable::dsBrowse) {
        Guard::run([t] { t->Cancel(); });
        return;
    }
    const bool lastRow = currentIndex().isValid() && currentIndex().row() == mModel->rowCount() - 1;
    int lastColumn = mModel->columnCount() - 1;
    while (lastColumn > 0 && isColumnHidden(lastColumn))
        --lastColumn;
    const bool tabOut = event->key() == Qt::Key_Tab && event->modifiers() == Qt::NoModifier
                        && currentIndex().column() == lastColumn;
    if (active && (event->key() == Qt::Key_Down || tabOut) && (lastRow || mModel->rowCount() == 0)
        && event->modifiers() == Qt::NoModifier) {
        // Moving down from the last row appends one, unless the new row is still untouched.
        if (!mReadOnly && !(t->State() == TDaoTable::dsInsert && !t->Modified()))
            Guard::run([this] { appendRow(); });
        return;
    }
    QTableView::keyPressEvent(event);
}

void TDBGrid::appendRow()
{
    TDaoTable *t = dataSet();
    const int col = currentIndex().isValid() ? currentIndex().column() : 0;
    t->Append();
    const QModelIndex idx = mModel->index(mModel->rowCount() - 1, col);
    mSyncing = true;
    selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    mSyncing = false;
    scrollTo(idx);
}

void TDBGrid::deleteRows()
{
    TDaoTable *t = dataSet();
    if (mReadOnly || !t || !t->Active() || mModel->rowCount() == 0)
        return;
    // Several selected rows, or else the current one (a single selected row may have been
    // left behind by a move of the dataset).
    QList<int> rows = selectedRowCount() > 1 ? selectedRowsOrCurrent() : QList<int>{gridRow(t)};
    if (rows.isEmpty() || rows.first() < 0)
        return;
    const QString text = selectedRowCount() > 1 ? QStringLiteral("Delete all selected records?")
                                                 : QStringLiteral("Delete record?");
    if (ConfirmDelete && !prompts().confirm(text, QStringLiteral("Confirm"), Prompts::Buttons::OkCancel, Prompts::Icon::Question))
        return;
    if (t->State() == TDaoTable::dsInsert && rows.size() == 1 && rows.first() == t->RecordCount()) {
        t->Cancel(); // the new row was never written
        return;
    }
    // From the bottom up, so that the positions still to delete do not move.
    t->DisableControls();
    struct Enable
    {
        TDaoTable *t;
        ~Enable() { t->EnableControls(); }
    } enable{t};
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        if (*it >= t->RecordCount())
            continue;
        t->setRecNo(*it);
        t->Delete();
    }
    clearSelection();
}

bool TDBGrid::typedKeySwallowed(QKeyEvent *event)
{
    const QString text = event->text();
    const int key = event->key();
    // Every key that types a character, control characters (Ctrl+V, Ctrl+X, Enter, Esc) included;
    // Tab moves between cells.
    const bool character = !text.isEmpty() && key != Qt::Key_Tab && key != Qt::Key_Backtab;
    if (!character || !keyPress)
        return false;
    bool swallowed = false;
    Guard::run([&] { swallowed = keyPress(event); });
    return swallowed;
}

bool TDBGrid::eventFilter(QObject *watched, QEvent *event)
{
    // A cell editor would take some of the grid's shortcut keys for itself (Ctrl+E, Ctrl+U on
    // some systems); the grid's commands keep them.
    if (event->type() == QEvent::ShortcutOverride && watched != this) {
        const auto *k = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(k->keyCombination());
        for (const QAction *a : actions())
            if (a->isEnabled() && a->property("gridCommand").toBool() && !a->shortcut().isEmpty()
                && a->shortcut() == pressed)
                return true; // not accepted by the editor: the shortcut fires
    }
    if (event->type() == QEvent::KeyPress && watched != this) {
        // The grid's own keys act also while a cell editor has the focus.
        auto *k = static_cast<QKeyEvent *>(event);
        if ((k->key() == Qt::Key_Delete && k->modifiers() == Qt::ControlModifier)
            || (k->key() == Qt::Key_Insert && k->modifiers() == Qt::NoModifier)) {
            keyPressEvent(k);
            return true;
        }
    }
    // Keys typed into a cell editor go through the same handler as keys typed into the grid.
    if (event->type() == QEvent::KeyPress && watched != this && typedKeySwallowed(static_cast<QKeyEvent *>(event)))
        return true;
    return QTableView::eventFilter(watched, event);
}

void TDBGrid::commitEditor()
{
    if (mCommitting || !mEditor || !editorOpen())
        return;
    mCommitting = true;
    mModel->setHoldFailure(true);
    commitData(mEditor);
    mModel->setHoldFailure(false);
    const QString failure = mModel->takeFailure();
    mCommitting = false;
    if (!failure.isEmpty())
        throw DaoError(failure); // the editor stays open with the typed text
    closeEditor(mEditor, QAbstractItemDelegate::NoHint);
}

QModelIndex TDBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    TDaoTable *t = dataSet();
    const QModelIndex cur = currentIndex();
    if (action == MoveNext && t && t->Active() && cur.isValid() && cur.row() == mModel->rowCount() - 1 && !mReadOnly) {
        int lastColumn = mModel->columnCount() - 1;
        while (lastColumn > 0 && isColumnHidden(lastColumn))
            --lastColumn;
        // Tab from the last cell of the last row appends a row, as Down does.
        if (cur.column() == lastColumn) {
            if (t->State() == TDaoTable::dsInsert && !t->Modified())
                return cur;
            if (!Guard::run([t] { t->Append(); }))
                return cur;
            int first = 0;
            while (first < lastColumn && isColumnHidden(first))
                ++first;
            return mModel->index(mModel->rowCount() - 1, first);
        }
    }
    return QTableView::moveCursor(action, modifiers);
}

void TDBGrid::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    // A row that starts editing reports itself changed; what the user has typed into the open
    // cell editor must not be replaced by the stored value.
    QString typed;
    auto *line = qobject_cast<QLineEdit *>(mEditor.data());
    if (auto *box = qobject_cast<QComboBox *>(mEditor.data()))
        line = box->lineEdit();
    const bool keep = line && editorOpen();
    if (keep)
        typed = line->text();
    QTableView::dataChanged(topLeft, bottomRight, roles);
    if (keep && line->text() != typed)
        line->setText(typed);
}

void TDBGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == mEditor)
        mEditor = nullptr; // a closed editor lingers until deleted: it is no longer ours
    QTableView::closeEditor(editor, hint);
}

bool TDBGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    const bool opened = QTableView::edit(index, trigger, event);
    // The view adds the delegate's key handling after the editor was made; the grid's goes
    // first, so that Esc and the typed-key rules reach the grid's handler.
    if (opened && mEditor) {
        QWidget *target = mEditor;
        if (auto *box = qobject_cast<QComboBox *>(target))
            target = box->lineEdit();
        target->removeEventFilter(this);
        target->installEventFilter(this);
    }
    return opened;
}
