#include "qt_event_loop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

QCoreApplication& EnsureCoreApplication()
{
    if (QCoreApplication* existing = QCoreApplication::instance()) return *existing;
    static int argc = 1;
    static char name[] = "twinlark_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs)
{
    EnsureCoreApplication();
    QDeadlineTimer deadline(timeoutMs);
    // The tick wakes the waiting loop so the condition and the deadline are checked regularly.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}
