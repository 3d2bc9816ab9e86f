#pragma once
// Settings planted in a temporary home before the agent (or its window) starts.

#include <QString>
#include <QTcpServer>
#include <map>

#include "support/temp_home.h"

// A port nothing listens on right now, so parallel tests do not meet on 27385.
inline int FreeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

// Writes the settings key with the given DWORD values (and a free port unless one is given).
inline void PlantSettings(const TempHome& home, std::map<QString, unsigned> dwords)
{
    if (!dwords.count(QStringLiteral("port")))
        dwords[QStringLiteral("port")] = static_cast<unsigned>(FreeLoopbackPort());
    QByteArray text =
        "Windows Registry Editor Version 5.00\r\n\r\n[SOFTWARE\\Ostrel Software\\TwinLark2]\r\n";
    for (const auto& [name, value] : dwords)
        text += QStringLiteral("\"%1\"=dword:%2\r\n").arg(name).arg(value, 8, 16, QLatin1Char('0')).toUtf8();
    home.WriteFile(QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg"), text);
}
