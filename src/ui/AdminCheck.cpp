// The installed administrator check.
#include "AdminCheck.h"

#include "Prompts.h"

namespace {
std::function<TAdminCheck()> &installed()
{
    static std::function<TAdminCheck()> check;
    return check;
}
} // namespace

TAdminCheck CheckAdminPassword()
{
    return installed() ? installed()() : TAdminCheck::Cancelled;
}

void setAdminCheck(std::function<TAdminCheck()> check)
{
    installed() = std::move(check);
}

bool AdminAllows(TAdminCheck outcome, const std::function<void()> &refused)
{
    switch (outcome) {
    case TAdminCheck::Cancelled:
    case TAdminCheck::WrongPassword:
        if (refused)
            refused();
        if (outcome == TAdminCheck::WrongPassword)
            prompts().message(QStringLiteral("Грешна парола на администратора !"));
        return false;
    case TAdminCheck::NoAdministrator:
    case TAdminCheck::Passed:
        break;
    }
    return true;
}
