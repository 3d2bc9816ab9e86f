// The item store contract for the five Outlook contact stores on the emulated Outlook.
#include <gtest/gtest.h>

#include "support/outlook/outlook_store_contract.h"

namespace {

struct ContactRecords {
    static ItemRecord Record(int n)
    {
        ItemRecord r;
        r.Add(QStringLiteral("FirstName"), QStringLiteral("First%1").arg(n));
        r.Add(QStringLiteral("LastName"), QStringLiteral("Last%1").arg(n));
        r.Add(QStringLiteral("Email1Address"), QStringLiteral("p%1@example.org").arg(n));
        r.Add(QStringLiteral("Body"), QStringLiteral("met at the fair\nin %1").arg(2000 + n));
        r.Add(QStringLiteral("Birthday"), QStringLiteral("06-1%1-1980").arg(n % 10));
        r.Add(QStringLiteral("Gender"), n % 3);
        return r;
    }
};

template <int Version>
using ContactContract = OutlookContract<OutlookKind::Contacts, Version, ContactRecords>;
using ContactContracts = ::testing::Types<ContactContract<8>, ContactContract<9>, ContactContract<11>,
                                          ContactContract<12>, ContactContract<14>>;
INSTANTIATE_TYPED_TEST_SUITE_P(OutlookContacts, ItemStoreContract, ContactContracts);

}  // namespace
