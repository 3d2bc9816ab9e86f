#pragma once
// The family of a program whose stores share nothing: each row's store is made by one function
// of the services. Most families are this; one that shares a connection or a session between its
// stores writes its own StoreFamily.

#include "stores/base/store_family.h"

template <class Made>
using StoreMaker = std::unique_ptr<Made> (*)(const StoreServices& services);

class SingleStoreFamily : public StoreFamily {
public:
    SingleStoreFamily(const StoreServices& services, StoreMaker<COutlook> items, StoreMaker<BookmarkStore> bookmarks)
        : services_(services), items_(items), bookmarks_(bookmarks)
    {
    }
    std::unique_ptr<COutlook> MakeItemStore(const SourceRow&) override
    {
        return items_ ? items_(services_) : nullptr;
    }
    std::unique_ptr<BookmarkStore> MakeBookmarkStore(const SourceRow&) override
    {
        return bookmarks_ ? bookmarks_(services_) : nullptr;
    }

private:
    StoreServices services_;
    StoreMaker<COutlook> items_;
    StoreMaker<BookmarkStore> bookmarks_;
};

// The registration of such a family: its order, its rows (a static array), and the maker of its
// stores.
template <const auto& Rows, StoreMaker<COutlook> Items, StoreMaker<BookmarkStore> Bookmarks>
FamilyDescription SingleStoreFamilyDescription(int order)
{
    return {.order = order,
            .rows = [] { return std::span<const SourceRow>(Rows); },
            .make = [](const StoreServices& services, ItemStoreLookup) -> std::unique_ptr<StoreFamily> {
                return std::make_unique<SingleStoreFamily>(services, Items, Bookmarks);
            }};
}
