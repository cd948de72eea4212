// A data-aware grid: shows the rows of a data source's dataset in the columns of its column set,
// keeps the view's current row and the dataset's current row together, and fetches rows only as
// they are painted, so that a million-row dataset scrolls like a small one.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QPointer>
#include <QStringList>
#include <QTableView>
#include <functional>
#include <utility>

#include "TDaoTable.h"
#include "TDataSource.h"


// One column of the grid: the field it shows and how.
struct TColumn
{
    QString FieldName;
    QString Title;
    int Width = 64;
    bool Visible = true;
    Qt::Alignment Alignment = Qt::AlignLeft;
    Qt::Alignment TitleAlignment = Qt::AlignHCenter;
    QFont TitleFont;
    QColor TitleColor = Qt::black;
    QFont Font;
    QColor Color;
    QStringList PickList;
    bool ReadOnly = false;
};

class TDBGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TDBGridModel(QObject *parent = nullptr);
    ~TDBGridModel() override;

    // Runs before the dataset posts or leaves the pending edit (the grid writes its editor).
    std::function<void()> updateRecord;

    void setDataSource(TDataSource *source);
    TDaoTable *dataSet() const;
    void setColumns(const QList<TColumn> *columns);
    // The columns changed (count, fields or titles).
    void columnsReset();

    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    void setReadOnly(bool ro) { mReadOnly = ro; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The dataset field of a column, or -1.
    int fieldOf(int column) const;

    // While set, a value the field refuses is kept as the failure instead of being reported.
    void setHoldFailure(bool hold) { mHoldFailure = hold; }
    QString takeFailure() { return std::exchange(mFailure, QString()); }

signals:
    void currentRowChanged(int row);
    // A typed value the field refused while the editor was closing; the grid reports it.
    void setDataFailed(const QModelIndex &index, const QString &text, const QString &message);

private:
    void attach();
    void reset();
    void rowChanged(int position);
    void rowInserted(int position);
    void rowRemoved(int position);
    int datasetRows() const;

    QPointer<TDataSource> mSource;
    QPointer<TDaoTable> mDataSet;
    QList<QMetaObject::Connection> mConnections;
    const QList<TColumn> *mColumns = nullptr;
    QList<int> mFieldIndex;
    int mRows = 0;
    bool mReadOnly = false;
    bool mHoldFailure = false;
    QString mFailure;
    mutable bool mReadFailed = false;
};

class TDBGrid : public QTableView
{
    Q_OBJECT

public:
    explicit TDBGrid(QWidget *parent = nullptr);

    void setDataSource(TDataSource *source);
    TDataSource *DataSource() const { return mSource; }
    TDaoTable *dataSet() const { return mModel->dataSet(); }

    // The column set. After changing Columns() call columnsChanged().
    QList<TColumn> &Columns() { return mColumns; }
    const QList<TColumn> &Columns() const { return mColumns; }
    void setColumns(const QList<TColumn> &columns);
    void columnsChanged();
    // The grid's column of a field (exact, case-sensitive; the last match wins), else fallback.
    int columnOfField(const QString &fieldName, int fallback) const;
    // Shows or hides one column, keeping the column set and the view in step.
    void setColumnVisible(int column, bool visible);

    // Read-only: no in-place editing, no deleting or appending by the grid's own keys.
    bool ReadOnly() const { return mReadOnly; }
    void setReadOnly(bool ro);
    bool editorOpen() const { return state() == QAbstractItemView::EditingState; }
    // Whether the grid's own Ctrl+Delete asks first.
    bool ConfirmDelete = true;
    // The rows selected (ascending), or the current row when none is.
    QList<int> selectedRowsOrCurrent() const;
    int selectedRowCount() const;

    // The text colour of a data cell after its normal drawing: given the row, whether the cell is
    // selected and the colour it was drawn with.
    std::function<QColor(int row, bool selected, const QColor &drawn)> cellTextColour;
    // Each character key typed into the grid (Enter, Esc and Backspace included), before the
    // grid's own handling; true swallows it.
    std::function<bool(QKeyEvent *event)> keyPress;

    TDBGridModel *gridModel() const { return mModel; }
    using QTableView::edit;

    // Height of the rows and of the title row, in pixels.
    void setRowHeight(int pixels);

    // Writes the open cell editor's text into the row and closes the editor; raises, leaving
    // the editor open, when the field refuses the text. Runs before every post of the dataset.
    void commitEditor();
    void editorCreated(QWidget *editor) { mEditor = editor; }

signals:
    void titleClicked(int column);
    void cellClicked(int row, int column);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles = {}) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private:
    void followDataSet(int position);
    void applyColumnLayout();
    void sectionResized(int logical, int oldSize, int newSize);
    void deleteRows();
    bool typedKeySwallowed(QKeyEvent *event);
    void appendRow();

    TDBGridModel *mModel;
    QPointer<TDataSource> mSource;
    QList<TColumn> mColumns;
    bool mReadOnly = false;
    bool mSyncing = false;
    bool mCommitting = false;
    QPointer<QWidget> mEditor;
};
