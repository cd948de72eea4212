// The administrator check: the prompt, then the password of the first user, in the users
// table's current order, whose name begins with "Admin" in any letter case.
#pragma once

enum class TAdminCheck { Cancelled, NoAdministrator, WrongPassword, Passed };

// Shows fPass and compares what was typed with the administrator's stored password, exactly.
// Leaves tblUsers on the administrator row when there is one.
TAdminCheck CheckAdminPassword();
