#pragma once
#include <QString>
#include <cstdint>
#include <optional>

#include "common/ole_date.h"

// Date and duration values of calendar files, and the conversions the calendar store needs
// between them and the machine's zone (platform/time_zone.h).

// A DTSTART, DTEND, UNTIL or trigger value: YYYYMMDD (a date), YYYYMMDDTHHMMSS (wall-clock time,
// read as the machine's local time, also where a TZID names a zone) or the same with "Z" (UTC).
struct IcsDateTime {
    enum class Kind { Date, Local, Utc };
    SystemTime fields;
    Kind kind = Kind::Local;
};

// Empty when the text is none of the three forms or names no moment.
std::optional<IcsDateTime> ParseIcsDateTime(const QString& value);

QString FormatIcsDate(const SystemTime& t);       // YYYYMMDD
QString FormatIcsLocalTime(const SystemTime& t);  // YYYYMMDDTHHMMSS
QString FormatIcsUtcTime(const SystemTime& t);    // YYYYMMDDTHHMMSSZ

// The moment in UTC and in local time; a date counts as local midnight.
SystemTime IcsToUtc(const IcsDateTime& value);
SystemTime IcsToLocal(const IcsDateTime& value);

// A duration "[+|-]P[nW][nD][T[nH][nM][nS]]" in seconds; empty when the text is not one.
std::optional<std::int64_t> ParseIcsDurationSeconds(const QString& text);

// Field arithmetic through the platform's 100-ns count.
SystemTime AddSeconds(const SystemTime& t, std::int64_t seconds);
std::int64_t SecondsBetween(const SystemTime& from, const SystemTime& to);

// UTC to the machine's local time.
SystemTime UtcToLocalTime(const SystemTime& utc);
