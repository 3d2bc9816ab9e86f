#include "stores/catalog/store_set.h"

#include <gtest/gtest.h>

#include "common/errors.h"

#include "support/fake_item_store.h"
#include "support/fake_store_family.h"

namespace {

FakeItemStore& Install(StoreSet& stores, ItemKind kind, std::uint32_t code)
{
    std::unique_ptr<FakeItemStore> store = MakeFakeStoreFor(kind, code);
    FakeItemStore& ref = *store;
    stores.Replace(kind, code, std::move(store));
    return ref;
}

SourceSelection Chosen(std::uint32_t agentCode, std::uint32_t notesCode, std::uint32_t browserKind = 0)
{
    return {agentCode, notesCode, browserKind};
}

TEST(StoreSet, EveryFamilyIsReleasedWhateverIsChosenAndReportsItsStatus)
{
    StoreSet stores;
    FakeStoreFamily& outlook = InstallFakeFamily(stores, ItemKind::Contacts, 14);
    EXPECT_TRUE(stores.ReleaseSessions().isEmpty());
    EXPECT_EQ(outlook.releases, 1) << "what a family shares is released even when none of its sources is chosen";

    EXPECT_EQ(stores.StatusFlags(), 0u);
    outlook.status = 0x400;
    EXPECT_EQ(stores.StatusFlags(), 0x400u);
    EXPECT_EQ(stores.StatusFlagsOf(*FindSource(ItemKind::Contacts, 14)), 0x400u);
    EXPECT_EQ(stores.StatusFlagsOf(*FindSource(ItemKind::Contacts, 11)), 0u) << "a row that reports no status";
    EXPECT_EQ(stores.StatusFlagsOf(*FindSource(ItemKind::Contacts, 2)), 0u);
}

TEST(StoreSet, StickyNotesLiveFromOpenToCloseAndAnOpenOneIsWrittenBackFirst)
{
    StoreSet stores;
    EXPECT_EQ(stores.Select(ItemKind::Notes, 0x10000), nullptr) << "no store before its session opens";

    QStringList calls;
    FakeItemStore* sticky = nullptr;
    stores.SetSessionFactory(ItemKind::Notes, 0x10000, [&] {
        std::unique_ptr<FakeItemStore> store = MakeFakeStoreFor(ItemKind::Notes, 0x10000);
        store->journal = &calls;
        sticky = store.get();
        return store;
    });
    stores.OpenSessions(Chosen(2, 0x10000));
    EXPECT_NE(stores.Select(ItemKind::Notes, 0x10000), nullptr);
    stores.OpenSessions(Chosen(2, 0x10000));
    EXPECT_EQ(calls, (QStringList{"Open", "Close", "Open"}));
    sticky->FailOn("Close");
    EXPECT_EQ(stores.ReleaseSessions(), QStringList{"Close failed"});
    EXPECT_EQ(stores.Select(ItemKind::Notes, 0x10000), nullptr) << "destroyed even when the write-back fails";
    EXPECT_TRUE(stores.ReleaseSessions().isEmpty()) << "nothing to close";
}

TEST(StoreSet, ReleaseStepsReportFailuresInsteadOfThrowing)
{
    StoreSet stores;
    EXPECT_TRUE(stores.ForgetLoadedRecords(Chosen(1, 0)).isEmpty());
    EXPECT_TRUE(stores.ReleaseSessions().isEmpty());
    FakeItemStore& first = Install(stores, ItemKind::Contacts, 1);
    FakeItemStore& second = Install(stores, ItemKind::Contacts, 2);
    FakeItemStore& book = Install(stores, ItemKind::Contacts, 0);
    first.FailOn("ClearRecords");
    book.FailOn("Close");
    EXPECT_EQ(stores.ForgetLoadedRecords(Chosen(1, 0)), QStringList{"ClearRecords failed"});
    EXPECT_TRUE(stores.ForgetLoadedRecords(Chosen(2, 0)).isEmpty());
    EXPECT_TRUE(stores.ForgetLoadedRecords(Chosen(14, 0)).isEmpty()) << "only the Windows Contacts sources keep records";
    EXPECT_EQ(second.calls, QStringList{"ClearRecords"});

    InstallFakeFamily(stores, ItemKind::Contacts, 14).release = [] { throw AgentError("Outlook could not be released"); };
    EXPECT_EQ(stores.ReleaseSessions(),
              (QStringList{"Close failed", "Outlook could not be released"}))
        << "every step runs whatever failed before it";
}

// A session that a synchronisation never opened is not closed: a loaded copy that was never
// loaded must not be written back over the user's file.
TEST(StoreSet, OnlySessionsThatOpenedAreClosedEachOnceForEveryOpen)
{
    StoreSet stores;
    FakeItemStore& notes = Install(stores, ItemKind::Notes, 0x4000);
    FakeItemStore& contacts = Install(stores, ItemKind::Contacts, 7);
    EXPECT_TRUE(stores.ReleaseSessions().isEmpty());
    EXPECT_TRUE(notes.calls.isEmpty() && contacts.calls.isEmpty());

    contacts.FailOn("Open");
    EXPECT_THROW(stores.OpenSessions(Chosen(7, 0x4000)), std::exception);
    EXPECT_EQ(notes.calls, (QStringList{"Open", "Open"})) << "notes source, then as the contacts' companion";
    EXPECT_EQ(contacts.calls, QStringList{"Open"});
    EXPECT_TRUE(stores.ReleaseSessions().isEmpty()) << "what is open is closed whatever is chosen now";
    EXPECT_EQ(notes.calls, (QStringList{"Open", "Open", "Close", "Close"}));
    EXPECT_EQ(contacts.calls, QStringList{"Open"}) << "its open failed: nothing to write back";
}

}  // namespace
