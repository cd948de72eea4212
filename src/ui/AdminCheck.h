// The administrator check, as the windows that need it see it: the users subsystem installs the
// check at start-up (the prompt and the lookup of the administrator's password).
#pragma once

#include <functional>

enum class TAdminCheck { Cancelled, NoAdministrator, WrongPassword, Passed };

// Runs the installed check; Cancelled when none is installed.
TAdminCheck CheckAdminPassword();
void setAdminCheck(std::function<TAdminCheck()> check);

// Whether a command guarded by the check goes on: yes when it passed or no administrator is
// set. Refused, it runs refused (undoing what the user did) and, for a wrong password, says so.
bool AdminAllows(TAdminCheck outcome, const std::function<void()> &refused = {});
