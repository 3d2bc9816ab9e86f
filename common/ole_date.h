#pragma once
#include <cstdint>
#include <optional>

// Calendar fields of one moment, laid out like the platform's SYSTEMTIME record, because the stores
// and the time-zone rules hand dates around in this form. A time-zone transition rule reuses the
// same fields with another meaning (see platform/time_zone.h).
struct SystemTime {
    int wYear = 0;
    int wMonth = 0;      // 1 = January
    int wDayOfWeek = 0;  // 0 = Sunday
    int wDay = 0;
    int wHour = 0;
    int wMinute = 0;
    int wSecond = 0;
    int wMilliseconds = 0;

    friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

// OLE automation dates, the form every Outlook date takes: days since 30 December 1899 00:00, the
// fraction being the time of day. Before that origin the whole part counts days backwards while the
// fraction still counts forwards from the start of that day, so -1.25 is 29 December 1899, 06:00
// (and -0.5 is the same moment as 0.5). Only 1 January 100 to 31 December 9999 is representable.

// The calendar fields of a date, with the weekday filled in. Stored dates carry whole seconds, so
// the time is rounded to the nearest second (into the next day if need be) and the milliseconds
// are 0. Empty for a value outside the representable range, or not a number.
std::optional<SystemTime> OleDateToSystemTime(double date);

// The date of the fields, or empty when they name no moment exactly (a year outside 100..9999,
// month 13, 30 February, hour 24...): such fields must not become a stored date by rolling over.
// The weekday and the milliseconds are ignored.
std::optional<double> SystemTimeToOleDate(const SystemTime& time);

// True when the fields name a real moment of the proleptic Gregorian calendar (years 1 to 30827,
// the platform's range); the weekday is not checked.
bool IsValidSystemTime(const SystemTime& time);

int DaysInMonth(int year, int month);
bool IsLeapYear(int year);

// Exact arithmetic on calendar fields for the time-zone rules: a moment as 100-ns units since
// 1 January 1601 00:00 (the platform's FILETIME count) and back. SystemTimeToFileTime expects
// IsValidSystemTime fields (the weekday is ignored); FileTimeToSystemTime fills the weekday.
std::int64_t SystemTimeToFileTime(const SystemTime& time);
SystemTime FileTimeToSystemTime(std::int64_t fileTime);

inline constexpr std::int64_t kFileTimeUnitsPerMillisecond = 10'000;
inline constexpr std::int64_t kFileTimeUnitsPerMinute = 600'000'000;
