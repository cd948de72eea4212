// The logging category of the data layer: what it cannot raise (a failure inside a destructor,
// a journal it could not switch) is logged here.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDb)
