// The logging category of the makes and models windows, "velostok.catalogue".
#include "CatalogueLog.h"

Q_LOGGING_CATEGORY(lcCatalogue, "velostok.catalogue", QtWarningMsg)
