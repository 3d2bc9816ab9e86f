#pragma once
#include <QString>
#include <optional>

#include "common/ole_date.h"

// A zone's rules in the shape of the platform's TIME_ZONE_INFORMATION record, because the stores'
// date conversions are written against that shape. Biases are minutes, UTC = local + bias.
//
// StandardDate and DaylightDate are transition rules, not moments. With wYear 0 a rule is relative:
// the wDay-th (1 to 4, 5 meaning the last) weekday wDayOfWeek of month wMonth, at wHour:wMinute:
// wSecond.wMilliseconds; with wYear not 0 it is that exact date. DaylightDate is given in standard
// wall-clock time (the moment clocks go forward), StandardDate in daylight wall-clock time (the
// moment they go back). StandardDate.wMonth 0 means the zone has no daylight time.
//
// One record holds one set of rules, the zone's current ones, and it is applied to every year:
// dates of years under other rules convert by today's, the same way in both directions.
struct TimeZoneInformation {
    int Bias = 0;
    QString StandardName;
    SystemTime StandardDate;
    int StandardBias = 0;
    QString DaylightName;
    SystemTime DaylightDate;
    int DaylightBias = 0;

    friend bool operator==(const TimeZoneInformation&, const TimeZoneInformation&) = default;
};

// The machine's zone at the moment of the call, read afresh so a change of zone applies at once:
// TZ when set (a zone name, a TZif file path, or a POSIX rule such as "CET-1CEST,M3.5.0,M10.5.0/3";
// an empty TZ is UTC), else /etc/localtime. Zone names are looked up under $TZDIR, else
// /usr/share/zoneinfo. A zone that cannot be read counts as UTC, as for the C library: dates then
// convert unshifted rather than the agent failing every request.
TimeZoneInformation GetTimeZoneInformation();

// The rules of a named zone of the tz database ("Europe/Berlin"). Throws AgentError when the zone
// is unknown and MalformedData when its file is damaged.
TimeZoneInformation TimeZoneByName(const QString& zoneName);

// The rules of a POSIX TZ rule text (the form that ends every TZif file), or empty when it is not
// one. A daylight time behind standard time (Europe/Dublin's winter "GMT" after summer "IST") is
// turned round so that daylight time is the later clock, as the record expects. Rule times outside
// 0-24 h move the weekday and keep the week, which the record cannot express more closely; the
// day-of-year forms (Jn, n) are not expressible at all and leave the zone without daylight time.
std::optional<TimeZoneInformation> TimeZoneFromPosixTz(const QString& tz);

// UTC to the zone's local time. Throws AgentError for fields that name no moment.
SystemTime SystemTimeToTzSpecificLocalTime(const TimeZoneInformation& zone, const SystemTime& utc);

// The zone's local time to UTC, the exact inverse of SystemTimeToTzSpecificLocalTime, so a time
// sent to the peer in UTC comes back to the same local time. A local time that occurs twice (the
// hour before clocks go back) is read as daylight time, its first occurrence; one that never occurs
// (the hour skipped when clocks go forward) is read as standard time, so 02:30 on that day becomes
// the moment that the clocks show as 03:30. Throws AgentError for fields that name no moment.
SystemTime TzSpecificLocalTimeToSystemTime(const TimeZoneInformation& zone, const SystemTime& local);

// The moment a relative rule names in the year and month of t, which must lie in the rule's month
// with its weekday set; used to find a year's transitions. The last-week form (wDay 5) falls back a
// week when the month is too short, by the month's own length in t's year.
SystemTime GetTransitionDate(const SystemTime& t, const SystemTime& rule);

// Whether wall-clock time t has reached the transition the rule names in t's year: a month before
// or after the rule's decides alone; in the rule's month the moments are compared, t at the very
// moment of the transition counting as reached (clocks that go forward at 02:00 already show
// 03:00 daylight time at that moment).
bool IsPastTransition(const SystemTime& t, const SystemTime& rule);
