#pragma once
// What every item store (COutlook) must do, whatever it stores: a typed test suite each store
// instantiates with a small factory, in its own test file:
//
//   #include "support/item_store_contract.h"
//
//   struct StickyNotesContract {
//       // A store over this factory's backing (a temporary folder, an emulated program); every
//       // call gives a new store over the same backing.
//       std::unique_ptr<COutlook> Make();
//       // The n-th of any number of different records the store keeps whole: Get gives back at
//       // least these fields with these values.
//       ItemRecord Record(int n);
//       // Whether a store made anew sees what the previous one wrote (false for a fake in memory).
//       static constexpr bool kPersists = true;
//       // Optional: deletions take effect when the store is committed (End) and read anew.
//       static constexpr bool kDeletesAtCommit = true;
//       TempHome home;  // whatever the backing needs, set up in the constructor
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(StickyNotes, ItemStoreContract, StickyNotesContract);
//
// The suite drives a store as the requests do: it is prepared as for a check and its session
// opened before use, and its changes committed as at a state's save and its session closed before
// a store is made anew.

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>

#include "common/item_id.h"
#include "common/item_record.h"
#include "common/outlook_store.h"
#include "common/errors.h"

namespace item_store_contract {

// The store ready for requests, as a synchronisation would have it.
inline void Begin(COutlook& store)
{
    store.BeforeCheck(QStringLiteral("PEER"));
    store.AtSyncStart();
}

// What the end of a synchronisation writes back. Every store the suite drives opens a session at
// AtSyncStart or has none to close.
inline void End(COutlook& store)
{
    const CommitOutcome outcome = store.AtStateSave();
    if (!outcome.failures.isEmpty()) throw AgentError(outcome.failures.join(QStringLiteral(", ")));
    store.AtSyncEnd();
}

template <class Factory>
constexpr bool DeletesAtCommit()
{
    if constexpr (requires { Factory::kDeletesAtCommit; })
        return Factory::kDeletesAtCommit;
    else
        return false;
}

inline QStringList Ids(COutlook& store)
{
    QStringList ids;
    store.GetIDs(ids);
    return ids;
}

// Every field of `sent` comes back with its value.
inline void ExpectKeeps(const ItemRecord& sent, const ItemRecord& got)
{
    for (int i = 0; i < sent.FieldCount(); ++i) {
        const QString& name = sent.names[i];
        const int at = static_cast<int>(got.names.lastIndexOf(name));
        ASSERT_GE(at, 0) << "field " << name.toStdString() << " is not read back";
        EXPECT_EQ(got.values[static_cast<std::size_t>(at)], sent.values[static_cast<std::size_t>(i)])
            << "field " << name.toStdString();
    }
}

}  // namespace item_store_contract

template <class Factory>
class ItemStoreContract : public ::testing::Test {
protected:
    std::unique_ptr<COutlook> Open()
    {
        std::unique_ptr<COutlook> store = factory_.Make();
        item_store_contract::Begin(*store);
        return store;
    }
    QString Add(COutlook& store, ItemRecord record)
    {
        QString id;
        store.Add(record, id);
        return id;
    }

    Factory factory_;
};

TYPED_TEST_SUITE_P(ItemStoreContract);

TYPED_TEST_P(ItemStoreContract, AddListsTheItemAndGetGivesItBack)
{
    using namespace item_store_contract;
    std::unique_ptr<COutlook> store = this->Open();
    const QStringList before = Ids(*store);
    const ItemRecord first = this->factory_.Record(1);
    const QString id = this->Add(*store, first);
    ASSERT_FALSE(id.isEmpty());
    EXPECT_EQ(Ids(*store).count(id), 1);
    EXPECT_EQ(Ids(*store).size(), before.size() + 1);
    ItemRecord got;
    store->Get(id, got);
    ExpectKeeps(first, got);

    if constexpr (TypeParam::kPersists) {
        End(*store);
        store = this->Open();
        ASSERT_TRUE(Ids(*store).contains(id)) << "what a store wrote is there for the next";
        ItemRecord again;
        store->Get(id, again);
        ExpectKeeps(first, again);
    }
}

TYPED_TEST_P(ItemStoreContract, TheChecksumChangesOnEditAndOnlyThen)
{
    using namespace item_store_contract;
    std::unique_ptr<COutlook> store = this->Open();
    const QString id = this->Add(*store, this->factory_.Record(1));
    const std::uint32_t added = store->IDtoCRC32(id);
    ItemRecord read;
    store->Get(id, read);
    const QString other = this->Add(*store, this->factory_.Record(2));
    EXPECT_EQ(store->IDtoCRC32(id), added) << "reading it or adding another item leaves it unchanged";
    const std::uint32_t otherCrc = store->IDtoCRC32(other);

    ItemRecord edited = this->factory_.Record(3);
    store->Edit(edited, id);
    const std::uint32_t afterEdit = store->IDtoCRC32(id);
    EXPECT_NE(afterEdit, added);
    EXPECT_EQ(store->IDtoCRC32(other), otherCrc) << "an edit of one item leaves the others";
    ItemRecord got;
    store->Get(id, got);
    ExpectKeeps(this->factory_.Record(3), got);
    EXPECT_EQ(Ids(*store).count(id), 1) << "an edit keeps the identifier";

    if constexpr (TypeParam::kPersists) {
        End(*store);
        store = this->Open();
        EXPECT_EQ(store->IDtoCRC32(id), afterEdit) << "the checksum does not change by writing and reading back";
    }
}

TYPED_TEST_P(ItemStoreContract, DeleteRemovesOneAndDeleteAllEveryItem)
{
    using namespace item_store_contract;
    std::unique_ptr<COutlook> store = this->Open();
    const QString gone = this->Add(*store, this->factory_.Record(1));
    const QString kept = this->Add(*store, this->factory_.Record(2));
    const auto commitIfDeferred = [&] {
        if constexpr (DeletesAtCommit<TypeParam>()) {
            End(*store);
            store = this->Open();
        }
    };
    store->Delete(gone);
    commitIfDeferred();
    EXPECT_FALSE(Ids(*store).contains(gone));
    EXPECT_TRUE(Ids(*store).contains(kept));

    store->DeleteAll();
    commitIfDeferred();
    EXPECT_TRUE(Ids(*store).isEmpty());
    if constexpr (TypeParam::kPersists) {
        End(*store);
        store = this->Open();
        EXPECT_TRUE(Ids(*store).isEmpty()) << "the emptied store stays empty";
    }
}

TYPED_TEST_P(ItemStoreContract, AnUnknownIdentifierFails)
{
    std::unique_ptr<COutlook> store = this->Open();
    this->Add(*store, this->factory_.Record(1));
    const QString unknown = NewItemId();
    ItemRecord record;
    EXPECT_ANY_THROW(store->Get(unknown, record));
    ItemRecord edit = this->factory_.Record(2);
    EXPECT_ANY_THROW(store->Edit(edit, unknown));
    EXPECT_FALSE(item_store_contract::Ids(*store).contains(unknown)) << "a failed edit adds nothing";
}

REGISTER_TYPED_TEST_SUITE_P(ItemStoreContract, AddListsTheItemAndGetGivesItBack,
                            TheChecksumChangesOnEditAndOnlyThen, DeleteRemovesOneAndDeleteAllEveryItem,
                            AnUnknownIdentifierFails);
