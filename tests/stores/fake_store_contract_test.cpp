// The fakes the request tests run on keep the contract every real store keeps.
#include "support/bookmark_store_contract.h"
#include "support/fake_bookmark_store.h"
#include "support/fake_item_store.h"
#include "support/item_store_contract.h"

namespace {

struct FakeItemStoreContract {
    std::unique_ptr<COutlook> Make() { return MakeFakeStoreFor(ItemKind::Contacts, 2); }
    ItemRecord Record(int n)
    {
        ItemRecord record;
        record.Add(QStringLiteral("FirstName"), QStringLiteral("Ann %1").arg(n));
        record.Add(QStringLiteral("Importance"), static_cast<std::int32_t>(n));
        return record;
    }
    // Each fake is a store of its own.
    static constexpr bool kPersists = false;
};
INSTANTIATE_TYPED_TEST_SUITE_P(FakeItemStore, ItemStoreContract, FakeItemStoreContract);

struct FakeBookmarkStoreContract {
    std::unique_ptr<BookmarkStore> Make() { return std::make_unique<FakeBookmarkStore>(bookmarks); }
    BookmarkRecord Record(int n)
    {
        return {n % 2 ? QString() : QStringLiteral("Folder %1").arg(n), QStringLiteral("Site %1").arg(n),
                QStringLiteral("http://example.org/%1").arg(n)};
    }
    QString ForeignKey() { return QStringLiteral("999"); }
    std::shared_ptr<FakeBookmarkStore::Bookmarks> bookmarks = std::make_shared<FakeBookmarkStore::Bookmarks>();
};
INSTANTIATE_TYPED_TEST_SUITE_P(FakeBookmarkStore, BookmarkStoreContract, FakeBookmarkStoreContract);

}  // namespace
