#include "common/diagnostics.h"

// Only critical messages pass unless the rules enable more.
Q_LOGGING_CATEGORY(lcCommon, "twinlark.common", QtCriticalMsg)
