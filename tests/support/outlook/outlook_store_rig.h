#pragma once
// One Outlook store of a kind and version, connected to an emulated Outlook of that version
// whose profile has `stores` (default: one store that is not an Exchange mailbox).

#include <memory>
#include <utility>
#include <vector>

#include "stores/outlook/outlook_store_factory.h"
#include "support/outlook/outlook_emulation.h"
#include "support/temp_home.h"

struct OutlookStoreRig {
    OutlookStoreRig(OutlookKind kind, int version,
                    std::vector<std::pair<QString, int>> stores = {{QStringLiteral("S1"), 3}})
    {
        outlook.SetVersions({version});
        outlook.SetProfileStores(std::move(stores));
        outlook.Register();
        store = MakeOutlookStore(kind, version);
        store->Init();
    }
    // The properties put on objects of that kind, by DISPID, in order.
    std::vector<std::pair<DispId, VariantValue>> Puts(EmuObject object) const
    {
        std::vector<std::pair<DispId, VariantValue>> puts;
        for (const EmuCall& c : outlook.Journal())
            if (c.object == object && c.kind == InvokeKind::PropertyPut) puts.emplace_back(c.dispId, c.arguments.front());
        return puts;
    }

    TempHome home;
    OutlookEmulation outlook;
    std::unique_ptr<OutlookStoreFrame> store;
};
