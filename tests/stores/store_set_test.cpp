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

    std::vector<FakeItemStore*> made;
    stores.createStickyNotes = [&] {
        auto store = std::make_unique<FakeItemStore>();
        made.push_back(store.get());
        return store;
    };
    stores.OpenStickyNotes();
    FakeItemStore* first = made.back();
    EXPECT_EQ(SelectNoteStore(stores, 0x10000), first);
    EXPECT_EQ(first->calls, QStringList{"Open"});
    stores.OpenStickyNotes();
    EXPECT_EQ(made.size(), 2u);
    made.back()->FailOn("Close");
    EXPECT_THROW(stores.CloseStickyNotes(), std::exception);
    EXPECT_EQ(stores.stickyNotes, nullptr) << "destroyed even when the write-back fails";
    EXPECT_EQ(SelectNoteStore(stores, 0x10000), nullptr);
}

TEST(StoreSet, ClientCloseReleasesEverythingEvenWhenAStepFails)
{
    StoreSet stores;
    int releases = 0;
    stores.releaseOutlook = [&] {
        ++releases;
        throw std::runtime_error("Outlook hangs");
    };
    FakeItemStore& first = Install(stores.windowsContacts[0]);
    FakeItemStore& second = Install(stores.windowsContacts[1]);
    FakeItemStore& book = Install(stores.addressBook);
    QStringList stickyCalls;
    stores.createStickyNotes = [&] {
        auto store = std::make_unique<FakeItemStore>();
        store->journal = &stickyCalls;
        return store;
    };
    stores.OpenStickyNotes();
    first.FailOn("ClearRecords");

    stores.ReleaseForClientClose(1);
    EXPECT_EQ(first.calls, QStringList{"ClearRecords"});
    EXPECT_TRUE(second.calls.isEmpty());
    EXPECT_TRUE(book.calls.isEmpty()) << "the address book is closed only for its own source";
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(stores.stickyNotes, nullptr);
    EXPECT_EQ(stickyCalls, (QStringList{"Open", "Close"})) << "written back before it is destroyed";

    stores.ReleaseForClientClose(0);
    EXPECT_EQ(book.calls, QStringList{"Close"});
}

}  // namespace
