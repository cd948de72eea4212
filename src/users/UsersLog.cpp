// The logging category of the users window and the administrator check, "velostok.users".
#include "UsersLog.h"

Q_LOGGING_CATEGORY(lcUsers, "velostok.users", QtWarningMsg)
