#include "dispatch/diagnostics.h"

// Only critical messages pass unless the rules enable more.
Q_LOGGING_CATEGORY(lcDispatch, "twinlark.dispatch", QtCriticalMsg)
