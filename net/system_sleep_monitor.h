#pragma once
#include <QObject>

// Tells when the system is about to sleep and when it has woken, from logind's PrepareForSleep
// signal on the system bus. Without a system bus (or without Qt's D-Bus module at build time)
// it never signals; the server's suspend and resume entry points stay callable all the same.
class SystemSleepMonitor : public QObject {
    Q_OBJECT
public:
    explicit SystemSleepMonitor(QObject* parent = nullptr);
    // Whether the signal could be subscribed to.
    bool IsWatching() const { return watching_; }

signals:
    void suspending();
    void resumed();

private slots:
    void OnPrepareForSleep(bool start);

private:
    bool watching_ = false;
};
