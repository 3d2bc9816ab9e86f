#pragma once
#include <QString>
#include <optional>

#include "common/ole_date.h"

// Dates as they travel to the peer: text in one fixed month-day-year form, with the time of day
// when it is not midnight, and no time-zone mark. Timed appointment starts and ends and task
// reminders travel in UTC, every other date in local time; converting is the stores' choice.

// The values Outlook reports for a date that is not set. Both travel as empty text, each only
// through the one conversion that knows it; they are compared exactly.
inline constexpr double kNoDate = 949998.0;                // 1 January 4501, 00:00: DateToText
inline constexpr double kNoDateOnly = 949997.99930555556;  // 31 December 4500, 23:59: DateOnlyToText

// An OLE date and whether it names a real moment, as the stores carry a date built from fields:
// fields that name no moment (13-01-2010, 02-30-2010) give an invalid value, which is not a date
// and must not be stored.
struct DateValue {
    double value = 0.0;
    bool valid = true;
};

// "MM-DD-YYYY" when the time is 00:00:00, else "MM-DD-YYYY hh:mm:ss"; kNoDate gives empty text,
// whatever its validity. Never fails: a value that cannot be broken into fields prints each field
// as -1 in its width ("-01--01--0001 -01:-01:-01"), which no reader takes for a date.
QString DateToText(const DateValue& date);
inline QString DateToText(double date)
{
    return DateToText(DateValue{date, true});
}

// "MM-DD-YYYY", the time dropped, for recurrence end dates; kNoDateOnly gives empty text.
QString DateOnlyToText(const DateValue& date);
inline QString DateOnlyToText(double date)
{
    return DateOnlyToText(DateValue{date, true});
}

// Reads DateToText's forms back by fixed character positions, without looking at the separators
// (03-07-2010 and 03/07/2010 are the same date): 9 or 10 characters are a date at midnight,
// 18 or more a date and time (only the first 19 are read). Throws AgentError for any other length,
// empty text included, so callers test for empty text first; fields that name no moment give an
// invalid value rather than a failure.
DateValue TextToDate(const QString& text);

// Which part of a date text the stores keep: contact dates keep the day only, whatever time the
// text carries.
enum class DateTextPart { DateAndTime, DateOnly };

// A date text from the peer as the person who typed it meant it, for the stores' date fields:
// a four-digit first field is year-month-day ("2010-03-07"), dashes or slashes are month-day-year
// (DateToText's own form "03-07-2010"), dots are day-month-year ("07.03.2010"); a two-digit year
// means 1930-2029. An optional time "h:mm" or "h:mm:ss" follows after a space or a "T". Empty
// when the text fits none of these or names no moment: a guess would store a wrong date.
std::optional<double> ParseDateText(const QString& text, DateTextPart part = DateTextPart::DateAndTime);

