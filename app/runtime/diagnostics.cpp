#include "app/runtime/diagnostics.h"

// Only critical messages pass unless the rules enable more.
Q_LOGGING_CATEGORY(lcApp, "twinlark.app", QtCriticalMsg)
