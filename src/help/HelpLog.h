// The logging category of the help viewer and the about box.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcHelp)
