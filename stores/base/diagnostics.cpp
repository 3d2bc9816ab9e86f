#include "stores/base/diagnostics.h"

// Only critical messages pass unless the rules enable more.
Q_LOGGING_CATEGORY(lcStores, "twinlark.stores", QtCriticalMsg)
