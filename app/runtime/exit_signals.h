#pragma once
// Turns the signals that end a session (SIGTERM, SIGHUP, and SIGINT from a terminal) into a
// queued Qt signal, so the agent leaves through its ordinary exit sequence on the UI thread.

#include <QObject>

class QSocketNotifier;

class ExitSignalWatcher : public QObject {
    Q_OBJECT
public:
    // One watcher at a time; it restores the previous handlers when destroyed.
    explicit ExitSignalWatcher(QObject* parent = nullptr);
    ~ExitSignalWatcher() override;

signals:
    void exitRequested(int signalNumber);

private:
    void OnReadable();
    QSocketNotifier* notifier_ = nullptr;
};
