// Safari: a source without a store. The peer reads Safari's own file (AS_GET_SAFARI_PATH), and
// its state file, named without a browser part, stays empty.
#include "platform/browser_probe.h"
#include "stores/base/single_store_family.h"
#include "stores/base/source_flags.h"

namespace {

// Safari's data folder is there.
bool IsSafariInstalled()
{
    return ProbeBrowsers().safariData;
}

constexpr SourceRow kRows[] = {
    {.kind = SourceKind::Bookmarks,
     .code = static_cast<std::uint32_t>(BrowserKind::Safari),
     .flag = SourceFlags::kSafari,
     .available = IsSafariInstalled,
     .programs = "safari.exe",
     .bookmarkNaming = BookmarkNaming::NoIdentifier,
     .bookmarkStatePart = ""},
};

const FamilyRegistration kRegistration(SingleStoreFamilyDescription<kRows, nullptr, nullptr>(100));

}  // namespace
