#include "net/agent_server.h"
#include "net/login_guard.h"

#include <QTimer>

#include <sys/socket.h>

#include <QHostAddress>
#include <QTcpServer>
#include <deque>
#include <exception>
#include <functional>

#include "core/log_file.h"
#include "core/settings.h"
#include "net/client_connection.h"
#include "net/diagnostics.h"
#include "net/dnssd_announcer.h"
#include "net/serv_socket.h"
#include "net/server_ui.h"
#include "net/socket_error_log.h"
#include "net/system_sleep_monitor.h"
#include "wire/request_sink.h"

namespace {

// String table entries the server shows.
constexpr int kStrClientNotConnected = 108;
constexpr int kStrConnectedIp = 122;
constexpr int kStrNotInListPrompt = 126;
constexpr int kStrTryingToConnect = 130;
constexpr int kStrActive = 132;
constexpr int kStrInactive = 133;

constexpr int kBalloonMs = 10000;
constexpr int kBalloonChars = 255;

// The listening socket. Accepted connections stay plain descriptors: the access rules decide
// about them before anything reads from them.
class Listener : public QTcpServer {
public:
    explicit Listener(std::function<void(int)> onAccepted) : onAccepted_(std::move(onAccepted)) {}

protected:
    void incomingConnection(qintptr descriptor) override { onAccepted_(static_cast<int>(descriptor)); }

private:
    std::function<void(int)> onAccepted_;
};

}  // namespace

struct AgentServer::Impl {
    Impl(AgentServer& self, LogFile& log, RequestSink& sink, ServerUi& ui)
        : log(log),
          sink(sink),
          ui(ui),
          framing(
              connection,
              [&self](std::uint16_t code, std::uint16_t tag, ByteView payload, ReplyChannel& channel) {
                  self.DispatchRequest(code, tag, payload, channel);
              },
              &errorLog),
          announcer(log),
          listener([this](int descriptor) { accepted.push_back(descriptor); })
    {
    }

    // Accepted connections waiting for the access rules (handled outside the listener's own
    // notification, so that a prompt never runs inside it).
    std::deque<int> accepted;

    LogFile& log;
    RequestSink& sink;
    ServerUi& ui;
    SocketErrorLog errorLog;
    ClientConnection connection;
    CServSocket framing;
    DnssdAnnouncer announcer;
    Listener listener;
    SystemSleepMonitor* sleepMonitor = nullptr;
    bool running = false;
    std::uint32_t accessMode = 0;
    QStringList ipList;
    // A connection waits for the user's answer; others are refused meanwhile.
    bool promptOpen = false;
    // The admitted peer's address, and the failed logins of every address.
    QString clientAddress;
    LoginGuard logins;
};

AgentServer::AgentServer(LogFile& log, RequestSink& sink, ServerUi& ui, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>(*this, log, sink, ui))
{
    d->accessMode = ReadAccessMode();
    d->ipList = LoadIpList();
    d->listener.setListenBacklogSize(1);
    connect(&d->listener, &QTcpServer::newConnection, this, &AgentServer::OnNewConnections,
            Qt::QueuedConnection);
    d->connection.SetReceiver([this](ByteView bytes) { d->framing.OnReceive(bytes); },
                              [this] { d->framing.OnReadFailed(); });
    connect(&d->connection, &ClientConnection::peerClosed, this, &AgentServer::CloseClientConnection);
    connect(&d->connection, &ClientConnection::sendAbandoned, this,
            [this](const QString& why) { d->log.WriteLogLine(d->clientAddress + QStringLiteral(": ") + why); });
    sink.AttachHost(this);
}

AgentServer::~AgentServer()
{
    d->sink.AttachHost(nullptr);
    d->connection.Close();
    d->listener.close();
    for (const int descriptor : d->accepted) ClientConnection::ShutDownAndClose(descriptor);
    d->announcer.Stop();
}

void AgentServer::DispatchRequest(std::uint16_t code, std::uint16_t tag, ByteView payload,
                                  ReplyChannel& channel)
{
    // The dispatcher answers every failure itself; this only keeps a failure of its own from
    // leaving the event loop.
    try {
        d->sink.DispatchCommand(code, tag, payload, channel);
    } catch (const std::exception& e) {
        d->log.WriteLogLine(QStringLiteral("dispatch failed: ") + QString::fromUtf8(e.what()));
    } catch (...) {
        d->log.WriteLogLine(QStringLiteral("dispatch failed"));
    }
}

bool AgentServer::ServerStart()
{
    if (d->running) return true;
    const int port = ReadPort();
    const bool valid = port >= 0 && port <= 65535;
    if (!valid || !d->listener.listen(QHostAddress::AnyIPv4, static_cast<quint16>(port))) {
        // A taken port moves the agent to the next one, stored for later starts; the retry runs
        // once this failed start is over. The last port does not wrap around.
        if (valid && d->listener.serverError() == QAbstractSocket::AddressInUseError && port > 0 &&
            port < 65535) {
            WritePort(port + 1);
            d->ui.ShowPort(port + 1);
            QMetaObject::invokeMethod(this, &AgentServer::OnRestartServer, Qt::QueuedConnection);
        }
        d->log.WriteLogLine(QStringLiteral("ServerStart...false"));
        ServerStop();
        return false;
    }
    d->log.WriteLogLine(QStringLiteral("ServerStart...true"));
    BonjourStart();
    d->ui.SetTrayTip(d->ui.LangString(kStrActive));
    d->running = true;
    return true;
}

void AgentServer::ServerStop()
{
    d->listener.close();
    while (!d->accepted.empty()) {
        ClientConnection::ShutDownAndClose(d->accepted.front());
        d->accepted.pop_front();
    }
    d->framing.Reset();
    d->sink.ResetConnectionState();
    d->connection.Close();
    BonjourStop();
    d->running = false;
    d->ui.SetTrayTip(d->ui.LangString(kStrInactive));
    d->log.WriteLogLine(QStringLiteral("ServerStop"));
    d->ui.SetStatusText(d->ui.LangString(kStrClientNotConnected));
    d->sink.ServerStopped();
}

bool AgentServer::IsRunning() const
{
    return d->running;
}

std::uint16_t AgentServer::ListeningPort() const
{
    return d->listener.isListening() ? d->listener.serverPort() : 0;
}

void AgentServer::OnEnable()
{
    d->ui.ShowServerState(ServerStart());
}

void AgentServer::OnDisable()
{
    d->sink.ServerDisabled();
    ServerStop();
    d->ui.ShowServerState(false);
}

void AgentServer::OnStartStop()
{
    if (d->running)
        OnDisable();
    else
        OnEnable();
}

void AgentServer::OnRestartServer()
{
    OnStartStop();
}

void AgentServer::OnSuspend()
{
    OnDisable();
}

void AgentServer::OnResume()
{
    OnEnable();
    BonjourStart();
}

void AgentServer::WatchSystemSleep()
{
    if (d->sleepMonitor) return;
    d->sleepMonitor = new SystemSleepMonitor(this);
    connect(d->sleepMonitor, &SystemSleepMonitor::suspending, this, &AgentServer::OnSuspend);
    connect(d->sleepMonitor, &SystemSleepMonitor::resumed, this, &AgentServer::OnResume);
}

void AgentServer::SetAccessMode(std::uint32_t mode)
{
    d->accessMode = mode;
}

std::uint32_t AgentServer::AccessMode() const
{
    return d->accessMode;
}

void AgentServer::SetIpList(const QStringList& list)
{
    d->ipList = list;
}

const QStringList& AgentServer::IpList() const
{
    return d->ipList;
}

void AgentServer::OnNewConnections()
{
    while (!d->accepted.empty()) {
        const int descriptor = d->accepted.front();
        d->accepted.pop_front();
        OnAcceptClient(descriptor);
    }
}

void AgentServer::OnAcceptClient(int descriptor)
{
    if (d->promptOpen) {
        // The user is still deciding about another peer: one question at a time.
        Refuse(descriptor);
        return;
    }
    const QString address = ClientConnection::PeerAddress(descriptor);
    if (d->logins.Blocked(address)) {
        d->log.WriteLogLine(QStringLiteral("connection from ") + address +
                            QStringLiteral(" refused: too many failed logins"));
        Refuse(descriptor);
        return;
    }
    const QString statusText = d->ui.LangString(kStrConnectedIp) + address;
    // A stored mode outside the three known ones admits the listed addresses only.
    const std::uint32_t mode = d->accessMode <= 2 ? d->accessMode : 1;

    if (mode == 0) {
        Admit(descriptor, statusText);
        if (d->ui.NotifyOnConnect())
            d->ui.ShowBalloon(
                (QStringLiteral("IP ") + address + d->ui.LangString(kStrTryingToConnect)).left(kBalloonChars),
                kBalloonMs);
        return;
    }
    if (d->ipList.contains(address)) {
        Admit(descriptor, statusText);
        return;
    }
    if (mode == 1) {
        Refuse(descriptor);
        return;
    }

    // The prompt is modal: the event loop keeps serving the current client meanwhile, and the
    // waiting connection may end or the server may stop before the user answers.
    d->promptOpen = true;
    const ConnectionChoice choice =
        d->ui.PromptConnection(QStringLiteral("IP ") + address + d->ui.LangString(kStrNotInListPrompt));
    d->promptOpen = false;
    if (choice == ConnectionChoice::Deny || !d->running ||
        !ClientConnection::PeerStillConnected(descriptor)) {
        Refuse(descriptor);
        return;
    }
    if (choice == ConnectionChoice::AllowAndAdd && !d->ipList.contains(address)) {
        d->ipList.append(address);
        d->ui.AddIpListEntry(address);
        emit ipListChanged();
    }
    Admit(descriptor, statusText);
}

void AgentServer::Admit(int descriptor, const QString& statusText)
{
    CloseClientConnection();
    d->clientAddress = ClientConnection::PeerAddress(descriptor);
    d->connection.Attach(descriptor);
    ClientConnection::EnableKeepAlive(descriptor);
    d->ui.SetStatusText(statusText);
}

void AgentServer::Refuse(int descriptor)
{
    qCDebug(lcNet) << "refused a peer's connection";
    // The peer sees its connection end at once; the current client keeps its own.
    ClientConnection::ShutDownAndClose(descriptor);
}

void AgentServer::DropConnection()
{
    // Ends the stream as a lost peer would: the client's resources are released once the
    // request that asked for it has returned, and the listener stays.
    d->connection.Abort();
}

void AgentServer::CloseClientConnection()
{
    // The order matters: accept again, announce again, release what the client held, and only
    // then drop its connection.
    SetAcceptingConnections(true);
    BonjourStart();
    d->sink.ReleaseClientResources();
    d->sink.ResetConnectionState();
    d->framing.Reset();
    d->connection.Close();
    d->clientAddress.clear();
    d->ui.SetStatusText(d->ui.LangString(kStrClientNotConnected));
}

bool AgentServer::BonjourStart()
{
    // Only a listening server is announced, on the port it really listens on.
    const std::uint16_t port = ListeningPort();
    if (port == 0) return true;
    return d->announcer.Start(port);
}

void AgentServer::BonjourStop()
{
    d->announcer.Stop();
}

void AgentServer::SetAcceptingConnections(bool on)
{
    if (!d->listener.isListening()) return;
    if (on)
        d->listener.resumeAccepting();
    else
        d->listener.pauseAccepting();
}

void AgentServer::ShowBusyIcon(bool busy)
{
    d->ui.ShowBusyIcon(busy);
}

void AgentServer::TellUser(const QString& text)
{
    d->ui.SetStatusText(text);
    d->ui.ShowBalloon(text, 10000);
}

void AgentServer::LoginFailed()
{
    const QString address = d->clientAddress;
    d->log.WriteLogLine(QStringLiteral("AS_LOGIN failed from ") + address);
    if (!d->logins.Failed(address)) return;
    d->log.WriteLogLine(QStringLiteral("too many failed logins from ") + address +
                        QStringLiteral(": connection closed, the address is refused for a minute"));
    // After the refusal has gone out: the request that failed is still being served.
    QTimer::singleShot(0, this, [this, address] {
        if (d->clientAddress == address && d->connection.IsAttached()) CloseClientConnection();
    });
}

void AgentServer::LoginSucceeded() { d->logins.Succeeded(d->clientAddress); }

void AgentServer::RequestExit()
{
    // The reply to AS_QUIT is already with the kernel; the exit runs once the dispatch is over.
    QMetaObject::invokeMethod(this, &AgentServer::exitRequested, Qt::QueuedConnection);
}
