#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "common/item_record.h"
#include "common/ole_date.h"
#include "stores/windows_calendar/vevent.h"

// The mapping between the peer's appointment fields and a calendar event, in both directions.
// Timed starts and ends travel in UTC and are stored in the form the event's times have: in UTC
// for an event held in UTC, as wall-clock time in the zone the event's TZID names when the system
// knows it (with that TZID), else as wall-clock time in the machine's own zone (without one: an
// event that floats, a new one, one whose TZID nobody knows); dates travel and are stored as they are.

// What a record asked for besides the event's fields.
struct AppointmentRequest {
    QString calendarName;                     // the last "Categories"; empty for none
    bool ruleGiven = false;                   // the recurrence keys gave a rule
    std::optional<std::int32_t> isRecurring;  // "IsRecurring" when present
    bool reminderGiven = false;               // "ReminderMinutesBeforeStart" was present
    bool startGiven = false;                  // a "Start" that is not empty
    bool endGiven = false;                    // an "End", even an empty one
};

// Applies the record's keys to the event in record order (a new event starts empty, an edited
// one as the file held it), then the recurrence and the alarm, which depend on several keys. A
// date-only "Start" makes the event all-day, a timed one makes it timed; "End" leaves that alone.
// The recurrence keys count only when "IsRecurring" is present and not 0; a rule then needs a
// known "RecurrenceType". Throws AgentError, naming the field, for a date text that fits
// no form, before anything has been written.
AppointmentRequest ApplyAppointmentFields(const ItemRecord& record, VEventRecord& event);

// Appends the event's fields for the peer: "Subject", "Body", "Location", "AllDayEvent" (all-day
// only), "Start", "End" (when one is known), "ReminderMinutesBeforeStart" (with an alarm),
// "IsRecurring" (with a rule) and "Categories". A start or end that is no date is left out (an
// empty "Start", no "End") and named in the result, for a log line; the event is served all the
// same, as the change check lists it. Throws AgentError for a moment beyond the peer's dates.
QStringList AppendAppointmentFields(const VEventRecord& event, const QString& calendarName, ItemRecord& record);

// Whether the event falls into a window of whole weeks around `today` (a local date); -1 for a
// bound means none. An event with a rule or without an end counts as reaching into the window.
bool IsEventInDateWindow(const VEventRecord& event, std::int16_t weeksBack, std::int16_t weeksAhead,
                         const SystemTime& today);

// Today's local date and time.
SystemTime LocalNow();

// The UTC moments of the event's start and end where a TZID the system knows places them; empty
// for an event without such a TZID. Checksums take it in, so that the moment an event stands for
// is part of what a peer holds, and an event read at another moment than before is a change.
QString ZonedMoments(const VEventRecord& event);
