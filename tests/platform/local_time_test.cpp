#include "platform/local_time.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "support/scoped_time_zone.h"
#include "support/system_time_fields.h"

namespace {

double Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    const std::optional<double> date =
        SystemTimeToOleDate(MakeSystemTime(year, month, day, hour, minute, second));
    EXPECT_TRUE(date);
    return date.value_or(0.0);
}

SystemTime Fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return *OleDateToSystemTime(Date(year, month, day, hour, minute, second));
}

// The machine's zone, set for the test; the cases of a central European zone, where clocks go
// forward on the last Sunday of March at 02:00 and back on the last Sunday of October at 03:00.
TEST(LocalTimeToUtc, FollowsTheMachineZone)
{
    ScopedTimeZone zone("Europe/Berlin");
    const struct {
        SystemTime local, utc;
    } cases[] = {
        {Fields(2010, 7, 15, 12, 0), Fields(2010, 7, 15, 10, 0)},
        {Fields(2010, 1, 15, 12, 0), Fields(2010, 1, 15, 11, 0)},
        {Fields(2010, 3, 28, 1, 30), Fields(2010, 3, 28, 0, 30)},
        {Fields(2010, 3, 28, 3, 30), Fields(2010, 3, 28, 1, 30)},
        {Fields(2010, 10, 31, 4, 30), Fields(2010, 10, 31, 3, 30)},  // already standard time again
        {Fields(2010, 10, 31, 5, 30), Fields(2010, 10, 31, 4, 30)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LocalTimeToUtc(c.local), c.utc) << DateToText(*SystemTimeToOleDate(c.local)).toStdString();
    EXPECT_THROW(LocalTimeToUtc(SystemTime{}), AgentError);
}

TEST(LocalTimeToUtc, SouthernMachineZone)
{
    ScopedTimeZone zone("Australia/Sydney");
    EXPECT_EQ(LocalTimeToUtc(Fields(2010, 1, 15, 12, 0)), Fields(2010, 1, 15, 1, 0));
    EXPECT_EQ(LocalTimeToUtc(Fields(2010, 7, 15, 12, 0)), Fields(2010, 7, 15, 2, 0));
    EXPECT_EQ(LocalTimeToUtc(Fields(2010, 4, 4, 3, 0)), Fields(2010, 4, 3, 17, 0));
}

TEST(DateValueConversion, ConvertsBothWaysAndKeepsTheNoDateValues)
{
    const struct {
        const char* zone;
        double local, utc;
    } cases[] = {
        {"Europe/Berlin", Date(2010, 7, 15, 12, 0), Date(2010, 7, 15, 10, 0)},
        {"Europe/Berlin", Date(2010, 1, 1, 0, 30), Date(2009, 12, 31, 23, 30)},
        {"Australia/Sydney", Date(2010, 1, 15, 12, 0), Date(2010, 1, 15, 1, 0)},
        {"Australia/Sydney", Date(2010, 7, 15, 12, 0), Date(2010, 7, 15, 2, 0)},
        {"Europe/Berlin", kNoDate, kNoDate},
        {"Australia/Sydney", kNoDateOnly, kNoDateOnly},
        {"America/New_York", kNoDate, kNoDate},
    };
    for (const auto& c : cases) {
        ScopedTimeZone zone(c.zone);
        const DateValue utc = LocalDateToUtc(c.local);
        EXPECT_TRUE(utc.valid);
        EXPECT_EQ(utc.value, c.utc) << c.zone << " " << DateToText(c.local).toStdString();
        const DateValue local = UtcDateToLocal(c.utc);
        EXPECT_TRUE(local.valid);
        EXPECT_EQ(local.value, c.local) << c.zone << " " << DateToText(c.utc).toStdString();
    }
}

TEST(DateValueConversion, ValuesBeyondTheRangeAreInvalid)
{
    ScopedTimeZone zone("America/New_York");
    EXPECT_FALSE(LocalDateToUtc(Date(9999, 12, 31, 23, 0)).valid);  // would be in the year 10000
    EXPECT_FALSE(UtcDateToLocal(Date(100, 1, 1, 1, 0)).valid);      // would be in the year 99
    EXPECT_FALSE(LocalDateToUtc(1e7).valid);
    EXPECT_TRUE(LocalDateToUtc(Date(9999, 12, 31, 18, 0)).valid);
}

}  // namespace
