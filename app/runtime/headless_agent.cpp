#include "app/runtime/headless_agent.h"

#include <QCoreApplication>
#include <QString>

#include "app/runtime/agent_runtime.h"
#include "app/runtime/exit_signals.h"
#include "core/lang_strings.h"
#include "core/log_file.h"
#include "core/settings.h"
#include "net/agent_server.h"
#include "net/server_ui.h"

namespace {

// Nobody can look at a balloon or answer a prompt: both go to the log, and no unknown peer is
// let in. The texts are the fallback language's, as the log is read by whoever runs the agent
// without a desktop.
class LoggingServerUi : public ServerUi {
public:
    void SetLog(LogFile* log) { log_ = log; }
    QString LangString(int id) const override { return LoadLangString(kFallbackLanguage, id); }
    void SetTrayTip(const QString&) override {}
    void SetStatusText(const QString&) override {}
    void ShowServerState(bool) override {}
    void ShowPort(int) override {}
    void ShowBusyIcon(bool) override {}
    void ShowBalloon(const QString& text, int) override { Log(text); }
    bool NotifyOnConnect() const override { return ReadTrayMessage(); }
    ConnectionChoice PromptConnection(const QString& promptText) override
    {
        Log(promptText);
        return ConnectionChoice::Deny;
    }
    void AddIpListEntry(const QString&) override {}

private:
    void Log(const QString& line)
    {
        if (log_) log_->WriteLogLine(line);
    }
    LogFile* log_ = nullptr;
};

}  // namespace

struct HeadlessAgent::Impl {
    Impl() : runtime(ui) { ui.SetLog(&runtime.log()); }

    LoggingServerUi ui;
    AgentRuntime runtime;
    ExitSignalWatcher exitSignals;
    bool exiting = false;
};

HeadlessAgent::HeadlessAgent(QObject* parent) : QObject(parent), d(std::make_unique<Impl>())
{
    connect(&d->runtime, &AgentRuntime::exitRequested, this, [this] { Exit(0); });
    connect(&d->exitSignals, &ExitSignalWatcher::exitRequested, this, [this] { Exit(0); });
}

HeadlessAgent::~HeadlessAgent() = default;

AgentServer& HeadlessAgent::server()
{
    return d->runtime.server();
}

LogFile& HeadlessAgent::log()
{
    return d->runtime.log();
}

void HeadlessAgent::Start()
{
    d->runtime.WriteStartLines();
    d->runtime.StartServer();
}

void HeadlessAgent::Exit(int exitCode)
{
    if (d->exiting) return;
    d->exiting = true;
    d->runtime.RunExitSequence(d->runtime.server().IpList());
    QCoreApplication::exit(exitCode);
}
