// The Windows Contacts store keeps the item store contract; its deletions take effect at the
// commit.
#include "stores/windows_contacts/contact_win_vista.h"
#include "support/item_store_contract.h"
#include "support/temp_home.h"

namespace {

struct WindowsContactsContract {
    std::unique_ptr<COutlook> Make()
    {
        return std::make_unique<ContactsVista::CContactWinVista>(home.Path(QStringLiteral("Contacts")),
                                                                 ContactsVista::ContactsLogLine{});
    }
    ItemRecord Record(int n)
    {
        ItemRecord record;
        record.Add(QStringLiteral("Categories"), QStringLiteral("Friends"));
        record.Add(QStringLiteral("FirstName"), QStringLiteral("Given %1").arg(n));
        record.Add(QStringLiteral("LastName"), QStringLiteral("Family"));
        record.Add(QStringLiteral("Email1Address"), QStringLiteral("p%1@example.org").arg(n));
        record.Add(QStringLiteral("HomeTelephoneNumber"), QStringLiteral("+1 555 %1").arg(n));
        record.Add(QStringLiteral("Body"), QStringLiteral("note %1\nsecond line").arg(n));
        record.Add(QStringLiteral("Birthday"), QStringLiteral("19%1-05-21 00:00:00").arg(70 + n));
        return record;
    }
    static constexpr bool kPersists = true;
    static constexpr bool kDeletesAtCommit = true;
    TempHome home;
};
INSTANTIATE_TYPED_TEST_SUITE_P(WindowsContacts, ItemStoreContract, WindowsContactsContract);

}  // namespace
