#pragma once
// The source catalogue: one row per data source the peer can choose, item sources and bookmark
// sources alike. A row ties the source's code to its SourceFlags bit, says how its store is
// made and whether this machine offers it; the store set (stores/catalog/store_set.h) builds its stores
// from the rows, and source detection and the source requests read the same rows. Nothing
// outside this folder names a source: a new store fills its row and lives in its own folder.
//
// Adding a store: write it (a COutlook or a BookmarkStore, with the roles of
// stores/store_roles.h it needs) in its family's folder, then put its factory into its row in
// source_catalog.cpp in the place of NotAvailableHere. The rows of every source the peer knows
// are there already, with their codes, bits and probes.

#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "common/bookmark_store.h"
#include "common/outlook_store.h"
#include "stores/base/bookmark_naming.h"
#include "stores/base/source_kind.h"

class StoreSet;

// What the agent lends the stores it makes.
struct StoreServices {
    // Writes a line to the user's log (the agent's log file); may be empty in tests.
    std::function<void(const QString& line)> log;
    // Tells the user something without waiting for an answer (the window's message box); empty:
    // such a message goes to the log.
    std::function<void(const QString& text)> showMessage;
};

using ItemStoreFactory = std::unique_ptr<COutlook> (*)(const StoreServices& services);
using BookmarkStoreFactory = std::unique_ptr<BookmarkStore> (*)(const StoreServices& services);
// Whether this machine offers the source now (stores/base/source_probes.h).
using SourceProbe = bool (*)();

// The factory of a source whose store is not available here (yet): it makes no store, and the
// source's codes select none.
template <class Store>
std::unique_ptr<Store> NotAvailableHere(const StoreServices&)
{
    return nullptr;
}

// What a source's program holds on this machine when a request is about to touch its store.
enum class SourceCondition {
    Usable,
    Absent,    // the program is not there: there is nothing to empty
    Unusable,  // the program is there but keeps none of this source's data: the request fails
};

struct SourceRow {
    SourceKind kind;
    // AgentCode (contacts, appointments, tasks), NotesAgentCode, or the BrowserKind's value.
    std::uint32_t code;
    // The SourceFlags bit that offers, chooses and reports the source; 0 for none. The rows of
    // one AgentCode share it.
    std::uint32_t flag = 0;
    // Item rows make a COutlook, bookmark rows a BookmarkStore; NotAvailableHere makes none.
    ItemStoreFactory makeItemStore = nullptr;
    BookmarkStoreFactory makeBookmarkStore = nullptr;
    // Offered by AS_GET_AVAILABLE_SOURCES and found by start-up detection; nullptr: never.
    SourceProbe available = nullptr;
    // Start-up detection, where it asks less than the offer does; nullptr: `available`.
    SourceProbe detected = nullptr;

    // The Outlook object-model version of an Outlook source (8, 9, 11, 12, 14), else 0: its
    // store is usable only once the Outlook connection is up (StoreSet::Connect).
    int outlookVersion = 0;
    // Whether AS_GET_SOURCES reports the Exchange bit while this source is chosen and Outlook
    // uses an Exchange server.
    bool reportsExchange = false;
    // Whether the store is made at the start of each synchronisation and destroyed when it is
    // released (Sticky Notes); it selects no store in between.
    bool storePerSession = false;
    // Another source whose session opens (and is closed) with this one's, before it: Opera's
    // contacts open Opera's notes too. kind Bookmarks here means none.
    SourceKind companionKind = SourceKind::Bookmarks;
    std::uint32_t companionCode = 0;
    // Log lines written when the session opened and when it was closed; nullptr for none.
    const char* openedLine = nullptr;
    const char* closedLine = nullptr;
    // Asked by the change check and the delete-all request before they touch the store; nullptr:
    // always usable. An unusable source writes `unusableLine` and fails with `unusableReason`.
    SourceCondition (*condition)() = nullptr;
    const char* unusableLine = nullptr;
    const char* unusableReason = nullptr;
    // The category names of a contacts source that are not the store's own group names, each
    // followed by ";" or ","; nullptr: its stores' group and calendar names.
    QString (*categories)(const StoreSet& stores) = nullptr;
    // The names the source's program runs under, space-separated (its Windows name first), as
    // AS_SYNCPREPARE looks for them.
    const char* programs = nullptr;
    // Bookmark rows: how the peer names the browser's bookmarks, and the part of the agent's
    // bookmark state file name that tells the browser ("<machine id><part><suffix>").
    BookmarkNaming bookmarkNaming = BookmarkNaming::NoIdentifier;
    const char* bookmarkStatePart = "";
};

// Every row, in the order detection tries them: within a kind a later available row wins.
std::span<const SourceRow> SourceCatalog();

// The row of a source, or nullptr when the code names none of that kind.
const SourceRow* FindSource(SourceKind kind, std::uint32_t code);
inline const SourceRow* FindSource(ItemKind kind, std::uint32_t code)
{
    return FindSource(SourceKindOf(kind), code);
}
inline const SourceRow* FindSource(BrowserKind kind)
{
    return FindSource(SourceKind::Bookmarks, static_cast<std::uint32_t>(kind));
}
// The chosen row of that kind, or nullptr.
inline const SourceRow* SelectedSource(const SourceSelection& selection, SourceKind kind)
{
    return FindSource(kind, selection.CodeOf(kind));
}

// Whether start-up detection keeps a stored AgentCode rather than detect anew: the codes below
// the Outlook versions' are the user's choice of a Windows or Opera source (or an older choice
// without a row of its own), while the newest Outlook present is found at every start.
bool StoredAgentCodeOutlivesDetection(std::uint32_t code);

// The names of the program that owns the sources of a SourceFlags bit (the media player's bit
// too); empty when the bit names none.
QStringList ProgramNamesOfSource(std::uint32_t flag);
