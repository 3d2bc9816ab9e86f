#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>

// One calendar event (a VEVENT block) in the few properties the calendar store maps to an
// appointment. Values are kept as the file holds them, escapes included (EscapeIcsText and
// UnescapeIcsText convert); dates are the file's texts too: YYYYMMDD for a date, YYYYMMDDTHHMMSS
// for a local wall-clock time, the same with a final "Z" for UTC.
struct VEventRecord {
    QString Rrule;     // the whole RRULE value as read; never written
    QString FreqPart;  // the rule parts the writer joins into RRULE
    QString IntervalPart;
    QString CountPart;
    QString UntilPart;
    QString ByMonthDayPart;
    QString ByDayPart;  // "MO,WE", "2MO", "-1FR"
    QString ByMonthPart;
    QString BySetPosPart;
    QString Description;
    QString DtStamp;
    QString DtStart;
    QString DtEnd;
    QString DtStartTzid;  // the TZID parameter of DTSTART and DTEND, quotes removed; empty for none
    QString DtEndTzid;
    QString Duration;
    QString Location;
    QString Summary;
    QString Uid;
    QString Url;
    QString AlarmAction;
    QString AlarmDescription;
    QString AlarmTrigger;  // a duration ("-PT15M") or a UTC date-time ("20090120T084500Z")
    QString AlarmUid;
    std::int32_t HasAlarm = 0;
    std::int32_t AllDay = 0;  // the start is a date ("DTSTART;VALUE=DATE:")

    friend bool operator==(const VEventRecord&, const VEventRecord&) = default;
};

// Fills a fresh record from the unfolded lines of one VEVENT block ("BEGIN:VEVENT" to
// "END:VEVENT"). Property names are compared without regard to case and may carry parameters;
// lines of the event's alarm (the last VALARM) fill the alarm fields, an alarm's UID or
// DESCRIPTION never the event's. Lines it does not know are ignored.
void ParseVEvent(VEventRecord& record, const QStringList& lines);

// Appends the lines of one VEVENT block for the record, each ending in "\n", never folded, with
// no control character but TAB in any value (line breaks become "\n", the others are dropped).
// DTSTART is always written; DURATION when set, else DTEND when set; RRULE when a rule part
// is set; the alarm when HasAlarm is not 0. A timed DTSTART or DTEND carries its TZID when set.
void WriteVEvent(QStringList& lines, const VEventRecord& record);

// The RRULE value of the record's rule parts, empty when none is set.
QString JoinRuleParts(const VEventRecord& record);

// Property names that WriteVEvent produces for an event (components not counted).
bool IsWrittenEventProperty(const QString& upperName);

// Text values: "\" becomes "\\" and every line break (CR LF, LF, CR, and the vertical tab and
// form feed that pasted manual line breaks are) "\n" on the way in;
// "\\", "\n", "\N", "\," and "\;" are turned back on the way out.
QString EscapeIcsText(const QString& text);
QString UnescapeIcsText(const QString& value);
