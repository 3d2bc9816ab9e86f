#include "app/runtime/own_ip_address.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/log_file.h"

namespace {

// /proc/net/route as the kernel writes it: addresses in little-endian hexadecimal.
const QString kTwoGateways = QStringLiteral(
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "eth0\t00000000\t0100000A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
    "eth0\t0000000A\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
    "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
    "wlan0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
    "docker0\t000011AC\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n");

TEST(OwnIpAddress, LastAdapterWithGatewayWins)
{
    const QList<NetworkAdapter> adapters = {
        {QStringLiteral("eth0"), QStringLiteral("10.0.0.5")},
        {QStringLiteral("wlan0"), QStringLiteral("192.168.1.7")},
        {QStringLiteral("docker0"), QStringLiteral("172.17.0.1")},  // no gateway: not a candidate
    };
    EXPECT_EQ(OwnIpAddressFromRoutes(kTwoGateways, adapters), QStringLiteral("192.168.1.7"));
    // The system's adapter order decides, not the table's.
    const QList<NetworkAdapter> reversed = {adapters[1], adapters[0], adapters[2]};
    EXPECT_EQ(OwnIpAddressFromRoutes(kTwoGateways, reversed), QStringLiteral("10.0.0.5"));
}

TEST(OwnIpAddress, NoGatewayOrNoTableLeavesLoopback)
{
    const QList<NetworkAdapter> adapters = {{QStringLiteral("docker0"), QStringLiteral("172.17.0.1")}};
    EXPECT_EQ(OwnIpAddressFromRoutes(kTwoGateways, adapters), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(OwnIpAddressFromRoutes(QString(), {}), QStringLiteral("127.0.0.1"));
    // A gateway on an adapter without an IPv4 address cannot be shown.
    EXPECT_EQ(OwnIpAddressFromRoutes(kTwoGateways, {{QStringLiteral("eth0"), QString()}}),
              QStringLiteral("127.0.0.1"));
    // Damaged lines are skipped.
    EXPECT_EQ(OwnIpAddressFromRoutes(QStringLiteral("Iface\tGateway\neth0\nwlan0\t0\tZZZZ\n"),
                                     {{QStringLiteral("eth0"), QStringLiteral("10.0.0.5")}}),
              QStringLiteral("127.0.0.1"));
}

TEST(OwnIpAddress, UnreadableTableIsLogged)
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("TwinLark.log"));
    {
        LogFile log(logPath);
        EXPECT_EQ(GetOwnIpAddress(log, dir.filePath(QStringLiteral("no-such-table"))),
                  QStringLiteral("127.0.0.1"));
    }
    QFile file(logPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("GetAdaptersInfo failed with error:\n"));
}

}  // namespace
