// The built agent over loopback: the connection requests, quitting, the taken port, the
// access rules, eviction, the DNS-SD announcement and a broken peer.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QTcpServer>

#include "agent_process.h"
#include "common/byte_io.h"
#include "core/settings.h"
#include "dispatch/request_codes.h"
#include "platform/system_info.h"
#include "test_peer.h"
#include "wire/message_header.h"

namespace {

QString Text(const QByteArray& utf16le)
{
    return utf16::FromBytesUpToZero(AsBytes(utf16le));
}

TEST(WireE2e, MainRoadIdentitiesAndLogin)
{
    AgentProcess agent;
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));

    // The header arrives in pieces: 1, 3 and the rest.
    ASSERT_TRUE(peer.Send(AS_MACHINE_ID, 0xBEEF, utf16::Bytes(QStringLiteral("MAC-PEER-1")), {1, 4}));
    auto reply = peer.ReadMessage();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_MACHINE_ID + 1);
    EXPECT_EQ(reply->tag, 0xBEEF);
    EXPECT_TRUE(Text(reply->payload).endsWith(QLatin1Char(' ') + UserName()));

    reply = peer.Request(AS_GET_OWNER, 2);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_GET_OWNER + 1);
    EXPECT_EQ(Text(reply->payload), ComputerName());

    // No password stored: the empty login succeeds and answers the version.
    reply = peer.Request(AS_LOGIN, 3);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_LOGIN + 1);
    EXPECT_EQ(Text(reply->payload), GetProductVersionText());

    // A code nobody serves.
    reply = peer.Request(301, 4);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_ERROR);
    EXPECT_EQ(reply->tag, 4);

    // A long request's piece is acknowledged with one byte.
    ASSERT_TRUE(peer.Send(AS_PUT_FRAGMENT, 5, QByteArray(100, 'p')));
    EXPECT_EQ(peer.ReadByte(), kPutFragmentAck);

    const QString log = agent.Log();
    EXPECT_TRUE(log.startsWith(QStringLiteral("Init TwinLark..\n") + GetVersionLine() + QLatin1Char('\n')));
    EXPECT_TRUE(log.contains(QStringLiteral("ServerStart...true\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("machineID = MAC-PEER-1\n")));
}

TEST(WireE2e, StoredPasswordGatesTheRequests)
{
    AgentProcess agent;
    agent.SetString(QStringLiteral("password"), QStringLiteral("Secret"));
    ASSERT_TRUE(agent.Start());
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_TRUE(peer.Send(AS_PUT_FRAGMENT, 1, "piece"));
    auto reply = peer.ReadMessage();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_ERROR);
    EXPECT_EQ(peer.Request(AS_LOGIN, 2, utf16::Bytes(QStringLiteral("secret")))->code, AS_ERROR);
    EXPECT_EQ(peer.Request(AS_LOGIN, 3, utf16::Bytes(QStringLiteral("Secret")))->code, AS_LOGIN + 1);
    ASSERT_TRUE(peer.Send(AS_PUT_FRAGMENT, 4, "piece"));
    EXPECT_EQ(peer.ReadByte(), kPutFragmentAck);
}

TEST(WireE2e, QuitIsAnsweredThenTheAgentExitsWithZero)
{
    AgentProcess agent;
    ASSERT_TRUE(agent.Start());
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    const auto reply = peer.Request(AS_QUIT, 0x1234);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_QUIT + 1);
    EXPECT_EQ(reply->tag, 0x1234);
    EXPECT_TRUE(reply->payload.isEmpty());
    EXPECT_TRUE(peer.ReadEndOfStream());
    EXPECT_EQ(agent.WaitForExit(), 0) << agent.Stderr().toStdString();
    EXPECT_TRUE(agent.Log().endsWith(QStringLiteral("ServerStop\nclose programm\n\n")));
}

TEST(WireE2e, TerminationSignalsEndTheAgentInOrder)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        AgentProcess agent;
        ASSERT_TRUE(agent.Start());
        agent.Signal(signal);
        EXPECT_EQ(agent.WaitForExit(), 0) << agent.Stderr().toStdString();
        EXPECT_TRUE(agent.Log().endsWith(QStringLiteral("ServerStop\nclose programm\n\n")));
    }
}

TEST(WireE2e, TakenPortMovesTheAgentToTheNextAndStoresIt)
{
    AgentProcess agent;
    QTcpServer squatter;
    if (!squatter.listen(QHostAddress::AnyIPv4, agent.Port()))
        GTEST_SKIP() << "could not hold the planted port";
    QTcpServer probe;
    if (!probe.listen(QHostAddress::AnyIPv4, agent.Port() + 1))
        GTEST_SKIP() << "the next port is taken by another program";
    probe.close();

    ASSERT_TRUE(agent.Launch());
    ASSERT_TRUE(agent.WaitUntilListening(agent.Port() + 1)) << agent.Log().toStdString();
    EXPECT_EQ(agent.ReadDword(QStringLiteral("port")), agent.Port() + 1u);
    EXPECT_TRUE(
        agent.Log().contains(QStringLiteral("ServerStart...false\nServerStop\nServerStart...true\n")));
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port() + 1));
    EXPECT_EQ(peer.Request(AS_GET_OWNER, 1)->code, AS_GET_OWNER + 1);
}

// Mode 1 admits the listed address only; mode 2 also asks about the others, and a window-less
// agent answers every prompt with "Deny".
TEST(WireE2e, AccessModesWithThePlantedIpList)
{
    for (const std::uint32_t mode : {1u, 2u}) {
        SCOPED_TRACE(mode);
        AgentProcess agent;
        agent.SetDword(QStringLiteral("Access mode"), mode);
        agent.WriteIpList({QStringLiteral("127.0.0.2")});
        ASSERT_TRUE(agent.Start());

        TestPeer listed(QStringLiteral("127.0.0.2"));
        ASSERT_TRUE(listed.Connect(agent.Port()));
        const auto reply = listed.Request(AS_GET_OWNER, 1);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->code, AS_GET_OWNER + 1);

        TestPeer stranger(QStringLiteral("127.0.0.3"));
        ASSERT_TRUE(stranger.Connect(agent.Port()));
        stranger.Send(AS_GET_OWNER, 2);
        EXPECT_TRUE(stranger.ReadEndOfStream());
        // The listed client kept its connection.
        EXPECT_EQ(listed.Request(AS_GET_OWNER, 3)->code, AS_GET_OWNER + 1);
        EXPECT_EQ(agent.Log().contains(
                      QStringLiteral("IP 127.0.0.3 not in your list is trying to connect to your PC")),
                  mode == 2);
    }
}

TEST(WireE2e, SecondPeerEvictsTheFirst)
{
    AgentProcess agent;
    ASSERT_TRUE(agent.Start());
    TestPeer first;
    ASSERT_TRUE(first.Connect(agent.Port()));
    ASSERT_EQ(first.Request(AS_GET_OWNER, 1)->code, AS_GET_OWNER + 1);
    ASSERT_TRUE(first.Send(AS_PUT_FRAGMENT, 2, "first peer's piece"));
    ASSERT_EQ(first.ReadByte(), kPutFragmentAck);

    TestPeer second(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(second.Connect(agent.Port()));
    EXPECT_TRUE(first.ReadEndOfStream());
    EXPECT_EQ(second.Request(AS_GET_OWNER, 3)->code, AS_GET_OWNER + 1);
}

// A peer that asks for file pieces and stops reading them holds up no one: the agent does not
// wait for it, and the next peer is served at once.
TEST(WireE2e, APeerThatStopsReadingHoldsUpNoOne)
{
    AgentProcess agent;
    agent.WriteFile(QStringLiteral("big.bin"), QByteArray(16 * 1024 * 1024, 'b'));
    ASSERT_TRUE(agent.Start());
    TestPeer stalled;
    stalled.SetReceiveBuffer(4096);
    ASSERT_TRUE(stalled.Connect(agent.Port()));
    const QString path = QStringLiteral("C:") + agent.Path(QStringLiteral("big.bin")).replace(u'/', u'\\');
    for (int i = 0; i < 400; ++i) {
        QByteArray payload;
        ByteWriter w(payload);
        w.CountedUtf16(path);
        w.U64(static_cast<std::uint64_t>(i) * 16000);
        w.U16(16000);
        ASSERT_TRUE(stalled.Send(AS_GET_FILE, static_cast<std::uint16_t>(i), payload));
        ::usleep(2000);  // one request at a time, as a peer in lockstep sends them
    }

    TestPeer next(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(next.Connect(agent.Port()));
    ASSERT_TRUE(next.Send(AS_GET_OWNER, 1));
    const auto reply = next.ReadMessage(1000);
    ASSERT_TRUE(reply) << "the agent was held by the peer that stopped reading";
    EXPECT_EQ(reply->code, AS_GET_OWNER + 1);
}

TEST(WireE2e, AnnouncementCarriesNameTypeAndListeningPort)
{
    AgentProcess agent;
    const QString calls = agent.Path(QStringLiteral("dnssd-calls.txt"));
    agent.SetEnv("FAKE_DNSSD_LOG", calls.toUtf8());
    ASSERT_TRUE(agent.Start());
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_TRUE(peer.Request(AS_QUIT, 1));
    ASSERT_EQ(agent.WaitForExit(), 0);

    const QByteArray expected =
        "register flags=0 interface=0 name=" +
        (ComputerName() + QLatin1Char('(') + UserName() + QLatin1Char(')')).toUtf8() +
        " type=_twinlark_win._tcp. domain=null host=null port=" + QByteArray::number(agent.Port()) +
        " txt=0 callback=null context=null\n"
        "deallocate ref=1\n";
    EXPECT_EQ(agent.ReadFile(QStringLiteral("dnssd-calls.txt")), expected);
    const QString log = agent.Log();
    EXPECT_TRUE(log.contains(QStringLiteral("ServerStart...true\nBonjour on\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Bonjour off\nServerStop\n")));
}

TEST(WireE2e, MissingDnssdLibraryOnlyCostsTheAnnouncement)
{
    AgentProcess agent;
    agent.SetEnv("TWINLARK_DNSSD_LIBRARY", agent.Path(QStringLiteral("missing/libdns_sd.so.1")).toUtf8());
    ASSERT_TRUE(agent.Start());
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    EXPECT_EQ(peer.Request(AS_GET_OWNER, 1)->code, AS_GET_OWNER + 1);
    EXPECT_TRUE(agent.Log().contains(QStringLiteral("ServerStart...true\nLoadLibrary Bonjour failed\n")));
}

TEST(WireE2e, OversizedMessageDropsThatPeerOnly)
{
    AgentProcess agent;
    ASSERT_TRUE(agent.Start());
    TestPeer broken;
    ASSERT_TRUE(broken.Connect(agent.Port()));
    QByteArray header = TestPeer::Encode(AS_GET_OWNER, 1);
    PutU16(reinterpret_cast<std::uint8_t*>(header.data()) + 4, 40000);
    ASSERT_TRUE(broken.SendRaw(header + QByteArray(20000, 'x')));
    EXPECT_TRUE(broken.ReadEndOfStream());
    EXPECT_TRUE(agent.SocketLog().contains("40000"));

    TestPeer next;
    ASSERT_TRUE(next.Connect(agent.Port()));
    EXPECT_EQ(next.Request(AS_GET_OWNER, 2)->code, AS_GET_OWNER + 1);
}

}  // namespace

namespace {

// Password guessing: each failure is logged with the peer's address; the fifth within a minute
// ends the connection and keeps that address out for a minute, while other addresses are served.
TEST(WireE2eLogin, GuessingPasswordsEndsTheConnectionAndKeepsTheAddressOut)
{
    AgentProcess agent;
    agent.SetString(QStringLiteral("password"), QStringLiteral("Secret"));
    ASSERT_TRUE(agent.Start());
    TestPeer guesser(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(guesser.Connect(agent.Port()));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(guesser.Request(AS_LOGIN, i + 1, utf16::Bytes(QStringLiteral("guess%1").arg(i)))->code, AS_ERROR);
    EXPECT_TRUE(guesser.ReadEndOfStream());

    TestPeer again(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(again.Connect(agent.Port()));
    EXPECT_TRUE(again.ReadEndOfStream());

    TestPeer other(QStringLiteral("127.0.0.3"));
    ASSERT_TRUE(other.Connect(agent.Port()));
    EXPECT_EQ(other.Request(AS_LOGIN, 1, utf16::Bytes(QStringLiteral("Secret")))->code, AS_LOGIN + 1);

    const QString log = agent.Log();
    EXPECT_EQ(log.count(QStringLiteral("AS_LOGIN failed from 127.0.0.2\n")), 5);
    EXPECT_TRUE(log.contains(QStringLiteral("too many failed logins from 127.0.0.2")));
    EXPECT_TRUE(log.contains(QStringLiteral("connection from 127.0.0.2 refused: too many failed logins")));
}

}  // namespace
