#pragma once
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "dispatch/fragment_buffer.h"
#include "dispatch/item_sync_state.h"
#include "stores/base/source_kind.h"

class AgentHost;
class LogFile;
class StoreSet;
class FileTransfers;
class FileWatchManager;
class BookmarkSyncState;

// The agent's state that requests read and change: what the main window owns, without any
// widget. One instance lives as long as the program; the server and the dialog hold it.
class Agent {
public:
    // The host (the server) is attached after construction, since it needs the agent too;
    // until then requests that need it reach a host that does nothing.
    // `showMessage` tells the user something without waiting (the window's message box); without
    // it such messages go to the log.
    explicit Agent(LogFile& log, std::function<void(const QString&)> showMessage = {});
    ~Agent();
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    LogFile& log;
    AgentHost& host() const;
    void SetHost(AgentHost* host) { host_ = host; }

    // The peer's machine identifier from its last AS_MACHINE_ID: it names every per-peer file.
    // Kept across connections.
    QString machineId;
    // This computer's identity as last sent to the peer.
    QString pcIdentity;

    // Per connection: the AS_PUT_FRAGMENT pieces waiting for their request, and whether the
    // peer has passed AS_LOGIN.
    FragmentBuffer fragments;
    bool loggedIn = false;
    // The unreadable stored password was logged and shown; reset once it reads again.
    bool passwordProblemReported = false;

    // The chosen data sources: contacts/appointments/tasks source, notes source, browser.
    // Meaningless until detected at start-up or set by the peer.
    std::uint32_t agentId = 0xFFFFFFFF;
    std::uint32_t notesAgentId = 0xFFFFFFFF;
    std::uint32_t browserId = 0xFFFFFFFF;
    SourceSelection Selection() const { return {agentId, notesAgentId, browserId}; }

    ItemSyncState items;
    std::unique_ptr<StoreSet> stores;
    std::unique_ptr<FileTransfers> transfers;
    std::unique_ptr<FileWatchManager> watches;
    std::unique_ptr<BookmarkSyncState> bookmarks;

    // Forgets what belongs to one connection (login, pending pieces). Runs when a connection
    // closes and before another is admitted, so a new peer never meets the old one's state.
    void ResetConnectionState();
    // Releases what a client held: the contacts records loaded from files, folder watches, the
    // stores (ReleaseStores), the transfer files, the peer's state lists and bookmark check list.
    void ReleaseClientResources();
    // The one release of the stores, whoever asks (the end of a synchronisation, the client's
    // departure, the server's stop, the window's close): StoreSet::ReleaseSessions, every store
    // chosen or not, each failure logged as one line, "At <occasion>: <reason>". `sessionLine`
    // gets the lines of the sessions closed. Returns the failures.
    QStringList ReleaseStores(const QString& occasion, const std::function<void(const QString&)>& sessionLine = {});

private:
    AgentHost* host_ = nullptr;
};
