// The main window's record commands: add, mark deleted, restore, refresh, commit, purge and
// renumber rows of the inventory, and the users command.
#include "uVelostok.h"

#include "CheckAdminPassword.h"
#include "DaoError.h"
#include "Guard.h"
#include "Prompts.h"
#include "TDBGrid.h"
#include "uDM.h"
#include "uFiters.h"
#include "uSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QProgressBar>

namespace {

TDaoTable *inventory() { return DM->tblMain; }

bool currentDeleted()
{
    return inventory()->Active() && inventory()->FieldByName(QStringLiteral("deleted"))->AsBoolean();
}

// Marks the current row deleted or not, then re-reads the rows from the database.
void setDeleted(bool deleted)
{
    TDaoTable *t = inventory();
    t->Edit();
    t->FieldByName(QStringLiteral("deleted"))->setAsBoolean(deleted);
    t->Post();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
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

void TfVelostok::Users1Click()
{
    const TAdminCheck outcome = CheckAdminPassword();
    if (outcome == TAdminCheck::Cancelled)
        return;
    if (outcome == TAdminCheck::Passed)
        prompts().showModal(fFiters);
    RefreshPickLists();
}

void TfVelostok::Add1Click()
{
    if (!connected() || !DBGrid1->isEnabled())
        return;
    inventory()->Append();
}

void TfVelostok::Dell1Click()
{
    if (!connected() || !DBGrid1->isEnabled() || currentDeleted())
        return;
    if (!prompts().confirm(QStringLiteral("Наистина ли искате да истриете този запис ?")))
        return;
    setDeleted(true);
}

void TfVelostok::UnDel2Click()
{
    if (!connected() || !currentDeleted())
        return;
    setDeleted(false);
}

void TfVelostok::Rollback1Click()
{
    if (!connected() || !DBGrid1->isEnabled())
        return;
    ApplyFilter(fSettings->cbxShowDel->isChecked() ? QString() : QStringLiteral("[deleted]=False"));
}

void TfVelostok::Commit1Click()
{
    if (!connected() || !DBGrid1->isEnabled())
        return;
    postCurrentRow(); // a failure here goes to the error box and nothing is locked
    try {
        inventory()->ExecSQL({QStringLiteral("UPDATE main SET locked = True WHERE locked=False;")});
        inventory()->Requery();
    } catch (const DaoError &) {
        prompts().message(QStringLiteral("Поради възникнала грешка, записът не бе направен !"));
    }
}

void TfVelostok::Erase2Click()
{
    if (!connected())
        return;
    if (!prompts().confirm(QStringLiteral(" Тази функция премахва всички\rзаписи, маркирани като изтрити !")))
        return;
    switch (CheckAdminPassword()) {
    case TAdminCheck::Cancelled:
        return;
    case TAdminCheck::WrongPassword:
        prompts().message(QStringLiteral("Грешна парола на администратора !"));
        return;
    case TAdminCheck::NoAdministrator:
    case TAdminCheck::Passed:
        break;
    }
    postCurrentRow();
    try {
        inventory()->ExecSQL({QStringLiteral("Delete from main WHERE deleted=True;")});
        inventory()->Requery();
    } catch (const DaoError &) {
        prompts().message(QStringLiteral("Поради възникнала грешка, записът не бе премахнат !"));
    }
}

void TfVelostok::N2Click()
{
    if (!connected())
        return;
    TDaoTable *t = inventory();
    if (t->RecordCount() <= 0) {
        prompts().message(QStringLiteral("Няма нищо за номериране !"));
        return;
    }
    if (!prompts().confirm(QStringLiteral("Наистина ли искате да преномерирате таблицата ?"), QStringLiteral("Confirm"),
                           Prompts::Buttons::OkCancel, Prompts::Icon::Question))
        return;

    // Whatever happens in the loop, the window comes back as it was.
    struct Finish
    {
        TfVelostok *w;
        TDaoTable *t;
        bool disabled = false, bulk = false;
        ~Finish()
        {
            w->setEnabled(true);
            if (disabled)
                t->EnableControls();
            try {
                if (bulk)
                    t->setBulkMode(false);
            } catch (...) {
                w->ProgressBar1->hide();
                DM->BulkUpdate = false;
                QApplication::restoreOverrideCursor();
                Guard::report(std::current_exception());
                return;
            }
            w->ProgressBar1->hide();
            DM->BulkUpdate = false;
            QApplication::restoreOverrideCursor();
        }
    } finish{this, t};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    DM->BulkUpdate = true;
    t->DisableControls();
    finish.disabled = true;
    setEnabled(false);
    ProgressBar1->setRange(0, qMax(1, CountRows(QStringLiteral("main"))));
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    t->First();
    t->setBulkMode(true);
    finish.bulk = true;

    TDaoField *number = t->FieldByName(QStringLiteral("user_id"));
    QElapsedTimer paint;
    paint.start();
    qint64 n = 1;
    while (!t->Eof()) {
        t->Edit();
        number->setAsInteger(n);
        t->Post();
        t->Next();
        ++n;
        // The bar advances one step a row; it and the window are repainted now and then (the
        // window takes no input meanwhile).
        if (paint.elapsed() >= 100) {
            ProgressBar1->setValue(int(qMin<qint64>(n - 1, ProgressBar1->maximum())));
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            paint.restart();
        }
    }
    ProgressBar1->setValue(int(qMin<qint64>(n - 1, ProgressBar1->maximum())));
}

int TfVelostok::CountRows(const QString &table)
{
    if (!connected())
        return 0;
    try {
        const QVariant v = DM->scratchValue(QStringLiteral("SELECT Count(id) AS main_count FROM ") + table + QLatin1Char(';'), true);
        DM->DataBase->Idle();
        return v.isValid() ? v.toInt() : 0;
    } catch (...) {
        return 0;
    }
}
