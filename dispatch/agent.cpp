#include "dispatch/agent.h"

#include "core/log_file.h"
#include "dispatch/bookmark_sync_state.h"
#include "dispatch/file_transfers.h"
#include "dispatch/file_watch_manager.h"
#include "platform/free_heap.h"
#include "stores/catalog/store_set.h"
#include "wire/agent_host.h"

namespace {

class NoHost : public AgentHost {
public:
    void SetAcceptingConnections(bool) override {}
    void AnnounceStart() override {}
    void AnnounceStop() override {}
    void ShowBusyIcon(bool) override {}
    void RequestExit() override {}
};

}  // namespace

Agent::Agent(LogFile& log, std::function<void(const QString&)> showMessage)
    : log(log),
      stores(std::make_unique<StoreSet>(
          StoreServices{[&log](const QString& line) { log.WriteLogLine(line); }, std::move(showMessage)})),
      transfers(std::make_unique<FileTransfers>()),
      watches(std::make_unique<FileWatchManager>()),
      bookmarks(std::make_unique<BookmarkSyncState>())
{
}

Agent::~Agent() = default;

AgentHost& Agent::host() const
{
    static NoHost none;
    return host_ ? *host_ : none;
}

void Agent::ResetConnectionState()
{
    fragments.Clear();
    loggedIn = false;
    // What the connection's long requests and its stores' sessions freed goes back to the system
    // here, once per connection, so that a peer that sent 64 MiB or loaded 50,000 items leaves
    // the agent near its idle size.
    ReturnFreeHeap();
}

void Agent::ReleaseClientResources()
{
    // A departing client's resources are all released whatever fails; nobody is left to hear
    // of a failure.
    for (const QString& failure : stores->ForgetLoadedRecords(Selection()))
        log.WriteLogLine(QStringLiteral("At the client's departure: ") + failure);
    watches->StopAllFileWatches();
    ReleaseStores(QStringLiteral("the client's departure"));
    host().ShowBusyIcon(false);
    transfers->CloseAll();
    items.ReleaseLists();
    bookmarks->ReleaseCheckList();
}

QStringList Agent::ReleaseStores(const QString& occasion, const std::function<void(const QString&)>& sessionLine)
{
    // Changes that could not be written stay with their stores, to be written at the next
    // chance; the log names each.
    const QStringList failures = stores->ReleaseSessions(sessionLine);
    for (const QString& failure : failures) log.WriteLogLine(QStringLiteral("At %1: %2").arg(occasion, failure));
    return failures;
}
