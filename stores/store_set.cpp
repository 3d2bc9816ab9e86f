#include "stores/store_set.h"

namespace {

int OutlookIndex(std::uint32_t version)
{
    for (std::size_t i = 0; i < StoreSet::kOutlookVersions.size(); ++i)
        if (static_cast<std::uint32_t>(StoreSet::kOutlookVersions[i]) == version)
            return static_cast<int>(i);
    return -1;
}

// Notes codes 64, 32, 16, 8, 4 name the Outlook versions 14, 12, 11, 9, 8.
int OutlookNotesIndex(std::uint32_t code)
{
    switch (code) {
    case 64: return 0;
    case 32: return 1;
    case 16: return 2;
    case 8: return 3;
    case 4: return 4;
    default: return -1;
    }
}

}  // namespace

StoreSet::StoreSet() = default;
StoreSet::~StoreSet() = default;

bool StoreSet::OfficeInit()
{
    // No Outlook version can be started here; the stores stay uninitialised.
    return officeInitialized;
}

bool StoreSet::OfficeDestroy()
{
    officeInitialized = false;
    return true;
}

void StoreSet::ClearWindowsContactsRecords(std::uint32_t agentCode)
{
    // No Windows Contacts store keeps loaded records yet.
    (void)agentCode;
}

void StoreSet::CloseAddressBook()
{
    // The address book is never left open yet.
}

void StoreSet::CloseStickyNotes()
{
    stickyNotes.reset();
}

bool IsOutlookAgentCode(std::uint32_t agentCode)
{
    return OutlookIndex(agentCode) >= 0;
}

bool IsOutlookNotesCode(std::uint32_t notesAgentCode)
{
    return OutlookNotesIndex(notesAgentCode) >= 0;
}

COutlook* SelectContactStore(const StoreSet& stores, std::uint32_t agentCode)
{
    if (int i = OutlookIndex(agentCode); i >= 0)
        return stores.outlookContacts[static_cast<std::size_t>(i)].get();
    switch (agentCode) {
    case 0: return stores.addressBook.get();
    case 1: return stores.windowsContacts[0].get();
    case 2: return stores.windowsContacts[1].get();
    case 7: return stores.operaContacts.get();
    default: return nullptr;
    }
}

COutlook* SelectAppointmentStore(const StoreSet& stores, std::uint32_t agentCode)
{
    if (int i = OutlookIndex(agentCode); i >= 0)
        return stores.outlookAppointments[static_cast<std::size_t>(i)].get();
    return agentCode == 1 ? stores.windowsCalendar.get() : nullptr;
}

COutlook* SelectTaskStore(const StoreSet& stores, std::uint32_t agentCode)
{
    if (int i = OutlookIndex(agentCode); i >= 0)
        return stores.outlookTasks[static_cast<std::size_t>(i)].get();
    return nullptr;
}

COutlook* SelectNoteStore(const StoreSet& stores, std::uint32_t notesAgentCode)
{
    if (int i = OutlookNotesIndex(notesAgentCode); i >= 0)
        return stores.outlookNotes[static_cast<std::size_t>(i)].get();
    switch (notesAgentCode) {
    case 0x4000: return stores.operaNotes.get();
    case 0x10000: return stores.stickyNotes.get();
    default: return nullptr;
    }
}
