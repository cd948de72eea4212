// The logging category of the skin engine, "velostok.skin".
#include "SkinLog.h"

Q_LOGGING_CATEGORY(lcSkin, "velostok.skin", QtWarningMsg)
