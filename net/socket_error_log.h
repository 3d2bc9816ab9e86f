#pragma once
#include <QFile>
#include <QString>

// "logSocket.log" in the agent's data folder: failures of the connection's reads, emptied at
// every start of the agent. Without a data folder nothing is logged.
class SocketErrorLog {
public:
    SocketErrorLog();
    explicit SocketErrorLog(const QString& path);
    void Write(const QString& line);

private:
    // Truncates or creates the log, readable and writable by the user alone.
    void OpenOwnerOnly();
    QFile file_;
};
