// The logging category of the makes and models windows.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCatalogue)
