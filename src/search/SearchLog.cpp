// The logging category of the search window, "velostok.search".
#include "SearchLog.h"

Q_LOGGING_CATEGORY(lcSearch, "velostok.search", QtWarningMsg)
