// The cell-editor session of a data grid: the one editor a TDBGrid has open, from its opening to
// its closing, and the one way its text goes into the dataset.
//
// - The text goes into the dataset's current row through the grid's model (writeCell). The
//   editor sits on the dataset's current row; should it sit elsewhere, the session puts the
//   dataset on its row first (the grid moves the dataset, the model never does).
// - A field refuses a text by raising DaoError, and that error is the refusal's only channel: on
//   the dataset's hook (commitForDataSet) it goes on to the dataset's caller, which abandons its
//   operation; on leaving by key or click (leave) it is told in a message once the event has
//   been handled. Either way the editor stays open on its cell with the typed text, and the
//   cursor with it, until a text is written or the editor is escaped.
// - Keys typed in the editor reach the grid's key rules before the editor's own (eventFilter).
#pragma once

#include <QAbstractItemDelegate>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>

class QKeyEvent;
class QLineEdit;
class TDBGrid;

class GridCellEditor : public QObject
{
    Q_OBJECT

public:
    explicit GridCellEditor(TDBGrid *grid);

    // Whether an editor is open: the view is editing, in an editor made by the grid's delegate.
    bool isOpen() const;
    QWidget *widget() const { return mWidget; }
    QModelIndex index() const { return mIndex; }
    // The open editor's line (a drop-down box's own), or null.
    QLineEdit *line() const;
    // Whether the open editor holds a text its field refused.
    bool holdsRefusal() const;

    // The delegate made an editor for a cell; the view has opened it.
    void created(QWidget *editor, const QModelIndex &index);
    void opened();
    // No second editor opens while one holds a refused text.
    bool mayOpen(const QModelIndex &index) const;

    // The dataset's hook, before it posts, or posts or drops the pending edit on its way to
    // something else: writes the text and closes the editor. Raises the field's DaoError,
    // leaving the editor open with the focus.
    void commitForDataSet();
    // The cursor is about to leave the editor: writes its text; false when the field refuses
    // it (told once the event is handled; the editor keeps the focus).
    bool leave();
    // The view asks an editor's text written (its focus going, Enter, another current cell).
    void commit(QWidget *editor);
    // The view asks an editor closed. An editor holding a refused text stays open (the refusal
    // told again) unless the hint drops what was typed; Esc cancels the row's pending edit too.
    void close(QWidget *editor, QAbstractItemDelegate::EndEditHint hint);
    // Closes without writing and cancels the row's pending edit, as Esc does.
    void escape();
    // Closes without writing; the row's pending edit stays.
    void closeUnwritten();
    // A character typed while the grid itself has the focus goes to the open editor; true when
    // it was sent there (a key the editor leaves alone comes back to the grid).
    bool forwardTypedKey(QKeyEvent *event);
    // While the model's rows are going, the editor being hidden takes no focus.
    void setRowsGoing(bool going) { mRowsGoing = going; }
    void takeFocus();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void write();
    void tellRefusal();
    void keepKeysFirst();
    bool fromEditor(QObject *watched) const;

    TDBGrid *mGrid;
    QPointer<QWidget> mWidget;
    QPersistentModelIndex mIndex;
    QPointer<QWidget> mRefused; // the editor whose text the field refused last
    QString mRefusal;
    bool mCommitting = false;
    bool mTelling = false;
    bool mForwarding = false;
    bool mRowsGoing = false;
};
