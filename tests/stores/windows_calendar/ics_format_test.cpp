// The iCalendar layer of the calendar store: lines as other programs write them (line ends,
// folding, byte-order mark), the event reader and writer, and text escapes.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "common/errors.h"
#include "stores/windows_calendar/appointment_fields.h"
#include "stores/windows_calendar/ics_calendar.h"
#include "stores/windows_calendar/ics_lines.h"
#include "stores/windows_calendar/vevent.h"
#include "support/golden_files.h"
#include "support/scoped_time_zone.h"

namespace {

QByteArray ReadData(const QString& name)
{
    QFile file(QStringLiteral(TWINLARK_TEST_DATA "/ics/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

// The golden listing: components that are not events, then every event's non-empty fields.
QString Describe(const IcsCalendar& calendar)
{
    QString out;
    for (const IcsCalendar::Component& c : calendar.OtherComponents()) out += "component " + c.name + "\n";
    for (const IcsCalendar::Event& e : calendar.Events()) {
        if (!out.isEmpty()) out += "\n";
        out += "event " + e.uid + (e.isOverride ? " (changed occurrence)" : "") + "\n";
        VEventRecord r;
        ParseVEvent(r, calendar.EventLines(e));
        EXPECT_EQ(r.Uid, e.uid);
        const auto field = [&](const char* name, const QString& value) {
            if (!value.isEmpty()) out += QLatin1String(name) + "=" + value + "\n";
        };
        field("Rrule", r.Rrule);
        field("Summary", r.Summary);
        field("Description", r.Description);
        field("Location", r.Location);
        field("Url", r.Url);
        field("DtStamp", r.DtStamp);
        field("DtStart", r.DtStart);
        field("DtEnd", r.DtEnd);
        field("Duration", r.Duration);
        if (r.AllDay) field("AllDay", QString::number(r.AllDay));
        if (r.HasAlarm) field("HasAlarm", QString::number(r.HasAlarm));
        field("AlarmAction", r.AlarmAction);
        field("AlarmDescription", r.AlarmDescription);
        field("AlarmTrigger", r.AlarmTrigger);
        field("AlarmUid", r.AlarmUid);
    }
    return out;
}

class IcsGoldenTest : public testing::TestWithParam<GoldenCase> {};

TEST_P(IcsGoldenTest, ReadsEveryEventAsListedBesideTheFile)
{
    const IcsCalendar calendar(GetParam().Input());
    ExpectGolden(GetParam(), Describe(calendar).toUtf8());
    EXPECT_GE(calendar.LastCalendarEnd(), 0);
}

INSTANTIATE_TEST_SUITE_P(OtherPrograms, IcsGoldenTest, testing::ValuesIn(GoldenCases("ics", ".ics")),
                         GoldenCaseName);

TEST(IcsLinesTest, KeepsEveryByteAndJoinsFoldedLines)
{
    struct Case {
        const char* what;
        QByteArray bytes;
        QStringList lines;
        QByteArray lineEnd;
    };
    const Case cases[] = {
        {"CR LF", "A:1\r\nB:2\r\n", {"A:1", "B:2"}, "\r\n"},
        {"LF only", "A:1\nB:2\n", {"A:1", "B:2"}, "\n"},
        {"a lone CR stays in its line", "A:1\rx\nB:2", {"A:1\rx", "B:2"}, "\n"},
        {"last line without end", "A:1\r\nB:2", {"A:1", "B:2"}, "\r\n"},
        {"blank and tab continue", "A:1\r\n 2\r\n\t3\r\nB:4\r\n", {"A:123", "B:4"}, "\r\n"},
        {"a fold inside a UTF-8 sequence",
         "A:S\xC3\r\n \xBC"
         "d\r\n",
         {"A:S\xC3\xBC"
          "d"},
         "\r\n"},
        {"byte-order mark belongs to no line",
         "\xEF\xBB\xBF"
         "A:1\n",
         {"A:1"},
         "\n"},
        {"continuation at the very start stands alone", " A:1\nB:2\n", {" A:1", "B:2"}, "\n"},
        {"empty lines stay lines", "A:1\n\nB:2\n\n", {"A:1", "", "B:2", ""}, "\n"},
        {"no line end at all", "A:1", {"A:1"}, "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const IcsLines lines(c.bytes);
        EXPECT_EQ(lines.Texts(), c.lines);
        EXPECT_EQ(lines.LineEnd(), c.lineEnd);
        // The raw lines together are the file, byte-order mark apart.
        const qsizetype bom = c.bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        EXPECT_EQ(lines.Raw(0, lines.Count() - 1), c.bytes.mid(bom));
    }
}

TEST(IcsLinesTest, SplitsPropertiesWithQuotedParameters)
{
    const IcsProperty p =
        SplitIcsProperty(QStringLiteral("dtstart;TZID=\"(UTC+01:00) Berlin\";X=1:20090120T100000"));
    EXPECT_EQ(p.name, "DTSTART");
    EXPECT_EQ(p.params, QStringList({"TZID=\"(UTC+01:00) Berlin\"", "X=1"}));
    EXPECT_EQ(p.value, "20090120T100000");
    EXPECT_EQ(SplitIcsProperty("URL:http://x/a:b").value, "http://x/a:b");
    // An unquoted zone name with a colon: a date value is what follows the last one.
    EXPECT_EQ(IcsDateValue("DTSTART;TZID=(UTC+01:00) Amsterdam:20090120T100000"), "20090120T100000");
}

VEventRecord Parse(const QString& block)
{
    VEventRecord r;
    ParseVEvent(r, IcsLines(block.toUtf8()).Texts());
    return r;
}

TEST(ParseVEventTest, ReadsEachPropertyWhereItBelongs)
{
    const VEventRecord r = Parse(
        "BEGIN:VEVENT\n"
        "UID:EVENT\n"
        "DESCRIPTION:event text\\nwith a break\n"
        "DTSTART;VALUE=DATE:20090302\n"
        "DTEND;VALUE=DATE:20090305\n"
        "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE\n"
        "BEGIN:VALARM\n"
        "UID:ALARM-UID\n"
        "DESCRIPTION:alarm text\n"
        "TRIGGER;VALUE=DATE-TIME:20090301T084500Z\n"
        "X-WR-ALARMUID:1D6E2C4A-0000-4000-8000-000000000001\n"
        "ACTION:DISPLAY\n"
        "END:VALARM\n"
        "END:VEVENT\n");
    EXPECT_EQ(r.Uid, "EVENT");
    EXPECT_EQ(r.Description, "event text\\nwith a break");
    EXPECT_EQ(r.AllDay, 1);
    EXPECT_EQ(r.DtStart, "20090302");
    EXPECT_EQ(r.DtEnd, "20090305");
    EXPECT_EQ(r.Rrule, "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE");
    EXPECT_TRUE(r.FreqPart.isEmpty() && r.ByDayPart.isEmpty());
    EXPECT_EQ(r.HasAlarm, 1);
    EXPECT_EQ(r.AlarmDescription, "alarm text");
    EXPECT_EQ(r.AlarmTrigger, "20090301T084500Z");
    // The alarm's identifier comes from its own line, whichever line ends the alarm.
    EXPECT_EQ(r.AlarmUid, "1D6E2C4A-0000-4000-8000-000000000001");
}

TEST(ParseVEventTest, TakesDateValuesFromTheirOwnLine)
{
    struct Case {
        const char* what;
        const char* lines;
        const char* start;
        const char* end;
        int allDay;
    };
    const Case cases[] = {
        {"zone named",
         "DTSTART;TZID=Europe/Berlin:20090120T100000\nDTEND;TZID=Europe/Berlin:20090120T110000\n",
         "20090120T100000", "20090120T110000", 0},
        {"folded before the value",
         "DTSTART;TZID=\n Europe/Berlin:20090120T100000\nDTEND;TZID=Europe/Berlin:\n 20090120T110000\n",
         "20090120T100000", "20090120T110000", 0},
        {"last in its block",
         "DTEND;TZID=Europe/Berlin:20090120T110000\nDTSTART;TZID=Europe/Berlin:20090120T100000\n",
         "20090120T100000", "20090120T110000", 0},
        {"UTC mark kept", "DTSTART:20090120T090000Z\nDTEND:20090120T100000Z\n", "20090120T090000Z",
         "20090120T100000Z", 0},
        {"explicit date-time", "DTSTART;VALUE=DATE-TIME:20090120T100000\n", "20090120T100000", "", 0},
        {"quoted zone with colons", "DTSTART;TZID=\"(UTC+01:00) Amsterdam, Berlin\":20090120T100000\n",
         "20090120T100000", "", 0},
        {"all-day", "DTSTART;VALUE=DATE:20090302\nDTEND;VALUE=DATE:20090305\n", "20090302", "20090305", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const VEventRecord r = Parse(QStringLiteral("BEGIN:VEVENT\n") + c.lines + "END:VEVENT\n");
        EXPECT_EQ(r.DtStart, c.start);
        EXPECT_EQ(r.DtEnd, c.end);
        EXPECT_EQ(r.AllDay, c.allDay);
    }
}

TEST(ParseVEventTest, ReadsFoldedTextWholeAndLeavesEscapes)
{
    const VEventRecord r = Parse(
        "BEGIN:VEVENT\r\nSUMMARY:first part\r\n  and the rest\r\nLOCATION:a\\\\b\\nc\r\n"
        "SUMMARY;LANGUAGE=de:later wins\r\nEND:VEVENT\r\n");
    EXPECT_EQ(r.Summary, "later wins");
    EXPECT_EQ(r.Location, "a\\\\b\\nc");
    EXPECT_EQ(Parse("BEGIN:VEVENT\nSUMMARY:first part\n  and the rest\nEND:VEVENT\n").Summary,
              "first part and the rest");
}

QString Written(const VEventRecord& r)
{
    QStringList lines;
    WriteVEvent(lines, r);
    for (const QString& line : lines) EXPECT_TRUE(line.endsWith('\n') && line.count('\n') == 1);
    return lines.join(QString());
}

TEST(WriteVEventTest, WritesTheFixedOrder)
{
    EXPECT_EQ(Written(VEventRecord{}), "BEGIN:VEVENT\nDTSTAMP:\nDTSTART:\nUID:\nEND:VEVENT\n");

    VEventRecord r;
    r.Description = "d";
    r.DtStamp = "20090110T101700Z";
    r.DtStart = "20090120T100000";
    r.DtEnd = "20090120T110000";
    r.Duration = "PT1H";
    r.Location = "Room 1, floor 2; left";
    r.FreqPart = "WEEKLY";
    r.IntervalPart = "2";
    r.ByDayPart = "MO,WE";
    r.Summary = "a, b; c";
    r.Uid = "U";
    r.Url = "http://example.com/";
    r.HasAlarm = 1;
    r.AlarmAction = "DISPLAY";
    r.AlarmDescription = "Reminder";
    r.AlarmTrigger = "-PT15M";
    r.AlarmUid = "A";
    EXPECT_EQ(Written(r),
              "BEGIN:VEVENT\nDESCRIPTION:d\nDTSTAMP:20090110T101700Z\nDTSTART:20090120T100000\n"
              "DURATION:PT1H\nLOCATION:Room 1, floor 2; left\nRRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE\n"
              "SUMMARY:a, b; c\nUID:U\nURL:http://example.com/\nBEGIN:VALARM\nACTION:DISPLAY\n"
              "DESCRIPTION:Reminder\nTRIGGER:-PT15M\nX-WR-ALARMUID:A\nEND:VALARM\nEND:VEVENT\n");
}

TEST(WriteVEventTest, ReadsBackWhatItWrites)
{
    struct Case {
        const char* what;
        VEventRecord record;
        const char* line;
    };
    VEventRecord allDay;
    allDay.AllDay = 1;
    allDay.DtStart = "20090302";
    allDay.DtEnd = "20090305";
    VEventRecord dateTimeTrigger;
    dateTimeTrigger.HasAlarm = 1;
    dateTimeTrigger.AlarmTrigger = "20090120T084500Z";
    VEventRecord longDuration = dateTimeTrigger;
    longDuration.AlarmTrigger = "-PT120M";
    VEventRecord rule;
    rule.FreqPart = "YEARLY";
    rule.ByDayPart = "2MO";
    rule.ByMonthPart = "5";
    rule.UntilPart = "20120514T080000Z";
    const Case cases[] = {
        {"all-day start and end", allDay, "DTSTART;VALUE=DATE:20090302\nDTEND;VALUE=DATE:20090305\n"},
        {"date-time trigger", dateTimeTrigger, "TRIGGER;VALUE=DATE-TIME:20090120T084500Z\n"},
        {"a duration longer than six characters", longDuration, "TRIGGER:-PT120M\n"},
        {"rule parts in order", rule, "RRULE:FREQ=YEARLY;UNTIL=20120514T080000Z;BYDAY=2MO;BYMONTH=5\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString text = Written(c.record);
        EXPECT_TRUE(text.contains(QLatin1String(c.line))) << text.toStdString();
        VEventRecord back;
        back.Rrule = JoinRuleParts(c.record);
        QStringList lines = text.split('\n', Qt::SkipEmptyParts);
        ParseVEvent(back, lines);
        EXPECT_EQ(back.DtStart, c.record.DtStart);
        EXPECT_EQ(back.DtEnd, c.record.DtEnd);
        EXPECT_EQ(back.AllDay, c.record.AllDay);
        EXPECT_EQ(back.AlarmTrigger, c.record.AlarmTrigger);
        EXPECT_EQ(back.Rrule, JoinRuleParts(c.record));
    }
}

TEST(IcsTextEscapesTest, RoundTripsBreaksAndBackslashes)
{
    EXPECT_EQ(EscapeIcsText("a\\b\r\nc\nd\re, f; g"), "a\\\\b\\nc\\nd\\ne, f; g");
    EXPECT_EQ(UnescapeIcsText("a\\\\b\\nc\\Nd\\,e\\;f\\xg\\"), "a\\b\nc\nd,e;f\\xg\\");
    for (const char* text : {"plain", "C:\\Daten\\neu", "two\nlines", "\\n literally", ""})
        EXPECT_EQ(UnescapeIcsText(EscapeIcsText(text)), text);
}

TEST(IcsCalendarTest, EventsNeverOverlap)
{
    struct Case {
        const char* what;
        const char* file;
        std::vector<std::pair<int, int>> events;  // begin and end lines
        QStringList others;
    };
    const Case cases[] = {
        {"an unfinished event",
         "BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:A\nBEGIN:VEVENT\nUID:B\nEND:VEVENT\nEND:VCALENDAR\n",
         {{3, 5}},
         {}},
        {"an END without BEGIN",
         "BEGIN:VCALENDAR\nEND:VEVENT\nEND:VTODO\nBEGIN:VTODO\nEND:VTODO\nEND:VCALENDAR\n",
         {},
         {"VTODO"}},
        {"a task inside a task",
         "BEGIN:VCALENDAR\nBEGIN:VTODO\nBEGIN:VTODO\nEND:VTODO\nEND:VTODO\nEND:VCALENDAR\n",
         {},
         {"VTODO", "VTODO"}},
        {"an alarm of a task",
         "BEGIN:VCALENDAR\nBEGIN:VTODO\nBEGIN:VALARM\nEND:VALARM\nEND:VTODO\nEND:VCALENDAR\n",
         {},
         {"VTODO"}},
        {"no calendar end", "BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:A\nEND:VEVENT\n", {{1, 3}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const IcsCalendar calendar(QByteArray(c.file));
        std::vector<std::pair<int, int>> events;
        for (const IcsCalendar::Event& e : calendar.Events()) events.emplace_back(e.begin, e.end);
        EXPECT_EQ(events, c.events);
        QStringList others;
        for (const IcsCalendar::Component& o : calendar.OtherComponents()) others.append(o.name);
        EXPECT_EQ(others, c.others);
    }
}

TEST(IcsCalendarTest, FindsEventsByTheirOwnUidOnly)
{
    const IcsCalendar calendar(ReadData("lightning-crlf.ics"));
    // The first event's identifier also stands in another event's DESCRIPTION and RELATED-TO.
    EXPECT_EQ(calendar.EventsWithUid("6C1D2A4E-3F5B-4C6D-8E9F-0A1B2C3D4E5F").size(), 1u);
    // A task's UID names no event.
    EXPECT_TRUE(calendar.EventsWithUid("9A8B7C6D-1E2F-4A3B-8C4D-5E6F7A8B9C0D").empty());
    EXPECT_TRUE(calendar.EventsWithUid("6C1D2A4E-3F5B-4C6D-8E9F-0A1B2C3D4E5").empty());
    const IcsCalendar series(ReadData("google-lf.ics"));
    EXPECT_EQ(series.EventsWithUid("A1B2C3D4-E5F6-4789-9ABC-DEF012345678"), (std::vector<int>{0, 1}));
}

}  // namespace

namespace {

// Damaged files (cut anywhere, folds and line ends broken) are read without fault: the sanitizer
// builds watch every read, and a value that is no date is an error, never a crash.
TEST(IcsRobustnessTest, EveryPrefixOfAFileIsReadWithoutFault)
{
    ScopedTimeZone zone("Europe/Berlin");
    for (const char* name : {"lightning-crlf.ics", "google-lf.ics"}) {
        const QByteArray whole = ReadData(name);
        for (qsizetype cut = 0; cut <= whole.size(); cut += 7) {
            QByteArray bytes = whole.left(cut);
            bytes.replace("T1", "T9").replace("\r\n ", "\r\n");
            const IcsCalendar calendar(bytes);
            for (const IcsCalendar::Event& e : calendar.Events()) {
                VEventRecord r;
                ParseVEvent(r, calendar.EventLines(e));
                ItemRecord record;
                try {
                    AppendAppointmentFields(r, "C", record);
                } catch (const AgentError&) {
                }
            }
        }
    }
}

}  // namespace
