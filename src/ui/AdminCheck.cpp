// The installed administrator check.
#include "AdminCheck.h"

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
