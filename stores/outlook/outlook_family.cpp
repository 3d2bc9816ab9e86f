// The Outlook family: the rows of every Outlook version's contacts, appointments, tasks and
// notes, their twenty stores, and the one connection they share, which starts the installed
// Outlook for a check or a delete-all and lets it go at every release.
#include <array>

#include "platform/automation_servers.h"
#include "stores/base/source_flags.h"
#include "stores/base/store_family.h"
#include "stores/outlook/outlook_connection.h"
#include "stores/outlook/outlook_store_factory.h"

namespace {

using Kind = SourceKind;
namespace Bit = SourceFlags;

// Whether "Outlook.Application.<version>" can be created (the object is released at once).
template <int Version>
bool OutlookPresent()
{
    return CanCreateAutomationObject(OutlookProgId(Version));
}

// The rows of one Outlook version: its contacts, appointments and tasks under the AgentCode,
// its notes under the NotesAgentCode.
template <int Version>
constexpr SourceRow OutlookRow(Kind kind, std::uint32_t code, std::uint32_t flag)
{
    return {.kind = kind,
            .code = code,
            .flag = flag,
            .available = OutlookPresent<Version>,
            .programVersion = Version,
            .reportsStatusFlags = Version >= 12};
}

// Oldest first within a kind, so that detection chooses the newest Outlook present.
constexpr std::array kRows = {
    OutlookRow<8>(Kind::Contacts, 8, Bit::kOutlook8),
    OutlookRow<9>(Kind::Contacts, 9, Bit::kOutlook9),
    OutlookRow<11>(Kind::Contacts, 11, Bit::kOutlook11),
    OutlookRow<12>(Kind::Contacts, 12, Bit::kOutlook12),
    OutlookRow<14>(Kind::Contacts, 14, Bit::kOutlook14),
    OutlookRow<8>(Kind::Appointments, 8, Bit::kOutlook8),
    OutlookRow<9>(Kind::Appointments, 9, Bit::kOutlook9),
    OutlookRow<11>(Kind::Appointments, 11, Bit::kOutlook11),
    OutlookRow<12>(Kind::Appointments, 12, Bit::kOutlook12),
    OutlookRow<14>(Kind::Appointments, 14, Bit::kOutlook14),
    OutlookRow<8>(Kind::Tasks, 8, Bit::kOutlook8),
    OutlookRow<9>(Kind::Tasks, 9, Bit::kOutlook9),
    OutlookRow<11>(Kind::Tasks, 11, Bit::kOutlook11),
    OutlookRow<12>(Kind::Tasks, 12, Bit::kOutlook12),
    OutlookRow<14>(Kind::Tasks, 14, Bit::kOutlook14),
    // Notes, by NotesAgentCode.
    OutlookRow<8>(Kind::Notes, 4, Bit::kOutlookNotes),
    OutlookRow<9>(Kind::Notes, 8, Bit::kOutlookNotes),
    OutlookRow<11>(Kind::Notes, 16, Bit::kOutlookNotes),
    OutlookRow<12>(Kind::Notes, 32, Bit::kOutlookNotes),
    OutlookRow<14>(Kind::Notes, 64, Bit::kOutlookNotes),
};

OutlookKind OutlookKindOf(SourceKind kind)
{
    switch (kind) {
        case SourceKind::Appointments:
            return OutlookKind::Appointments;
        case SourceKind::Tasks:
            return OutlookKind::Tasks;
        case SourceKind::Notes:
            return OutlookKind::Notes;
        default:
            return OutlookKind::Contacts;
    }
}

class OutlookFamily : public StoreFamily {
public:
    OutlookFamily(const StoreServices& services, ItemStoreLookup stores)
    {
        // The stores are asked for anew at every opening and release (OutlookConnection).
        const auto provider = [stores = std::move(stores)] {
            std::vector<OutlookStoreFrame*> found;
            for (const SourceRow& row : kRows)
                if (auto* store = dynamic_cast<OutlookStoreFrame*>(stores(row.kind, row.code)))
                    found.push_back(store);
            return found;
        };
        connection_ = std::make_shared<OutlookConnection>(
            services.log ? services.log : [](const QString&) {}, provider);
        if (services.showMessage)
            connection_->SetMessageHook(services.showMessage);
        else if (services.log)
            connection_->SetMessageHook(services.log);
    }

    std::unique_ptr<COutlook> MakeItemStore(const SourceRow& row) override
    {
        std::unique_ptr<OutlookStoreFrame> store = MakeOutlookStore(OutlookKindOf(row.kind), row.programVersion);
        if (store) store->SetConnection(connection_);
        return store;
    }

    void AtRelease() override
    {
        try {
            connection_->OfficeDestroy();
        } catch (...) {
            throw AgentError("Outlook could not be released");
        }
    }

    std::uint32_t StatusFlags() const override
    {
        return connection_->IsUsingExchangeServer() ? SourceFlags::kExchange : 0;
    }

private:
    std::shared_ptr<OutlookConnection> connection_;
};

const FamilyRegistration kRegistration({
    .order = 90,
    .rows = [] { return std::span<const SourceRow>(kRows); },
    .make = [](const StoreServices& services, ItemStoreLookup stores) -> std::unique_ptr<StoreFamily> {
        return std::make_unique<OutlookFamily>(services, std::move(stores));
    },
});

}  // namespace
