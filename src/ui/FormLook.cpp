// The look of the fixed-size forms.
#include "FormLook.h"

#include <QDialog>

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QStandardItemModel>
#include <QTableView>

namespace FormLook {

namespace {

QStringList withFallbacks(const QString &family)
{
    QStringList families{family};
    for (const QString &f : {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")})
        if (!families.contains(f))
            families << f;
    return families;
}

QFont font(const QString &family, bool bold, bool italic)
{
    QFont f;
    f.setFamilies(withFallbacks(family));
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

} // namespace

QFont pixelFont(const QString &family, int pixels, bool bold, bool italic)
{
    QFont f = font(family, bold, italic);
    f.setPixelSize(pixels);
    return f;
}

QFont pointFont(const QString &family, int points, bool bold, bool italic)
{
    QFont f = font(family, bold, italic);
    f.setPointSize(points);
    return f;
}

QFont formFont()
{
    return pixelFont(QStringLiteral("MS Sans Serif"), 11);
}

void fixedDialog(QDialog *dialog, const QString &name, const QString &caption, int width, int height)
{
    dialog->setObjectName(name);
    dialog->setWindowTitle(caption);
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                           | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog->setFixedSize(width, height);
    dialog->setFont(formFont());
}

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, colour);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette p = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::WindowText, colour);
        p.setColor(group, QPalette::Text, colour);
    }
    widget->setPalette(p);
}

QFrame *loweredPanel(QWidget *parent, const QString &name)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    setBackground(panel, Qt::white);
    return panel;
}

QLabel *label(QWidget *parent, const QString &name, const QString &text, int left, int top)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    l->move(left, top);
    l->adjustSize();
    return l;
}

QLineEdit *lineEdit(QWidget *parent, const QString &name, int left, int top, int width, int limit)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setGeometry(left, top, width, 21);
    if (limit > 0)
        e->setMaxLength(limit);
    return e;
}

void setPasswordCharacter(QWidget *edit, QChar character)
{
    if (auto *e = qobject_cast<QLineEdit *>(edit))
        e->setEchoMode(QLineEdit::Password);
    // The style decides the echo character; a style sheet property is the one per-widget switch.
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: %1;").arg(character.unicode()));
}

void setupDataGrid(QTableView *grid, const QList<GridColumn> &columns)
{
    auto *model = new QStandardItemModel(0, int(columns.size()), grid);
    model->setObjectName(grid->objectName() + QStringLiteral("Columns"));
    for (int i = 0; i < columns.size(); ++i) {
        const GridColumn &c = columns.at(i);
        model->setHeaderData(i, Qt::Horizontal, c.title, Qt::DisplayRole);
        model->setHeaderData(i, Qt::Horizontal, c.field, Qt::UserRole);
        model->setHeaderData(i, Qt::Horizontal,
                             int((c.titleCentred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter),
                             Qt::TextAlignmentRole);
    }
    grid->setModel(model);
    grid->setEditTriggers(QAbstractItemView::AllEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setShowGrid(true);
    grid->setTabKeyNavigation(true);
    grid->setWordWrap(false);
    auto *titles = grid->horizontalHeader();
    titles->setVisible(true);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setSectionsClickable(true);
    titles->setHighlightSections(false);
    titles->setStretchLastSection(false);
    for (int i = 0; i < columns.size(); ++i)
        grid->setColumnWidth(i, columns.at(i).width);
    auto *indicator = grid->verticalHeader();
    indicator->setVisible(true);
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setDefaultSectionSize(18);
    indicator->setMinimumWidth(12);
}

} // namespace FormLook
