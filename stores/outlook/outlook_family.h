#pragma once
// The Outlook sources in the source catalogue: the factory of each row's store, and the Outlook
// connection that opens and releases them, put behind the store set's Outlook hooks.

#include "stores/outlook/outlook_store_factory.h"
#include "stores/source_catalog.h"

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

// Fills the store set's Outlook hooks (startOutlook, releaseOutlook, usingExchangeServer,
// outlookCategories) with one connection over the Outlook stores the set holds. A store's Init
// message goes to services.showMessage, else to the log.
void InstallOutlookConnection(StoreSet& stores, const StoreServices& services);
