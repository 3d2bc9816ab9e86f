#pragma once
// The Outlook sources in the source catalogue: the factory of each row's store, and the Outlook
// connection that opens and releases them, put behind the store set's Outlook hooks.

#include "stores/outlook/outlook_store_factory.h"
#include "stores/catalog/source_catalog.h"

#include <cstdint>
#include <functional>

template <OutlookKind Kind, int Version>
std::unique_ptr<COutlook> MakeOutlookRowStore(const StoreServices&)
{
    return MakeOutlookStore(Kind, Version);
}

// The factory of the catalogue row of an item kind and Outlook version.
template <int Version>
constexpr ItemStoreFactory OutlookRowFactory(SourceKind kind)
{
    switch (kind) {
        case SourceKind::Contacts:
            return MakeOutlookRowStore<OutlookKind::Contacts, Version>;
        case SourceKind::Appointments:
            return MakeOutlookRowStore<OutlookKind::Appointments, Version>;
        case SourceKind::Tasks:
            return MakeOutlookRowStore<OutlookKind::Tasks, Version>;
        case SourceKind::Notes:
            return MakeOutlookRowStore<OutlookKind::Notes, Version>;
        default:
            return nullptr;
    }
}

// The store a source code selects now (StoreSet::Select).
using SelectStore = std::function<COutlook*(ItemKind kind, std::uint32_t code)>;

// Fills the store set's Outlook hooks (startOutlook, releaseOutlook, usingExchangeServer,
// outlookCategories) with one connection over the Outlook stores `select` finds, asked anew at
// every opening and release. A store's Init message goes to services.showMessage, else to the log.
void InstallOutlookConnection(StoreSet& stores, const StoreServices& services, SelectStore select);
