// Draws a data grid's cells in the colours its owner chooses and makes its cell editors: a
// drop-down box for a column with a pick list, a line edit otherwise. What an editor holds is
// written by the grid's cell-editor session, not through the delegate.
#pragma once

#include <QStyledItemDelegate>

class TDBGrid;

class TDBGridDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit TDBGridDelegate(TDBGrid *grid);

    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;

private:
    TDBGrid *mGrid;
};
