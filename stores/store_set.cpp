#include "stores/store_set.h"

#include "stores/store_roles.h"

namespace {

int OutlookIndex(std::uint32_t version)
{
    for (std::size_t i = 0; i < StoreSet::kOutlookVersions.size(); ++i)
        if (static_cast<std::uint32_t>(StoreSet::kOutlookVersions[i]) == version) return static_cast<int>(i);
    return -1;
}

// Notes codes 64, 32, 16, 8, 4 name the Outlook versions 14, 12, 11, 9, 8.
int OutlookNotesIndex(std::uint32_t code)
{
    switch (code) {
        case 64:
            return 0;
        case 32:
            return 1;
        case 16:
            return 2;
        case 8:
            return 3;
        case 4:
            return 4;
        default:
            return -1;
    }
}

}  // namespace

StoreSet::StoreSet() = default;
StoreSet::~StoreSet() = default;

bool StoreSet::OfficeInit()
{
    if (officeInitialized) return true;
    officeInitialized = startOutlook && startOutlook();
    return officeInitialized;
}

bool StoreSet::OfficeDestroy()
{
    if (releaseOutlook) releaseOutlook();
    officeInitialized = false;
    return true;
}

void StoreSet::OpenStickyNotes()
{
    if (!createStickyNotes) return;
    if (stickyNotes) CloseStickyNotes();
    stickyNotes = createStickyNotes();
    if (auto* session = StoreRole<SessionStore>(stickyNotes.get())) session->Open();
}

void StoreSet::CloseStickyNotes()
{
    std::unique_ptr<COutlook> notes = std::move(stickyNotes);
    if (auto* session = StoreRole<SessionStore>(notes.get())) session->Close();
}

void StoreSet::ReleaseForClientClose(std::uint32_t agentCode)
{
    const auto attempt = [](auto&& step) {
        try {
            step();
        } catch (...) {
        }
    };
    if (agentCode == 1 || agentCode == 2)
        if (auto* contacts = StoreRole<ContactFolderStore>(windowsContacts[agentCode - 1].get()))
            attempt([&] { contacts->ClearRecords(); });
    attempt([&] { OfficeDestroy(); });
    if (agentCode == 0)
        if (auto* book = StoreRole<SessionStore>(addressBook.get())) attempt([&] { book->Close(); });
    attempt([&] { CloseStickyNotes(); });
}

bool IsOutlookAgentCode(std::uint32_t agentCode)
{
    return OutlookIndex(agentCode) >= 0;
}

bool IsOutlookNotesCode(std::uint32_t notesAgentCode)
{
    return OutlookNotesIndex(notesAgentCode) >= 0;
}

bool IsMappedOutlookAgentCode(std::uint32_t agentCode)
{
    return agentCode == 12 || agentCode == 14;
}

bool IsMappedOutlookNotesCode(std::uint32_t notesAgentCode)
{
    return notesAgentCode == 32 || notesAgentCode == 64;
}

COutlook* SelectContactStore(const StoreSet& stores, std::uint32_t agentCode)
{
    if (int i = OutlookIndex(agentCode); i >= 0)
        return stores.outlookContacts[static_cast<std::size_t>(i)].get();
    switch (agentCode) {
        case 0:
            return stores.addressBook.get();
        case 1:
            return stores.windowsContacts[0].get();
        case 2:
            return stores.windowsContacts[1].get();
        case 7:
            return stores.operaContacts.get();
        default:
            return nullptr;
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
        case 0x4000:
            return stores.operaNotes.get();
        case 0x10000:
            return stores.stickyNotes.get();
        default:
            return nullptr;
    }
}
