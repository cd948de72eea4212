// The logging category of the program's shell, "velostok.app".
#include "AppLog.h"

Q_LOGGING_CATEGORY(lcApp, "velostok.app", QtWarningMsg)
