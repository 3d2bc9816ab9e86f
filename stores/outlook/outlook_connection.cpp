#include "stores/outlook/outlook_connection.h"

#include <algorithm>

#include "common/errors.h"
#include "stores/outlook/outlook_dispids.h"
#include "stores/outlook/outlook_wrappers.h"

QString OutlookProgId(int version)
{
    return QStringLiteral("Outlook.Application.%1").arg(version);
}

std::vector<OutlookStoreFrame*> OutlookConnection::StoresOf(int version) const
{
    // Init order: contacts, appointments, notes, tasks.
    std::vector<OutlookStoreFrame*> found;
    const std::vector<OutlookStoreFrame*> all = stores_ ? stores_() : std::vector<OutlookStoreFrame*>();
    for (OutlookKind kind : {OutlookKind::Contacts, OutlookKind::Appointments, OutlookKind::Notes, OutlookKind::Tasks})
        for (OutlookStoreFrame* store : all)
            if (store->Version() == version && store->Kind() == kind) found.push_back(store);
    return found;
}

bool OutlookConnection::OfficeInit()
{
    if (open_) return true;
    DispatchDriver probe;
    try {
        int version = 0;
        for (int v : kVersionsNewestFirst)
            if (probe.CreateDispatch(OutlookProgId(v))) {
                version = v;
                break;
            }
        if (version == 0) return false;
        const std::vector<OutlookStoreFrame*> stores = StoresOf(version);
        for (OutlookStoreFrame* store : stores) {
            store->SetMessageHook(messageHook_);
            store->Init();
        }
        open_ = true;
        openVersion_ = version;
        const bool exchange = std::any_of(stores.begin(), stores.end(), [](const OutlookStoreFrame* s) {
            return s->Kind() == OutlookKind::Contacts && s->ExchangeFlag();
        });
        if (exchange) log_(QStringLiteral("Using MS Exchange Server"));
    } catch (...) {
        log_(QStringLiteral("Office init Error"));
        probe.ReleaseDispatch();
        return false;
    }
    probe.ReleaseDispatch();
    return open_;
}

bool OutlookConnection::OfficeDestroy()
{
    if (stores_)
        for (OutlookStoreFrame* store : stores_()) store->ReleaseOutlook();
    open_ = false;
    openVersion_ = 0;
    return true;
}

bool OutlookConnection::IsUsingExchangeServer() const
{
    bool result = false;
    for (int version : {12, 14}) {
        DispatchDriver application;
        if (!application.CreateDispatch(OutlookProgId(version))) continue;
        try {
            const DispatchDriver nameSpace = GetMAPINamespace(application);
            const DispatchDriver stores = nameSpace.GetObject(outlook::kStores);
            const std::int32_t count = GetCollectionCount(stores);
            for (std::int32_t i = 1; i <= count; ++i) {
                const DispatchDriver store = GetCollectionItem(i, stores);
                if (!store.IsEmpty() && store.GetI4(outlook::kExchangeStoreType) == outlook::kPrimaryExchangeMailbox)
                    result = true;
            }
        } catch (const COleException&) {
            // What was found so far stands; the other version is still asked.
        } catch (const COleDispatchException&) {
        }
    }
    return result;
}

QStringList OutlookConnection::CategoryNames() const
{
    DispatchDriver application;
    if (!application.CreateDispatch(QStringLiteral("Outlook.Application"))) throw AgentError("Error");
    const DispatchDriver nameSpace = GetMAPINamespace(application);
    const DispatchDriver categories = GetNamespaceCategories(nameSpace);
    QStringList names;
    for (std::int32_t i = 1; i <= GetCollectionCount(categories); ++i)
        names.append(GetCategoryName(GetCollectionItem(i, categories)));
    return names;
}
