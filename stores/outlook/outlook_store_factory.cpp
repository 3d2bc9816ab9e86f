#include "stores/outlook/outlook_store_factory.h"

#include "stores/outlook/appointment_store.h"
#include "stores/outlook/contact_store.h"
#include "stores/outlook/note_store.h"
#include "stores/outlook/task_store.h"

namespace {

template <template <int> class Store>
std::unique_ptr<OutlookStoreFrame> OfVersion(int version)
{
    switch (version) {
        case 8:
            return std::make_unique<Store<8>>();
        case 9:
            return std::make_unique<Store<9>>();
        case 11:
            return std::make_unique<Store<11>>();
        case 12:
            return std::make_unique<Store<12>>();
        case 14:
            return std::make_unique<Store<14>>();
        default:
            return nullptr;
    }
}

}  // namespace

std::unique_ptr<OutlookStoreFrame> MakeOutlookStore(OutlookKind kind, int version)
{
    switch (kind) {
        case OutlookKind::Contacts:
            return OfVersion<CContact>(version);
        case OutlookKind::Appointments:
            return OfVersion<CAppointment>(version);
        case OutlookKind::Tasks:
            return OfVersion<CTask>(version);
        case OutlookKind::Notes:
            return OfVersion<CNote>(version);
    }
    return nullptr;
}
