#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/bookmark_store.h"
#include "common/outlook_store.h"
#include "stores/catalog/source_catalog.h"
#include "stores/base/source_kind.h"

// Every store the agent can serve, made from the source catalogue's rows with the agent and
// destroyed with it (a row marked storePerSession: made when its session opens), and what a
// synchronisation holds open. A source whose row makes no store selects none.
//
// The stores' own extra operations are roles (stores/store_roles.h). What belongs to no single
// store (the Outlook connection) is reached through the hooks below, which the code serving
// those sources fills in; an empty hook is a source that is not available.
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
    // Replaces the factory a per-session row makes its store with at every session.
    void SetSessionFactory(ItemKind kind, std::uint32_t code, std::function<std::unique_ptr<COutlook>()> factory);

    // The Outlook connection: starts the first Outlook version that answers and initialises its
    // four stores (true when they are ready; it logs its own failures), and releases them again.
    // No Outlook automation server is registered on this platform outside the tests.
    std::function<bool()> startOutlook;
    std::function<void()> releaseOutlook;
    // Whether an Outlook 12 or 14 profile uses an Exchange server.
    std::function<bool()> usingExchangeServer;
    // The category names of the running Outlook (12 and 14); throws when Outlook cannot be reached.
    std::function<QStringList()> outlookCategories;

    bool officeInitialized = false;
    // True at once while initialised; otherwise starts Outlook (false when none starts).
    bool OfficeInit();
    // Releases Outlook's objects; safe when Outlook was never started. False (and no exception)
    // when the release failed.
    bool OfficeDestroy();
    bool IsUsingExchangeServer() const { return usingExchangeServer && usingExchangeServer(); }
    // Makes the source's store usable: starts the Outlook connection for an Outlook source
    // (false when it does not start); true at once for the others.
    bool Connect(ItemKind kind, std::uint32_t code);

    // Reports a log line of a session step (the rows' openedLine and closedLine).
    using Note = std::function<void(const QString&)>;

    // The start of a synchronisation: opens the sessions of the chosen sources, notes first,
    // then contacts (a row's companion before it), appointments, tasks and bookmarks: each store
    // that is a SessionStore, each bookmark store (BookmarkStore::Open), each per-session store
    // made anew. Sessions an earlier synchronisation left open are closed first, and the chosen
    // stores' held changes committed; each that fails to be written back gives `note` a line
    // naming the store and the reason, and a session that keeps changes it could not write goes
    // on with them instead of being opened anew. Throws the first failure; the sessions opened
    // before it stay open until they are released.
    void OpenSessions(const SourceSelection& selection, const Note& note = {});
    // What the end of a synchronisation, a client's departure, suspend and exit release: the
    // connection of each chosen store that is a ConnectionStore, the Outlook connection, the
    // changes the chosen stores hold outside a session (CommittingStore), and every session opened
    // since the last release, closed (written back) in the order they were opened. A session whose
    // close failed while it holds unwritten changes stays open with them, to be written at the
    // next release or start; any other per-session store is destroyed. Every step is attempted
    // whatever fails before it; the reason of each failure is returned, none is thrown.
    QStringList ReleaseSessions(const SourceSelection& selection, const Note& note = {});
    // Forgets the records the chosen contacts store loaded from its files (ContactFolderStore);
    // touches no file. False, with the reason in `failure` when given, when that failed.
    bool ForgetLoadedRecords(const SourceSelection& selection, QString* failure = nullptr);

    // The category names of a contacts source: its row's own, or the group names of its contacts
    // store and the calendar names of its appointments store; each name followed by ";" or ",".
    QString CategoryNames(std::uint32_t agentCode) const;

private:
    struct Slot;
    Slot* Find(SourceKind kind, std::uint32_t code) const;
    void OpenSession(Slot& slot, const Note& note);
    // Closes every open session in the order opened, recording failures.
    // `note` gets the rows' closedLine, `failureNote` a line naming each store not written back.
    void CloseSessions(QStringList& failures, const Note& note, const Note& failureNote = {});
    // Commits the changes that the chosen stores outside a session hold, recording failures.
    void CommitHeldChanges(const SourceSelection& selection, QStringList& failures);

    StoreServices services_;
    std::vector<std::unique_ptr<Slot>> slots_;
    // The sessions opened since the last release, in order; one slot may be there twice.
    std::vector<Slot*> openSessions_;
};
