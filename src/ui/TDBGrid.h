// A data-aware grid: shows the rows of a data source's dataset in the columns of its column set
// and keeps the view's current row and the dataset's current row together (a click or a key
// moves the dataset, which posts a pending edit first; a move of the dataset moves the view).
//
// Cell editors, in order of events:
// - A typed character (or F2) on an editable cell opens an editor: a drop-down box when the
//   column has a pick list, a line edit otherwise. Its text starts selected, so the key that
//   opened it replaces the old value.
// - Every key typed in the grid or in its editor goes first to keyPress (the owner's handler),
//   which may swallow it. Keys that only move or delete (Delete, arrows, F-keys) are not typed
//   characters, whatever text the platform gives them. Ctrl+Delete and Insert are the grid's
//   even inside an editor, and the shortcuts of the grid's commands (actions added to the grid
//   with the property "gridCommand") win over the editor's own.
// - A drop-down box completes nothing: the cell stores what was typed, or the entry picked from
//   the open list (its button, Alt+Down or F4 open it). Up, Down, Page Up and Page Down move
//   between rows as in any other cell while the list is closed.
// - Before the dataset posts, or posts or drops a pending edit on its way to something else (a
//   move, Refresh, Requery, a sort, Append, a command), it calls commitEditor: the editor's text
//   is written into the current row. When the field refuses the text, commitEditor raises the
//   field's DaoError, which abandons the dataset's operation, and the editor stays open with the
//   typed text. Otherwise the editor closes. (The session of an open editor: GridCellEditor.)
// - Leaving the editor by the keyboard or the mouse (Enter, Tab, an arrow, a click on another
//   cell or row, the focus going elsewhere) writes its text the same way first. When the field
//   refuses it, the editor stays open on its cell with the typed text, the cursor stays there,
//   and the refusal is told in a message, until the text is corrected or Esc is pressed.
// - While an editor is open, a change of the row's stored values never replaces what was typed.
// - Esc closes the editor without writing and cancels the dataset's pending edit (a new
//   untouched row goes away).
// - Moving down from the last row (Down, or Tab from the last visible cell) appends a row unless
//   the grid is read-only or the last row is a new untouched one; Tab lands on its first cell.
//
// The current row and column: the row follows the dataset, the column stays the one the user
// last chose, across posts, re-reading and sorting. The current row is drawn selected (also
// without the focus), unless the user selected several rows.
#pragma once

#include "GridCellEditor.h"
#include "TColumn.h"
#include "TDBGridModel.h"

#include <QList>
#include <QTableView>
#include <functional>

class TDaoField;
class TDaoTable;
class TDataSource;
class QTimer;

class TDBGrid : public QTableView
{
    Q_OBJECT
    // Text colours of the rows the owner marks locked or deleted, plain and selected, for a skin
    // to set ("qproperty-lockedColor: #123456;"). Invalid (reset): the owner's own colours.
    Q_PROPERTY(QColor lockedColor MEMBER mLockedColor RESET resetLockedColor)
    Q_PROPERTY(QColor lockedSelectedColor MEMBER mLockedSelectedColor RESET resetLockedSelectedColor)
    Q_PROPERTY(QColor deletedColor MEMBER mDeletedColor RESET resetDeletedColor)
    Q_PROPERTY(QColor deletedSelectedColor MEMBER mDeletedSelectedColor RESET resetDeletedSelectedColor)
    // The tint over a row another counter changed lately, at its strongest (its alpha counts);
    // it fades out. Invalid (reset): a translucent amber, seen on light and dark grounds.
    Q_PROPERTY(QColor changedColor MEMBER mChangedColor RESET resetChangedColor)

public:
    explicit TDBGrid(QWidget *parent = nullptr);

    void setDataSource(TDataSource *source);
    TDataSource *DataSource() const { return mModel->link()->DataSource(); }
    TDaoTable *dataSet() const { return mModel->dataSet(); }

    // The column set. After changing Columns() call columnsChanged().
    QList<TColumn> &Columns() { return mColumns; }
    const QList<TColumn> &Columns() const { return mColumns; }
    void setColumns(const QList<TColumn> &columns);
    void columnsChanged();
    // The grid's column of a field (exact, case-sensitive; the last match wins), else fallback.
    int columnOfField(const QString &fieldName, int fallback) const;
    // Shows or hides one column, keeping the column set and the view in step; raises DaoError
    // for a column the grid does not have.
    void setColumnVisible(int column, bool visible);

    // Read-only: no in-place editing, no deleting or appending by the grid's own keys.
    bool ReadOnly() const { return mReadOnly; }
    void setReadOnly(bool ro);
    bool editorOpen() const { return state() == QAbstractItemView::EditingState; }
    GridCellEditor *cellEditor() const { return mCellEditor; }
    // Whether the grid's own Ctrl+Delete asks first.
    bool ConfirmDelete = true;
    // A new row left untouched is dropped when the focus moves to another control of the window.
    bool CancelOnExit = false;
    // Cell editors take at most a text field's width, and in a number field only the characters
    // of its numbers.
    bool LimitToField = false;
    // Closes the cell editor without writing and cancels the row's pending edit (a new untouched
    // row goes away), as Esc does.
    void cancelEdit();
    // The current column, also while the view has no rows (the one last chose); -1 when none.
    int currentColumn() const { return currentIndex().isValid() ? currentIndex().column() : mColumn; }
    // Closes the cell editor without writing what was typed; the row's pending edit stays.
    void closeEditorUnwritten();
    // The rows selected (ascending); or the current row when none is.
    QList<int> selectedRowNumbers() const;
    QList<int> selectedRowsOrCurrent() const;
    int selectedRowCount() const;

    // The text colour of a data cell after its normal drawing: given the row, whether the cell is
    // selected and the colour it was drawn with.
    std::function<QColor(int row, bool selected, const QColor &drawn)> cellTextColour;
    // A marked row's text colour as a skin sets it (invalid when none does).
    QColor lockedColor(bool selected) const { return selected ? mLockedSelectedColor : mLockedColor; }
    QColor deletedColor(bool selected) const { return selected ? mDeletedSelectedColor : mDeletedColor; }
    void resetLockedColor() { mLockedColor = QColor(); }
    void resetLockedSelectedColor() { mLockedSelectedColor = QColor(); }
    void resetDeletedColor() { mDeletedColor = QColor(); }
    void resetDeletedSelectedColor() { mDeletedSelectedColor = QColor(); }
    void resetChangedColor() { mChangedColor = QColor(); }
    QColor changedColour() const { return mChangedColor.isValid() ? mChangedColor : QColor(255, 176, 0, 120); }
    // Each character key typed into the grid or its editor (Enter, Esc and Backspace included),
    // before the grid's own handling; true swallows it.
    std::function<bool(QKeyEvent *event)> keyPress;

    TDBGridModel *gridModel() const { return mModel; }
    using QTableView::edit;

    // Height of the rows, in pixels.
    void setRowHeight(int pixels);

    // Writes the open cell editor's text into the row and closes the editor; raises, leaving
    // the editor open, when the field refuses the text.
    void commitEditor();

    // Whether a key event types a character (the rule keyPress is called by).
    static bool typesCharacter(const QKeyEvent *event);

signals:
    void titleClicked(int column);
    void cellClicked(int row, int column);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles = {}) override;
    void commitData(QWidget *editor) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    friend class GridCellEditor;

    void followDataSet(int position);
    void applyColumnLayout();
    void sectionResized(int logical, int oldSize, int newSize);
    void deleteRows();
    bool typedKeySwallowed(QKeyEvent *event);
    // Appends a row and puts the cursor on it, in column (-1: the user's column).
    void appendRow(int column = -1);
    int lastVisibleColumn() const;
    int firstVisibleColumn() const;
    void drawCurrentRow(const QModelIndex &current);
    void focusLeft(QWidget *now);
    // A typed character that the column's field cannot take (with LimitToField).
    bool refusedByField(const QKeyEvent *event, int column) const;
    // The field behind a column, or null.
    const TDaoField *fieldOfColumn(int column) const;

    TDBGridModel *mModel;
    GridCellEditor *mCellEditor;
    QList<TColumn> mColumns;
    bool mReadOnly = false;
    bool mSyncing = false;
    bool mRowChosen = false; // a row chosen by its indicator: the column stays
    int mColumn = -1;
    QColor mLockedColor;
    QColor mLockedSelectedColor;
    QColor mDeletedColor;
    QColor mDeletedSelectedColor;
    QColor mChangedColor;
    QTimer *mFade = nullptr; // repaints while marks fade
    int mTopBeforeFollow = -1;
};
