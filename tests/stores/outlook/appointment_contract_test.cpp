// The item store contract for the Outlook calendar stores of every version, on the emulation.
#include "support/item_store_contract.h"

#include "appointment_rig.h"
#include "support/scoped_time_zone.h"
#include "support/temp_home.h"

namespace {

template <int Version>
struct OutlookCalendarContract {
    OutlookCalendarContract()
    {
        outlook.SetVersions({Version});
        outlook.Register();
    }
    std::unique_ptr<COutlook> Make()
    {
        std::unique_ptr<OutlookStoreFrame> store = MakeOutlookStore(OutlookKind::Appointments, Version);
        store->Init();
        return store;
    }
    ItemRecord Record(int n)
    {
        ItemRecord record;
        record.Add("Subject", QStringLiteral("Meeting %1").arg(n));
        record.Add("Location", QStringLiteral("Room %1").arg(n));
        record.Add("BusyStatus", n % 4);
        record.Add("Start", QStringLiteral("06-%1-2010 12:00:00").arg(10 + n));
        record.Add("End", QStringLiteral("06-%1-2010 13:30:00").arg(10 + n));
        record.Add("ReminderSet", n % 2);
        return record;
    }
    static constexpr bool kPersists = true;

    TempHome home;
    ScopedTimeZone zone{"Europe/Berlin"};
    OutlookEmulation outlook;
};

using Calendars = ::testing::Types<OutlookCalendarContract<8>, OutlookCalendarContract<9>, OutlookCalendarContract<11>,
                                   OutlookCalendarContract<12>, OutlookCalendarContract<14>>;
INSTANTIATE_TYPED_TEST_SUITE_P(OutlookCalendar, ItemStoreContract, Calendars);

}  // namespace
