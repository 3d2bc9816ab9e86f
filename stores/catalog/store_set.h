#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/bookmark_store.h"
#include "common/outlook_store.h"
#include "stores/base/source_kind.h"
#include "stores/base/store_family.h"
#include "stores/catalog/source_catalog.h"

// Every store the agent can serve, made by the registered families from their catalogue rows
// with the agent and destroyed with it (a row marked storePerSession: made when its session
// opens), and what a synchronisation holds open. A source whose family makes no store selects
// none. The store set tells the chosen stores of the synchronisation's start and release
// (StoreLifecycle) and names no source.
class StoreSet {
public:
    explicit StoreSet(StoreServices services = {});
    ~StoreSet();
    StoreSet(const StoreSet&) = delete;
    StoreSet& operator=(const StoreSet&) = delete;

    // The store for a source, or nullptr when the code selects none.
    COutlook* Select(ItemKind kind, std::uint32_t code) const;
    BookmarkStore* Select(BrowserKind kind) const;
    COutlook* Select(const SourceSelection& selection, ItemKind kind) const
    {
        return Select(kind, selection.CodeOf(SourceKindOf(kind)));
    }
    BookmarkStore* SelectBookmarks(const SourceSelection& selection) const
    {
        return Select(static_cast<BrowserKind>(selection.browserKind));
    }

    // Puts a store in the place of the row's (tests, benchmarks); a per-session row's store
    // counts as made, not as opened. Codes without a row are ignored.
    void Replace(ItemKind kind, std::uint32_t code, std::unique_ptr<COutlook> store);
    void Replace(BrowserKind kind, std::unique_ptr<BookmarkStore> store);
    // Puts a family in the place of the one that registered the row (tests); the stores the
    // first made stay.
    void ReplaceFamily(const SourceRow& row, std::unique_ptr<StoreFamily> family);
    // Replaces the factory a per-session row makes its store with at every session.
    void SetSessionFactory(ItemKind kind, std::uint32_t code, std::function<std::unique_ptr<COutlook>()> factory);

    // The status flags of every family's program now (StoreFamily::StatusFlags), and those of
    // the family of one row.
    std::uint32_t StatusFlags() const;
    std::uint32_t StatusFlagsOf(const SourceRow& row) const;

    // Reports a log line of a session step (the rows' openedLine and closedLine).
    using Note = std::function<void(const QString&)>;

    // The start of a synchronisation: opens the sessions of the chosen sources, notes first,
    // then contacts (a row's companion before it), appointments, tasks and bookmarks: each store
    // whose AtSyncStart opens one, each per-session store made anew. Sessions an earlier
    // synchronisation left open are closed first, and every store's held changes committed,
    // chosen or not; each that fails to be written back gives `note` a line
    // naming the store and the reason, and a session that keeps changes it could not write goes
    // on with them instead of being opened anew. Throws the first failure; the sessions opened
    // before it stay open until they are released.
    void OpenSessions(const SourceSelection& selection, const Note& note = {});
    // What the end of a synchronisation, a client's departure, suspend and exit release, whatever
    // is chosen now: each store's connection and what it loaded (AtRelease), what every family's
    // stores share, the changes every store holds outside a session, and every session opened
    // since the last release, closed (written back) in the order they were opened. A session whose
    // close failed while it holds unwritten changes stays open with them, to be written at the
    // next release or start; any other per-session store is destroyed. Every step is attempted
    // whatever fails before it; the reason of each failure is returned, none is thrown.
    QStringList ReleaseSessions(const Note& note = {});
    // The client's departure: the chosen stores forget what they loaded for it (AtDeparture);
    // touches no file. The reason of each failure is returned, none is thrown.
    QStringList ForgetLoadedRecords(const SourceSelection& selection);

    // The category names of an AgentCode: those of its contacts store, then those of its
    // appointments store; each name followed by ";" or ",".
    QString CategoryNames(std::uint32_t agentCode) const;

private:
    struct Slot;
    Slot* Find(SourceKind kind, std::uint32_t code) const;
    // The slots of the chosen item sources (contacts, appointments, tasks, notes) that exist.
    std::vector<Slot*> ChosenItemSlots(const SourceSelection& selection) const;
    void OpenSession(Slot& slot, const Note& note);
    // Closes every open session in the order opened, recording failures.
    // `note` gets the rows' closedLine, `failureNote` a line naming each store not written back.
    void CloseSessions(QStringList& failures, const Note& note, const Note& failureNote = {});
    // Commits the changes that every store outside a session holds, recording failures.
    void CommitHeldChanges(QStringList& failures);

    StoreServices services_;
    std::vector<std::unique_ptr<StoreFamily>> families_;  // as RegisteredFamilies() orders them
    std::vector<std::unique_ptr<Slot>> slots_;
    // The sessions opened since the last release, in order; one slot may be there twice.
    std::vector<Slot*> openSessions_;
};
