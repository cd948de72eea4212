// The record commands of the main window.
#include "RecordCommands.h"

#include "InventoryLog.h"
#include "AdminCheck.h"
#include "BulkRun.h"
#include "base/DaoError.h"
#include "Guard.h"
#include "InventoryGrid.h"
#include "Prompts.h"
#include "Scope.h"
#include "Settings.h"
#include "TDBGrid.h"
#include "module/uDM.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QScopeGuard>

namespace {

TDaoTable *inventory() { return DM->tblMain; }

bool currentDeleted()
{
    return inventory()->Active() && inventory()->FieldByName(QStringLiteral("deleted"))->AsBoolean();
}

void processMessages()
{
    // Repaints only: the user's input waits until the command is over.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// Marks the current row deleted or not, then re-reads the rows from the database.
void setDeleted(bool deleted)
{
    TDaoTable *t = inventory();
    t->Edit();
    t->FieldByName(QStringLiteral("deleted"))->setAsBoolean(deleted);
    t->Post();
    processMessages();
    DM->DataBase->Idle();
    t->Requery();
}

// Saves the current row as it stands (a new empty row on an empty row set), stamped.
void postCurrentRow()
{
    inventory()->Edit();
    inventory()->Post();
}

} // namespace

RecordCommands::RecordCommands(InventoryGrid *grid, QWidget *window, QProgressBar *progress, QObject *parent)
    : QObject(parent), mGrid(grid), mWindow(window), mProgress(progress)
{
}

void RecordCommands::Add1Click()
{
    if (!databaseConnected() || !mGrid->grid()->isEnabled())
        return;
    inventory()->Append();
}

void RecordCommands::Connect1Click()
{
    if (!mGrid->grid()->isEnabled() || !databaseConnected())
        return;
    if (inventory()->FieldByName(QStringLiteral("id"))->IsNull())
        return;
    if (showEditor)
        showEditor();
    inventory()->Requery();
}

void RecordCommands::Dell1Click()
{
    if (!databaseConnected() || !mGrid->grid()->isEnabled() || currentDeleted())
        return;
    if (!prompts().confirm(QStringLiteral("Наистина ли искате да истриете този запис ?")))
        return;
    setDeleted(true);
}

void RecordCommands::UnDel2Click()
{
    if (!databaseConnected() || !currentDeleted())
        return;
    setDeleted(false);
}

void RecordCommands::Rollback1Click()
{
    if (!databaseConnected() || !mGrid->grid()->isEnabled())
        return;
    mGrid->ApplyFilter(settings().deletedFilter());
}

void RecordCommands::Commit1Click()
{
    if (!databaseConnected() || !mGrid->grid()->isEnabled())
        return;
    postCurrentRow(); // a failure here goes to the error box and nothing is locked
    try {
        inventory()->ExecSQL({QStringLiteral("UPDATE main SET locked = True WHERE locked=False;")});
        inventory()->Requery();
    } catch (const DaoError &e) {
        qCWarning(lcInventory) << "commit failed:" << e.message();
        prompts().message(QStringLiteral("Поради възникнала грешка, записът не бе направен !"));
    }
}

void RecordCommands::Erase2Click()
{
    if (!databaseConnected())
        return;
    if (!prompts().confirm(QStringLiteral(" Тази функция премахва всички\rзаписи, маркирани като изтрити !")))
        return;
    if (!AdminAllows(CheckAdminPassword()))
        return;
    postCurrentRow();
    try {
        inventory()->ExecSQL({QStringLiteral("Delete from main WHERE deleted=True;")});
        inventory()->Requery();
    } catch (const DaoError &e) {
        qCWarning(lcInventory) << "purge failed:" << e.message();
        prompts().message(QStringLiteral("Поради възникнала грешка, записът не бе премахнат !"));
    }
}

void RecordCommands::N2Click()
{
    if (!databaseConnected())
        return;
    TDaoTable *t = inventory();
    if (t->RecordCount() <= 0) {
        prompts().message(QStringLiteral("Няма нищо за номериране !"));
        return;
    }
    if (!prompts().confirm(QStringLiteral("Наистина ли искате да преномерирате таблицата ?"), QStringLiteral("Confirm"),
                           Prompts::Buttons::OkCancel, Prompts::Icon::Question))
        return;

    // A lost batch (the disk full) or a failed last commit, told after the window is back.
    std::exception_ptr failure;
    try {
        renumberRows(t, failure);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure)
        return;
    try {
        std::rethrow_exception(failure);
    } catch (const BatchLost &e) {
        // The rows before the lost batch keep their new numbers; its first row is left being
        // edited with the number it was to get (the row that failed is not stored either).
        if (t->State() != TDaoTable::dsBrowse)
            t->Cancel();
        const int row = e.row();
        if (row >= 0 && row < t->RecordCount()) {
            t->setRecNo(row);
            t->Edit();
            t->FieldByName(QStringLiteral("user_id"))->setAsInteger(row + 1);
            throw DaoError(QStringLiteral("Преномерирането спря на ред %1; редовете преди него са с новите си номера.\r%2")
                               .arg(row + 1)
                               .arg(e.message()));
        }
        throw;
    }
}

void RecordCommands::renumberRows(TDaoTable *t, std::exception_ptr &endError)
{
    // Whatever happens in the loop, the window comes back as it was, in this order: enabled,
    // repainting, bulk mode off, the bar hidden, the flag cleared, the pointer restored. A
    // failure to end bulk mode (its last commit) goes to endError unless the loop failed first.
    const WaitCursor wait;
    BulkRun run(t, mProgress);
    run.raiseFlag();
    const auto endBulk = qScopeGuard([&] {
        try {
            run.endBulk();
        } catch (...) {
            if (!endError)
                endError = std::current_exception();
        }
    });
    const ControlsSuspended suspended(t);
    const WidgetDisabled disabled(mWindow);
    run.showBar(CountRows(QStringLiteral("main")));
    t->First();
    run.beginBulk(inventoryschema::ChangeKind::Renumbering);

    TDaoField *number = t->FieldByName(QStringLiteral("user_id"));
    qint64 n = 1;
    while (!t->Eof()) {
        t->Edit();
        number->setAsInteger(n);
        t->Post();
        t->Next();
        ++n;
        // The bar advances one step a row; it and the window are repainted now and then (the
        // window takes no input meanwhile).
        if (run.repaintDue()) {
            mProgress->setValue(int(qMin<qint64>(n - 1, mProgress->maximum())));
            run.repaint();
        }
    }
    mProgress->setValue(int(qMin<qint64>(n - 1, mProgress->maximum())));
}

int RecordCommands::CountRows(const QString &table)
{
    if (!databaseConnected())
        return 0;
    try {
        const QVariant v = DM->scratchValue(QStringLiteral("SELECT Count(id) AS main_count FROM ") + table + QLatin1Char(';'), true);
        DM->DataBase->Idle();
        return v.isValid() ? v.toInt() : 0;
    } catch (const DaoError &e) {
        qCWarning(lcInventory) << "counting the rows of" << table << "failed:" << e.message();
        return 0;
    }
}
