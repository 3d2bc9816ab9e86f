// The server in this process over loopback: access rules and the prompt, eviction of the
// current client, the taken port, stop/start, suspend/resume and the paused listener.
#include "net/agent_server.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <functional>
#include <memory>

#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_context.h"
#include "net/client_connection.h"
#include "net/server_ui.h"
#include "support/qt_event_loop.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"
#include "wire/message_header.h"
#include "wire/reply_channel.h"
#include "wire/request_sink.h"

namespace {

class FakeUi : public ServerUi {
public:
    // "<id>" so that the tests see which string was used.
    QString LangString(int id) const override { return QStringLiteral("<%1>").arg(id); }
    void SetTrayTip(const QString& text) override { events.push_back(QStringLiteral("tip ") + text); }
    void SetStatusText(const QString& text) override
    {
        status = text;
        events.push_back(QStringLiteral("status ") + text);
    }
    void ShowServerState(bool running) override { serverStates.push_back(running); }
    void ShowPort(int port) override { ports.push_back(port); }
    void ShowBusyIcon(bool busy) override
    {
        events.push_back(busy ? QStringLiteral("busy") : QStringLiteral("idle"));
    }
    void ShowBalloon(const QString& text, int timeoutMs) override
    {
        balloons.push_back(text);
        balloonMs = timeoutMs;
    }
    bool NotifyOnConnect() const override { return notify; }
    ConnectionChoice PromptConnection(const QString& text) override
    {
        prompts.push_back(text);
        return prompt ? prompt(text) : ConnectionChoice::Deny;
    }
    void AddIpListEntry(const QString& address) override { added.push_back(address); }

    QString status;
    QStringList events;
    std::vector<bool> serverStates;
    std::vector<int> ports;
    QStringList balloons;
    int balloonMs = 0;
    bool notify = false;
    QStringList prompts;
    std::function<ConnectionChoice(const QString&)> prompt;
    QStringList added;
};

// A peer in this process: a QTcpSocket from a chosen loopback address.
class Peer {
public:
    explicit Peer(const QString& localAddress = QStringLiteral("127.0.0.1")) : local_(localAddress) {}

    bool Connect(std::uint16_t port)
    {
        socket_.bind(QHostAddress(local_), 0);
        socket_.connectToHost(QHostAddress::LocalHost, port);
        return ProcessEventsUntil([this] { return socket_.state() == QAbstractSocket::ConnectedState; });
    }
    void Send(std::uint16_t code, std::uint16_t tag, const QByteArray& payload = {})
    {
        QByteArray m(6, '\0');
        auto* p = reinterpret_cast<std::uint8_t*>(m.data());
        PutU16(p, code);
        PutU16(p + 2, tag);
        PutU16(p + 4, static_cast<std::uint16_t>(payload.size()));
        socket_.write(m + payload);
        socket_.flush();
    }
    void SendRaw(const QByteArray& bytes)
    {
        socket_.write(bytes);
        socket_.flush();
    }
    // The code of the next reply (its payload is dropped); nullopt when none came in time.
    std::optional<std::uint16_t> ReadReplyCode()
    {
        const bool complete = ProcessEventsUntil([this] {
            buffer_ += socket_.readAll();
            return buffer_.size() >= 6 &&
                   buffer_.size() >=
                       6 + GetU16(reinterpret_cast<const std::uint8_t*>(buffer_.constData()) + 4);
        });
        if (!complete) return std::nullopt;
        const auto* p = reinterpret_cast<const std::uint8_t*>(buffer_.constData());
        const std::uint16_t code = GetU16(p);
        buffer_.remove(0, 6 + GetU16(p + 4));
        return code;
    }
    std::optional<std::uint8_t> ReadByte()
    {
        if (!ProcessEventsUntil([this] { return !(buffer_ += socket_.readAll()).isEmpty(); }))
            return std::nullopt;
        const auto b = static_cast<std::uint8_t>(buffer_[0]);
        buffer_.remove(0, 1);
        return b;
    }
    // Whether the agent ended the connection (end of stream) within the time limit.
    bool WaitClosed()
    {
        return ProcessEventsUntil([this] {
            buffer_ += socket_.readAll();
            return socket_.state() == QAbstractSocket::UnconnectedState;
        });
    }
    // A round trip that proves the connection is served.
    bool Served() { return (Send(AS_GET_OWNER, 1), ReadReplyCode() == AS_GET_OWNER + 1); }
    void Close() { socket_.abort(); }
    QTcpSocket& socket() { return socket_; }

private:
    QString local_;
    QTcpSocket socket_;
    QByteArray buffer_;
};

std::uint16_t FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

class AgentServerTest : public ::testing::Test {
protected:
    AgentServerTest()
    {
        EnsureCoreApplication();
        CreateSettingsKey();
        WritePort(port);
    }

    // Builds the server (it reads the access mode and the IP list when constructed).
    AgentServer& Server()
    {
        if (!server) {
            server = std::make_unique<AgentServer>(log, dispatcher, ui);
            dispatcher.SetHandler(AS_SET_CONTACT, [this](RequestContext& ctx) {
                consumed.push_back(ctx.TakeConsumingPayload());
                ctx.Reply();
            });
        }
        return *server;
    }
    AgentServer& Started()
    {
        EXPECT_TRUE(Server().ServerStart());
        return *server;
    }
    QString LogText() const
    {
        QFile f(log.GetLogPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QString DnssdCalls() const
    {
        QFile f(home.Path(QStringLiteral("dnssd.txt")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    TempHome home;
    ScopedEnv library{"TWINLARK_DNSSD_LIBRARY", QByteArray(TWINLARK_FAKE_DNSSD_LIBRARY)};
    ScopedEnv record{"FAKE_DNSSD_LOG", home.Path(QStringLiteral("dnssd.txt")).toUtf8()};
    std::uint16_t port = FreePort();
    LogFile log;
    Agent agent{log};
    Dispatcher dispatcher{agent};
    FakeUi ui;
    std::unique_ptr<AgentServer> server;
    std::vector<QByteArray> consumed;
};

TEST_F(AgentServerTest, StartsOnTheStoredPortAndAnnouncesIt)
{
    AgentServer& s = Started();
    EXPECT_TRUE(s.IsRunning());
    EXPECT_EQ(s.ListeningPort(), port);
    EXPECT_TRUE(LogText().contains(QStringLiteral("ServerStart...true\nBonjour on\n")));
    EXPECT_TRUE(DnssdCalls().contains(QStringLiteral(" port=%1 ").arg(port)));
    EXPECT_EQ(ui.events.last(), QStringLiteral("tip <132>"));

    s.ServerStop();
    EXPECT_FALSE(s.IsRunning());
    EXPECT_EQ(s.ListeningPort(), 0);
    EXPECT_TRUE(LogText().endsWith(QStringLiteral("Bonjour off\nServerStop\n")));
    EXPECT_EQ(ui.events.mid(ui.events.size() - 2),
              (QStringList{QStringLiteral("tip <133>"), QStringLiteral("status <108>")}));
}

TEST_F(AgentServerTest, AccessModesAndTheIpList)
{
    struct Case {
        std::uint32_t mode;
        QStringList list;
        bool admitted;
    };
    const QString peer = QStringLiteral("127.0.0.2");
    const Case cases[] = {
        {1, {}, false},
        {1, {QStringLiteral("127.0.0.20"), QStringLiteral("127.0.0")}, false},  // whole texts only
        {1, {peer, peer}, true},                                                // listed twice: admitted once
        {2, {peer}, true},                                                      // listed: no prompt
        {7, {}, false},                                                         // unknown mode acts as 1
        {7, {peer}, true},
        {0xFFFFFFFF, {}, false},
    };
    AgentServer& s = Started();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " list " << c.list.join(',').toStdString());
        s.SetAccessMode(c.mode);
        s.SetIpList(c.list);
        ui.prompts.clear();
        Peer p(peer);
        ASSERT_TRUE(p.Connect(port));
        if (c.admitted) {
            EXPECT_TRUE(p.Served());
            EXPECT_EQ(ui.status, QStringLiteral("<122>127.0.0.2"));
        } else {
            EXPECT_TRUE(p.WaitClosed());
        }
        EXPECT_TRUE(ui.prompts.isEmpty());
        EXPECT_TRUE(ui.balloons.isEmpty());
    }
}

TEST_F(AgentServerTest, EveryAddressInModeZeroWithTheNotifyBalloon)
{
    CreateSettingsKey();
    WriteAccessMode(0);
    ui.notify = true;
    Started();
    Peer p(QStringLiteral("127.0.0.3"));
    ASSERT_TRUE(p.Connect(port));
    EXPECT_TRUE(p.Served());
    EXPECT_EQ(ui.balloons, QStringList{QStringLiteral("IP 127.0.0.3<130>")});
    EXPECT_EQ(ui.balloonMs, 10000);
}

TEST_F(AgentServerTest, PromptAnswersDecideAndAllowAndAddListsTheAddressOnce)
{
    AgentServer& s = Started();
    s.SetAccessMode(2);
    int listChanged = 0;
    QObject::connect(&s, &AgentServer::ipListChanged, [&] { ++listChanged; });

    ui.prompt = [](const QString&) { return ConnectionChoice::Deny; };
    Peer denied(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(denied.Connect(port));
    EXPECT_TRUE(denied.WaitClosed());
    EXPECT_EQ(ui.prompts, QStringList{QStringLiteral("IP 127.0.0.2<126>")});

    ui.prompt = [](const QString&) { return ConnectionChoice::Allow; };
    Peer allowed(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(allowed.Connect(port));
    EXPECT_TRUE(allowed.Served());
    EXPECT_TRUE(s.IpList().isEmpty());

    ui.prompt = [](const QString&) { return ConnectionChoice::AllowAndAdd; };
    Peer added(QStringLiteral("127.0.0.3"));
    ASSERT_TRUE(added.Connect(port));
    EXPECT_TRUE(added.Served());
    EXPECT_EQ(s.IpList(), QStringList{QStringLiteral("127.0.0.3")});
    EXPECT_EQ(ui.added, QStringList{QStringLiteral("127.0.0.3")});
    EXPECT_EQ(listChanged, 1);

    // Listed now: no further prompt.
    ui.prompts.clear();
    Peer again(QStringLiteral("127.0.0.3"));
    ASSERT_TRUE(again.Connect(port));
    EXPECT_TRUE(again.Served());
    EXPECT_TRUE(ui.prompts.isEmpty());
    EXPECT_EQ(s.IpList().size(), 1);
}

TEST_F(AgentServerTest, WhileThePromptIsOpenTheClientIsServedAndNewcomersAreRefused)
{
    AgentServer& s = Started();
    s.SetAccessMode(2);
    s.SetIpList({QStringLiteral("127.0.0.1")});
    Peer current;
    ASSERT_TRUE(current.Connect(port));
    ASSERT_TRUE(current.Served());

    bool currentServed = false;
    bool newcomerRefused = false;
    ui.prompt = [&](const QString&) {
        // The prompt is modal: the event loop runs on while the user decides.
        currentServed = current.Served();
        Peer newcomer(QStringLiteral("127.0.0.4"));
        newcomerRefused = newcomer.Connect(port) && newcomer.WaitClosed();
        return ConnectionChoice::Allow;
    };
    Peer waiting(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(waiting.Connect(port));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !ui.prompts.isEmpty(); }));
    EXPECT_EQ(ui.prompts.size(), 1);
    EXPECT_TRUE(currentServed);
    EXPECT_TRUE(newcomerRefused);
    // The allowed peer replaced the current client.
    EXPECT_TRUE(waiting.Served());
    EXPECT_TRUE(current.WaitClosed());
}

TEST_F(AgentServerTest, PeerThatLeftDuringThePromptIsNotAdmitted)
{
    AgentServer& s = Started();
    s.SetAccessMode(2);
    s.SetIpList({QStringLiteral("127.0.0.1")});
    Peer current;
    ASSERT_TRUE(current.Connect(port));
    ASSERT_TRUE(current.Served());

    Peer waiting(QStringLiteral("127.0.0.2"));
    ui.prompt = [&](const QString&) {
        ProcessEventsUntil([&] { return waiting.socket().state() == QAbstractSocket::ConnectedState; });
        waiting.Close();
        // Round trips of the current client let the agent notice the end of the waiting one.
        current.Served();
        current.Served();
        return ConnectionChoice::Allow;
    };
    waiting.Connect(port);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !ui.prompts.isEmpty(); }));
    // The current client keeps its connection.
    EXPECT_TRUE(current.Served());
    EXPECT_EQ(ui.status, QStringLiteral("<122>127.0.0.1"));
}

TEST_F(AgentServerTest, SecondPeerEvictsTheFirstAfterItsResourcesAreReleased)
{
    CreateSettingsKey();
    WritePassword(QStringLiteral("pw"));
    Started();
    Peer first;
    ASSERT_TRUE(first.Connect(port));
    first.Send(AS_LOGIN, 1, utf16::Bytes(QStringLiteral("pw")));
    ASSERT_EQ(first.ReadReplyCode(), AS_LOGIN + 1);
    first.Send(AS_PUT_FRAGMENT, 2, "left over");
    ASSERT_EQ(first.ReadByte(), kPutFragmentAck);
    // A long reply is half sent when the first peer is evicted.
    dispatcher.SetHandler(AS_GET_DIR_LIST, [](RequestContext& ctx) { ctx.Reply(QByteArray(20000, 'x')); });
    first.Send(AS_GET_DIR_LIST, 3);
    ASSERT_EQ(first.ReadReplyCode(), AS_FRAGMENT);

    ui.events.clear();
    Peer second(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(second.Connect(port));
    EXPECT_TRUE(first.WaitClosed());
    // Releases first (the idle icon), then the old connection's end, then the new peer.
    EXPECT_EQ(ui.events, (QStringList{QStringLiteral("idle"), QStringLiteral("status <108>"),
                                      QStringLiteral("status <122>127.0.0.2")}));

    // The newcomer meets none of the first peer's state: not logged in, no pieces, no pending reply.
    second.Send(AS_SET_CONTACT, 4, "own");
    EXPECT_EQ(second.ReadReplyCode(), AS_ERROR);
    second.Send(AS_LOGIN, 5, utf16::Bytes(QStringLiteral("pw")));
    EXPECT_EQ(second.ReadReplyCode(), AS_LOGIN + 1);
    second.Send(AS_SET_CONTACT, 6, "own");
    EXPECT_EQ(second.ReadReplyCode(), AS_SET_CONTACT + 1);
    ASSERT_EQ(consumed.size(), 1u);
    EXPECT_EQ(consumed[0], QByteArray("own"));
}

TEST_F(AgentServerTest, PeerClosingReleasesAndReannounces)
{
    AgentServer& s = Started();
    Peer p;
    ASSERT_TRUE(p.Connect(port));
    ASSERT_TRUE(p.Served());
    // A synchronisation withdrew the announcement; the client's end brings it back.
    s.AnnounceStop();
    p.Close();
    ASSERT_TRUE(ProcessEventsUntil([&] { return ui.status == QStringLiteral("<108>"); }));
    EXPECT_TRUE(LogText().endsWith(QStringLiteral("Bonjour off\nBonjour on\n")));
}

TEST_F(AgentServerTest, OversizedMessageEndsTheConnectionAndTheAgentServesTheNext)
{
    Started();
    Peer p;
    ASSERT_TRUE(p.Connect(port));
    QByteArray header(6, '\0');
    PutU16(reinterpret_cast<std::uint8_t*>(header.data()) + 4, 16379);
    p.SendRaw(header + QByteArray(16379, 'z'));
    EXPECT_TRUE(p.WaitClosed());
    ASSERT_TRUE(ProcessEventsUntil([&] { return ui.status == QStringLiteral("<108>"); }));
    Peer next;
    ASSERT_TRUE(next.Connect(port));
    EXPECT_TRUE(next.Served());
}

// A file transfer whose reply could not be sent drops its connection; the server keeps
// listening, so a peer resetting mid-reply cannot switch the agent off.
TEST_F(AgentServerTest, ADroppedConnectionLeavesTheServerServingTheNext)
{
    Server();
    dispatcher.SetHandler(AS_GET_FILE, [](RequestContext& ctx) { ctx.agent.host().DropConnection(); });
    AgentServer& s = Started();
    Peer p;
    ASSERT_TRUE(p.Connect(port));
    ASSERT_TRUE(p.Served());
    p.Send(AS_GET_FILE, 2);
    EXPECT_TRUE(p.WaitClosed());
    ASSERT_TRUE(ProcessEventsUntil([&] { return ui.status == QStringLiteral("<108>"); }));
    EXPECT_TRUE(s.IsRunning());
    Peer next;
    ASSERT_TRUE(next.Connect(port));
    EXPECT_TRUE(next.Served());
}

// Answers AS_GET_DRIVES with far more than a peer that does not read can hold, as a reply queue
// left unread would grow; everything else goes to the dispatcher.
class FloodingSink : public RequestSink {
public:
    explicit FloodingSink(RequestSink& inner) : inner_(inner) {}
    void DispatchCommand(std::uint16_t code, std::uint16_t tag, ByteView payload,
                         ReplyChannel& channel) override
    {
        if (code != AS_GET_DRIVES) return inner_.DispatchCommand(code, tag, payload, channel);
        const QByteArray piece(8000, 'f');
        for (int i = 0; i < 8192 && channel.SendMessage(AS_GET_DRIVES + 1, tag, AsBytes(piece)); ++i) {
        }
    }
    void AttachHost(AgentHost* host) override { inner_.AttachHost(host); }
    void ResetConnectionState() override { inner_.ResetConnectionState(); }
    void ReleaseClientResources() override { inner_.ReleaseClientResources(); }
    void ServerDisabled() override { inner_.ServerDisabled(); }
    void ServerStopped() override { inner_.ServerStopped(); }

private:
    RequestSink& inner_;
};

// The peer's reply piled up unread: its connection goes, the log says whose and why, and the
// next peer is served.
TEST_F(AgentServerTest, APeerDroppedForNotReadingIsLogged)
{
    FloodingSink sink(dispatcher);
    AgentServer s(log, sink, ui);
    ASSERT_TRUE(s.ServerStart());
    Peer p;
    ASSERT_TRUE(p.Connect(port));
    p.socket().setReadBufferSize(4096);
    p.Send(AS_GET_DRIVES, 1);
    ASSERT_TRUE(ProcessEventsUntil([&] { return LogText().contains(QStringLiteral("unread")); }))
        << LogText().toStdString();
    EXPECT_TRUE(LogText().contains(QStringLiteral("127.0.0.1: the peer left more than")))
        << LogText().toStdString();
    EXPECT_TRUE(s.IsRunning());
    p.Close();
    Peer next;
    ASSERT_TRUE(next.Connect(port));
    EXPECT_TRUE(next.Served());
}

TEST_F(AgentServerTest, TakenPortMovesToTheNextAndStoresIt)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::AnyIPv4, port));
    QTcpServer nextSquatter;
    if (!nextSquatter.listen(QHostAddress::AnyIPv4, port + 1))
        GTEST_SKIP() << "the next port is in use by another program";

    AgentServer& s = Server();
    s.OnEnable();
    EXPECT_FALSE(s.IsRunning());
    EXPECT_EQ(ReadPort(), port + 1);
    // Each failed start retries once it is over; two taken ports take two retries.
    ASSERT_TRUE(ProcessEventsUntil([&] { return s.IsRunning(); }));
    EXPECT_EQ(s.ListeningPort(), port + 2);
    EXPECT_EQ(ReadPort(), port + 2);
    EXPECT_EQ(ui.ports, (std::vector<int>{port + 1, port + 2}));
    EXPECT_EQ(ui.serverStates, (std::vector<bool>{false, false, true}));
    EXPECT_TRUE(LogText().contains(QStringLiteral("ServerStart...false\nServerStop\nServerStart...false\n")));
    EXPECT_TRUE(DnssdCalls().contains(QStringLiteral(" port=%1 ").arg(port + 2)));
}

TEST_F(AgentServerTest, LastPortDoesNotWrapAround)
{
    QTcpServer squatter;
    if (!squatter.listen(QHostAddress::AnyIPv4, 65535))
        GTEST_SKIP() << "port 65535 is in use by another program";
    WritePort(65535);
    AgentServer& s = Server();
    s.OnEnable();
    EXPECT_FALSE(s.IsRunning());
    EXPECT_EQ(ReadPort(), 65535);
    EXPECT_TRUE(ui.ports.empty());
    // No retry is queued: a round of events leaves the server stopped.
    QCoreApplication::processEvents();
    EXPECT_FALSE(s.IsRunning());
    EXPECT_EQ(ui.serverStates, std::vector<bool>{false});
}

TEST_F(AgentServerTest, StoredPortOutsideTheRangeDoesNotStart)
{
    WritePort(70000);
    EXPECT_FALSE(Server().ServerStart());
    EXPECT_TRUE(LogText().contains(QStringLiteral("ServerStart...false\n")));
}

TEST_F(AgentServerTest, SuspendStopsAndResumeRestartsAndAnnounces)
{
    AgentServer& s = Server();
    s.OnEnable();
    ASSERT_TRUE(s.IsRunning());
    Peer p;
    ASSERT_TRUE(p.Connect(port));
    ASSERT_TRUE(p.Served());

    s.OnSuspend();
    EXPECT_FALSE(s.IsRunning());
    EXPECT_TRUE(p.WaitClosed());
    EXPECT_TRUE(ui.events.contains(QStringLiteral("tip <133>")));
    s.OnResume();
    EXPECT_TRUE(s.IsRunning());
    EXPECT_EQ(s.ListeningPort(), port);
    EXPECT_EQ(ui.serverStates, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(DnssdCalls().count(QStringLiteral("register")), 2);
    Peer after;
    ASSERT_TRUE(after.Connect(port));
    EXPECT_TRUE(after.Served());

    s.OnStartStop();
    EXPECT_FALSE(s.IsRunning());
    s.OnStartStop();
    EXPECT_TRUE(s.IsRunning());
}

TEST_F(AgentServerTest, PausedListenerTakesNoOneUntilResumed)
{
    AgentServer& s = Started();
    Peer current;
    ASSERT_TRUE(current.Connect(port));
    ASSERT_TRUE(current.Served());
    s.SetAcceptingConnections(false);

    Peer waiting(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(waiting.Connect(port));  // the kernel completes the handshake
    // Round trips of the current client give the listener every chance to act.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(current.Served());
    EXPECT_EQ(ui.status, QStringLiteral("<122>127.0.0.1"));

    s.SetAcceptingConnections(true);
    ASSERT_TRUE(ProcessEventsUntil([&] { return ui.status == QStringLiteral("<122>127.0.0.2"); }));
    EXPECT_TRUE(waiting.Served());
}

TEST_F(AgentServerTest, RequestThatRunsAnEventLoopIsNotInterruptedByTheNext)
{
    Started();
    Peer p;
    ASSERT_TRUE(p.Connect(port));
    int depth = 0;
    int deepest = 0;
    int served = 0;
    dispatcher.SetHandler(AS_GET_DRIVES, [&](RequestContext& ctx) {
        deepest = std::max(deepest, ++depth);
        if (served++ == 0) {
            // The next request arrives while this one keeps the event loop running.
            p.Send(AS_GET_DRIVES, 2);
            ProcessEventsUntil([&] { return p.socket().bytesToWrite() == 0; });
            for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
        }
        ctx.Reply();
        --depth;
    });
    p.Send(AS_GET_DRIVES, 1);
    EXPECT_EQ(p.ReadReplyCode(), AS_GET_DRIVES + 1);
    // Served afterwards, not inside the first.
    EXPECT_EQ(p.ReadReplyCode(), AS_GET_DRIVES + 1);
    EXPECT_EQ(served, 2);
    EXPECT_EQ(deepest, 1);
}

TEST_F(AgentServerTest, QuitIsAnsweredAndThenTheExitIsSignalled)
{
    AgentServer& s = Started();
    int exits = 0;
    QObject::connect(&s, &AgentServer::exitRequested, [&] { ++exits; });
    Peer p;
    ASSERT_TRUE(p.Connect(port));
    p.Send(AS_QUIT, 9);
    EXPECT_EQ(exits, 0);
    EXPECT_EQ(p.ReadReplyCode(), AS_QUIT + 1);
    EXPECT_TRUE(ProcessEventsUntil([&] { return exits == 1; }));
}

TEST(ClientConnectionTest, KeepAliveProbesAfterThirtySecondsEverySecond)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ClientConnection::EnableKeepAlive(fd);
    int on = 0, idle = 0, interval = 0;
    socklen_t size = sizeof(int);
    ::getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, &size);
    ::getsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, &size);
    ::getsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, &size);
    ::close(fd);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(idle, 30);
    EXPECT_EQ(interval, 1);
    // A descriptor that is no socket is ignored.
    ClientConnection::EnableKeepAlive(-1);
}

}  // namespace
