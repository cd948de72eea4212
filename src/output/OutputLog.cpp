// The logging category of printing and export, "velostok.output".
#include "OutputLog.h"

Q_LOGGING_CATEGORY(lcOutput, "velostok.output", QtWarningMsg)
