// The data grid's cell-editor session: opening, writing, refusing, escaping and closing.
#include "GridCellEditor.h"

#include "base/DaoError.h"
#include "Guard.h"
#include "Prompts.h"
#include "TDBGrid.h"
#include "dataset/TDaoTable.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaProperty>
#include <QScopeGuard>
#include <QScopedValueRollback>

namespace {
QString typedText(const QWidget *editor)
{
    // A drop-down box stores what was typed, or the entry picked from its list.
    if (const auto *box = qobject_cast<const QComboBox *>(editor))
        return box->currentText();
    const QMetaProperty user = editor->metaObject()->userProperty();
    return user.isValid() ? user.read(editor).toString() : QString();
}
} // namespace

GridCellEditor::GridCellEditor(TDBGrid *grid) : QObject(grid), mGrid(grid) {}

bool GridCellEditor::isOpen() const
{
    return mWidget && mGrid->editorOpen();
}

QLineEdit *GridCellEditor::line() const
{
    if (!isOpen())
        return nullptr;
    if (auto *box = qobject_cast<QComboBox *>(mWidget.data()))
        return box->lineEdit();
    return qobject_cast<QLineEdit *>(mWidget.data());
}

bool GridCellEditor::holdsRefusal() const
{
    return mRefused && mGrid->editorOpen() && mIndex.isValid();
}

void GridCellEditor::created(QWidget *editor, const QModelIndex &index)
{
    mWidget = editor;
    mIndex = index;
    // Another counter's change of the row waits while the editor shows its value: an edit begun
    // from what the user saw meets the conflict at its post instead of undoing that change.
    if (TDaoTable *t = mGrid->dataSet(); t && t->Active()) {
        t->holdCurrentRow(true);
        connect(editor, &QObject::destroyed, t, [t] { t->holdCurrentRow(false); });
    }
    // The keys of a drop-down box arrive at its line.
    auto *box = qobject_cast<QComboBox *>(editor);
    (box ? static_cast<QWidget *>(box->lineEdit()) : editor)->installEventFilter(this);
}

void GridCellEditor::opened()
{
    // The view adds the delegate's key handling after the editor was made; the grid's goes
    // first, so that Esc and the typed-key rules reach the grid's handler.
    if (mWidget)
        keepKeysFirst();
}

bool GridCellEditor::mayOpen(const QModelIndex &index) const
{
    return !(holdsRefusal() && index != QModelIndex(mIndex));
}

void GridCellEditor::write()
{
    TDBGridModel *model = mGrid->gridModel();
    const QModelIndex index = mIndex;
    if (!(model->flags(index) & Qt::ItemIsEditable))
        return;
    TDaoTable *t = mGrid->dataSet();
    if (index.row() != TDBGridModel::gridRow(t))
        t->setRecNo(index.row()); // posts a pending edit elsewhere
    model->writeCell(index, typedText(mWidget));
}

void GridCellEditor::commitForDataSet()
{
    if (mCommitting || !isOpen())
        return;
    {
        const QScopedValueRollback committing(mCommitting, true);
        try {
            write();
        } catch (const DaoError &e) {
            // The caller tells it: the editor stays open with the typed text.
            mRefused = mWidget;
            mRefusal = e.message();
            mWidget->setFocus();
            throw;
        }
    }
    mRefused = nullptr;
    mRefusal.clear();
    close(mWidget, QAbstractItemDelegate::NoHint);
}

void GridCellEditor::commit(QWidget *editor)
{
    if (!editor || editor != mWidget || mCommitting)
        return;
    const QScopedValueRollback committing(mCommitting, true);
    try {
        write();
        mRefused = nullptr;
        mRefusal.clear();
    } catch (const DaoError &e) {
        mRefused = editor;
        mRefusal = e.message();
    }
}

bool GridCellEditor::leave()
{
    if (!isOpen() || mCommitting)
        return true;
    commit(mWidget);
    if (!mRefused)
        return true;
    tellRefusal();
    return false;
}

void GridCellEditor::tellRefusal()
{
    if (mWidget)
        mWidget->setFocus();
    if (mTelling)
        return;
    // Told once the key or click has been handled; the editor has the focus again afterwards.
    mTelling = true;
    QMetaObject::invokeMethod(this, [this, message = mRefusal] {
        prompts().message(message);
        mTelling = false;
        if (isOpen())
            mWidget->setFocus();
    }, Qt::QueuedConnection);
}

void GridCellEditor::close(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor && editor == mRefused && hint != QAbstractItemDelegate::RevertModelCache) {
        // The field refused the text: the editor stays on its cell with what was typed.
        tellRefusal();
        return;
    }
    if (editor == mRefused)
        mRefused = nullptr;
    const bool escaped = editor && editor == mWidget && hint == QAbstractItemDelegate::RevertModelCache;
    if (editor == mWidget) {
        mWidget = nullptr; // a closed editor lingers until deleted: it is no longer ours
        mIndex = QPersistentModelIndex();
    }
    mGrid->QTableView::closeEditor(editor, hint);
    TDaoTable *t = mGrid->dataSet();
    if (escaped && t && t->Active() && t->State() != TDaoTable::dsBrowse)
        Guard::run([t] { t->Cancel(); });
}

void GridCellEditor::escape()
{
    close(mWidget, QAbstractItemDelegate::RevertModelCache);
    mGrid->setFocus();
}

void GridCellEditor::closeUnwritten()
{
    if (!isOpen())
        return;
    if (mWidget == mRefused)
        mRefused = nullptr;
    close(mWidget, QAbstractItemDelegate::NoHint);
    mGrid->setFocus();
}

bool GridCellEditor::forwardTypedKey(QKeyEvent *event)
{
    // The view would drop a character typed while it has the focus and an editor is open.
    if (!isOpen() || mForwarding || !TDBGrid::typesCharacter(event))
        return false;
    QWidget *target = mWidget->focusProxy() ? mWidget->focusProxy() : mWidget.data();
    if (target->hasFocus())
        return false;
    // A key the editor leaves alone comes back to the grid, and is the grid's then.
    mForwarding = true;
    const auto done = qScopeGuard([this] { mForwarding = false; });
    target->setFocus();
    QCoreApplication::sendEvent(target, event);
    return true;
}

void GridCellEditor::takeFocus()
{
    // An open cell editor takes the keys (not one the rows going away are about to hide).
    if (isOpen() && !mRowsGoing)
        mWidget->setFocus();
}

void GridCellEditor::keepKeysFirst()
{
    QList<QWidget *> targets{mWidget};
    if (auto *box = qobject_cast<QComboBox *>(mWidget.data()))
        targets << box->lineEdit();
    for (QWidget *target : targets) {
        target->removeEventFilter(this);
        target->installEventFilter(this);
    }
}

bool GridCellEditor::fromEditor(QObject *watched) const
{
    auto *w = qobject_cast<QWidget *>(watched);
    return mWidget && w && (w == mWidget || mWidget->isAncestorOf(w));
}

bool GridCellEditor::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::Wheel && fromEditor(watched)) {
        // The wheel over a drop-down box with its list closed scrolls the grid; the box would
        // put the next entry in place of what was typed.
        auto *box = qobject_cast<QComboBox *>(mWidget.data());
        if (box && !box->view()->isVisible()) {
            QCoreApplication::sendEvent(mGrid->viewport(), event);
            return true;
        }
    }
    // A cell editor would take some of the grid's shortcut keys for itself (Ctrl+E, Ctrl+U on
    // some systems); the grid's commands keep them.
    if (type == QEvent::ShortcutOverride) {
        const QKeySequence pressed(static_cast<QKeyEvent *>(event)->keyCombination());
        for (const QAction *a : mGrid->actions())
            if (a->isEnabled() && a->property("gridCommand").toBool() && !a->shortcut().isEmpty()
                && a->shortcut() == pressed)
                return true; // not accepted by the editor: the shortcut fires
    }
    if (type != QEvent::KeyPress)
        return false;
    auto *k = static_cast<QKeyEvent *>(event);
    // The grid's own keys act also while a cell editor has the focus.
    if ((k->key() == Qt::Key_Delete && k->modifiers() == Qt::ControlModifier)
        || (k->key() == Qt::Key_Insert && k->modifiers() == Qt::NoModifier)) {
        mGrid->keyPressEvent(k);
        return true;
    }
    // Keys typed into a cell editor go through the same handler as keys typed into the grid.
    if (mGrid->typedKeySwallowed(k))
        return true;
    if (!fromEditor(watched))
        return false;
    if (mGrid->refusedByField(k, QModelIndex(mIndex).column()))
        return true;
    if (k->key() == Qt::Key_Escape) {
        escape();
        return true;
    }
    // Tab moves between cells as the grid does it (appending from the last cell); in a
    // drop-down box with its list closed, so do the row keys (the box would take the arrows
    // for its list, and Tab for the focus chain).
    auto *box = qobject_cast<QComboBox *>(mWidget.data());
    const bool listOpen = box && box->view()->isVisible();
    const bool plain = !(k->modifiers() & (Qt::AltModifier | Qt::ControlModifier));
    const bool tab = k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab;
    const bool rowKey = k->key() == Qt::Key_Up || k->key() == Qt::Key_Down || k->key() == Qt::Key_PageUp
                        || k->key() == Qt::Key_PageDown;
    if (plain && !listOpen && (tab || (box && rowKey))) {
        mGrid->keyPressEvent(k);
        return true;
    }
    return false;
}
