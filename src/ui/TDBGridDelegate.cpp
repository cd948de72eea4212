// Cell drawing and cell editors of the data grid.
#include "TDBGridDelegate.h"

#include "TDBGrid.h"
#include "dataset/TDaoField.h"
#include "dataset/TDaoTable.h"

#include <QApplication>
#include <QPainter>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>

TDBGridDelegate::TDBGridDelegate(TDBGrid *grid) : QStyledItemDelegate(grid), mGrid(grid) {}

void TDBGridDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // A row another counter changed lately: its ground tinted, fading away; the text stays as
    // it is drawn.
    if (const double mark = mGrid->gridModel()->markOf(index.row()); mark > 0) {
        const QColor tint = mGrid->changedColour();
        const double a = tint.alphaF() * mark;
        const auto over = [&](const QColor &ground) {
            return QColor::fromRgbF(float(ground.redF() * (1 - a) + tint.redF() * a), float(ground.greenF() * (1 - a) + tint.greenF() * a),
                                    float(ground.blueF() * (1 - a) + tint.blueF() * a));
        };
        if (option->state & QStyle::State_Selected)
            option->palette.setColor(QPalette::Highlight, over(option->palette.color(QPalette::Highlight)));
        else
            option->backgroundBrush = over(option->palette.color(QPalette::Base));
    }
    if (!mGrid->cellTextColour)
        return;
    const bool selected = option->state & QStyle::State_Selected;
    const QColor drawn = selected ? option->palette.color(QPalette::HighlightedText) : option->palette.color(QPalette::Text);
    const QColor c = mGrid->cellTextColour(index.row(), selected, drawn);
    option->palette.setColor(QPalette::Text, c);
    option->palette.setColor(QPalette::HighlightedText, c);
}

void TDBGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    // The current cell framed, so that it shows within the highlighted row at a glance.
    if (index != mGrid->currentIndex())
        return;
    painter->save();
    painter->setPen(QPen(option.palette.color(QPalette::HighlightedText), 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
    painter->restore();
}

QWidget *TDBGridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QList<TColumn> &cols = mGrid->Columns();
    if (index.column() < cols.size() && !cols.at(index.column()).PickList.isEmpty()) {
        auto *box = new QComboBox(parent);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        // The cell stores what was typed: no completion, and Enter does not swap the text for a
        // list entry that differs only in letter case.
        box->setCompleter(nullptr);
        box->setDuplicatesEnabled(true);
        box->setModel(cols.at(index.column()).PickList.model()); // shared, not copied
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
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
        mGrid->cellEditor()->created(box, index);
        return box;
    }
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto *line = qobject_cast<QLineEdit *>(editor); line && mGrid->LimitToField) {
        const TDaoTable *t = mGrid->dataSet();
        const int f = mGrid->gridModel()->fieldOf(index.column());
        if (t && f >= 0 && t->Fields(f)->isText() && t->Fields(f)->Size() > 0)
            line->setMaxLength(t->Fields(f)->Size());
    }
    if (editor)
        mGrid->cellEditor()->created(editor, index); // typed keys reach the grid's key rules first
    return editor;
}

void TDBGridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
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
