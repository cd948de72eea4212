// Fonts, colours and frames the secondary windows' forms are drawn with.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QTableView;
class QWidget;

namespace FormLook {

// The form's font family, followed by families with the same metrics for systems that lack it
// ("MS Sans Serif" and "Arial" fall back to Liberation Sans, then DejaVu Sans).
QFont pixelFont(const QString &family, int pixels, bool bold = false, bool italic = false);
QFont pointFont(const QString &family, int points, bool bold = false, bool italic = false);
// MS Sans Serif, 11 pixels high: the font of every form that names no other.
QFont formFont();

// A dialog's frame as its form gives it: instance name, caption, a client size that cannot be
// changed, and the form font.
void fixedDialog(QDialog *dialog, const QString &name, const QString &caption, int width, int height);

void setBackground(QWidget *widget, const QColor &colour);
void setTextColour(QWidget *widget, const QColor &colour);

// A white panel with one lowered bevel.
QFrame *loweredPanel(QWidget *parent, const QString &name);
// A label of its text's natural size at left, top (labels size themselves to their caption).
QLabel *label(QWidget *parent, const QString &name, const QString &text, int left, int top);
// A one-line edit 21 pixels high at left, top; limit (when above 0) caps its length.
QLineEdit *lineEdit(QWidget *parent, const QString &name, int left, int top, int width, int limit = 0);
// The character an edit shows for every typed character of a password.
void setPasswordCharacter(QWidget *edit, QChar character);

// One column of a data grid as its form defines it.
struct GridColumn
{
    QString field;
    QString title;
    int width;
    bool titleCentred = false;
};
// Gives an editable data grid its form's look: titles, a row indicator, row and column lines,
// resizable columns, Tab between cells, and the columns (titles and widths) over a model that
// holds no rows until the grid is bound to its dataset. Each title carries its field name in
// Qt::UserRole.
void setupDataGrid(QTableView *grid, const QList<GridColumn> &columns);

} // namespace FormLook
