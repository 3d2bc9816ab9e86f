#include "stores/store_set.h"

#include <gtest/gtest.h>

#include "support/fake_item_store.h"

namespace {

FakeItemStore& Install(std::unique_ptr<COutlook>& slot)
{
    auto store = std::make_unique<FakeItemStore>();
    FakeItemStore& ref = *store;
    slot = std::move(store);
    return ref;
}

TEST(StoreSet, OutlookStartsOnceAndIsReleasedWhateverHappened)
{
    StoreSet stores;
    EXPECT_FALSE(stores.OfficeInit()) << "no Outlook connection here";
    int starts = 0;
    int releases = 0;
    stores.startOutlook = [&] { return ++starts > 1; };
    stores.releaseOutlook = [&] { ++releases; };
    EXPECT_FALSE(stores.OfficeInit());
    EXPECT_TRUE(stores.OfficeInit());
    EXPECT_TRUE(stores.OfficeInit());
    EXPECT_EQ(starts, 2) << "an initialised connection is not started again";
    EXPECT_TRUE(stores.OfficeDestroy());
    EXPECT_FALSE(stores.officeInitialized);
    EXPECT_EQ(releases, 1);
}

TEST(StoreSet, StickyNotesLiveFromOpenToCloseAndAnOpenOneIsWrittenBackFirst)
{
    StoreSet stores;
    stores.OpenStickyNotes();
    EXPECT_EQ(stores.stickyNotes, nullptr) << "the source is not available without its store";

    QStringList calls;
    stores.createStickyNotes = [&] {
        auto store = std::make_unique<FakeItemStore>();
        store->journal = &calls;
        return store;
    };
    stores.OpenStickyNotes();
    EXPECT_NE(SelectNoteStore(stores, 0x10000), nullptr);
    stores.OpenStickyNotes();
    EXPECT_EQ(calls, (QStringList{"Open", "Close", "Open"}));
    static_cast<FakeItemStore*>(stores.stickyNotes.get())->FailOn("Close");
    QString failure;
    EXPECT_FALSE(stores.CloseStickyNotes(&failure));
    EXPECT_EQ(failure, "Close failed");
    EXPECT_EQ(stores.stickyNotes, nullptr) << "destroyed even when the write-back fails";
    EXPECT_EQ(SelectNoteStore(stores, 0x10000), nullptr);
    EXPECT_TRUE(stores.CloseStickyNotes()) << "nothing to close";
}

TEST(StoreSet, ReleaseStepsReportFailuresInsteadOfThrowing)
{
    StoreSet stores;
    EXPECT_TRUE(stores.ClearWindowsContactsRecords(1));
    EXPECT_TRUE(stores.CloseAddressBook());
    FakeItemStore& first = Install(stores.windowsContacts[0]);
    FakeItemStore& second = Install(stores.windowsContacts[1]);
    FakeItemStore& book = Install(stores.addressBook);
    first.FailOn("ClearRecords");
    book.FailOn("Close");
    QString failure;
    EXPECT_FALSE(stores.ClearWindowsContactsRecords(1, &failure));
    EXPECT_EQ(failure, "ClearRecords failed");
    EXPECT_TRUE(stores.ClearWindowsContactsRecords(2));
    EXPECT_TRUE(stores.ClearWindowsContactsRecords(14)) << "only the Windows Contacts sources keep records";
    EXPECT_EQ(second.calls, QStringList{"ClearRecords"});
    EXPECT_FALSE(stores.CloseAddressBook());

    stores.releaseOutlook = [] { throw std::runtime_error("Outlook hangs"); };
    stores.officeInitialized = true;
    EXPECT_FALSE(stores.OfficeDestroy());
    EXPECT_FALSE(stores.officeInitialized);
}

}  // namespace
