#pragma once
// The address shown as "My IP": the first IPv4 address of the last network adapter (in the
// system's order) that has a gateway, "127.0.0.1" when none has.

#include <QList>
#include <QString>

class LogFile;

inline constexpr char kRouteTablePath[] = "/proc/net/route";

struct NetworkAdapter {
    QString name;  // the interface name the routing table uses ("eth0")
    QString ipv4;  // its first IPv4 address, dotted; empty when it has none
};

// Picks the address from the text of the kernel's IPv4 routing table (the format of
// /proc/net/route) and the adapters in the system's order.
QString OwnIpAddressFromRoutes(const QString& routeTable, const QList<NetworkAdapter>& adapters);

// The system's adapters (up, not loopback) in interface-index order.
QList<NetworkAdapter> SystemAdapters();

// Reads the live routing table; a table that cannot be read leaves "127.0.0.1" and a log line.
QString GetOwnIpAddress(LogFile& log, const QString& routeTablePath = QString::fromLatin1(kRouteTablePath));
