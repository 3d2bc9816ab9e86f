#pragma once
#include <array>
#include <cstdint>
#include <memory>

#include "common/outlook_store.h"

// Every item store the agent can serve, constructed with the agent and destroyed with it,
// and the table that picks the store for a stored source code. A slot left empty is a source
// that is not available on this machine: its codes select no store.
class StoreSet {
public:
    StoreSet();
    ~StoreSet();

    // Outlook object-model versions, in the order the selection tests them.
    static constexpr std::array<int, 5> kOutlookVersions = {14, 12, 11, 9, 8};

    // Outlook stores by version index (kOutlookVersions order).
    std::array<std::unique_ptr<COutlook>, 5> outlookContacts;
    std::array<std::unique_ptr<COutlook>, 5> outlookAppointments;
    std::array<std::unique_ptr<COutlook>, 5> outlookTasks;
    std::array<std::unique_ptr<COutlook>, 5> outlookNotes;
    std::unique_ptr<COutlook> addressBook;           // contacts source 0
    std::unique_ptr<COutlook> windowsContacts[2];     // contacts sources 1 and 2
    std::unique_ptr<COutlook> operaContacts;          // contacts source 7
    std::unique_ptr<COutlook> windowsCalendar;        // appointments source 1
    std::unique_ptr<COutlook> operaNotes;             // notes source 0x4000
    std::unique_ptr<COutlook> stickyNotes;            // notes source 0x10000, only during a synchronisation

    // The Outlook connection: starts the first Outlook version that answers and initialises its
    // stores. No Outlook automation server is registered on this platform outside the tests.
    bool officeInitialized = false;
    bool OfficeInit();
    bool OfficeDestroy();

    // What a client's departure, suspend and the end of a synchronisation release, each safe
    // when nothing is open: the loaded records of the Windows Contacts store of contacts source
    // 1 or 2 (no file touched), the Windows Address Book, and the Sticky Notes store (written
    // back, then destroyed).
    void ClearWindowsContactsRecords(std::uint32_t agentCode);
    void CloseAddressBook();
    void CloseStickyNotes();
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
