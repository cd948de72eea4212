// The administrator check, as the windows that need it see it: the users subsystem installs the
// check at start-up (the prompt and the lookup of the administrator's password).
#pragma once

#include <functional>

enum class TAdminCheck { Cancelled, NoAdministrator, WrongPassword, Passed };

// Runs the installed check; Cancelled when none is installed.
TAdminCheck CheckAdminPassword();
void setAdminCheck(std::function<TAdminCheck()> check);
