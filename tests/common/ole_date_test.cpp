#include "common/ole_date.h"

#include <gtest/gtest.h>

#include <QDate>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "support/system_time_fields.h"

namespace {

SystemTime Fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                  int dayOfWeek = 0)
{
    SystemTime t = MakeSystemTime(year, month, day, hour, minute, second);
    t.wDayOfWeek = dayOfWeek;
    return t;
}

constexpr double Seconds(double s)
{
    return s / 86400.0;
}

struct DateCase {
    double date;
    SystemTime fields;
};

// Values whose fields are exact both ways, around the origin, the no-date values and the ends of
// the range; weekdays from an independent calendar.
const DateCase kExact[] = {
    {0.0, Fields(1899, 12, 30, 0, 0, 0, 6)},
    {1.0, Fields(1899, 12, 31, 0, 0, 0, 0)},
    {2.0, Fields(1900, 1, 1, 0, 0, 0, 1)},
    {0.5, Fields(1899, 12, 30, 12, 0, 0, 6)},
    {0.25 + 2, Fields(1900, 1, 1, 6, 0, 0, 1)},
    {-1.25, Fields(1899, 12, 29, 6, 0, 0, 5)},  // the fraction counts forward from the day
    {-1.0, Fields(1899, 12, 29, 0, 0, 0, 5)},
    {-700.75, Fields(1898, 1, 29, 18, 0, 0, 6)},
    {40244.0, Fields(2010, 3, 7, 0, 0, 0, 0)},
    {40244.0 + Seconds(14 * 3600 + 5 * 60 + 9), Fields(2010, 3, 7, 14, 5, 9, 0)},
    {949998.0, Fields(4501, 1, 1, 0, 0, 0, 6)},
    {949997.99930555556, Fields(4500, 12, 31, 23, 59, 0, 5)},
    {-657434.0, Fields(100, 1, 1, 0, 0, 0, 5)},
    {2958465.0 + Seconds(86399), Fields(9999, 12, 31, 23, 59, 59, 5)},
};

TEST(OleDate, BreaksAndBuildsExactValues)
{
    for (const DateCase& c : kExact) {
        SCOPED_TRACE(c.date);
        const std::optional<SystemTime> fields = OleDateToSystemTime(c.date);
        ASSERT_TRUE(fields);
        EXPECT_EQ(*fields, c.fields);
        const std::optional<double> date = SystemTimeToOleDate(c.fields);
        ASSERT_TRUE(date);
        EXPECT_EQ(*date, c.date);  // exact: stores compare the no-date values with ==
    }
}

TEST(OleDate, NegativeHalfDayIsTheSameMomentAsPositive)
{
    EXPECT_EQ(OleDateToSystemTime(-0.5), OleDateToSystemTime(0.5));
}

TEST(OleDate, RoundsToTheNearestSecondIntoTheNextDay)
{
    const struct {
        double date;
        SystemTime fields;
    } cases[] = {
        {40244.0 + Seconds(0.4), Fields(2010, 3, 7, 0, 0, 0, 0)},
        {40244.0 + Seconds(0.6), Fields(2010, 3, 7, 0, 0, 1, 0)},
        {40244.0 + Seconds(59.6), Fields(2010, 3, 7, 0, 1, 0, 0)},
        {40244.0 + Seconds(86399.6), Fields(2010, 3, 8, 0, 0, 0, 1)},
        {2958465.0 + Seconds(86399.4), Fields(9999, 12, 31, 23, 59, 59, 5)},
        // Before the origin the carry also moves forward in the calendar, to the day before in value.
        {-1.0 - Seconds(86399.6), Fields(1899, 12, 30, 0, 0, 0, 6)},
        {-2.0 - Seconds(86399.6), Fields(1899, 12, 29, 0, 0, 0, 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        const std::optional<SystemTime> fields = OleDateToSystemTime(c.date);
        ASSERT_TRUE(fields);
        EXPECT_EQ(*fields, c.fields);
    }
}

TEST(OleDate, RefusesValuesOutsideTheRange)
{
    const double cases[] = {-657435.0,
                            -657435.5,
                            2958466.0,
                            2958465.0 + Seconds(86399.6),  // rounds into the year 10000
                            1e300,
                            std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity()};
    for (double date : cases) EXPECT_FALSE(OleDateToSystemTime(date)) << date;
    EXPECT_TRUE(OleDateToSystemTime(-657434.99));  // 1 January 100, late in the day
}

TEST(OleDate, RefusesFieldsThatNameNoMoment)
{
    const SystemTime refused[] = {
        Fields(2010, 13, 1),       Fields(2010, 0, 1),           Fields(2010, 2, 30),
        Fields(2011, 2, 29),       Fields(1900, 2, 29),          Fields(2100, 2, 29),
        Fields(2010, 4, 31),       Fields(2010, 1, 0),           Fields(2010, 1, -1),
        Fields(99, 12, 31),        Fields(10000, 1, 1),          Fields(2010, 1, 1, 24),
        Fields(2010, 1, 1, 0, 60), Fields(2010, 1, 1, 0, 0, 60), Fields(2010, 1, 1, -1),
    };
    for (const SystemTime& t : refused)
        EXPECT_FALSE(SystemTimeToOleDate(t)) << t.wYear << "-" << t.wMonth << "-" << t.wDay << " " << t.wHour
                                             << ":" << t.wMinute << ":" << t.wSecond;
    EXPECT_TRUE(SystemTimeToOleDate(Fields(2000, 2, 29)));
    EXPECT_TRUE(SystemTimeToOleDate(Fields(2012, 2, 29)));
}

TEST(OleDate, IgnoresWeekdayAndMilliseconds)
{
    SystemTime t = Fields(2010, 3, 7, 14, 5, 9, 3);
    t.wMilliseconds = 900;
    EXPECT_EQ(SystemTimeToOleDate(t), SystemTimeToOleDate(Fields(2010, 3, 7, 14, 5, 9)));
}

// Every day of the range against Qt's calendar, with a time of day that varies with the day.
TEST(OleDate, AgreesWithAnIndependentCalendarOverTheWholeRange)
{
    const QDate origin(1899, 12, 30);
    for (int day = -657434; day <= 2958465; ++day) {
        const QDate expected = origin.addDays(day);
        const int secondOfDay = static_cast<int>(std::llabs(static_cast<long long>(day) * 7919 % 86400));
        const double date = day >= 0 ? day + Seconds(secondOfDay) : day - Seconds(secondOfDay);
        const std::optional<SystemTime> t = OleDateToSystemTime(date);
        ASSERT_TRUE(t) << day;
        ASSERT_TRUE(t->wYear == expected.year() && t->wMonth == expected.month() &&
                    t->wDay == expected.day() && t->wDayOfWeek == expected.dayOfWeek() % 7)
            << "day " << day << " gave " << t->wYear << "-" << t->wMonth << "-" << t->wDay << " weekday "
            << t->wDayOfWeek << ", expected " << expected.toString(Qt::ISODate).toStdString();
        ASSERT_EQ(t->wHour * 3600 + t->wMinute * 60 + t->wSecond, secondOfDay) << day;
        ASSERT_EQ(SystemTimeToOleDate(*t), date) << day;
    }
}

TEST(FileTime, CountsFrom1601)
{
    EXPECT_EQ(SystemTimeToFileTime(Fields(1601, 1, 1)), 0);
    EXPECT_EQ(SystemTimeToFileTime(Fields(1970, 1, 1)), 116444736000000000LL);
    EXPECT_EQ(SystemTimeToFileTime(Fields(1601, 1, 1, 0, 1)), kFileTimeUnitsPerMinute);

    SystemTime withMilliseconds = Fields(2010, 3, 7, 14, 5, 9, 0);
    withMilliseconds.wMilliseconds = 789;
    SystemTime beforeOrigin = Fields(1500, 6, 15, 12, 34, 56, 5);
    beforeOrigin.wMilliseconds = 1;
    for (const SystemTime& t : {withMilliseconds, beforeOrigin, Fields(30827, 12, 31, 23, 59, 59, 5)})
        EXPECT_EQ(FileTimeToSystemTime(SystemTimeToFileTime(t)), t);
    // Sub-millisecond units are dropped, also before the origin.
    EXPECT_EQ(FileTimeToSystemTime(-1), FileTimeToSystemTime(-kFileTimeUnitsPerMillisecond));
}

}  // namespace
