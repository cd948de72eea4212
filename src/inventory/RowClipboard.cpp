// The row clipboard of the inventory grid.
#include "RowClipboard.h"

#include "DaoError.h"
#include "Guard.h"
#include "InventoryGrid.h"
#include "PasteText.h"
#include "Prompts.h"
#include "Regional.h"
#include "Scope.h"
#include "TDBGrid.h"
#include "uDM.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QProgressBar>
#include <QScopeGuard>

namespace {

TDaoTable *inventory() { return DM->tblMain; }

bool clipboardHasText()
{
    const QMimeData *m = QGuiApplication::clipboard()->mimeData();
    return m && m->hasText();
}

// The plain text form of a stored value: a date at midnight without its time.
QString copyText(const TDaoField *f, const QVariant &v)
{
    if (f->DataType() == TFieldType::DateTime && v.isValid() && !v.isNull() && v.toDateTime().time() == QTime(0, 0)) {
        const QDate d = v.toDateTime().date();
        return regional::locale().toString(d, regional::shortDateFormat());
    }
    return f->textOf(v);
}

bool isInteger(const TDaoField *f)
{
    return f->DataType() == TFieldType::Long || f->DataType() == TFieldType::Short || f->DataType() == TFieldType::Counter;
}

void processMessages()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

RowClipboard::RowClipboard(InventoryGrid *grid, QWidget *window, QProgressBar *progress, QObject *parent)
    : QObject(parent), mGrid(grid), mWindow(window), mProgress(progress)
{
}

void RowClipboard::Copy2Click()
{
    if (mGrid->grid()->editorOpen())
        CopyCellToClipboard();
    else
        CopyRowsToClipboard();
}

void RowClipboard::Paste2Click()
{
    if (mGrid->grid()->editorOpen())
        PasteCellFromClipboard();
    else
        PasteRowsFromClipboard();
}

void RowClipboard::CopyRowsToClipboard()
{
    if (!databaseConnected())
        return;
    TDaoTable *t = inventory();
    TDBGrid *g = mGrid->grid();
    if (t->FieldByName(QStringLiteral("id"))->IsNull())
        return; // an empty view, or a new row not stored yet
    QList<int> rows;
    for (const QModelIndex &i : g->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    // The cells of each line: the visible columns in the grid's order; a TAB after every cell but
    // that of the last column by position.
    struct Cell
    {
        const TDaoField *field;
        bool tab;
    };
    QList<Cell> cells;
    const QList<TColumn> &cols = g->Columns();
    for (int c = 0; c < cols.size(); ++c) {
        if (g->isColumnHidden(c))
            continue;
        const TDaoField *f = t->FindField(cols.at(c).FieldName);
        if (f && f->DataType() == TFieldType::Blob)
            continue;
        cells << Cell{f, c != cols.size() - 1};
    }
    QString text;
    for (int row : std::as_const(rows)) {
        if (row >= t->RecordCount())
            continue; // the new row below the stored ones
        for (const Cell &c : std::as_const(cells)) {
            if (c.field)
                text += copyText(c.field, t->rowValue(row, c.field->Index()));
            if (c.tab)
                text += QLatin1Char('\t');
        }
        text += QStringLiteral("\r\n");
    }
    if (!rows.isEmpty() && rows.last() < t->RecordCount()) {
        const ControlsSuspended suspended(t);
        t->setRecNo(rows.last());
    }
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void RowClipboard::CopyCellToClipboard()
{
    if (!databaseConnected())
        return;
    TDBGrid *g = mGrid->grid();
    const int c = g->currentIndex().column();
    if (c < 0 || c >= g->Columns().size())
        return;
    const TDaoField *f = inventory()->FieldByName(g->Columns().at(c).FieldName);
    // The stored value, not what is being typed.
    QGuiApplication::clipboard()->setText(copyText(f, inventory()->rowValue(inventory()->RecNo(), f->Index())));
}

void RowClipboard::PasteCellFromClipboard()
{
    if (!databaseConnected() || !clipboardHasText())
        return;
    TDBGrid *g = mGrid->grid();
    const int c = g->currentIndex().column();
    if (c < 0 || c >= g->Columns().size())
        return;
    TDaoTable *t = inventory();
    TDaoField *f = t->FieldByName(g->Columns().at(c).FieldName);
    if (f->DataType() == TFieldType::Boolean || !f->Visible())
        return;
    const QString text = QGuiApplication::clipboard()->text();
    // What was typed into the editor gives way to the pasted value.
    g->closeEditorUnwritten();
    t->Edit();
    if (isInteger(f) || f->DataType() == TFieldType::Double)
        f->setAsInteger(PasteText::wholeNumber(text));
    else
        f->setAsString(text.left(f->Size())); // a date has no size: it is cleared, then stamped
    t->Post();
}

QString RowClipboard::pasteQuestion(qint64 lines, qint64 rows)
{
    if (lines < rows)
        return lines <= 1 ? QStringLiteral("Ще бъде променен един ред !")
                          : QStringLiteral("Ще бъдат променени %1 реда !").arg(lines);
    if (rows > 0)
        return lines == rows ? QStringLiteral("Ще бъдат променени %1 реда !").arg(rows)
                             : QStringLiteral("Ще бъдат променени %1 и добавени %2 реда !").arg(rows).arg(lines - rows);
    return lines > 0 ? QStringLiteral("Ще бъдат добавени %1 реда !").arg(lines) : QString();
}

void RowClipboard::PasteRowsFromClipboard()
{
    if (!databaseConnected())
        return;
    if (!clipboardHasText()) {
        prompts().message(QStringLiteral("Няма нищо за поставяне !"));
        return;
    }
    const QString text = QGuiApplication::clipboard()->text();
    const qint64 lines = text.count(QLatin1Char('\r'));
    TDaoTable *t = inventory();
    TDBGrid *g = mGrid->grid();
    if (t->State() != TDaoTable::dsBrowse)
        t->Cancel();
    const qint64 rows = t->RecordCount() > 0 ? t->RecordCount() - t->RecNo() : 0;
    const int startColumn = qMax(0, g->currentColumn());
    if (const QString question = pasteQuestion(lines, rows);
        !question.isEmpty() && !prompts().confirm(question, QStringLiteral("Предупреждение"), Prompts::Buttons::OkCancel, Prompts::Icon::None))
        return;
    // The next number for appended rows, from the largest in the table, whatever the current row
    // holds; the query lets pending window messages be handled once.
    const QVariant max = DM->scratchValue(QStringLiteral("SELECT Max([user_id]) AS MaxNum FROM main;"));
    qint64 next = max.isValid() && !max.isNull() ? max.toLongLong() + 1 : 1;
    processMessages();

    // Whatever happens, the window comes back: enabled, controls resumed, the flag cleared, the
    // lists rebuilt, the pointer restored, the bar hidden, bulk mode off, the rows read again.
    std::exception_ptr finishError;
    const auto tellFinishError = qScopeGuard([&] {
        if (finishError)
            Guard::report(finishError);
    });
    bool bulk = false;
    const auto finish = qScopeGuard([&] {
        try {
            if (t->State() != TDaoTable::dsBrowse)
                t->Cancel(); // the store that failed: its error is being told
        } catch (...) {
        }
        mWindow->setEnabled(true);
        t->EnableControls();
        DM->BulkUpdate = false;
        try {
            mGrid->RefreshPickLists();
        } catch (...) {
            finishError = std::current_exception();
        }
        QGuiApplication::restoreOverrideCursor();
        mProgress->hide();
        try {
            if (bulk)
                t->setBulkMode(false);
            t->Refresh();
        } catch (...) {
            finishError = std::current_exception();
        }
        g->viewport()->update();
    });
    t->DisableControls();
    mWindow->setEnabled(false);
    mProgress->setRange(0, int(qMin<qint64>(qMax<qint64>(lines, 1), std::numeric_limits<int>::max())));
    mProgress->setValue(0);
    mProgress->show();
    t->setBulkMode(true);
    bulk = true;
    DM->BulkUpdate = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);

    // The cells go to the start column and the visible columns right of it, by position.
    const QList<TColumn> &cols = g->Columns();
    QList<TDaoField *> targets;
    for (int c = startColumn; c < cols.size(); ++c)
        if (!g->isColumnHidden(c))
            targets << t->FindField(cols.at(c).FieldName);
    TDaoField *number = t->FieldByName(QStringLiteral("user_id"));
    // Other copies may store rows meanwhile; they cannot while a write batch of ours is open, so
    // the largest number is read again once in each batch an appended row is numbered in (the
    // row joins that batch), the first one included.
    quint64 numberedInBatch = ~quint64(0);
    const auto appendRow = [&] {
        if (DM->DataBase->batchSerial() != numberedInBatch) {
            const QVariant now = DM->scratchValue(QStringLiteral("SELECT Max([user_id]) AS MaxNum FROM main;"));
            if (now.isValid() && !now.isNull())
                next = qMax(next, now.toLongLong() + 1);
            numberedInBatch = DM->DataBase->batchSerial();
        }
        t->Append();
        number->setAsInteger(next++);
    };
    if (rows == 0)
        appendRow();
    qsizetype column = 0; // index into targets of the next cell of the line
    const auto writeCell = [&](const QString &cell) {
        const qsizetype at = column++;
        if (at >= targets.size() || !targets.at(at))
            return; // no visible column left
        TDaoField *f = targets.at(at);
        switch (f->DataType()) {
        case TFieldType::Text:
            t->Edit();
            f->setAsString(cell); // cut to the field's width
            break;
        case TFieldType::Long:
        case TFieldType::Short:
            t->Edit();
            f->setAsInteger(PasteText::wholeNumber(cell));
            break;
        case TFieldType::Double: {
            const double d = PasteText::number(cell);
            t->Edit();
            f->setAsFloat(d);
            break;
        }
        case TFieldType::DateTime: {
            const QDateTime d = PasteText::dateTime(cell);
            if (!d.isValid())
                return; // the date stays, silently
            t->Edit();
            f->setAsDateTime(d);
            break;
        }
        default:
            return; // yes/no and the rest: the cell only takes up its column
        }
        t->Post();
    };

    qint64 rowsLeft = rows; // rows of the view from the current one on, the current included
    QElapsedTimer paint;
    paint.start();
    for (const PasteText::Line &line : PasteText::split(text)) {
        column = 0;
        for (const QString &cell : line.cells)
            writeCell(cell);
        if (!line.ended)
            continue;
        if (line.nextRow) {
            if (rowsLeft > 1) {
                --rowsLeft;
                t->Next();
            } else {
                rowsLeft = 0;
                appendRow();
            }
        }
        mProgress->setValue(mProgress->value() + 1);
        if (paint.elapsed() >= 100) {
            processMessages();
            paint.restart();
        }
    }
    // A new row appended for a line whose cells all went nowhere is still stored.
    if (t->State() != TDaoTable::dsBrowse)
        t->Post();
}
