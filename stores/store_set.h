#pragma once
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "common/outlook_store.h"

// Every item store the agent can serve, constructed with the agent and destroyed with it,
// and the table that picks the store for a stored source code. A slot left empty is a source
// that is not available on this machine: its codes select no store.
//
// The stores' own extra operations are roles (stores/store_roles.h). What belongs to no single
// store (the Outlook connection, the Sticky Notes store's creation, the bookmark databases that
// a synchronisation keeps open) is reached through the hooks below, which the code serving those
// sources fills in; an empty hook is a source that is not available.
class StoreSet {
public:
    StoreSet();
    ~StoreSet();
    StoreSet(const StoreSet&) = delete;
    StoreSet& operator=(const StoreSet&) = delete;

    // Outlook object-model versions, in the order the selection tests them.
    static constexpr std::array<int, 5> kOutlookVersions = {14, 12, 11, 9, 8};

    // Outlook stores by version index (kOutlookVersions order).
    std::array<std::unique_ptr<COutlook>, 5> outlookContacts;
    std::array<std::unique_ptr<COutlook>, 5> outlookAppointments;
    std::array<std::unique_ptr<COutlook>, 5> outlookTasks;
    std::array<std::unique_ptr<COutlook>, 5> outlookNotes;
    std::unique_ptr<COutlook> addressBook;         // contacts source 0
    std::unique_ptr<COutlook> windowsContacts[2];  // contacts sources 1 and 2
    std::unique_ptr<COutlook> operaContacts;       // contacts source 7
    std::unique_ptr<COutlook> windowsCalendar;     // appointments source 1
    std::unique_ptr<COutlook> operaNotes;          // notes source 0x4000
    std::unique_ptr<COutlook> stickyNotes;         // notes source 0x10000, only during a synchronisation

    // The Outlook connection: starts the first Outlook version that answers and initialises its
    // four stores (true when they are ready; it logs its own failures), and releases them again.
    // No Outlook automation server is registered on this platform outside the tests.
    std::function<bool()> startOutlook;
    std::function<void()> releaseOutlook;
    // Whether an Outlook 12 or 14 profile uses an Exchange server.
    std::function<bool()> usingExchangeServer;
    // The category names of the running Outlook (12 and 14); throws when Outlook cannot be reached.
    std::function<QStringList()> outlookCategories;
    // Makes a Sticky Notes store for one synchronisation.
    std::function<std::unique_ptr<COutlook>()> createStickyNotes;

    // A bookmark source that a synchronisation keeps open: open loads, close writes back.
    struct SessionHooks {
        std::function<void()> open;
        std::function<void()> close;
    };
    SessionHooks firefoxDatabase;  // browser 1
    SessionHooks operaBookmarks;   // browser 2

    bool officeInitialized = false;
    // True at once while initialised; otherwise starts Outlook (false when none starts).
    bool OfficeInit();
    // Releases Outlook's objects; safe when Outlook was never started. False (and no exception)
    // when the release failed.
    bool OfficeDestroy();
    bool IsUsingExchangeServer() const { return usingExchangeServer && usingExchangeServer(); }

    // Creates and opens the Sticky Notes store for a synchronisation (nothing when the source is
    // not available here). One left open by an earlier synchronisation is written back first.
    void OpenStickyNotes();

    // What a client's departure, suspend and the end of a synchronisation release, each safe
    // when nothing is open: the loaded records of the Windows Contacts store of contacts source
    // 1 or 2 (no file touched), the Windows Address Book, and the Sticky Notes store (written
    // back, then destroyed even when the write fails). None throws, since a departing client's
    // resources must all be released whatever fails; each answers false, with the reason in
    // `failure` when given, when its store failed.
    bool ClearWindowsContactsRecords(std::uint32_t agentCode, QString* failure = nullptr);
    bool CloseAddressBook(QString* failure = nullptr);
    bool CloseStickyNotes(QString* failure = nullptr);
};

// The store for a source code, or nullptr when the code selects none.
COutlook* SelectContactStore(const StoreSet& stores, std::uint32_t agentCode);
COutlook* SelectAppointmentStore(const StoreSet& stores, std::uint32_t agentCode);
COutlook* SelectTaskStore(const StoreSet& stores, std::uint32_t agentCode);
COutlook* SelectNoteStore(const StoreSet& stores, std::uint32_t notesAgentCode);

// Whether a contacts/appointments/tasks code names an Outlook version (8, 9, 11, 12, 14), and
// whether a notes code does (4, 8, 16, 32, 64).
bool IsOutlookAgentCode(std::uint32_t agentCode);
bool IsOutlookNotesCode(std::uint32_t notesAgentCode);
// Whether a code names Outlook 12 or 14, whose stores map Exchange identifiers.
bool IsMappedOutlookAgentCode(std::uint32_t agentCode);
bool IsMappedOutlookNotesCode(std::uint32_t notesAgentCode);
