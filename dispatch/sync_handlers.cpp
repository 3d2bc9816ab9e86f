// The synchronisation bracket (AS_START_SYNC, AS_END_SYNC), the check for a running program
// that owns a data source, the category names of the contacts source and Safari's bookmarks path.
#include <QStringList>
#include <exception>

#include "common/byte_io.h"
#include "common/errors.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/file_transfers.h"
#include "dispatch/request_context.h"
#include "dispatch/source_flags.h"
#include "platform/browser_probe.h"
#include "platform/path_map.h"
#include "platform/process_list.h"
#include "platform/registry.h"
#include "stores/store_roles.h"
#include "stores/store_set.h"
#include "wire/agent_host.h"

namespace {

void OpenSession(COutlook* store)
{
    if (auto* session = StoreRole<SessionStore>(store)) session->Open();
}

void CloseSession(COutlook* store)
{
    if (auto* session = StoreRole<SessionStore>(store)) session->Close();
}

void StartSync(RequestContext& ctx)
{
    Agent& agent = ctx.agent;
    StoreSet& stores = *agent.stores;
    AgentHost& host = agent.host();
    LogFile& log = agent.log;

    log.WriteLogLine(QStringLiteral("AS_START_SYNC..."));
    host.SetAcceptingConnections(false);
    host.AnnounceStop();
    host.ShowBusyIcon(true);
    try {
        // Independent tests: Opera's notes may be opened twice (notes source and contacts source).
        if (agent.notesAgentId == kStickyNotesCode) stores.OpenStickyNotes();
        if (agent.notesAgentId == kOperaNotesCode) OpenSession(stores.operaNotes.get());
        if (agent.agentId == 7) {
            OpenSession(stores.operaNotes.get());
            OpenSession(stores.operaContacts.get());
        }
        if (agent.agentId == 6) OpenSession(stores.operaNotes.get());
        if (agent.browserId == kBrowserFirefox && stores.firefoxDatabase.open) {
            stores.firefoxDatabase.open();
            log.WriteLogLine(QStringLiteral("Firefox database is open"));
        }
        if (agent.browserId == kBrowserOpera && stores.operaBookmarks.open) {
            stores.operaBookmarks.open();
            log.WriteLogLine(QStringLiteral("Opera database is open"));
        }
    } catch (...) {
        // No synchronisation runs: the agent is reachable and announced again. Stores opened
        // before the failure stay open until the end request or the client's close.
        const QString reason = FailureReason(std::current_exception());
        host.SetAcceptingConnections(true);
        log.WriteLogLine(QStringLiteral("AS_START_SYNC...error"));
        log.WriteLogLine(QStringLiteral("\treason: ") + reason);
        host.ShowBusyIcon(false);
        log.WriteLogLine(QStringLiteral("Can not open Opera or Firefox Database"));
        host.AnnounceStart();
        ctx.ReplyError();
        return;
    }
    log.WriteLogLine(QStringLiteral("AS_START_SYNC...ok"));
    ctx.Reply();
}

void EndSync(RequestContext& ctx)
{
    Agent& agent = ctx.agent;
    StoreSet& stores = *agent.stores;
    AgentHost& host = agent.host();
    LogFile& log = agent.log;

    log.WriteLogLine(QStringLiteral("AS_END_SYNC..."));
    // Every write-back is attempted even when an earlier one fails, so that no store's edits are
    // dropped because of another's failure.
    QStringList failures;
    const auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (...) {
            failures.append(FailureReason(std::current_exception()));
        }
    };
    attempt([&] { agent.transfers->CloseAll(); });
    QString reason;
    if (agent.agentId == 0 && !stores.CloseAddressBook(&reason)) failures.append(reason);
    if (!stores.OfficeDestroy()) failures.append(QStringLiteral("Outlook could not be released"));
    if (agent.notesAgentId == kStickyNotesCode && !stores.CloseStickyNotes(&reason)) failures.append(reason);
    if (agent.notesAgentId == kOperaNotesCode) attempt([&] { CloseSession(stores.operaNotes.get()); });
    if (agent.agentId == 6) attempt([&] { CloseSession(stores.operaNotes.get()); });
    if (agent.agentId == 7) {
        attempt([&] { CloseSession(stores.operaNotes.get()); });
        attempt([&] { CloseSession(stores.operaContacts.get()); });
    }
    if (agent.browserId == kBrowserFirefox && stores.firefoxDatabase.close)
        attempt([&] {
            stores.firefoxDatabase.close();
            log.WriteLogLine(QStringLiteral("Firefox database is close"));
        });
    if (agent.browserId == kBrowserOpera && stores.operaBookmarks.close)
        attempt([&] {
            stores.operaBookmarks.close();
            log.WriteLogLine(QStringLiteral("Opera database is save"));
        });
    host.AnnounceStart();
    host.ShowBusyIcon(false);

    if (!failures.isEmpty()) {
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

// The program that owns a data source, by its Windows name (as it also runs under Wine) and the
// names it runs under on this system.
QStringList ProgramNamesFor(std::uint32_t source)
{
    switch (source) {
        case SourceFlags::kInternetExplorer:
            return {QStringLiteral("iexplore.exe")};
        case SourceFlags::kOpera:
        case SourceFlags::kOperaContacts:
        case SourceFlags::kOperaNotes:
            return {QStringLiteral("opera.exe"), QStringLiteral("opera")};
        case SourceFlags::kFirefox:
            return {QStringLiteral("firefox.exe"), QStringLiteral("firefox"), QStringLiteral("firefox-esr"),
                    QStringLiteral("firefox-bin")};
        case SourceFlags::kChrome:
            return {QStringLiteral("chrome.exe"),    QStringLiteral("chrome"),
                    QStringLiteral("google-chrome"), QStringLiteral("google-chrome-stable"),
                    QStringLiteral("chromium"),      QStringLiteral("chromium-browser")};
        case SourceFlags::kSafari:
            return {QStringLiteral("safari.exe")};
        case SourceFlags::kStickyNotes:
            return {QStringLiteral("stikynot.exe")};
        case SourceFlags::kWindowsMediaPlayer:
            return {QStringLiteral("wmplayer.exe")};
        default:
            return {};
    }
}

void SyncPrepare(RequestContext& ctx)
{
    const QByteArray word = ctx.PayloadPadded(4);
    const QStringList wanted = ProgramNamesFor(ByteReader(word).U32());
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

// Outlook 8, 9 and 11 keep their category list in the registry; a missing key or value adds nothing.
QString OutlookRegistryCategories(std::uint32_t version)
{
    const QString path =
        QStringLiteral("Software\\Microsoft\\Office\\%1.0\\Outlook\\Categories").arg(version);
    const auto key = RegistryKey::Open(RegistryRoot::CurrentUser, path);
    if (!key) return {};
    if (version == 8) return key->ReadString(QString()).value_or(QString());
    if (version == 9) return key->ReadString(QStringLiteral("MasterList")).value_or(QString());
    const auto bytes = key->ReadBinary(QStringLiteral("MasterList"));
    return bytes ? utf16::FromBytesUpToZero(AsBytes(*bytes)) : QString();
}

QString GroupNamesOf(COutlook* store)
{
    auto* groups = StoreRole<GroupNamesSource>(store);
    return groups ? groups->GetGroupNames() : QString();
}

void GetCategories(RequestContext& ctx)
{
    const Agent& agent = ctx.agent;
    const StoreSet& stores = *agent.stores;
    QString text;
    switch (agent.agentId) {
        case 0:
            text += GroupNamesOf(stores.addressBook.get());
            break;
        case 1:
            text += GroupNamesOf(stores.windowsContacts[0].get());
            if (auto* calendar = StoreRole<CalendarIndexStore>(stores.windowsCalendar.get()))
                text += calendar->GetCalendarNames();
            break;
        case 2:
            text += GroupNamesOf(stores.windowsContacts[1].get());
            break;
        case 8:
        case 9:
        case 11:
            text += OutlookRegistryCategories(agent.agentId);
            break;
        case 12:
        case 14: {
            if (!stores.outlookCategories) throw AgentError("Error");
            for (const QString& name : stores.outlookCategories()) text += name + QLatin1Char(';');
            break;
        }
        default:
            break;
    }
    text.replace(QLatin1Char(';'), QLatin1Char(','));
    text.chop(1);
    // A text longer than one message is refused (AS_ERROR) rather than cut.
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
