#include "stores/windows_calendar/appointment_fields.h"

#include <QDateTime>
#include <QUuid>
#include <cmath>

#include "common/dates.h"
#include "common/errors.h"
#include "platform/local_time.h"
#include "stores/windows_calendar/ics_dates.h"

namespace {

SystemTime FieldsOf(double date)
{
    return *OleDateToSystemTime(date);
}

[[noreturn]] void RefuseDate(const QString& field, const QString& text)
{
    throw AgentError("appointment field \"" + field.toStdString() + "\" is not a date: \"" +
                     text.left(60).toStdString() + "\"");
}

// The form an event's new times are written in: that of its times as they stand (the start's
// first; a floating start gives way to a zoned or UTC end). UTC for an event held in UTC,
// wall-clock time with its TZID where the system knows the zone, else floating (the machine's
// own zone, without a TZID). Programs take a floating time in their own zone, so an event held
// in UTC that turned floating would move on every other machine.
struct EventForm {
    bool utc = false;
    std::optional<QTimeZone> zone;
    QString tzid;
};

EventForm FormOf(const VEventRecord& event)
{
    for (const auto& [value, tzid] : {std::pair{&event.DtStart, &event.DtStartTzid}, std::pair{&event.DtEnd, &event.DtEndTzid}}) {
        const std::optional<IcsDateTime> t = ParseIcsDateTime(*value, *tzid);
        if (!t || t->kind == IcsDateTime::Kind::Date) continue;
        if (t->kind == IcsDateTime::Kind::Utc) return {true, std::nullopt, {}};
        if (const std::optional<QTimeZone> zone = KnownIcsZone(*tzid)) return {false, zone, *tzid};
    }
    return {};
}

// A peer date: the form with a time is a UTC moment and is stored in the event's form, the form
// without one is a date and is stored as it is.
struct PeerDate {
    QString stored;
    QString tzid;
    bool dateOnly = false;
};

PeerDate ReadPeerDate(const QString& field, const QString& text, const EventForm& form)
{
    const std::optional<double> value = ParseDateText(text);
    if (!value) RefuseDate(field, text);
    const SystemTime t = FieldsOf(*value);
    if (!text.contains(u':')) return {FormatIcsDate(t), {}, true};
    if (form.utc) return {FormatIcsUtcTime(t), {}, false};
    if (form.zone) return {FormatIcsLocalTime(UtcToZoneTime(*form.zone, t)), form.tzid, false};
    return {FormatIcsLocalTime(UtcToLocalTime(t)), {}, false};
}

std::optional<IcsDateTime> StartOf(const VEventRecord& event)
{
    return ParseIcsDateTime(event.DtStart, event.DtStartTzid);
}

std::optional<IcsDateTime> EndOf(const VEventRecord& event)
{
    return ParseIcsDateTime(event.DtEnd, event.DtEndTzid);
}

QString NewAlarmUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// Outlook's day mask, Sunday first.
QStringList DayCodes(std::int32_t mask)
{
    static const char* const kCodes[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
    QStringList codes;
    for (int bit = 0; bit < 7; ++bit)
        if (mask & (1 << bit)) codes.append(QLatin1String(kCodes[bit]));
    return codes;
}

struct RecurrenceKeys {
    std::optional<std::int32_t> type, interval, occurrences, dayMask, instance, monthOfYear, noEndDate;
    std::optional<QString> patternEnd;
};

QString FreqOf(std::int32_t type)
{
    switch (type) {
        case 0:
            return QStringLiteral("DAILY");
        case 1:
            return QStringLiteral("WEEKLY");
        case 2:
        case 3:
            return QStringLiteral("MONTHLY");
        case 5:
        case 6:
            return QStringLiteral("YEARLY");
        default:
            return {};
    }
}

// The rule parts of the recurrence keys; false when they name no rule (no known type).
bool BuildRule(const RecurrenceKeys& keys, VEventRecord& event)
{
    const QString freq = keys.type ? FreqOf(*keys.type) : QString();
    if (freq.isEmpty()) return false;
    event.FreqPart = freq;
    event.IntervalPart = keys.interval && *keys.interval > 1 ? QString::number(*keys.interval) : QString();
    event.CountPart.clear();
    event.UntilPart.clear();
    event.ByMonthDayPart.clear();
    event.ByMonthPart.clear();
    event.BySetPosPart.clear();
    const bool endless = keys.noEndDate && *keys.noEndDate != 0;
    // A series ends after a count or on a date, never both; a count of 0 would leave nothing.
    if (!endless && keys.occurrences && *keys.occurrences > 0)
        event.CountPart = QString::number(*keys.occurrences);
    if (!endless && event.CountPart.isEmpty() && keys.patternEnd && !keys.patternEnd->isEmpty()) {
        // The last occurrence starts on that date at the event's own local time of day.
        const std::optional<double> date = ParseDateText(*keys.patternEnd, DateTextPart::DateOnly);
        if (!date) RefuseDate(QStringLiteral("PatternEndDate"), *keys.patternEnd);
        // In the start's own zone: the machine's, or the one its TZID names.
        IcsDateTime until{FieldsOf(*date), IcsDateTime::Kind::Local, {}};
        if (!event.AllDay)
            if (const std::optional<IcsDateTime> start = StartOf(event)) {
                const SystemTime wall =
                    start->kind == IcsDateTime::Kind::Utc ? UtcToLocalTime(start->fields) : start->fields;
                until.fields.wHour = wall.wHour;
                until.fields.wMinute = wall.wMinute;
                until.fields.wSecond = wall.wSecond;
                if (start->kind == IcsDateTime::Kind::Local) until.zone = start->zone;
            }
        event.UntilPart = FormatIcsUtcTime(IcsToUtc(until));
    }
    QStringList days = keys.dayMask ? DayCodes(*keys.dayMask) : QStringList();
    const bool nth = *keys.type == 3 || *keys.type == 6;
    if (nth && keys.instance && *keys.instance >= 1 && *keys.instance <= 5 && !days.isEmpty()) {
        // Outlook's fifth instance is the last one.
        const QString n = *keys.instance == 5 ? QStringLiteral("-1") : QString::number(*keys.instance);
        // "The second weekday" is a position among several days, not the second of each.
        if (days.size() == 1)
            days[0].prepend(n);
        else
            event.BySetPosPart = n;
    }
    event.ByDayPart = days.join(u',');
    if (*keys.type == 6 && keys.monthOfYear && *keys.monthOfYear >= 1 && *keys.monthOfYear <= 12)
        event.ByMonthPart = QString::number(*keys.monthOfYear);
    return true;
}

void ClearRule(VEventRecord& event)
{
    event.FreqPart.clear();
    event.IntervalPart.clear();
    event.CountPart.clear();
    event.UntilPart.clear();
    event.ByMonthDayPart.clear();
    event.ByDayPart.clear();
    event.ByMonthPart.clear();
    event.BySetPosPart.clear();
}

void BuildAlarm(VEventRecord& event, std::int32_t minutes)
{
    event.HasAlarm = 1;
    event.AlarmAction = QStringLiteral("DISPLAY");
    event.AlarmDescription = QStringLiteral("Reminder");
    event.AlarmUid = NewAlarmUid();
    const std::optional<IcsDateTime> start = StartOf(event);
    if (!start) {
        // Without a start there is no moment to name; the alarm stays relative to it.
        event.AlarmTrigger = QStringLiteral("-PT%1M").arg(minutes);
        return;
    }
    event.AlarmTrigger = FormatIcsUtcTime(AddSeconds(IcsToUtc(*start), -std::int64_t{minutes} * 60));
}

// The event's start and end for the peer.
struct EventSpan {
    bool allDay = false;
    std::optional<SystemTime> startUtc;   // timed
    std::optional<SystemTime> startDate;  // all-day
    std::optional<SystemTime> end;        // UTC, or a date for all-day events
};

// A time that is no date is left out, and named in `leftOut`: the event is served without it
// rather than refused, since the change check lists it and a peer must be able to fetch what it
// was told of (an Exchange file's misplaced quote, TZID="W. Europe Standard Time:2020...", is one).
std::optional<IcsDateTime> ReadableIcsDate(const QString& value, const QString& tzid, const char* property,
                                           QStringList& leftOut)
{
    if (value.isEmpty()) return std::nullopt;
    std::optional<IcsDateTime> parsed = ParseIcsDateTime(value, tzid);
    if (!parsed)
        leftOut.append(QStringLiteral("%1 \"%2\" is no date").arg(QLatin1String(property), value.left(40)));
    return parsed;
}

EventSpan SpanOf(const VEventRecord& event, QStringList& leftOut)
{
    EventSpan span;
    const std::optional<IcsDateTime> start = ReadableIcsDate(event.DtStart, event.DtStartTzid, "DTSTART", leftOut);
    const std::optional<IcsDateTime> end = ReadableIcsDate(event.DtEnd, event.DtEndTzid, "DTEND", leftOut);
    const std::optional<std::int64_t> duration = ParseIcsDurationSeconds(event.Duration);
    span.allDay = event.AllDay || (start && start->kind == IcsDateTime::Kind::Date);
    if (!start) return span;
    if (span.allDay) {
        SystemTime day = start->fields;
        day.wHour = day.wMinute = day.wSecond = 0;
        span.startDate = day;
        if (end) {
            SystemTime endDay = IcsToLocal(*end);
            endDay.wHour = endDay.wMinute = endDay.wSecond = 0;
            span.end = endDay;
        } else {
            span.end = AddSeconds(day, duration && *duration > 0 ? *duration : 86400);
        }
        return span;
    }
    span.startUtc = IcsToUtc(*start);
    if (end)
        span.end = IcsToUtc(*end);
    else if (duration)
        span.end = AddSeconds(*span.startUtc, *duration);
    return span;
}

QString PeerText(const SystemTime& t)
{
    const std::optional<double> date = SystemTimeToOleDate(t);
    if (!date) throw AgentError("calendar event with a start or end beyond the dates that can be sent");
    return DateToText(*date);
}

// Minutes from the trigger to the start, rounded up; a trigger after the start is negative.
std::int32_t ReminderMinutes(const VEventRecord& event, const EventSpan& span)
{
    if (const std::optional<std::int64_t> offset = ParseIcsDurationSeconds(event.AlarmTrigger)) {
        const std::int64_t before = -*offset;
        return static_cast<std::int32_t>(before >= 0 ? (before + 59) / 60 : -((-before) / 60));
    }
    const std::optional<IcsDateTime> trigger = ParseIcsDateTime(event.AlarmTrigger);
    if (!trigger) return 0;
    const std::optional<SystemTime> start =
        span.startUtc
            ? span.startUtc
            : (span.startDate ? std::optional<SystemTime>(LocalTimeToUtc(*span.startDate)) : std::nullopt);
    if (!start) return 0;
    const std::int64_t before = SecondsBetween(IcsToUtc(*trigger), *start);
    return static_cast<std::int32_t>(before >= 0 ? (before + 59) / 60 : -((-before) / 60));
}

double DayNumber(const SystemTime& t)
{
    SystemTime day = t;
    day.wHour = day.wMinute = day.wSecond = day.wMilliseconds = 0;
    return SystemTimeToOleDate(day).value_or(0.0);
}

}  // namespace

AppointmentRequest ApplyAppointmentFields(const ItemRecord& record, VEventRecord& event)
{
    AppointmentRequest request;
    for (int i = 0; i < record.FieldCount(); ++i)
        if (record.names[i] == u"Categories") request.calendarName = ItemValueText(record.values[i]).trimmed();

    const EventForm form = FormOf(event);
    RecurrenceKeys keys;
    std::optional<std::int32_t> reminder;
    for (int i = 0; i < record.FieldCount(); ++i) {
        const QString& name = record.names[i];
        const ItemValue& value = record.values[i];
        if (name == u"Subject") {
            event.Summary = EscapeIcsText(ItemValueText(value));
        } else if (name == u"Body") {
            event.Description = EscapeIcsText(ItemValueText(value));
        } else if (name == u"Location") {
            event.Location = EscapeIcsText(ItemValueText(value));
        } else if (name == u"Start") {
            const QString text = ItemValueText(value).trimmed();
            if (text.isEmpty()) continue;
            const PeerDate date = ReadPeerDate(name, text, form);
            event.DtStart = date.stored;
            event.DtStartTzid = date.tzid;
            event.AllDay = date.dateOnly ? 1 : 0;
            request.startGiven = true;
        } else if (name == u"End") {
            const QString text = ItemValueText(value).trimmed();
            event.Duration.clear();
            const PeerDate date = text.isEmpty() ? PeerDate{} : ReadPeerDate(name, text, form);
            event.DtEnd = date.stored;
            event.DtEndTzid = date.tzid;
            request.endGiven = true;
        } else if (name == u"ReminderMinutesBeforeStart") {
            reminder = ItemValueInteger(value);
            request.reminderGiven = true;
        } else if (name == u"IsRecurring") {
            request.isRecurring = ItemValueInteger(value).value_or(0);
        } else if (name == u"RecurrenceType") {
            keys.type = ItemValueInteger(value);
        } else if (name == u"Interval") {
            keys.interval = ItemValueInteger(value);
        } else if (name == u"Occurrences") {
            keys.occurrences = ItemValueInteger(value);
        } else if (name == u"PatternEndDate") {
            keys.patternEnd = ItemValueText(value).trimmed();
        } else if (name == u"DayOfWeekMask") {
            keys.dayMask = ItemValueInteger(value);
        } else if (name == u"Instance") {
            keys.instance = ItemValueInteger(value);
        } else if (name == u"MonthOfYear") {
            keys.monthOfYear = ItemValueInteger(value);
        } else if (name == u"NoEndDate") {
            keys.noEndDate = ItemValueInteger(value);
        }
    }

    // The recurrence keys count only for a record that says the appointment recurs.
    if (request.isRecurring && *request.isRecurring != 0) request.ruleGiven = BuildRule(keys, event);
    if (!request.ruleGiven) ClearRule(event);
    if (request.reminderGiven) {
        if (reminder)
            BuildAlarm(event, *reminder);
        else
            request.reminderGiven = false;
    }
    return request;
}

QStringList AppendAppointmentFields(const VEventRecord& event, const QString& calendarName, ItemRecord& record)
{
    QStringList leftOut;
    const EventSpan span = SpanOf(event, leftOut);
    record.Add(QStringLiteral("Subject"), UnescapeIcsText(event.Summary));
    record.Add(QStringLiteral("Body"), UnescapeIcsText(event.Description));
    record.Add(QStringLiteral("Location"), UnescapeIcsText(event.Location));
    if (span.allDay) record.Add(QStringLiteral("AllDayEvent"), std::int32_t{1});
    if (span.startDate)
        record.Add(QStringLiteral("Start"), PeerText(*span.startDate));
    else if (span.startUtc)
        record.Add(QStringLiteral("Start"), PeerText(*span.startUtc));
    else
        record.Add(QStringLiteral("Start"), QString());
    if (span.end) record.Add(QStringLiteral("End"), PeerText(*span.end));
    if (!event.AlarmTrigger.isEmpty())
        record.Add(QStringLiteral("ReminderMinutesBeforeStart"), ReminderMinutes(event, span));
    if (!event.Rrule.isEmpty()) record.Add(QStringLiteral("IsRecurring"), std::int32_t{1});
    record.Add(QStringLiteral("Categories"), calendarName);
    return leftOut;
}

bool IsEventInDateWindow(const VEventRecord& event, std::int16_t weeksBack, std::int16_t weeksAhead,
                         const SystemTime& today)
{
    const double now = DayNumber(today);
    const double windowStart = now - (weeksBack * 7 + 1);
    const double windowEnd = now + (weeksAhead * 7 + 1);
    const std::optional<IcsDateTime> start = StartOf(event);
    const double startDay = start ? DayNumber(IcsToLocal(*start)) : 0.0;
    std::optional<double> endDay;
    if (const std::optional<IcsDateTime> end = EndOf(event)) {
        endDay = DayNumber(IcsToLocal(*end));
    } else if (const std::optional<std::int64_t> duration = ParseIcsDurationSeconds(event.Duration);
               duration && start) {
        endDay = DayNumber(AddSeconds(IcsToLocal(*start), *duration));
    }
    if (weeksAhead != -1 && startDay > windowEnd) return false;
    if (weeksBack == -1) return true;
    return !event.Rrule.isEmpty() || !endDay || windowStart <= *endDay;
}

SystemTime LocalNow()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    SystemTime utc;
    utc.wYear = now.date().year();
    utc.wMonth = now.date().month();
    utc.wDay = now.date().day();
    utc.wHour = now.time().hour();
    utc.wMinute = now.time().minute();
    utc.wSecond = now.time().second();
    return UtcToLocalTime(utc);
}

QString ZonedMoments(const VEventRecord& event)
{
    QString moments;
    for (const auto& [value, tzid] : {std::pair{&event.DtStart, &event.DtStartTzid}, std::pair{&event.DtEnd, &event.DtEndTzid}}) {
        const std::optional<IcsDateTime> t = ParseIcsDateTime(*value, *tzid);
        if (t && t->kind == IcsDateTime::Kind::Local && t->zone.isValid()) moments += FormatIcsUtcTime(IcsToUtc(*t));
        moments += u';';
    }
    return moments == u";;" ? QString() : moments;
}
