// The logging category of the windows' kit, "velostok.ui".
#include "UiLog.h"

Q_LOGGING_CATEGORY(lcUi, "velostok.ui", QtWarningMsg)
