#pragma once
// The item store contract (support/item_store_contract.h) for the Outlook stores: a factory of
// one kind and version over an emulated Outlook of that version, which keeps what the stores
// save for the next store made.
//
//   struct NoteRecords { static ItemRecord Record(int n); };
//   using NoteContracts = ::testing::Types<OutlookContract<OutlookKind::Notes, 8, NoteRecords>, ...>;
//   INSTANTIATE_TYPED_TEST_SUITE_P(OutlookNotes, ItemStoreContract, NoteContracts);

#include <memory>

#include "stores/outlook/outlook_store_factory.h"
#include "support/item_store_contract.h"
#include "support/outlook/outlook_emulation.h"
#include "support/temp_home.h"

template <OutlookKind Kind, int Version, class Records>
struct OutlookContract {
    OutlookContract()
    {
        outlook.SetVersions({Version});
        outlook.Register();
    }
    std::unique_ptr<COutlook> Make()
    {
        std::unique_ptr<OutlookStoreFrame> store = MakeOutlookStore(Kind, Version);
        store->Init();
        return store;
    }
    ItemRecord Record(int n) { return Records::Record(n); }
    static constexpr bool kPersists = true;

    TempHome home;
    OutlookEmulation outlook;
};
