#pragma once
// What every browser's bookmark store (BookmarkStore) must do: a typed test suite each store
// instantiates with a small factory, in its own test file:
//
//   #include "support/bookmark_store_contract.h"
//
//   struct ChromeContract {
//       // A store over this factory's backing (a temporary profile); every call gives a new
//       // store over the same backing.
//       std::unique_ptr<BookmarkStore> Make();
//       // The n-th of any number of different bookmarks the store keeps whole.
//       BookmarkRecord Record(int n);
//       // A key the store must refuse to edit or delete (one outside its bookmarks).
//       QString ForeignKey();
//       TempHome home;  // whatever the backing needs, set up in the constructor
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(Chrome, BookmarkStoreContract, ChromeContract);
//
// Each store is opened before use and closed before a store is made anew, as a synchronisation
// does. Besides add, get, checksum, delete and delete-all, the suite holds a store to its own
// WrittenChecksum: the checksum kept for a bookmark just written must be the one the next
// change check computes, or every written bookmark would be reported as edited.

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "common/bookmark_store.h"

namespace bookmark_store_contract {

inline std::vector<QString> Keys(BookmarkStore& store)
{
    std::vector<QString> keys;
    for (const UrlFileEntry& e : store.GetIDs()) keys.push_back(e.key);
    return keys;
}

inline bool Lists(BookmarkStore& store, const QString& key)
{
    const std::vector<QString> keys = Keys(store);
    return std::count(keys.begin(), keys.end(), key) == 1;
}

inline BookmarkRecord Read(BookmarkStore& store, const QString& key)
{
    BookmarkRecord record;
    store.Get(key, record);
    return record;
}

}  // namespace bookmark_store_contract

template <class Factory>
class BookmarkStoreContract : public ::testing::Test {
protected:
    std::unique_ptr<BookmarkStore> Open()
    {
        std::unique_ptr<BookmarkStore> store = factory_.Make();
        store->AtSyncStart();
        return store;
    }

    Factory factory_;
};

TYPED_TEST_SUITE_P(BookmarkStoreContract);

TYPED_TEST_P(BookmarkStoreContract, AddListsTheBookmarkAndGetGivesItBack)
{
    using namespace bookmark_store_contract;
    std::unique_ptr<BookmarkStore> store = this->Open();
    const std::size_t before = Keys(*store).size();
    const BookmarkRecord first = this->factory_.Record(1);
    const QString key = store->Add(first);
    ASSERT_FALSE(key.isEmpty());
    EXPECT_TRUE(Lists(*store, key));
    EXPECT_EQ(Keys(*store).size(), before + 1);
    EXPECT_EQ(Read(*store, key), first);
    EXPECT_EQ(store->WrittenChecksum(key, first), store->IDtoCRC32(key))
        << "the checksum kept for an added bookmark is the one the next check computes";

    store->AtSyncEnd();
    store = this->Open();
    ASSERT_TRUE(Lists(*store, key)) << "what a store wrote is there for the next";
    EXPECT_EQ(Read(*store, key), first);
    store->AtSyncEnd();
}

TYPED_TEST_P(BookmarkStoreContract, TheChecksumChangesOnEditAndOnlyThen)
{
    using namespace bookmark_store_contract;
    std::unique_ptr<BookmarkStore> store = this->Open();
    const QString key = store->Add(this->factory_.Record(1));
    const std::uint32_t added = store->IDtoCRC32(key);
    Read(*store, key);
    const QString other = store->Add(this->factory_.Record(2));
    EXPECT_EQ(store->IDtoCRC32(key), added) << "reading it or adding another leaves it unchanged";
    const std::uint32_t otherCrc = store->IDtoCRC32(other);

    const BookmarkRecord edited = this->factory_.Record(3);
    const QString after = store->Edit(key, edited);
    if (!store->KeysArePaths()) {
        EXPECT_EQ(after, key) << "only a file's path can change with an edit";
    }
    EXPECT_TRUE(Lists(*store, after));
    EXPECT_NE(store->IDtoCRC32(after), added);
    EXPECT_EQ(store->IDtoCRC32(other), otherCrc) << "an edit of one bookmark leaves the others";
    EXPECT_EQ(Read(*store, after), edited);
    EXPECT_EQ(store->WrittenChecksum(after, edited), store->IDtoCRC32(after))
        << "the checksum kept for an edited bookmark is the one the next check computes";
    store->AtSyncEnd();
}

TYPED_TEST_P(BookmarkStoreContract, DeleteRemovesOneAndDeleteAllEveryBookmark)
{
    using namespace bookmark_store_contract;
    std::unique_ptr<BookmarkStore> store = this->Open();
    const QString gone = store->Add(this->factory_.Record(1));
    const QString kept = store->Add(this->factory_.Record(2));
    store->Delete(gone);
    EXPECT_FALSE(Lists(*store, gone));
    EXPECT_TRUE(Lists(*store, kept));

    store->DeleteAll();
    EXPECT_TRUE(Keys(*store).empty());
    store->AtSyncEnd();
    store = this->Open();
    EXPECT_TRUE(Keys(*store).empty()) << "the emptied store stays empty";
    store->AtSyncEnd();
}

TYPED_TEST_P(BookmarkStoreContract, AForeignKeyIsRefusedAndChangesNothing)
{
    using namespace bookmark_store_contract;
    std::unique_ptr<BookmarkStore> store = this->Open();
    const QString key = store->Add(this->factory_.Record(1));
    const std::vector<QString> before = Keys(*store);
    const QString foreign = this->factory_.ForeignKey();
    EXPECT_ANY_THROW(store->Edit(foreign, this->factory_.Record(2)));
    // A delete may refuse it or succeed (the bookmark may be gone on both sides); either way
    // nothing changes.
    try {
        store->Delete(foreign);
    } catch (const std::exception&) {
    }
    EXPECT_EQ(Keys(*store), before);
    EXPECT_EQ(Read(*store, key), this->factory_.Record(1));
    store->AtSyncEnd();
}

REGISTER_TYPED_TEST_SUITE_P(BookmarkStoreContract, AddListsTheBookmarkAndGetGivesItBack,
                            TheChecksumChangesOnEditAndOnlyThen, DeleteRemovesOneAndDeleteAllEveryBookmark,
                            AForeignKeyIsRefusedAndChangesNothing);
