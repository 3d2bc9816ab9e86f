#include "stores/outlook/outlook_family.h"

#include "stores/outlook/outlook_connection.h"
#include "stores/store_set.h"

void InstallOutlookConnection(StoreSet& stores, const StoreServices& services)
{
    const auto provider = [&stores] {
        std::vector<OutlookStoreFrame*> found;
        for (SourceKind kind : {SourceKind::Contacts, SourceKind::Appointments, SourceKind::Tasks, SourceKind::Notes})
            for (const SourceRow& row : SourceCatalog()) {
                if (row.kind != kind || row.outlookVersion == 0) continue;
                if (auto* store = dynamic_cast<OutlookStoreFrame*>(stores.Select(static_cast<ItemKind>(kind), row.code)))
                    found.push_back(store);
            }
        return found;
    };
    auto connection = std::make_shared<OutlookConnection>(services.log ? services.log : [](const QString&) {}, provider);
    if (services.showMessage)
        connection->SetMessageHook(services.showMessage);
    else if (services.log)
        connection->SetMessageHook(services.log);
    stores.startOutlook = [connection] { return connection->OfficeInit(); };
    stores.releaseOutlook = [connection] { connection->OfficeDestroy(); };
    stores.usingExchangeServer = [connection] { return connection->IsUsingExchangeServer(); };
    stores.outlookCategories = [connection] { return connection->CategoryNames(); };
}
