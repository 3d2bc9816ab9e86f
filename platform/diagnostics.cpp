#include "platform/diagnostics.h"

// Only critical messages pass unless the rules enable more.
Q_LOGGING_CATEGORY(lcPlatform, "twinlark.platform", QtCriticalMsg)
