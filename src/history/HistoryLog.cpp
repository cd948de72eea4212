// The logging category of the change history's windows, "velostok.history".
#include "HistoryLog.h"

Q_LOGGING_CATEGORY(lcHistory, "velostok.history", QtWarningMsg)
