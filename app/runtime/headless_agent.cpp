#include "app/runtime/headless_agent.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QString>
#include <array>
#include <cerrno>

#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/file_transfers.h"
#include "dispatch/file_watch_manager.h"
#include "dispatch/source_detection.h"
#include "net/agent_server.h"
#include "net/server_ui.h"

namespace {

// The English texts the server asks for.
QString EnglishString(int id)
{
    switch (id) {
        case 104:
            return QStringLiteral("Ready to connect");
        case 105:
            return QStringLiteral("Unavailable for connection");
        case 106:
            return QStringLiteral("Enable");
        case 107:
            return QStringLiteral("Disable");
        case 108:
            return QStringLiteral("Client not connected");
        case 122:
            return QStringLiteral("Connected IP ");
        case 123:
            return QStringLiteral("Allow");
        case 124:
            return QStringLiteral("Deny");
        case 125:
            return QStringLiteral("Allow and add");
        case 126:
            return QStringLiteral(" not in your list is trying to connect to your PC");
        case 130:
            return QStringLiteral(" is trying to connect");
        case 132:
            return QStringLiteral("TwinLark is active");
        case 133:
            return QStringLiteral("TwinLark is inactive");
        default:
            return {};
    }
}

// Nobody can look at a balloon or answer a prompt: both go to the log, and no unknown peer is
// let in.
class LoggingServerUi : public ServerUi {
public:
    explicit LoggingServerUi(LogFile& log) : log_(log) {}
    QString LangString(int id) const override { return EnglishString(id); }
    void SetTrayTip(const QString&) override {}
    void SetStatusText(const QString&) override {}
    void ShowServerState(bool) override {}
    void ShowPort(int) override {}
    void ShowBusyIcon(bool) override {}
    void ShowBalloon(const QString& text, int) override { log_.WriteLogLine(text); }
    bool NotifyOnConnect() const override { return ReadTrayMessage(); }
    ConnectionChoice PromptConnection(const QString& promptText) override
    {
        log_.WriteLogLine(promptText);
        return ConnectionChoice::Deny;
    }
    void AddIpListEntry(const QString&) override {}

private:
    LogFile& log_;
};

// Termination signals reach the event loop through a socket pair: the handler only writes.
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

struct HeadlessAgent::Impl {
    Impl() : agent(log), dispatcher(agent), ui(log), server(log, dispatcher, ui) {}

    LogFile log;
    Agent agent;
    Dispatcher dispatcher;
    LoggingServerUi ui;
    AgentServer server;
    QSocketNotifier* signalNotifier = nullptr;
    bool exiting = false;
};

HeadlessAgent::HeadlessAgent(QObject* parent) : QObject(parent), d(std::make_unique<Impl>())
{
    connect(&d->server, &AgentServer::exitRequested, this, [this] { Exit(0); });

    if (g_signalPipe[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0)
        g_signalPipe[0] = g_signalPipe[1] = -1;
    if (g_signalPipe[0] >= 0) {
        d->signalNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        connect(d->signalNotifier, &QSocketNotifier::activated, this, [this] {
            std::array<char, 16> drained;
            while (::read(g_signalPipe[0], drained.data(), drained.size()) > 0) {
            }
            Exit(0);
        });
        struct sigaction action {};
        action.sa_handler = OnTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
    }
}

HeadlessAgent::~HeadlessAgent() = default;

AgentServer& HeadlessAgent::server()
{
    return d->server;
}

LogFile& HeadlessAgent::log()
{
    return d->log;
}

void HeadlessAgent::Start()
{
    CreateSettingsKey();
    d->log.WriteLogLine(QStringLiteral("Init TwinLark.."));
    d->log.WriteLogLine(GetVersionLine());
    DetectDataSources(d->agent);
    d->server.WatchSystemSleep();
    d->server.OnEnable();
}

void HeadlessAgent::Exit(int exitCode)
{
    if (d->exiting) return;
    d->exiting = true;
    // As at the end of a client connection: watches stopped, transfer files closed, and the
    // stores that work on a loaded copy written back, so an exit mid-synchronisation loses nothing.
    d->agent.ReleaseClientResources();
    SaveIpList(d->server.IpList());
    d->server.ServerStop();
    QCoreApplication::exit(exitCode);
}
