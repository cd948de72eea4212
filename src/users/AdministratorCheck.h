// The administrator check behind CheckAdminPassword: the prompt fPass, then the password of the
// first user, in the users table's current order, whose name begins with "Admin" in any letter
// case. Start-up installs it (setAdminCheck).
#pragma once

#include "AdminCheck.h"

// Shows fPass and compares what was typed with the administrator's stored password, exactly.
// Leaves tblUsers on the administrator row when there is one.
TAdminCheck checkAdministrator();
