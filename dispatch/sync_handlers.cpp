// The synchronisation bracket (AS_START_SYNC, AS_END_SYNC), the check for a running program
// that owns a data source, the category names of the contacts source and Safari's bookmarks path.
// What each source opens, closes and names is the source catalogue's.
#include <QStringList>
#include <exception>

#include "common/byte_io.h"
#include "common/errors.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/file_transfers.h"
#include "dispatch/request_context.h"
#include "platform/browser_probe.h"
#include "platform/path_map.h"
#include "platform/process_list.h"
#include "stores/catalog/source_catalog.h"
#include "stores/catalog/store_set.h"
#include "wire/agent_host.h"

namespace {

void StartSync(RequestContext& ctx)
{
    Agent& agent = ctx.agent;
    StoreSet& stores = *agent.stores;
    AgentHost& host = agent.host();
    LogFile& log = agent.log;

    log.WriteLogLine(QStringLiteral("AS_START_SYNC..."));
    // No new peer while the synchronisation runs: its end or the client's close accepts again.
    AcceptPause pause(host);
    host.AnnounceStop();
    host.ShowBusyIcon(true);
    try {
        stores.OpenSessions(agent.Selection(), [&log](const QString& line) { log.WriteLogLine(line); });
    } catch (...) {
        // No synchronisation runs: the agent is reachable and announced again. Stores opened
        // before the failure stay open until the end request or the client's close.
        const QString reason = FailureReason(std::current_exception());
        pause.Resume();
        log.WriteLogLine(QStringLiteral("AS_START_SYNC...error"));
        log.WriteLogLine(QStringLiteral("\treason: ") + reason);
        host.ShowBusyIcon(false);
        log.WriteLogLine(QStringLiteral("Can not open Opera or Firefox Database"));
        host.AnnounceStart();
        ctx.ReplyError();
        return;
    }
    pause.KeepPaused();
    log.WriteLogLine(QStringLiteral("AS_START_SYNC...ok"));
    ctx.Reply();
}

void EndSync(RequestContext& ctx)
{
    Agent& agent = ctx.agent;
    AgentHost& host = agent.host();
    LogFile& log = agent.log;

    log.WriteLogLine(QStringLiteral("AS_END_SYNC..."));
    // Every write-back is attempted even when an earlier one fails, so that no store's edits are
    // dropped because of another's failure. The release logs its own failures.
    QStringList failures;
    AttemptStep([&] { agent.transfers->CloseAll(); }, failures);
    const QStringList releaseFailures = agent.ReleaseStores(QStringLiteral("the end of the synchronisation"),
                                                            [&log](const QString& line) { log.WriteLogLine(line); });
    host.AnnounceStart();
    host.ShowBusyIcon(false);

    if (!failures.isEmpty() || !releaseFailures.isEmpty()) {
        log.WriteLogLine(QStringLiteral("AS_END_SYNC...error"));
        for (const QString& reason : failures) log.WriteLogLine(QStringLiteral("\treason: ") + reason);
        log.WriteLogLine(QStringLiteral("Can not close Opera or Firefox Database"));
        ctx.ReplyError();
    } else {
        log.WriteLogLine(QStringLiteral("AS_END_SYNC...ok"));
        ctx.Reply();
    }
    host.SetAcceptingConnections(true);
}

void SyncPrepare(RequestContext& ctx)
{
    const QByteArray word = ctx.PayloadPadded(4);
    const QStringList wanted = ProgramNamesOfSource(ByteReader(word).U32());
    std::uint32_t noneRunning = 1;
    if (!wanted.isEmpty())
        for (const QString& running : RunningProgramNames())
            if (wanted.contains(running)) noneRunning = 0;
    QByteArray reply;
    ByteWriter(reply).U32(noneRunning);
    ctx.Reply(reply);
    ctx.agent.log.WriteLogLine(QStringLiteral("AS_SYNCPREPARE...ok"));
}

void GetSafariPath(RequestContext& ctx)
{
    // Named the way the peer names every path, then with '/' for every separator.
    QString path = LocalToPeerPath(SafariBookmarksPath());
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    ctx.Reply(utf16::Bytes(path));
}

void GetCategories(RequestContext& ctx)
{
    QString text = ctx.agent.stores->CategoryNames(ctx.agent.agentId);
    text.replace(QLatin1Char(';'), QLatin1Char(','));
    text.chop(1);
    // A book of thousands of groups fills more than one message: such a text travels in pieces.
    ctx.Reply(utf16::Bytes(text));
}

}  // namespace

void RegisterSyncHandlers(Dispatcher& d)
{
    d.SetHandler(AS_START_SYNC, StartSync);
    d.SetHandler(AS_END_SYNC, EndSync);
    d.SetHandler(AS_SYNCPREPARE, SyncPrepare);
    d.SetHandler(AS_GET_SAFARI_PATH, GetSafariPath);
    d.SetHandler(AS_GET_CATEGORIES, GetCategories);
}
