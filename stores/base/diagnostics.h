#pragma once
// The developer diagnostics of the stores/ layer: QLoggingCategory "twinlark.stores", off by
// default, so that a failure can be traced without touching the user's log. Turned on with
// QT_LOGGING_RULES="twinlark.stores.*=true" (or "twinlark.*=true" for every layer).

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStores)
