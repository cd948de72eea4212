// The logging category of the inventory grid and its commands.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcInventory)
