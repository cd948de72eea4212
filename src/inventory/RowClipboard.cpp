// The row clipboard of the inventory grid.
#include "RowClipboard.h"

#include "BulkRun.h"
#include "base/DaoError.h"
#include "Guard.h"
#include "InventoryGrid.h"
#include "PasteText.h"
#include "Prompts.h"
#include "base/Regional.h"
#include "Scope.h"
#include "TDBGrid.h"
#include "module/uDM.h"

#include <QClipboard>
#include <algorithm>
#include <QCoreApplication>
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

// Puts one pasted cell into its field of the current row (editing it); false when the cell
// changes nothing (a text that is no date, a yes/no column).
bool setCell(TDaoTable *t, TDaoField *f, const QString &cell)
{
    switch (f->DataType()) {
    case TFieldType::Text:
        t->Edit();
        f->setAsString(cell); // cut to the field's width
        return true;
    case TFieldType::Long:
    case TFieldType::Short:
        t->Edit();
        f->setAsInteger(PasteText::wholeNumber(cell));
        return true;
    case TFieldType::Double: {
        const double d = PasteText::number(cell);
        t->Edit();
        f->setAsFloat(d);
        return true;
    }
    case TFieldType::DateTime: {
        const QDateTime d = PasteText::dateTime(cell);
        if (!d.isValid())
            return false; // the date stays, silently
        t->Edit();
        f->setAsDateTime(d);
        return true;
    }
    default:
        return false; // yes/no and the rest: the cell only takes up its column
    }
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
    const QList<int> rows = g->selectedRowNumbers();
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
    std::vector<int> fields;
    for (const Cell &c : std::as_const(cells))
        if (c.field)
            fields.push_back(c.field->Index());
    QList<int> stored = rows;
    stored.erase(std::lower_bound(stored.begin(), stored.end(), t->RecordCount()), stored.end()); // not the new row
    QString text;
    text.reserve(stored.size() * (cells.size() * 8 + 2));
    t->visitRows(stored, fields, [&](int, const std::vector<QVariant> &values) {
        size_t k = 0;
        for (const Cell &c : std::as_const(cells)) {
            if (c.field)
                text += copyText(c.field, values[k++]);
            if (c.tab)
                text += QLatin1Char('\t');
        }
        text += QStringLiteral("\r\n");
    });
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
    // The current row's value (of the new row, when one is being added), not what is being typed.
    QGuiApplication::clipboard()->setText(copyText(f, f->Value()));
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
    // The rows counted stay the rows pasted over: others' changes wait until the paste ends.
    const ControlsSuspended held(t);
    const qint64 rows = t->RecordCount() > 0 ? t->RecordCount() - t->RecNo() : 0;
    const int startColumn = qMax(0, g->currentColumn());
    if (const QString question = pasteQuestion(lines, rows);
        !question.isEmpty() && !prompts().confirm(question, QStringLiteral("Предупреждение"), Prompts::Buttons::OkCancel, Prompts::Icon::None))
        return;
    // The next number for appended rows, from the largest in the table, whatever the current row
    // holds; the query lets pending window messages be handled once.
    const QVariant max = DM->LargestNumber();
    qint64 next = max.isValid() && !max.isNull() ? max.toLongLong() + 1 : 1;
    processMessages();

    // The cells go to the start column and the visible columns right of it, by position.
    const QList<TColumn> &cols = g->Columns();
    QList<TDaoField *> targets;
    for (int c = startColumn; c < cols.size(); ++c)
        if (!g->isColumnHidden(c))
            targets << t->FindField(cols.at(c).FieldName);
    const QList<PasteText::Line> pasted = PasteText::split(text);
    const int startPos = rows == 0 ? t->RecordCount() : t->RecNo(); // the row of the first line
    const int rowsBefore = t->RecordCount(); // rows from here on are appended

    // Whatever happens, the window comes back: enabled, controls resumed, the flag cleared, the
    // lists rebuilt, the pointer restored, the bar hidden, bulk mode off, the rows read again.
    std::exception_ptr finishError;
    const auto tellFinishError = qScopeGuard([&] {
        if (finishError)
            Guard::report(finishError);
    });
    // A write batch the engine undid (a full disk): the rows of the lines before it are stored.
    // Once the window is back, the row of the first line not stored is left being edited with
    // that line's cells, and the message says which line it is.
    std::exception_ptr lost;
    TBookmark lostRow; // an existing row; none: an appended row, which is gone
    const auto resumeAtLoss = qScopeGuard([&] {
        const std::exception_ptr e = lost ? lost : finishError;
        if (!e)
            return;
        try {
            std::rethrow_exception(e);
        } catch (const BatchLost &b) {
            const qsizetype line = b.row() - startPos;
            QString where;
            if (b.row() >= 0 && line >= 0 && line < pasted.size()) {
                where = QStringLiteral("Вмъкването спря на ред %1 от текста; редовете преди него са записани.\r").arg(line + 1);
                try {
                    if (t->State() != TDaoTable::dsBrowse)
                        t->Cancel();
                    if (t->BookmarkValid(lostRow))
                        t->GotoBookmark(lostRow);
                    else
                        t->Append(); // numbered when it is stored
                    qsizetype at = 0;
                    for (const QString &cell : pasted.at(line).cells) {
                        if (at < targets.size() && targets.at(at))
                            setCell(t, targets.at(at), cell);
                        ++at;
                    }
                } catch (const DaoError &) {
                    // The row cannot be read now: the message still says where it stopped.
                }
            }
            finishError = std::make_exception_ptr(DaoError(where + b.message()));
        } catch (...) {
            // Another failure: told as it is.
        }
    });
    BulkRun run(t, mProgress);
    const auto finish = qScopeGuard([&] {
        try {
            if (t->State() != TDaoTable::dsBrowse)
                t->Cancel(); // the store that failed: its error is being told
        } catch (...) {
        }
        mWindow->setEnabled(true);
        t->EnableControls();
        run.clearFlag();
        try {
            mGrid->RefreshPickLists();
        } catch (...) {
            finishError = std::current_exception();
        }
        QGuiApplication::restoreOverrideCursor();
        run.hideBar();
        try {
            try {
                run.endBulk();
            } catch (const BatchLost &e) {
                // The last batch: its first row, while the positions still hold.
                finishError = std::current_exception();
                if (!lost && e.row() >= 0 && e.row() < rowsBefore && e.row() < t->RecordCount()) {
                    t->setRecNo(e.row());
                    lostRow = t->GetBookmark();
                }
            }
            t->Refresh();
        } catch (...) {
            finishError = std::current_exception();
        }
        g->viewport()->update();
    });
    t->DisableControls();
    mWindow->setEnabled(false);
    run.showBar(lines);
    run.beginBulk(inventoryschema::ChangeKind::Paste);
    run.raiseFlag();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);

    TDaoField *number = t->FieldByName(QStringLiteral("user_id"));
    // Other copies may store rows meanwhile; they cannot while a write batch of ours is open, so
    // the largest number is read again once in each batch an appended row is numbered in (the
    // row joins that batch), the first one included.
    quint64 numberedInBatch = ~quint64(0);
    const auto appendRow = [&] {
        if (DM->DataBase->batchSerial() != numberedInBatch) {
            const QVariant now = DM->LargestNumber();
            if (now.isValid() && !now.isNull())
                next = qMax(next, now.toLongLong() + 1);
            numberedInBatch = DM->DataBase->batchSerial();
        }
        t->Append();
        number->setAsInteger(next++);
    };
    // An empty view gets its row when the first cell comes: text without cells adds none.
    bool rowWanted = rows == 0;
    qsizetype column = 0; // index into targets of the next cell of the line
    const auto writeCell = [&](const QString &cell) {
        if (std::exchange(rowWanted, false))
            appendRow();
        const qsizetype at = column++;
        if (at < targets.size() && targets.at(at) && setCell(t, targets.at(at), cell))
            t->Post();
    };

    qint64 rowsLeft = rows; // rows of the view from the current one on, the current included
    try {
        for (const PasteText::Line &line : pasted) {
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
            if (run.repaintDue())
                run.repaint();
        }
        // A new row appended for a line whose cells all went nowhere is still stored.
        if (t->State() != TDaoTable::dsBrowse)
            t->Post();
    } catch (const BatchLost &e) {
        lost = std::current_exception();
        // Which row the first line not stored went to, while the positions still hold.
        if (t->State() != TDaoTable::dsBrowse)
            t->Cancel();
        if (e.row() >= 0 && e.row() < t->RecordCount() && e.row() < rowsBefore) {
            t->setRecNo(e.row());
            lostRow = t->GetBookmark();
        }
    }
}
