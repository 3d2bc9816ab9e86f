#include "stores/outlook/date_window.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>
#include <cmath>

#include "common/clock.h"
#include "common/dates.h"
#include "stores/outlook/appointment_store.h"
#include "stores/outlook/task_store.h"
#include "support/outlook/outlook_emulation.h"
#include "support/scoped_time_zone.h"
#include "support/system_time_fields.h"
#include "support/temp_home.h"

namespace {

double At(int year, int month, int day, int hour = 0, int minute = 0)
{
    return *SystemTimeToOleDate(MakeSystemTime(year, month, day, hour, minute));
}

TEST(DateWindow, BoundsAreTheStartsOfWholeDaysAroundToday)
{
    struct Case {
        const char* what;
        double now;
        std::int16_t back, ahead;
        std::optional<double> lower, upper;
        const char* zone = nullptr;  // the machine's zone while the window is made; nullptr: as it is
    };
    const Case cases[] = {
        {"ahead 0: tomorrow", At(2010, 6, 10, 14, 30), -1, 0, std::nullopt, At(2010, 6, 11)},
        {"back 0: yesterday", At(2010, 6, 10, 0, 0), 0, -1, At(2010, 6, 9), std::nullopt},
        {"back 2 on 15 March", At(2010, 3, 15, 23, 59), 2, -1, At(2010, 2, 28), std::nullopt},
        {"back 2 on 15 March of a leap year", At(2012, 3, 15, 8, 0), 2, -1, At(2012, 2, 29), std::nullopt},
        {"ahead -2 lies before today", At(2010, 6, 10, 12, 0), -1, -2, std::nullopt, At(2010, 5, 28)},
        {"both", At(2010, 6, 10, 12, 0), 1, 1, At(2010, 6, 2), At(2010, 6, 18)},
        {"Berlin's short day (clocks forward)", At(2010, 3, 28, 12, 0), 0, 0, At(2010, 3, 27),
         At(2010, 3, 29), "Europe/Berlin"},
        {"Sydney's long day (clocks back)", At(2010, 4, 4, 2, 30), 0, 0, At(2010, 4, 3), At(2010, 4, 5),
         "Australia/Sydney"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<ScopedTimeZone> tz;
        if (c.zone) tz.emplace(c.zone);
        const DateWindow w = MakeDateWindow(c.now, c.back, c.ahead);
        EXPECT_EQ(w.lower, c.lower);
        EXPECT_EQ(w.upper, c.upper);
    }
}

TEST(DateWindow, TheClockIsLocalTimeInTheMachinesZone)
{
    for (const char* zone : {"Europe/Berlin", "Australia/Sydney"}) {
        SCOPED_TRACE(zone);
        ScopedTimeZone tz(zone);
        const QDateTime local = QDateTime::currentDateTime().toTimeZone(QTimeZone(zone));
        const QDate d = local.date();
        const QTime t = local.time();
        const double expected = At(d.year(), d.month(), d.day(), t.hour(), t.minute()) + t.second() / 86400.0;
        EXPECT_NEAR(LocalNowOleDate(), expected, 5.0 / 86400.0);
    }
    ScopedLocalNow fixed(At(2010, 3, 28, 2, 30));
    EXPECT_EQ(LocalNowOleDate(), At(2010, 3, 28, 2, 30));
}

// The stores on an emulated Outlook: what each item's properties put inside or outside.
class DateWindowStores : public ::testing::Test {
protected:
    void SetUp() override
    {
        outlook.Register();
        appointments.Init();
        tasks.Init();
    }
    QString Appointment(double start, double end, bool recurring = false)
    {
        const QString id = outlook.PlantItem(
            EmuFolder::Calendar, {{"Start", VariantValue::Date(start)}, {"End", VariantValue::Date(end)}});
        if (recurring) outlook.PlantPattern(id, {{"PatternEndDate", VariantValue::Date(At(2001, 1, 1))}});
        return id;
    }
    QString Task(double start, double completed, std::optional<double> patternEnd = std::nullopt)
    {
        const QString id = outlook.PlantItem(
            EmuFolder::Tasks,
            {{"StartDate", VariantValue::Date(start)}, {"DateCompleted", VariantValue::Date(completed)}});
        if (patternEnd) outlook.PlantPattern(id, {{"PatternEndDate", VariantValue::Date(*patternEnd)}});
        return id;
    }

    TempHome home;
    OutlookEmulation outlook;
    ScopedLocalNow now{At(2010, 6, 10, 14, 30)};
    CAppointment14 appointments;
    CTask14 tasks;
};

TEST_F(DateWindowStores, AppointmentsAreInsideUpToTheBoundsAndRecurringOnesPassTheLowerOne)
{
    const double farPast = At(2001, 1, 1);
    struct Case {
        const char* what;
        QString id;
        std::int16_t back, ahead;
        bool inside;
    };
    const Case cases[] = {
        {"starts today 23:59", Appointment(At(2010, 6, 10, 23, 59), At(2010, 6, 11, 1, 0)), -1, 0, true},
        {"starts tomorrow 00:00", Appointment(At(2010, 6, 11), At(2010, 6, 11, 1, 0)), -1, 0, true},
        {"starts tomorrow 00:01", Appointment(At(2010, 6, 11, 0, 1), At(2010, 6, 11, 1, 0)), -1, 0, false},
        {"ended yesterday 00:00", Appointment(At(2010, 6, 8), At(2010, 6, 9)), 0, -1, true},
        {"ended the day before 23:59", Appointment(At(2010, 6, 8), At(2010, 6, 8, 23, 59)), 0, -1, false},
        {"recurring, series long over", Appointment(farPast, farPast + 0.1, true), 0, 0, true},
        {"far future, no upper bound", Appointment(At(2030, 1, 1), At(2030, 1, 2)), 0, -1, true},
        {"ahead -2: before the bound", Appointment(At(2010, 5, 27), At(2010, 5, 27, 1, 0)), -1, -2, true},
        {"ahead -2: after the bound", Appointment(At(2010, 6, 1), At(2010, 6, 1, 1, 0)), -1, -2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(appointments.IsInDateWindow(c.id, c.back, c.ahead), c.inside);
    }
}

TEST_F(DateWindowStores, TasksWithoutDatesAndRecurringTasks)
{
    const double past = At(2010, 1, 1);
    struct Case {
        const char* what;
        QString id;
        std::int16_t back, ahead;
        bool inside;
    };
    const Case cases[] = {
        {"completed long ago", Task(past, past), 0, -1, false},
        {"never completed (4501)", Task(past, kNoDate), 0, -1, true},
        {"never completed (4500)", Task(past, kNoDateOnly), 0, -1, true},
        {"recurring, pattern ended long ago", Task(past, kNoDate, past), 0, -1, false},
        {"recurring without end", Task(past, past, kNoDate), 0, -1, true},
        {"no start date, upper bound given", Task(kNoDate, kNoDate), -1, 4, false},
        {"no start date (4500), upper bound given", Task(kNoDateOnly, kNoDate), -1, 4, false},
        {"starts next week", Task(At(2010, 6, 15), kNoDate), 1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(tasks.IsInDateWindow(c.id, c.back, c.ahead), c.inside);
    }
}

TEST_F(DateWindowStores, AnUnknownItemFailsTheCheck)
{
    EXPECT_ANY_THROW(appointments.IsInDateWindow(QString(48, 'F'), 1, 1));
    EXPECT_ANY_THROW(tasks.IsInDateWindow(QString(48, 'F'), 1, 1));
}

}  // namespace
