// The data layer's logging category, "velostok.db".
#include "base/DbLog.h"

Q_LOGGING_CATEGORY(lcDb, "velostok.db", QtWarningMsg)
