#include "net/socket_error_log.h"

#include "common/errors.h"
#include "platform/known_folders.h"

SocketErrorLog::SocketErrorLog()
{
    try {
        file_.setFileName(AgentDataDir() + QStringLiteral("/logSocket.log"));
        OpenOwnerOnly();
    } catch (const AgentError&) {
    }
}

SocketErrorLog::SocketErrorLog(const QString& path) : file_(path)
{
    OpenOwnerOnly();
}

void SocketErrorLog::OpenOwnerOnly()
{
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (file_.open(QIODevice::WriteOnly | QIODevice::Truncate, ownerOnly)) (void)file_.setPermissions(ownerOnly);
}

void SocketErrorLog::Write(const QString& line)
{
    if (!file_.isOpen())
        return;
    // One line per event; texts that already carry their line end get no second one.
    QByteArray bytes = line.toUtf8();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    file_.write(bytes);
    file_.flush();
}
