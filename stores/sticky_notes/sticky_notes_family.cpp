// The Sticky Notes family: notes source 0x10000, detected on every Windows 6.1 but offered only
// on the editions that ship it. Its store is made for each synchronisation.
#include "stores/base/single_store_family.h"
#include "stores/base/source_flags.h"
#include "stores/base/source_probes.h"
#include "stores/sticky_notes/win7_sticky_notes.h"

namespace {

constexpr SourceRow kRows[] = {
    {.kind = SourceKind::Notes,
     .code = 0x10000,
     .flag = SourceFlags::kStickyNotes,
     .available = IsWindows7WithStickyNotes,
     .detected = IsWindows7,
     .storePerSession = true,
     .programs = "stikynot.exe"},
};

std::unique_ptr<COutlook> MakeStore(const StoreServices& services)
{
    return std::make_unique<CWin7_StikyNotes>(services.log);
}

const FamilyRegistration kRegistration(SingleStoreFamilyDescription<kRows, MakeStore, nullptr>(40));

}  // namespace
