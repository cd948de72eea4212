// The administrator check.
#include "AdministratorCheck.h"

#include "UsersLog.h"
#include "Prompts.h"
#include "module/uDM.h"
#include "uPass.h"

#include <QLineEdit>
#include <QLoggingCategory>

TAdminCheck checkAdministrator()
{
    if (prompts().showModal(fPass) != QDialog::Accepted)
        return TAdminCheck::Cancelled;
    TDaoTable *users = DM->tblUsers;
    if (!users->Active() || !users->FindByKey(QStringLiteral("user_name"), QStringLiteral("Admin"))) {
        qCDebug(lcUsers) << "no administrator row: the check passes unguarded";
        return TAdminCheck::NoAdministrator;
    }
    const QString stored = users->FieldByName(QStringLiteral("password"))->AsString();
    return stored == fPass->ePass->text() ? TAdminCheck::Passed : TAdminCheck::WrongPassword;
}
