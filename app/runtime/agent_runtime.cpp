#include "app/runtime/agent_runtime.h"

#include "common/errors.h"
#include "platform/atomic_file.h"
#include "platform/known_folders.h"

#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/source_detection.h"
#include "net/agent_server.h"
#include "net/server_ui.h"

AgentRuntime::AgentRuntime(ServerUi& ui, QObject* parent,
                           std::function<void(const QString& text, LogFile& log)> showMessage)
    : QObject(parent),
      log_(std::make_unique<LogFile>()),
      agent_(std::make_unique<Agent>(*log_, showMessage ? std::function<void(const QString&)>(
                                                              [show = std::move(showMessage), log = log_.get()](
                                                                  const QString& text) { show(text, *log); })
                                                        : std::function<void(const QString&)>())),
      dispatcher_(std::make_unique<Dispatcher>(*agent_)),
      server_(std::make_unique<AgentServer>(*log_, *dispatcher_, ui))
{
    connect(server_.get(), &AgentServer::exitRequested, this, &AgentRuntime::exitRequested);
}

AgentRuntime::~AgentRuntime()
{
    server_.reset();
    dispatcher_.reset();
    agent_.reset();
    log_.reset();
}

void AgentRuntime::WriteStartLines()
{
    CreateSettingsKey();
    // An agent killed during a write left its temporary files in the data folder.
    try {
        RemoveLeftoverTemporaryFiles(AgentDataDir());
    } catch (const AgentError&) {
    }
    log_->WriteLogLine(QStringLiteral("Init TwinLark.."));
    log_->WriteLogLine(GetVersionLine());
    DetectDataSources(*agent_);
}

bool AgentRuntime::StartServer()
{
    server_->OnEnable();
    server_->WatchSystemSleep();
    return server_->IsRunning();
}

void AgentRuntime::RunExitSequence(const QStringList& ipList)
{
    agent_->ReleaseClientResources();
    SaveIpList(ipList);
    WriteBrowserId(agent_->browserId);
    server_->ServerStop();
}

void AgentRuntime::ReleaseStoresAtClose() { agent_->ReleaseStores(QStringLiteral("the window's close")); }
