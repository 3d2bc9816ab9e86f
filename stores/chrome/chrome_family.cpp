// The Chrome family: the bookmarks of its Bookmarks file.
#include "platform/browser_probe.h"
#include "stores/base/single_store_family.h"
#include "stores/base/source_flags.h"
#include "stores/chrome/chrome.h"

namespace {

// Chrome or Chromium keeps a profile where the browser probe looks.
bool IsChromeInstalled()
{
    return ProbeBrowsers().chromeProfile;
}

constexpr SourceRow kRows[] = {
    {.kind = SourceKind::Bookmarks,
     .code = static_cast<std::uint32_t>(BrowserKind::Chrome),
     .flag = SourceFlags::kChrome,
     .available = IsChromeInstalled,
     .programs = "chrome.exe chrome google-chrome google-chrome-stable chromium chromium-browser",
     .bookmarkNaming = BookmarkNaming::UnsignedNumber,
     .bookmarkStatePart = ".Chrome_"},
};

std::unique_ptr<BookmarkStore> MakeStore(const StoreServices& services)
{
    auto store = std::make_unique<CChrome>();
    store->SetLog(services.log);
    return store;
}

const FamilyRegistration kRegistration(SingleStoreFamilyDescription<kRows, nullptr, MakeStore>(70));

}  // namespace
