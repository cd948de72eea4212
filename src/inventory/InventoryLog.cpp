// The logging category of the inventory grid and its commands, "velostok.inventory".
#include "InventoryLog.h"

Q_LOGGING_CATEGORY(lcInventory, "velostok.inventory", QtWarningMsg)
