// The Firefox family: the bookmarks of places.sqlite.
#include "platform/browser_probe.h"
#include "stores/base/single_store_family.h"
#include "stores/base/source_flags.h"
#include "stores/firefox/firefox.h"

namespace {

// Firefox 4 or later ran one of the profiles.
constexpr std::uint32_t kFirefoxMinimum = 4u << 16;

bool IsFirefoxInstalled()
{
    const BrowserFootprint found = ProbeBrowsers();
    return found.firefoxProfiles && found.firefoxVersion >= kFirefoxMinimum;
}

constexpr SourceRow kRows[] = {
    {.kind = SourceKind::Bookmarks,
     .code = static_cast<std::uint32_t>(BrowserKind::Firefox),
     .flag = SourceFlags::kFirefox,
     .available = IsFirefoxInstalled,
     .openedLine = "Firefox database is open",
     .closedLine = "Firefox database is close",
     .programs = "firefox.exe firefox firefox-esr firefox-bin",
     .bookmarkNaming = BookmarkNaming::RowNumber,
     .bookmarkStatePart = ".FireFox_"},
};

std::unique_ptr<BookmarkStore> MakeStore(const StoreServices& services)
{
    auto store = std::make_unique<CFirefox>();
    store->SetLog(services.log);
    return store;
}

const FamilyRegistration kRegistration(SingleStoreFamilyDescription<kRows, nullptr, MakeStore>(60));

}  // namespace
