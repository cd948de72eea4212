// The logging category of the users window and the administrator check.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcUsers)
