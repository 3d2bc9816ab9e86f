#include "common/ole_date.h"

#include <cmath>

namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::int64_t kMillisecondsPerDay = kSecondsPerDay * 1000;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1 January 1970 of a proleptic Gregorian date, for any year; counting the year from
// March puts the leap day at the end, so every month but February has a fixed offset.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + dayOfEra - 719'468;
}

void CivilFromDays(std::int64_t days, SystemTime& t)
{
    t.wDayOfWeek = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1 January 1970 was a Thursday
    days += 719'468;
    const std::int64_t era = FloorDiv(days, 146'097);
    const std::int64_t dayOfEra = days - era * 146'097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    t.wDay = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    t.wMonth = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    t.wYear = static_cast<int>(yearOfEra + era * 400 + (t.wMonth <= 2 ? 1 : 0));
}

const std::int64_t kOleOriginDays = DaysFromCivil(1899, 12, 30);
const std::int64_t kFileTimeOriginDays = DaysFromCivil(1601, 1, 1);

SystemTime FromDayAndMilliseconds(std::int64_t daysSince1970, std::int64_t millisecondsOfDay)
{
    SystemTime t;
    CivilFromDays(daysSince1970, t);
    t.wHour = static_cast<int>(millisecondsOfDay / 3'600'000);
    t.wMinute = static_cast<int>(millisecondsOfDay / 60'000 % 60);
    t.wSecond = static_cast<int>(millisecondsOfDay / 1000 % 60);
    t.wMilliseconds = static_cast<int>(millisecondsOfDay % 1000);
    return t;
}

}  // namespace

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidSystemTime(const SystemTime& t)
{
    return t.wYear >= 1 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= DaysInMonth(t.wYear, t.wMonth) && t.wHour >= 0 && t.wHour <= 23 && t.wMinute >= 0 &&
           t.wMinute <= 59 && t.wSecond >= 0 && t.wSecond <= 59 && t.wMilliseconds >= 0 &&
           t.wMilliseconds <= 999;
}

std::optional<SystemTime> OleDateToSystemTime(double date)
{
    // The representable range is 1 January 100 00:00 to 31 December 9999 23:59:59; anything a
    // rounding pushes beyond it is refused below.
    if (!std::isfinite(date) || date <= -657'435.0 || date >= 2'958'466.0) return std::nullopt;
    const double whole = std::trunc(date);
    const double fraction = std::fabs(date - whole);
    std::int64_t seconds = static_cast<std::int64_t>(std::floor(fraction * kSecondsPerDay + 0.5));
    std::int64_t day = static_cast<std::int64_t>(whole);
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        ++day;  // the next calendar day, also before the origin where the whole part counts down
    }
    SystemTime t = FromDayAndMilliseconds(day + kOleOriginDays, seconds * 1000);
    if (t.wYear < 100 || t.wYear > 9999) return std::nullopt;
    return t;
}

std::optional<double> SystemTimeToOleDate(const SystemTime& time)
{
    SystemTime t = time;
    t.wMilliseconds = 0;
    if (!IsValidSystemTime(t) || t.wYear < 100 || t.wYear > 9999) return std::nullopt;
    const double day = static_cast<double>(DaysFromCivil(t.wYear, t.wMonth, t.wDay) - kOleOriginDays);
    const double timeOfDay =
        static_cast<double>(t.wHour * 3600 + t.wMinute * 60 + t.wSecond) / kSecondsPerDay;
    return day >= 0 ? day + timeOfDay : day - timeOfDay;
}

std::int64_t SystemTimeToFileTime(const SystemTime& t)
{
    const std::int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) - kFileTimeOriginDays;
    const std::int64_t ms = days * kMillisecondsPerDay +
                            ((static_cast<std::int64_t>(t.wHour) * 60 + t.wMinute) * 60 + t.wSecond) * 1000 +
                            t.wMilliseconds;
    return ms * kFileTimeUnitsPerMillisecond;
}

SystemTime FileTimeToSystemTime(std::int64_t fileTime)
{
    const std::int64_t ms = FloorDiv(fileTime, kFileTimeUnitsPerMillisecond);
    const std::int64_t days = FloorDiv(ms, kMillisecondsPerDay);
    return FromDayAndMilliseconds(days + kFileTimeOriginDays, ms - days * kMillisecondsPerDay);
}
