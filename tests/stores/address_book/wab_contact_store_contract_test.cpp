// The address-book store keeps the item store contract.
#include "stores/address_book/wab_contact_store.h"
#include "support/item_store_contract.h"
#include "support/planted_address_book.h"
#include "support/temp_home.h"

namespace {

struct AddressBookContract {
    AddressBookContract() { PlantWabInstalled(home); }
    std::unique_ptr<COutlook> Make() { return std::make_unique<ContactsXp::CContactWinXP>(); }
    ItemRecord Record(int n)
    {
        ItemRecord record;
        record.Add(QStringLiteral("Categories"), QStringLiteral("Group %1").arg(n));
        record.Add(QStringLiteral("FirstName"), QStringLiteral("Given %1").arg(n));
        record.Add(QStringLiteral("LastName"), QStringLiteral("Family %1").arg(n));
        record.Add(QStringLiteral("FullName"), QStringLiteral("Given %1 Family %1").arg(n));
        record.Add(QStringLiteral("HomeTelephoneNumber"), QStringLiteral("+1 555 010%1").arg(n));
        record.Add(QStringLiteral("emails"), QStringLiteral("given%1@example.org,").arg(n));
        record.Add(QStringLiteral("Birthday"), QStringLiteral("07-0%1-1976").arg(n));
        return record;
    }
    static constexpr bool kPersists = true;
    TempHome home;
};
INSTANTIATE_TYPED_TEST_SUITE_P(AddressBook, ItemStoreContract, AddressBookContract);

}  // namespace
