#include "net/diagnostics.h"

// Only critical messages pass unless the rules enable more.
Q_LOGGING_CATEGORY(lcNet, "twinlark.net", QtCriticalMsg)
