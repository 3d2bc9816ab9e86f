// The Chrome family: the bookmarks of its Bookmarks file.
#include "stores/base/single_store_family.h"
#include "stores/base/source_flags.h"
#include "stores/base/source_probes.h"
#include "stores/chrome/chrome.h"

namespace {

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
