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

// Runs one release step; its failure becomes false and a reason instead of an exception.
template <class Step>
bool Attempt(Step&& step, QString* failure)
{
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        if (failure) *failure = QString::fromUtf8(e.what());
    } catch (...) {
        if (failure) *failure = QStringLiteral("unknown failure");
    }
    return false;
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
    const bool released = !releaseOutlook || Attempt(releaseOutlook, nullptr);
    officeInitialized = false;
    return released;
}

void StoreSet::OpenStickyNotes()
{
    if (!createStickyNotes) return;
    if (stickyNotes) CloseStickyNotes();
    stickyNotes = createStickyNotes();
    if (auto* session = StoreRole<SessionStore>(stickyNotes.get())) session->Open();
}

bool StoreSet::ClearWindowsContactsRecords(std::uint32_t agentCode, QString* failure)
{
    if (agentCode != 1 && agentCode != 2) return true;
    auto* contacts = StoreRole<ContactFolderStore>(windowsContacts[agentCode - 1].get());
    return !contacts || Attempt([&] { contacts->ClearRecords(); }, failure);
}

bool StoreSet::CloseAddressBook(QString* failure)
{
    auto* book = StoreRole<SessionStore>(addressBook.get());
    return !book || Attempt([&] { book->Close(); }, failure);
}

bool StoreSet::CloseStickyNotes(QString* failure)
{
    const std::unique_ptr<COutlook> notes = std::move(stickyNotes);
    auto* session = StoreRole<SessionStore>(notes.get());
    return !session || Attempt([&] { session->Close(); }, failure);
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
