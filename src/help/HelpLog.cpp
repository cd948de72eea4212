// The logging category of the help viewer and the about box, "velostok.help".
#include "HelpLog.h"

Q_LOGGING_CATEGORY(lcHelp, "velostok.help", QtWarningMsg)
