#pragma once
// A store family: the code of one program's sources (Outlook, Windows Contacts, Opera, Chrome...)
// in one folder. It registers its rows of the source catalogue from its folder (a
// FamilyRegistration in one of its files) and makes its stores; it owns what its stores share
// (a connection, a companion session). Nothing outside its folder names its stores: the store set
// makes them through the family, and the requests tell them the protocol's moments through
// StoreLifecycle (common/store_lifecycle.h).

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "common/bookmark_store.h"
#include "common/outlook_store.h"
#include "stores/base/bookmark_naming.h"
#include "stores/base/source_kind.h"

// What the agent lends the stores it makes.
struct StoreServices {
    // Writes a line to the user's log (the agent's log file); may be empty in tests.
    std::function<void(const QString& line)> log;
    // Tells the user something without waiting for an answer (the window's message box); empty:
    // such a message goes to the log.
    std::function<void(const QString& text)> showMessage;
};

// Whether this machine offers the source now: a family's own probe of its program, or a Windows
// version (stores/base/source_probes.h).
using SourceProbe = bool (*)();

// What a source's program holds on this machine when a request is about to touch its store.
enum class SourceCondition {
    Usable,
    Absent,    // the program is not there: there is nothing to empty
    Unusable,  // the program is there but keeps none of this source's data: the request fails
};

// One source the peer can choose.
struct SourceRow {
    SourceKind kind;
    // AgentCode (contacts, appointments, tasks), NotesAgentCode, or the BrowserKind's value.
    std::uint32_t code;
    // The SourceFlags bit that offers, chooses and reports the source; 0 for none. The rows of
    // one AgentCode share it.
    std::uint32_t flag = 0;
    // Offered by AS_GET_AVAILABLE_SOURCES and found by start-up detection; nullptr: never.
    SourceProbe available = nullptr;
    // Start-up detection, where it asks less than the offer does; nullptr: `available`.
    SourceProbe detected = nullptr;

    // The version of the program, for a program of several versions that start-up detection
    // finds anew at every start (the newest present wins) rather than keep the user's stored
    // choice; 0 for the others.
    int programVersion = 0;
    // Whether AS_GET_SOURCES adds its family's status flags (StoreFamily::StatusFlags) while
    // this source is chosen.
    bool reportsStatusFlags = false;
    // Whether the store is made at the start of each synchronisation and destroyed when it is
    // released; it selects no store in between.
    bool storePerSession = false;
    // Log lines written when the session opened and when it was closed; nullptr for none.
    const char* openedLine = nullptr;
    const char* closedLine = nullptr;
    // Asked by the change check and the delete-all request before they touch the store; nullptr:
    // always usable. An unusable source writes `unusableLine` and fails with `unusableReason`.
    SourceCondition (*condition)() = nullptr;
    const char* unusableLine = nullptr;
    const char* unusableReason = nullptr;
    // The names the source's program runs under, space-separated (its Windows name first), as
    // AS_SYNCPREPARE looks for them.
    const char* programs = nullptr;
    // Bookmark rows: how the peer names the browser's bookmarks, and the part of the agent's
    // bookmark state file name that tells the browser ("<machine id><part><suffix>").
    BookmarkNaming bookmarkNaming = BookmarkNaming::NoIdentifier;
    const char* bookmarkStatePart = "";
};

// The stores the store set holds now, as a family finds its own (tests put others in their
// place, so a family asks anew rather than keep what it made).
using ItemStoreLookup = std::function<COutlook*(SourceKind kind, std::uint32_t code)>;

class StoreFamily {
public:
    virtual ~StoreFamily() = default;
    // Makes the store of one of the family's rows; nullptr when this machine has none (the
    // source's codes then select no store).
    virtual std::unique_ptr<COutlook> MakeItemStore(const SourceRow& row) { return nullptr; }
    virtual std::unique_ptr<BookmarkStore> MakeBookmarkStore(const SourceRow& row) { return nullptr; }
    // A release (the end of a synchronisation, the client's departure, suspend, exit): ends
    // what the family's stores share. Throws AgentError naming what could not be released.
    virtual void AtRelease() {}
    // SourceFlags bits that tell the state of the family's program now (for a row that
    // reportsStatusFlags).
    virtual std::uint32_t StatusFlags() const { return 0; }
    // Another source of the family whose session opens (and is closed) with the row's, before
    // it, as a program that keeps two of its sources in one session needs; nullptr for none.
    virtual const SourceRow* SessionCompanionOf(const SourceRow& row) const { return nullptr; }
};

// How the catalogue meets a family: its rows (static, in the order detection tries them within a
// kind), where its rows stand among the other families' (`order`, lower first), and its maker.
struct FamilyDescription {
    int order;
    std::span<const SourceRow> (*rows)();
    std::unique_ptr<StoreFamily> (*make)(const StoreServices& services, ItemStoreLookup stores);
};

// Registers a family with the catalogue: one static object in the family's folder.
class FamilyRegistration {
public:
    explicit FamilyRegistration(FamilyDescription description);
};

// Every registered family, by order.
std::vector<FamilyDescription> RegisteredFamilies();

// The bookmark rows' parts of a bookmark state file's name (SourceRow::bookmarkStatePart), of
// every registered family; none empty.
const QStringList& BookmarkStateParts();
