// The address book family: contacts source 0.
#include "stores/address_book/wab_contact_store.h"
#include "stores/base/single_store_family.h"
#include "stores/base/source_flags.h"
#include "stores/base/source_probes.h"

namespace {

constexpr SourceRow kRows[] = {
    {.kind = SourceKind::Contacts, .code = 0, .flag = SourceFlags::kWindowsXpAddressBook, .available = IsWindowsXp},
};

std::unique_ptr<COutlook> MakeStore(const StoreServices& services)
{
    return std::make_unique<ContactsXp::CContactWinXP>(services.log);
}

const FamilyRegistration kRegistration(SingleStoreFamilyDescription<kRows, MakeStore, nullptr>(10));

}  // namespace
