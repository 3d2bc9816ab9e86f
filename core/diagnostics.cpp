#include "core/diagnostics.h"

// Only critical messages pass unless the rules enable more.
Q_LOGGING_CATEGORY(lcCore, "twinlark.core", QtCriticalMsg)
