// The logging category of the record editor, "velostok.editor".
#include "EditorLog.h"

Q_LOGGING_CATEGORY(lcEditor, "velostok.editor", QtWarningMsg)
