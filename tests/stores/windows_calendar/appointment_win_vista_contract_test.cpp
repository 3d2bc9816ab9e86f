// The Windows Calendar store keeps the item store contract.
#include "stores/windows_calendar/appointment_win_vista.h"
#include "support/item_store_contract.h"
#include "support/scoped_time_zone.h"
#include "support/temp_home.h"

namespace {

struct WindowsCalendarContract {
    std::unique_ptr<COutlook> Make() { return std::make_unique<CAppointmentWinVista>(); }
    ItemRecord Record(int n)
    {
        ItemRecord record;
        record.Add(QStringLiteral("Subject"),
                   QStringLiteral("Appointment %1, with a comma; and more").arg(n));
        record.Add(QStringLiteral("Body"), QStringLiteral("Line one\nline two of %1").arg(n));
        record.Add(QStringLiteral("Location"), QStringLiteral("Room %1").arg(n));
        record.Add(QStringLiteral("Start"), QStringLiteral("03-%1-2010 09:30:00").arg(10 + n));
        record.Add(QStringLiteral("End"), QStringLiteral("03-%1-2010 10:00:00").arg(10 + n));
        record.Add(QStringLiteral("Categories"), QStringLiteral("Work"));
        return record;
    }
    static constexpr bool kPersists = true;
    ScopedTimeZone zone{"Europe/Berlin"};
    TempHome home;
};
INSTANTIATE_TYPED_TEST_SUITE_P(WindowsCalendar, ItemStoreContract, WindowsCalendarContract);

}  // namespace
