#include "net/system_sleep_monitor.h"

#ifdef TWINLARK_HAVE_DBUS
#include <QDBusConnection>
#endif

SystemSleepMonitor::SystemSleepMonitor(QObject* parent) : QObject(parent)
{
#ifdef TWINLARK_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        watching_ =
            bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                        this, SLOT(OnPrepareForSleep(bool)));
#endif
}

void SystemSleepMonitor::OnPrepareForSleep(bool start)
{
    if (start)
        emit suspending();
    else
        emit resumed();
}
