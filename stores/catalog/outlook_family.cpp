#include "stores/catalog/outlook_family.h"

#include "stores/outlook/outlook_connection.h"
#include "stores/catalog/store_set.h"

void InstallOutlookConnection(StoreSet& stores, const StoreServices& services, SelectStore select)
{
    const auto provider = [select = std::move(select)] {
        // The catalogue's Outlook rows say which code chooses which kind and version.
        std::vector<OutlookStoreFrame*> found;
        for (const SourceRow& row : SourceCatalog()) {
            if (row.outlookVersion == 0 || row.kind == SourceKind::Bookmarks) continue;
            if (auto* store =
                    dynamic_cast<OutlookStoreFrame*>(select(static_cast<ItemKind>(row.kind), row.code)))
                found.push_back(store);
        }
        return found;
    };
    auto connection = std::make_shared<OutlookConnection>(
        services.log ? services.log : [](const QString&) {}, provider);
    if (services.showMessage)
        connection->SetMessageHook(services.showMessage);
    else if (services.log)
        connection->SetMessageHook(services.log);
    stores.startOutlook = [connection] { return connection->OfficeInit(); };
    stores.releaseOutlook = [connection] { connection->OfficeDestroy(); };
    stores.usingExchangeServer = [connection] { return connection->IsUsingExchangeServer(); };
    stores.outlookCategories = [connection] { return connection->CategoryNames(); };
}
