#include "stores/catalog/source_catalog.h"

#include <QString>
#include <array>

#include "stores/chrome/chrome.h"
#include "stores/firefox/firefox.h"
#include "stores/internet_explorer/internet_explorer.h"
#include "stores/opera/opera_bookmarks.h"
#include "stores/opera/opera_contacts.h"
#include "stores/opera/opera_notes.h"
#include "stores/catalog/outlook_categories.h"
#include "stores/catalog/outlook_family.h"
#include "stores/base/source_flags.h"
#include "stores/base/source_probes.h"
#include "stores/address_book/wab_contact_store.h"
#include "stores/windows_calendar/appointment_win_vista.h"
#include "stores/windows_contacts/contact_win_vista.h"
#include "stores/sticky_notes/win7_sticky_notes.h"

namespace {

using Kind = SourceKind;
namespace Bit = SourceFlags;

constexpr auto kNoItemStore = NotAvailableHere<COutlook>;
constexpr auto kNoBookmarkStore = NotAvailableHere<BookmarkStore>;

std::unique_ptr<COutlook> MakeAddressBook(const StoreServices& services)
{
    return std::make_unique<ContactsXp::CContactWinXP>(services.log);
}

// Contacts sources 1 and 2 each have a store of their own over the same Contacts folder.
std::unique_ptr<COutlook> MakeWindowsContacts(const StoreServices& services)
{
    return std::make_unique<ContactsVista::CContactWinVista>(services.log);
}

std::unique_ptr<COutlook> MakeStickyNotes(const StoreServices& services)
{
    return std::make_unique<CWin7_StikyNotes>(services.log);
}

std::unique_ptr<BookmarkStore> MakeInternetExplorer(const StoreServices&)
{
    return std::make_unique<CInternetExplorer>();
}

std::unique_ptr<BookmarkStore> MakeFirefox(const StoreServices& services)
{
    auto store = std::make_unique<CFirefox>();
    store->SetLog(services.log);
    return store;
}

std::unique_ptr<BookmarkStore> MakeChrome(const StoreServices& services)
{
    auto store = std::make_unique<CChrome>();
    store->SetLog(services.log);
    return store;
}

std::unique_ptr<COutlook> MakeWindowsCalendar(const StoreServices& services)
{
    return std::make_unique<CAppointmentWinVista>(services.log);
}

std::unique_ptr<COutlook> MakeOperaContacts(const StoreServices& services)
{
    auto store = std::make_unique<COperaContacts>();
    store->SetLogSink(services.log);
    return store;
}

std::unique_ptr<COutlook> MakeOperaNotes(const StoreServices&)
{
    return std::make_unique<COperaNotes>();
}

std::unique_ptr<BookmarkStore> MakeOperaBookmarks(const StoreServices&)
{
    return std::make_unique<COperaBookmarks>();
}

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

// The rows of one Outlook version: its contacts, appointments and tasks under the AgentCode,
// its notes under the NotesAgentCode.
template <int Version>
constexpr SourceRow OutlookRow(Kind kind, std::uint32_t code, std::uint32_t flag,
                               QString (*categories)(const StoreSet&) = nullptr)
{
    return {.kind = kind,
            .code = code,
            .flag = flag,
            .makeItemStore = OutlookRowFactory<Version>(kind),
            .available = OutlookPresent<Version>,
            .outlookVersion = Version,
            .reportsExchange = Version >= 12,
            .categories = categories};
}

// Detection goes through the rows of a kind in this order, a later available row winning: the
// Windows sources, then Opera's, then the Outlook versions oldest first, so that the newest
// Outlook present is chosen.
const std::array kRows = {
    // Contacts, by AgentCode.
    SourceRow{.kind = Kind::Contacts,
              .code = 0,
              .flag = Bit::kWindowsXpAddressBook,
              .makeItemStore = MakeAddressBook,
              .available = IsWindowsXp},
    SourceRow{.kind = Kind::Contacts,
              .code = 1,
              .flag = Bit::kWindowsVistaContacts,
              .makeItemStore = MakeWindowsContacts,
              .available = IsWindowsVista},
    SourceRow{.kind = Kind::Contacts,
              .code = 2,
              .flag = Bit::kWindows7Contacts,
              .makeItemStore = MakeWindowsContacts,
              .available = IsWindows7},
    // An older choice without a contacts store of its own: a synchronisation opens Opera's notes.
    SourceRow{.kind = Kind::Contacts,
              .code = 6,
              .makeItemStore = kNoItemStore,
              .companionKind = Kind::Notes,
              .companionCode = 0x4000,
              .condition = OperaContactsCondition,
              .unusableLine = kNoOperaContactsLine,
              .unusableReason = kNoOperaContactsReason},
    SourceRow{.kind = Kind::Contacts,
              .code = 7,
              .flag = Bit::kOperaContacts,
              .makeItemStore = MakeOperaContacts,
              .available = OperaHasContacts,
              .companionKind = Kind::Notes,
              .companionCode = 0x4000,
              .condition = OperaContactsCondition,
              .unusableLine = kNoOperaContactsLine,
              .unusableReason = kNoOperaContactsReason,
              .programs = kOperaPrograms},
    OutlookRow<8>(Kind::Contacts, 8, Bit::kOutlook8, Outlook8Categories),
    OutlookRow<9>(Kind::Contacts, 9, Bit::kOutlook9, Outlook9Categories),
    OutlookRow<11>(Kind::Contacts, 11, Bit::kOutlook11, Outlook11Categories),
    OutlookRow<12>(Kind::Contacts, 12, Bit::kOutlook12, RunningOutlookCategories),
    OutlookRow<14>(Kind::Contacts, 14, Bit::kOutlook14, RunningOutlookCategories),

    // Appointments, by AgentCode: Windows Calendar goes with Windows Contacts of code 1.
    SourceRow{.kind = Kind::Appointments,
              .code = 1,
              .flag = Bit::kWindowsVistaContacts,
              .makeItemStore = MakeWindowsCalendar,
              .available = IsWindowsVista},
    OutlookRow<8>(Kind::Appointments, 8, Bit::kOutlook8),
    OutlookRow<9>(Kind::Appointments, 9, Bit::kOutlook9),
    OutlookRow<11>(Kind::Appointments, 11, Bit::kOutlook11),
    OutlookRow<12>(Kind::Appointments, 12, Bit::kOutlook12),
    OutlookRow<14>(Kind::Appointments, 14, Bit::kOutlook14),

    // Tasks, by AgentCode.
    OutlookRow<8>(Kind::Tasks, 8, Bit::kOutlook8),
    OutlookRow<9>(Kind::Tasks, 9, Bit::kOutlook9),
    OutlookRow<11>(Kind::Tasks, 11, Bit::kOutlook11),
    OutlookRow<12>(Kind::Tasks, 12, Bit::kOutlook12),
    OutlookRow<14>(Kind::Tasks, 14, Bit::kOutlook14),

    // Notes, by NotesAgentCode. Sticky Notes is detected on every Windows 6.1 but offered only
    // on the editions that ship it.
    SourceRow{.kind = Kind::Notes,
              .code = 0x10000,
              .flag = Bit::kStickyNotes,
              .makeItemStore = MakeStickyNotes,
              .available = IsWindows7WithStickyNotes,
              .detected = IsWindows7,
              .storePerSession = true,
              .programs = "stikynot.exe"},
    SourceRow{.kind = Kind::Notes,
              .code = 0x4000,
              .flag = Bit::kOperaNotes,
              .makeItemStore = MakeOperaNotes,
              .available = OperaHasNotes,
              .condition = OperaNotesCondition,
              .programs = kOperaPrograms},
    OutlookRow<8>(Kind::Notes, 4, Bit::kOutlookNotes),
    OutlookRow<9>(Kind::Notes, 8, Bit::kOutlookNotes),
    OutlookRow<11>(Kind::Notes, 16, Bit::kOutlookNotes),
    OutlookRow<12>(Kind::Notes, 32, Bit::kOutlookNotes),
    OutlookRow<14>(Kind::Notes, 64, Bit::kOutlookNotes),

    // Bookmarks, by BrowserKind, in the order a browser is chosen when the stored one is not
    // installed.
    SourceRow{.kind = Kind::Bookmarks,
              .code = static_cast<std::uint32_t>(BrowserKind::InternetExplorer),
              .flag = Bit::kInternetExplorer,
              .makeBookmarkStore = MakeInternetExplorer,
              .available = IsInternetExplorerInstalled,
              .programs = "iexplore.exe",
              .bookmarkNaming = BookmarkNaming::FilePath,
              .bookmarkStatePart = ".InternetExplorer_"},
    SourceRow{.kind = Kind::Bookmarks,
              .code = static_cast<std::uint32_t>(BrowserKind::Firefox),
              .flag = Bit::kFirefox,
              .makeBookmarkStore = MakeFirefox,
              .available = IsFirefoxInstalled,
              .openedLine = "Firefox database is open",
              .closedLine = "Firefox database is close",
              .programs = "firefox.exe firefox firefox-esr firefox-bin",
              .bookmarkNaming = BookmarkNaming::RowNumber,
              .bookmarkStatePart = ".FireFox_"},
    SourceRow{.kind = Kind::Bookmarks,
              .code = static_cast<std::uint32_t>(BrowserKind::Chrome),
              .flag = Bit::kChrome,
              .makeBookmarkStore = MakeChrome,
              .available = IsChromeInstalled,
              .programs = "chrome.exe chrome google-chrome google-chrome-stable chromium chromium-browser",
              .bookmarkNaming = BookmarkNaming::UnsignedNumber,
              .bookmarkStatePart = ".Chrome_"},
    SourceRow{.kind = Kind::Bookmarks,
              .code = static_cast<std::uint32_t>(BrowserKind::Opera),
              .flag = Bit::kOpera,
              .makeBookmarkStore = MakeOperaBookmarks,
              .available = IsOperaInstalled,
              .openedLine = "Opera database is open",
              .closedLine = "Opera database is save",
              .programs = kOperaPrograms,
              .bookmarkNaming = BookmarkNaming::SignedNumber,
              .bookmarkStatePart = ".Opera_"},
    // No store: the peer reads Safari's own file (AS_GET_SAFARI_PATH), and its state file,
    // named without a browser part, stays empty.
    SourceRow{.kind = Kind::Bookmarks,
              .code = static_cast<std::uint32_t>(BrowserKind::Safari),
              .flag = Bit::kSafari,
              .makeBookmarkStore = kNoBookmarkStore,
              .available = IsSafariInstalled,
              .programs = "safari.exe",
              .bookmarkNaming = BookmarkNaming::NoIdentifier,
              .bookmarkStatePart = ""},
};

}  // namespace

std::span<const SourceRow> SourceCatalog()
{
    return kRows;
}

const SourceRow* FindSource(SourceKind kind, std::uint32_t code)
{
    for (const SourceRow& row : kRows)
        if (row.kind == kind && row.code == code) return &row;
    return nullptr;
}

bool StoredAgentCodeOutlivesDetection(std::uint32_t code)
{
    for (const SourceRow& row : kRows)
        if (row.kind == SourceKind::Contacts && row.outlookVersion && code >= row.code) return false;
    return true;
}

QStringList ProgramNamesOfSource(std::uint32_t flag)
{
    // The media player is no source of the catalogue, but the peer asks for it all the same.
    if (flag == SourceFlags::kWindowsMediaPlayer) return {QStringLiteral("wmplayer.exe")};
    if (flag == 0) return {};
    for (const SourceRow& row : kRows)
        if (row.flag == flag && row.programs)
            return QString::fromLatin1(row.programs).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return {};
}
