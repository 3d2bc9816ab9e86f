#include "stores/outlook/outlook_family.h"

#include "stores/outlook/outlook_connection.h"
#include "stores/store_set.h"

void InstallOutlookConnection(StoreSet& stores, const StoreServices& services, SelectStore select)
{
    const auto provider = [select = std::move(select)] {
        std::vector<OutlookStoreFrame*> found;
        for (ItemKind kind : {ItemKind::Contacts, ItemKind::Appointments, ItemKind::Tasks, ItemKind::Notes})
            for (int version : OutlookConnection::kVersionsNewestFirst) {
                // Notes are chosen by 4, 8, 16, 32, 64 for the versions 8 to 14.
                std::uint32_t code = static_cast<std::uint32_t>(version);
                if (kind == ItemKind::Notes) code = version == 8 ? 4 : version == 9 ? 8 : version == 11 ? 16 : version == 12 ? 32 : 64;
                if (auto* store = dynamic_cast<OutlookStoreFrame*>(select(kind, code))) found.push_back(store);
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
