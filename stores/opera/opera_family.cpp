// The Opera family: its bookmarks, contacts and notes, each in a hotlist file. A synchronisation
// of Opera's contacts opens Opera's notes too, before them.
#include "stores/base/single_store_family.h"
#include "stores/base/source_flags.h"
#include "stores/opera/opera_bookmarks.h"
#include "stores/opera/opera_contacts.h"
#include "stores/opera/opera_notes.h"
#include "stores/opera/opera_probes.h"

namespace {

// Opera keeps contacts only with a mail account.
SourceCondition OperaContactsCondition()
{
    if (!IsOperaInstalled()) return SourceCondition::Absent;
    return HasOperaMail() ? SourceCondition::Usable : SourceCondition::Unusable;
}

SourceCondition OperaNotesCondition()
{
    return HasOperaNotes() ? SourceCondition::Usable : SourceCondition::Absent;
}

constexpr const char* kOperaPrograms = "opera.exe opera";
constexpr const char* kNoOperaContactsLine = "Not installed Opera Contacts";
constexpr const char* kNoOperaContactsReason = "Opera's mail has no account, so there are no Opera contacts";
constexpr std::uint32_t kNotesCode = 0x4000;

constexpr SourceRow kRows[] = {
    // An older choice without a contacts store of its own: a synchronisation opens Opera's notes.
    {.kind = SourceKind::Contacts,
     .code = 6,
     .condition = OperaContactsCondition,
     .unusableLine = kNoOperaContactsLine,
     .unusableReason = kNoOperaContactsReason},
    {.kind = SourceKind::Contacts,
     .code = 7,
     .flag = SourceFlags::kOperaContacts,
     .available = OperaHasContacts,
     .condition = OperaContactsCondition,
     .unusableLine = kNoOperaContactsLine,
     .unusableReason = kNoOperaContactsReason,
     .programs = kOperaPrograms},
    {.kind = SourceKind::Notes,
     .code = kNotesCode,
     .flag = SourceFlags::kOperaNotes,
     .available = OperaHasNotes,
     .condition = OperaNotesCondition,
     .programs = kOperaPrograms},
    {.kind = SourceKind::Bookmarks,
     .code = static_cast<std::uint32_t>(BrowserKind::Opera),
     .flag = SourceFlags::kOpera,
     .available = IsOperaInstalled,
     .openedLine = "Opera database is open",
     .closedLine = "Opera database is save",
     .programs = kOperaPrograms,
     .bookmarkNaming = BookmarkNaming::SignedNumber,
     .bookmarkStatePart = ".Opera_"},
};

constexpr std::size_t kNotesRow = 2;
static_assert(kRows[kNotesRow].kind == SourceKind::Notes && kRows[kNotesRow].code == kNotesCode);

class OperaFamily : public StoreFamily {
public:
    explicit OperaFamily(const StoreServices& services) : services_(services) {}

    std::unique_ptr<COutlook> MakeItemStore(const SourceRow& row) override
    {
        if (row.kind == SourceKind::Notes) return std::make_unique<COperaNotes>();
        if (row.kind == SourceKind::Contacts && row.code == 7) {
            auto store = std::make_unique<COperaContacts>();
            store->SetLogSink(services_.log);
            return store;
        }
        return nullptr;
    }
    std::unique_ptr<BookmarkStore> MakeBookmarkStore(const SourceRow&) override
    {
        return std::make_unique<COperaBookmarks>();
    }
    const SourceRow* SessionCompanionOf(const SourceRow& row) const override
    {
        return row.kind == SourceKind::Contacts ? &kRows[kNotesRow] : nullptr;
    }

private:
    StoreServices services_;
};

// After the Windows sources and the other browsers, before Outlook.
const FamilyRegistration kRegistration({
    .order = 80,
    .rows = [] { return std::span<const SourceRow>(kRows); },
    .make = [](const StoreServices& services, ItemStoreLookup) -> std::unique_ptr<StoreFamily> {
        return std::make_unique<OperaFamily>(services);
    },
});

}  // namespace
