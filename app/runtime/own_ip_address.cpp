#include "app/runtime/own_ip_address.h"

#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QNetworkInterface>
#include <algorithm>

#include "core/log_file.h"

namespace {

const QString kLoopbackText = QStringLiteral("127.0.0.1");

// The first non-zero gateway of every interface, as the routing table lists them. Gateways
// are written as 8 hexadecimal digits in the machine's (little-endian) byte order.
QHash<QString, QString> FirstGateways(const QString& routeTable)
{
    QHash<QString, QString> gateways;
    const QStringList lines = routeTable.split(QLatin1Char('\n'));
    for (int i = 1; i < lines.size(); ++i) {  // line 0 names the columns
        const QStringList columns = lines[i].split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        if (columns.size() < 3) continue;
        const QString iface = columns[0].trimmed();
        bool ok = false;
        const quint32 raw = columns[2].trimmed().toUInt(&ok, 16);
        if (!ok || raw == 0 || gateways.contains(iface)) continue;
        const quint32 hostOrder =
            ((raw & 0xFFu) << 24) | ((raw & 0xFF00u) << 8) | ((raw >> 8) & 0xFF00u) | (raw >> 24);
        gateways.insert(iface, QHostAddress(hostOrder).toString());
    }
    return gateways;
}

}  // namespace

QString OwnIpAddressFromRoutes(const QString& routeTable, const QList<NetworkAdapter>& adapters)
{
    const QHash<QString, QString> gateways = FirstGateways(routeTable);
    QString address = kLoopbackText;
    for (const NetworkAdapter& adapter : adapters) {
        const QString gateway = gateways.value(adapter.name);
        if (gateway.isEmpty() || gateway == QLatin1String("0.0.0.0") || adapter.ipv4.isEmpty()) continue;
        address = adapter.ipv4;  // the last adapter with a gateway wins
    }
    return address;
}

QList<NetworkAdapter> SystemAdapters()
{
    QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    std::stable_sort(
        interfaces.begin(), interfaces.end(),
        [](const QNetworkInterface& a, const QNetworkInterface& b) { return a.index() < b.index(); });
    QList<NetworkAdapter> adapters;
    for (const QNetworkInterface& iface : interfaces) {
        if (iface.flags().testFlag(QNetworkInterface::IsLoopBack) ||
            !iface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        NetworkAdapter adapter{iface.name(), {}};
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                adapter.ipv4 = entry.ip().toString();
                break;
            }
        }
        adapters.append(adapter);
    }
    return adapters;
}

QString GetOwnIpAddress(LogFile& log, const QString& routeTablePath)
{
    QFile table(routeTablePath);
    if (!table.open(QIODevice::ReadOnly)) {
        log.WriteLogLine(QStringLiteral("GetAdaptersInfo failed with error:"));
        return kLoopbackText;
    }
    return OwnIpAddressFromRoutes(QString::fromLatin1(table.readAll()), SystemAdapters());
}
