// The data grid view: keeps the view and the dataset on the same row (cell editors: GridCellEditor).
#include "TDBGrid.h"

#include "dataset/RowMoves.h"
#include <QScrollBar>
#include <QTimer>

#include "base/DaoError.h"
#include "Guard.h"
#include "Prompts.h"
#include "Scope.h"
#include "TDBGridDelegate.h"
#include "dataset/TDaoTable.h"
#include "dataset/TDataSource.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <algorithm>
#include <optional>

namespace {
int gridRow(const TDaoTable *t)
{
    return TDBGridModel::gridRow(t);
}
} // namespace

TDBGrid::TDBGrid(QWidget *parent)
    : QTableView(parent), mModel(new TDBGridModel(this)), mCellEditor(new GridCellEditor(this))
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
    // The current row shows as clearly without the focus as with it.
    QPalette pal = palette();
    for (QPalette::ColorRole r : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, r, pal.color(QPalette::Active, r));
    setPalette(pal);
    QHeaderView *v = verticalHeader();
    // Fixed row heights: the view never measures rows, so a million rows cost nothing.
    v->setSectionResizeMode(QHeaderView::Fixed);
    v->setDefaultSectionSize(18);
    v->setMinimumSectionSize(10);
    v->setFixedWidth(12);
    v->setDefaultAlignment(Qt::AlignCenter);
    v->viewport()->installEventFilter(this); // a click on the row indicator leaves an editor too
    QHeaderView *h = horizontalHeader();
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setHighlightSections(false);
    h->setSectionsClickable(true);
    connect(h, &QHeaderView::sectionResized, this, &TDBGrid::sectionResized);
    connect(h, &QHeaderView::sectionClicked, this, &TDBGrid::titleClicked);
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex &i) { emit cellClicked(i.row(), i.column()); });
    connect(mModel, &TDBGridModel::currentRowChanged, this, &TDBGrid::followDataSet);
    mModel->link()->setUpdateRecordHook([this] { mCellEditor->commitForDataSet(); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        if (CancelOnExit && old && (old == this || isAncestorOf(old)) && !(now && (now == this || isAncestorOf(now))))
            focusLeft(now);
    });
    connect(mModel, &TDBGridModel::readFailed, this, [](const QString &message) { prompts().message(message); });
    connect(mModel, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        // The view hides its editors as the rows go; a hidden editor that had the focus would
        // pass it on as Tab does, moving the cursor (and the dataset) to another cell.
        mCellEditor->setRowsGoing(true);
        if (QWidget *f = QApplication::focusWidget(); f && f != this && isAncestorOf(f))
            setFocus();
    });
    // Others' changes move rows under the view: the row at the top stays at the top.
    connect(mModel, &TDBGridModel::aboutToFollow, this, [this] { mTopBeforeFollow = verticalScrollBar()->value(); });
    connect(mModel, &TDBGridModel::followed, this, [this](const RowMoves *moves) {
        const int oldTop = std::exchange(mTopBeforeFollow, -1);
        if (oldTop > 0) {
            const int top = moves->following(oldTop, oldTop + 1 + verticalScrollBar()->maximum());
            if (top >= 0) {
                updateGeometries();
                verticalScrollBar()->setValue(top);
            }
        }
    });
    mFade = new QTimer(this);
    mFade->setInterval(100);
    connect(mFade, &QTimer::timeout, this, [this] {
        // Only the marked rows in view are drawn again.
        const int first = std::max(rowAt(0), 0);
        const int last = rowAt(viewport()->height() - 1) < 0 ? mModel->rowCount() - 1 : rowAt(viewport()->height() - 1);
        const int width = viewport()->width();
        for (int r = first; r <= last; ++r)
            if (dataSet() && dataSet()->changedByOthersAt(r) != 0)
                viewport()->update(0, rowViewportPosition(r), width, rowHeight(r));
        if (!dataSet() || !dataSet()->Active() || !dataSet()->hasMarks()) {
            viewport()->update();
            mFade->stop();
        }
    });
    connect(mModel->link(), &TDataLink::rowsFollowed, this, [this] { mFade->start(); });
    connect(mModel, &QAbstractItemModel::modelReset, this, [this] {
        mCellEditor->setRowsGoing(false);
        applyColumnLayout();
    });
}

void TDBGrid::setRowHeight(int pixels)
{
    verticalHeader()->setDefaultSectionSize(pixels);
}

void TDBGrid::setDataSource(TDataSource *source)
{
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
    {
        const QScopedValueRollback syncing(mSyncing, true);
        for (int i = 0; i < mColumns.size(); ++i) {
            setColumnWidth(i, mColumns.at(i).Width);
            setColumnHidden(i, !mColumns.at(i).Visible);
        }
    }
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
        throw DaoError(QStringLiteral("List index out of bounds (%1)").arg(column));
    mColumns[column].Visible = visible;
    {
        const QScopedValueRollback syncing(mSyncing, true);
        setColumnHidden(column, !visible);
        if (visible && columnWidth(column) == 0)
            setColumnWidth(column, mColumns.at(column).Width);
    }
}

void TDBGrid::drawCurrentRow(const QModelIndex &current)
{
    // The current row is drawn selected, unless the user chose several rows.
    if (!current.isValid() || selectedRowCount() > 1)
        return;
    selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int TDBGrid::firstVisibleColumn() const
{
    int col = 0;
    while (col < mModel->columnCount() && isColumnHidden(col))
        ++col;
    return col;
}

void TDBGrid::followDataSet(int position)
{
    if (mSyncing || position < 0 || position >= mModel->rowCount())
        return;
    {
        const QScopedValueRollback syncing(mSyncing, true);
        // The row follows the dataset; the column stays the user's.
        int col = mColumn;
        if (col < 0 || col >= mModel->columnCount() || isColumnHidden(col))
            col = firstVisibleColumn();
        if (col < mModel->columnCount()) {
            const QModelIndex idx = mModel->index(position, col);
            selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
            drawCurrentRow(idx);
            scrollTo(idx);
        }
        viewport()->update();
        verticalHeader()->viewport()->update();
    }
}

void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (mSyncing || !current.isValid())
        return;
    if (mCellEditor->holdsRefusal() && current != mCellEditor->index()) {
        // An editor with a refused text keeps the cursor on its cell, however it was moved.
        const QScopedValueRollback syncing(mSyncing, true);
        selectionModel()->setCurrentIndex(mCellEditor->index(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return;
    }
    if (mRowChosen && mColumn >= 0 && mColumn < mModel->columnCount() && !isColumnHidden(mColumn)
        && current.column() != mColumn) {
        // A row chosen by its indicator: the cursor stays in the user's column.
        const QScopedValueRollback syncing(mSyncing, true);
        selectionModel()->setCurrentIndex(mModel->index(current.row(), mColumn), QItemSelectionModel::NoUpdate);
    } else {
        mColumn = current.column();
    }
    TDaoTable *t = dataSet();
    if (!t || !t->Active() || current.row() == gridRow(t))
        return;
    // The user moved to another row: the dataset follows (posting a pending edit first).
    {
        const QScopedValueRollback syncing(mSyncing, true);
        Guard::run([&] { t->setRecNo(current.row()); });
    }
    // The post on the way may have read the rows anew (or failed): the view is put on the
    // dataset's row again.
    if (const int row = gridRow(t); row >= 0 && (!currentIndex().isValid() || currentIndex().row() != row))
        followDataSet(row);
    verticalHeader()->viewport()->update();
}

void TDBGrid::setReadOnly(bool ro)
{
    mReadOnly = ro;
    mModel->setReadOnly(ro);
}

namespace {
// The rows selected whole, as ascending disjoint spans, read from the selection's ranges; nothing
// when a range covers only some columns. Qt's selectedRows() asks every row of every range again,
// which a selection of all rows of a large inventory felt at every move of the current row.
std::optional<std::vector<std::pair<int, int>>> wholeRowSpans(const QItemSelectionModel *s, int columns)
{
    std::vector<std::pair<int, int>> spans;
    for (const QItemSelectionRange &r : s->selection()) {
        if (r.left() != 0 || r.right() != columns - 1)
            return std::nullopt;
        spans.emplace_back(r.top(), r.bottom());
    }
    std::sort(spans.begin(), spans.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto &sp : spans) {
        if (!merged.empty() && sp.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, sp.second);
        else
            merged.push_back(sp);
    }
    return merged;
}
} // namespace

QList<int> TDBGrid::selectedRowNumbers() const
{
    QList<int> rows;
    if (const auto spans = wholeRowSpans(selectionModel(), mModel->columnCount())) {
        for (const auto &[top, bottom] : *spans)
            for (int r = top; r <= bottom; ++r)
                rows << r;
        return rows;
    }
    for (const QModelIndex &i : selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QList<int> TDBGrid::selectedRowsOrCurrent() const
{
    QList<int> rows = selectedRowNumbers();
    if (rows.isEmpty() && currentIndex().isValid())
        rows << currentIndex().row();
    return rows;
}

int TDBGrid::selectedRowCount() const
{
    if (const auto spans = wholeRowSpans(selectionModel(), mModel->columnCount())) {
        int n = 0;
        for (const auto &[top, bottom] : *spans)
            n += bottom - top + 1;
        return n;
    }
    return int(selectionModel()->selectedRows().size());
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    // A character typed while the grid itself has the focus but a cell editor is open belongs
    // to the editor.
    if (mCellEditor->forwardTypedKey(event))
        return;
    TDaoTable *t = dataSet();
    const bool active = t && t->Active();
    if (typedKeySwallowed(event) || refusedByField(event, currentIndex().column()))
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
    const bool tabOut = event->key() == Qt::Key_Tab && event->modifiers() == Qt::NoModifier
                        && currentIndex().column() == lastVisibleColumn();
    if (active && (event->key() == Qt::Key_Down || tabOut) && (lastRow || mModel->rowCount() == 0)
        && event->modifiers() == Qt::NoModifier) {
        // Moving down from the last row appends one, unless the new row is still untouched;
        // Tab lands on the new row's first cell, Down stays in the column.
        if (!mReadOnly && !(t->State() == TDaoTable::dsInsert && !t->Modified()) && mCellEditor->leave())
            Guard::run([this, tabOut] { appendRow(tabOut ? firstVisibleColumn() : -1); });
        return;
    }
    QTableView::keyPressEvent(event);
    // A move with Ctrl (to the first or last row, say) leaves the selection alone in the view;
    // here the current row is still drawn as such.
    const int key = event->key();
    if ((event->modifiers() & Qt::ControlModifier)
        && (key == Qt::Key_Home || key == Qt::Key_End || key == Qt::Key_Up || key == Qt::Key_Down
            || key == Qt::Key_PageUp || key == Qt::Key_PageDown))
        drawCurrentRow(currentIndex());
}

void TDBGrid::appendRow(int column)
{
    TDaoTable *t = dataSet();
    int col = column >= 0 ? column : mColumn;
    if (col < 0 || col >= mModel->columnCount())
        col = firstVisibleColumn();
    t->Append();
    const QModelIndex idx = mModel->index(mModel->rowCount() - 1, col);
    {
        const QScopedValueRollback syncing(mSyncing, true);
        selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
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
    const ControlsSuspended suspended(t);
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        if (*it >= t->RecordCount())
            continue;
        t->setRecNo(*it);
        t->Delete();
    }
    clearSelection();
}

bool TDBGrid::typesCharacter(const QKeyEvent *event)
{
    // Every key that types a character, control characters (Ctrl+V, Ctrl+X, Enter, Esc) included.
    // Tab moves between cells; Delete only deletes, although X keyboards give it the text DEL.
    const int key = event->key();
    return !event->text().isEmpty() && key != Qt::Key_Tab && key != Qt::Key_Backtab && key != Qt::Key_Delete;
}

int TDBGrid::lastVisibleColumn() const
{
    int last = mModel->columnCount() - 1;
    while (last > 0 && isColumnHidden(last))
        --last;
    return last;
}

bool TDBGrid::typedKeySwallowed(QKeyEvent *event)
{
    if (!typesCharacter(event) || !keyPress)
        return false;
    bool swallowed = false;
    Guard::run([&] { swallowed = keyPress(event); });
    return swallowed;
}

void TDBGrid::cancelEdit()
{
    if (mCellEditor->isOpen()) {
        mCellEditor->escape(); // cancels the row's edit too
        return;
    }
    TDaoTable *t = dataSet();
    if (t && t->Active() && t->State() != TDaoTable::dsBrowse)
        t->Cancel();
}

void TDBGrid::closeEditorUnwritten()
{
    mCellEditor->closeUnwritten();
}

void TDBGrid::focusLeft(QWidget *now)
{
    // Only for another control of this window: a message box asking about the row (a delete's
    // confirmation) must find it still there.
    if (!now || now->window() != window())
        return;
    TDaoTable *t = dataSet();
    if (!t || !t->Active() || t->State() != TDaoTable::dsInsert || t->Modified())
        return;
    if (mCellEditor->isOpen()) {
        mCellEditor->close(mCellEditor->widget(), QAbstractItemDelegate::RevertModelCache);
        return;
    }
    Guard::run([t] { t->Cancel(); });
}

bool TDBGrid::refusedByField(const QKeyEvent *event, int column) const
{
    if (!LimitToField || !typesCharacter(event))
        return false;
    const QString typed = event->text();
    const TDaoField *field = fieldOfColumn(column);
    return typed.size() == 1 && typed.at(0).unicode() >= 32 && field && !field->IsValidChar(typed.at(0));
}

const TDaoField *TDBGrid::fieldOfColumn(int column) const
{
    TDaoTable *t = dataSet();
    const int f = mModel->fieldOf(column);
    return t && t->Active() && f >= 0 ? t->Fields(f) : nullptr;
}

bool TDBGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == verticalHeader()->viewport()) {
        // A row chosen by its indicator leaves the cell editor as a click on a cell does, and
        // keeps the user's column.
        if (event->type() == QEvent::MouseButtonPress) {
            if (!mCellEditor->leave())
                return true;
            mRowChosen = true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            mRowChosen = false;
        }
    }
    return QTableView::eventFilter(watched, event);
}

void TDBGrid::commitEditor()
{
    mCellEditor->commitForDataSet();
}

void TDBGrid::commitData(QWidget *editor)
{
    mCellEditor->commit(editor);
}

void TDBGrid::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    mCellEditor->takeFocus();
}

void TDBGrid::mousePressEvent(QMouseEvent *event)
{
    if (mCellEditor->isOpen() && indexAt(event->position().toPoint()) != mCellEditor->index()
        && !mCellEditor->leave()) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

QModelIndex TDBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // The cursor does not leave an editor whose text the field refuses.
    if (!mCellEditor->leave())
        return currentIndex();
    const QModelIndex cur = currentIndex();
    // Ctrl+Home and Ctrl+End go to the first and last row, in the same column.
    if ((action == MoveHome || action == MoveEnd) && (modifiers & Qt::ControlModifier) && cur.isValid()
        && mModel->rowCount() > 0)
        return mModel->index(action == MoveHome ? 0 : mModel->rowCount() - 1, cur.column());
    return QTableView::moveCursor(action, modifiers);
}

void TDBGrid::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    // A row that starts editing reports itself changed; what the user has typed into the open
    // cell editor must not be replaced by the stored value.
    QLineEdit *line = mCellEditor->line();
    const QString typed = line ? line->text() : QString();
    const int cursor = line ? line->cursorPosition() : 0;
    const int selStart = line ? line->selectionStart() : -1;
    const int selLength = line ? line->selectionLength() : 0;
    QTableView::dataChanged(topLeft, bottomRight, roles);
    if (line && line->text() != typed) {
        line->setText(typed);
        // The cursor and the selection where they were, so that the next key lands there.
        if (selStart >= 0)
            line->setSelection(selStart, selLength);
        else
            line->setCursorPosition(cursor);
    }
}

void TDBGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    mCellEditor->close(editor, hint);
}

bool TDBGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (!mCellEditor->mayOpen(index))
        return false;
    const bool opened = QTableView::edit(index, trigger, event);
    if (opened)
        mCellEditor->opened();
    return opened;
}
