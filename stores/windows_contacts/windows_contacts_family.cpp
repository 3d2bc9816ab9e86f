// The Windows Contacts family: contacts sources 1 and 2, each with a store of its own over the
// same Contacts folder.
#include "stores/base/single_store_family.h"
#include "stores/base/source_flags.h"
#include "stores/base/source_probes.h"
#include "stores/windows_contacts/contact_win_vista.h"

namespace {

constexpr SourceRow kRows[] = {
    {.kind = SourceKind::Contacts, .code = 1, .flag = SourceFlags::kWindowsVistaContacts, .available = IsWindowsVista},
    {.kind = SourceKind::Contacts, .code = 2, .flag = SourceFlags::kWindows7Contacts, .available = IsWindows7},
};

std::unique_ptr<COutlook> MakeStore(const StoreServices& services)
{
    return std::make_unique<ContactsVista::CContactWinVista>(services.log);
}

const FamilyRegistration kRegistration(SingleStoreFamilyDescription<kRows, MakeStore, nullptr>(20));

}  // namespace
