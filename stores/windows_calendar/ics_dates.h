#pragma once
#include <QString>
#include <QTimeZone>
#include <cstdint>
#include <optional>

#include "common/ole_date.h"

// Date and duration values of calendar files, and the conversions the calendar store needs
// between them and the machine's zone (platform/time_zone.h).

// A DTSTART, DTEND, UNTIL or trigger value: YYYYMMDD (a date), YYYYMMDDTHHMMSS (wall-clock time)
// or the same with "Z" (UTC). A wall-clock time is in the zone its TZID names when the system knows
// that zone, else in the machine's own zone (no TZID, or one nobody knows).
struct IcsDateTime {
    enum class Kind { Date, Local, Utc };
    SystemTime fields;
    Kind kind = Kind::Local;
    QTimeZone zone;  // for Local: the zone of its TZID; invalid for the machine's own
};

// Empty when the text is none of the three forms or names no moment. `tzid` is the value of the
// line's TZID parameter (quotes removed), empty for none.
std::optional<IcsDateTime> ParseIcsDateTime(const QString& value, const QString& tzid = {});

// The zone a TZID names when the system lists it, by its IANA name ("America/New_York", matched
// without regard to case) or its Windows name ("Eastern Standard Time"); empty for any other
// text, which is never opened as a path. Looked up once per name.
std::optional<QTimeZone> KnownIcsZone(const QString& tzid);

// A UTC moment as wall-clock time in a zone.
SystemTime UtcToZoneTime(const QTimeZone& zone, const SystemTime& utc);

QString FormatIcsDate(const SystemTime& t);       // YYYYMMDD
QString FormatIcsLocalTime(const SystemTime& t);  // YYYYMMDDTHHMMSS
QString FormatIcsUtcTime(const SystemTime& t);    // YYYYMMDDTHHMMSSZ

// The moment in UTC and in the machine's local time; a date counts as local midnight.
SystemTime IcsToUtc(const IcsDateTime& value);
SystemTime IcsToLocal(const IcsDateTime& value);

// A duration "[+|-]P[nW][nD][T[nH][nM][nS]]" in seconds; empty when the text is not one.
std::optional<std::int64_t> ParseIcsDurationSeconds(const QString& text);

// Field arithmetic through the platform's 100-ns count.
SystemTime AddSeconds(const SystemTime& t, std::int64_t seconds);
std::int64_t SecondsBetween(const SystemTime& from, const SystemTime& to);

// UTC to the machine's local time.
SystemTime UtcToLocalTime(const SystemTime& utc);
