// The Internet Explorer family: its favourites, named by the path of their files.
#include "platform/browser_probe.h"
#include "stores/base/single_store_family.h"
#include "stores/base/source_flags.h"
#include "stores/internet_explorer/internet_explorer.h"

namespace {

// The favourites folder is there.
bool IsInternetExplorerInstalled()
{
    return ProbeBrowsers().internetExplorerFavorites;
}

constexpr SourceRow kRows[] = {
    {.kind = SourceKind::Bookmarks,
     .code = static_cast<std::uint32_t>(BrowserKind::InternetExplorer),
     .flag = SourceFlags::kInternetExplorer,
     .available = IsInternetExplorerInstalled,
     .programs = "iexplore.exe",
     .bookmarkNaming = BookmarkNaming::FilePath,
     .bookmarkStatePart = ".InternetExplorer_"},
};

std::unique_ptr<BookmarkStore> MakeStore(const StoreServices&)
{
    return std::make_unique<CInternetExplorer>();
}

// The browsers stand in the order one is chosen when the stored one is not installed.
const FamilyRegistration kRegistration(SingleStoreFamilyDescription<kRows, nullptr, MakeStore>(50));

}  // namespace
