// The Windows Calendar store through the dispatcher, in a temporary home and a fixed zone
// (Europe/Berlin: UTC+1 in winter, UTC+2 from the last Sunday of March).

#include "stores/windows_calendar/appointment_win_vista.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <functional>

#include "common/crc32.h"
#include "dispatch/request_codes.h"
#include "stores/catalog/store_set.h"
#include "stores/windows_calendar/ics_calendar.h"
#include "support/dispatch_harness.h"
#include "support/permissions_bind_root.h"
#include "support/scoped_time_zone.h"
#include "wire/message_header.h"

namespace {

const QString kCalendars = QStringLiteral(".local/share/Microsoft/Windows Calendar/Calendars/");
const QString kPlanning = QStringLiteral("6C1D2A4E-3F5B-4C6D-8E9F-0A1B2C3D4E5F000000000000");
const QString kFair = QStringLiteral("0F8E7D6C-5B4A-4938-8271-6A5B4C3D2E1F000000000000");
const QString kFollowUp = QStringLiteral("2B3C4D5E-6F70-4182-93A4-B5C6D7E8F901000000000000");
const QString kDentist = QStringLiteral("3C4D5E6F-7081-4293-A4B5-C6D7E8F90A12000000000000");
const QString kChoir = QStringLiteral("A1B2C3D4-E5F6-4789-9ABC-DEF012345678000000000000");
const QString kUnknown = QStringLiteral("11111111-2222-4333-8444-555555555555000000000000");

QByteArray Golden(const QString& name)
{
    QFile file(QStringLiteral(TWINLARK_TEST_DATA "/ics/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

ItemRecord Record(std::initializer_list<std::pair<const char*, ItemValue>> fields)
{
    ItemRecord record;
    for (const auto& [name, value] : fields) record.Add(QString::fromLatin1(name), value);
    return record;
}

// A record as text, so that a failed comparison shows which field differs. Empty texts are left
// out, as the wire leaves them out.
std::string Show(const ItemRecord& record)
{
    std::string out;
    for (int i = 0; i < record.FieldCount(); ++i) {
        const ItemValue& v = record.values[static_cast<std::size_t>(i)];
        if (!IsIntegerValue(v) && std::get<QString>(v).isEmpty()) continue;
        out += record.names[i].toStdString() + " = " +
               (IsIntegerValue(v) ? std::to_string(std::get<std::int32_t>(v))
                                  : "\"" + std::get<QString>(v).toStdString() + "\"") +
               "\n";
    }
    return out;
}

// A field's value; a text saying so when the record lacks it.
ItemValue Field(const ItemRecord& record, const char* name)
{
    const int at = record.IndexOf(QString::fromLatin1(name));
    return at < 0 ? ItemValue(QStringLiteral("(no %1)").arg(name))
                  : record.values[static_cast<std::size_t>(at)];
}

ItemValue Text(const char* text)
{
    return QString::fromUtf8(text);
}

// The block of the event `uid` in a file, line ends included.
QByteArray BlockOf(const QByteArray& file, const QString& id)
{
    const IcsCalendar calendar(file);
    const std::vector<int> blocks = calendar.EventsWithUid(id.left(36));
    if (blocks.empty()) return {};
    const IcsCalendar::Event& e = calendar.Events()[static_cast<std::size_t>(blocks.front())];
    return calendar.Lines().Raw(e.begin, e.end);
}

class WindowsCalendar : public testing::Test {
protected:
    WindowsCalendar()
    {
        // The catalogue's own store for appointments source 1, with the agent's log.
        h.agent.agentId = 1;
    }

    CAppointmentWinVista& Store()
    {
        return dynamic_cast<CAppointmentWinVista&>(*h.agent.stores->Select(ItemKind::Appointments, 1));
    }
    void Plant(const QString& name, const QByteArray& bytes) { h.home.WriteFile(kCalendars + name, bytes); }
    QByteArray File(const QString& name) { return h.home.ReadFile(kCalendars + name).value_or("(missing)"); }
    bool Exists(const QString& name) { return h.home.Exists(kCalendars + name); }
    QStringList Files()
    {
        return QDir(h.home.Path(kCalendars)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // Every calendar file's bytes, to show that a failed request touched none.
    QMap<QString, QByteArray> Snapshot()
    {
        QMap<QString, QByteArray> files;
        for (const QString& name : Files()) files.insert(name, File(name));
        return files;
    }

    ParsedChangeReport Check(std::uint16_t weeksBack = 0xFFFF, std::uint16_t weeksAhead = 0xFFFF)
    {
        const SentMessage reply = h.Send(AS_CHECK_APPOINTS, U16Bytes(weeksBack) + U16Bytes(weeksAhead));
        EXPECT_EQ(reply.code, AS_CHECK_APPOINTS + 1);
        return ParseChangeReport(reply.payload);
    }
    void SaveState() { EXPECT_EQ(h.Send(AS_SAVE_APPOINTS_STATE).code, AS_SAVE_APPOINTS_STATE + 1); }
    QString Add(const ItemRecord& record)
    {
        const SentMessage reply = h.Send(AS_ADD_APPOINT, ItemBlob({}, record));
        EXPECT_EQ(reply.code, AS_ADD_APPOINT + 1);
        if (reply.payload.size() < 96) return {};
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(reply.payload.constData()), 48);
    }
    ItemRecord Get(const QString& id)
    {
        const SentMessage reply = h.Send(AS_GET_APPOINT, Utf16z(id));
        EXPECT_EQ(reply.code, AS_GET_APPOINT + 1) << h.TakeLogLines().join('\n').toStdString();
        if (reply.code != AS_GET_APPOINT + 1) return {};
        return DecodeBlob(reply.payload);
    }
    std::uint16_t Set(const QString& id, const ItemRecord& record)
    {
        return h.Send(AS_SET_APPOINT, ItemBlob(id, record)).code;
    }
    std::uint16_t Delete(const QString& id) { return h.Send(AS_DEL_APPOINT, Utf16z(id)).code; }

    ScopedTimeZone zone{"Europe/Berlin"};
    DispatchHarness h;
};

// A new file: the header, the event, the trailer, every line ending in CR LF.
TEST_F(WindowsCalendar, CreatesTheDefaultCalendarWithExactBytes)
{
    const QString id = Add(Record({{"Start", Text("2009-01-20 10:00:00")},
                                   {"End", Text("01-20-2009 11:00:00")},
                                   {"Subject", Text("Line one\r\nline two \\ three")}}));
    ASSERT_EQ(id.size(), 48);
    ASSERT_TRUE(id.endsWith("000000000000"));
    const QString uid = id.left(36);
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(uid)
                    .hasMatch());
    QByteArray file = File("DefaultCalendar.ics");
    const QRegularExpression stamp("DTSTAMP:\\d{8}T\\d{6}Z\r\n");
    EXPECT_TRUE(stamp.match(QString::fromUtf8(file)).hasMatch());
    file = QString::fromUtf8(file).replace(stamp, "DTSTAMP:(now)\r\n").toUtf8();
    EXPECT_EQ(file.toStdString(), ("BEGIN:VCALENDAR\r\n"
                                   "VERSION:2.0\r\n"
                                   "PRODID:-//Ostrel Software//Twinlark 2.0\r\n"
                                   "CALSCALE:GREGORIAN\r\n"
                                   "METHOD:PUBLISH\r\n"
                                   "BEGIN:VEVENT\r\n"
                                   "DTSTAMP:(now)\r\n"
                                   "DTSTART:20090120T110000\r\n"
                                   "DTEND:20090120T120000\r\n"
                                   "SUMMARY:Line one\\nline two \\\\ three\r\n"
                                   "UID:" +
                                   uid +
                                   "\r\n"
                                   "END:VEVENT\r\n"
                                   "END:VCALENDAR\r\n")
                                      .toStdString());
    EXPECT_EQ(Show(Get(id)), Show(Record({{"Subject", Text("Line one\nline two \\ three")},
                                          {"Body", Text("")},
                                          {"Location", Text("")},
                                          {"Start", Text("01-20-2009 10:00:00")},
                                          {"End", Text("01-20-2009 11:00:00")},
                                          {"Categories", Text("DefaultCalendar")}})));
}

TEST_F(WindowsCalendar, AppendsBeforeTheLastCalendarEndInTheFilesOwnStyle)
{
    const QString first = Add(Record({{"Subject", Text("one")}, {"Categories", Text("Work")}}));
    const QByteArray before = File("Work.ics");
    const QString second = Add(Record({{"Subject", Text("two")}, {"Categories", Text("work")}}));
    const QByteArray after = File("Work.ics");
    EXPECT_EQ(Files(), QStringList{"Work.ics"}) << "calendar names are matched without regard to case";
    EXPECT_TRUE(after.startsWith(before.left(before.size() - 15)));
    EXPECT_EQ(after.count("END:VCALENDAR"), 1);
    EXPECT_TRUE(after.endsWith(BlockOf(after, second) + "END:VCALENDAR\r\n"));

    // Other programs' files: LF stays LF, the trailing blank line and the byte-order mark stay.
    Plant("Familie.ics", "\xEF\xBB\xBF" + Golden("google-lf.ics"));
    const QString third = Add(Record({{"Subject", Text("drei")}, {"Categories", Text("Familie")}}));
    const QByteArray family = File("Familie.ics");
    const QByteArray block = BlockOf(family, third);
    EXPECT_FALSE(block.contains('\r'));
    QByteArray expected = "\xEF\xBB\xBF" + Golden("google-lf.ics");
    expected.insert(expected.lastIndexOf("END:VCALENDAR\n"), block);
    EXPECT_EQ(family, expected);

    // A last line without a line end is ended; whatever follows END:VCALENDAR stays.
    Plant("Odd.ics", "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n\r\nX");
    const QString fourth = Add(Record({{"Subject", Text("vier")}, {"Categories", Text("Odd")}}));
    EXPECT_EQ(File("Odd.ics"),
              "BEGIN:VCALENDAR\r\n" + BlockOf(File("Odd.ics"), fourth) + "END:VCALENDAR\r\n\r\nX");
    EXPECT_EQ(Get(first).values[0], ItemValue(QString("one")));
}

TEST_F(WindowsCalendar, ListsOnlyEventsItServesOnce)
{
    Plant("Business.ics", Golden("lightning-crlf.ics"));
    Plant("Familie.ics", Golden("google-lf.ics"));
    h.TakeLogLines();
    const ParsedChangeReport report = Check();
    EXPECT_EQ(report.added, (QStringList{kPlanning, kFair, kFollowUp, kDentist, kChoir}));
    EXPECT_TRUE(h.TakeLogLines().contains(
        "Calendar event not served, its UID is not 36 characters: 7kq3m0c2v1h5p8r9t4@google.com in " +
        h.home.Path(kCalendars + "Familie.ics")));
    EXPECT_EQ(h.Send(AS_GET_CATEGORIES).payload, Utf16z("Business,Familie").chopped(2));
}

TEST_F(WindowsCalendar, ReadsOtherProgramsEvents)
{
    Plant("Business.ics", Golden("lightning-crlf.ics"));
    Plant("Familie.ics", Golden("google-lf.ics"));
    Check();
    EXPECT_EQ(
        Show(Get(kPlanning)),
        Show(Record({{"Subject",
                      Text("Quarterly planning with the regional sales team and the product owners of Süd")},
                     {"Body", Text("Agenda:\n1. Zahlen, Ziele\n2. Planung; Budget\nPfad C:\\Daten")},
                     {"Location", Text("Besprechungsraum Süd")},
                     {"Start", Text("01-20-2009 09:00:00")},
                     {"End", Text("01-20-2009 10:30:00")},
                     {"ReminderMinutesBeforeStart", 15},
                     {"Categories", Text("Business")}})));
    // Three days from "DTEND;VALUE=DATE:", not the start's next day.
    EXPECT_EQ(Show(Get(kFair)), Show(Record({{"Subject", Text("Messe Hannover")},
                                             {"Body", Text("")},
                                             {"Location", Text("")},
                                             {"AllDayEvent", 1},
                                             {"Start", Text("03-02-2009")},
                                             {"End", Text("03-05-2009")},
                                             {"Categories", Text("Business")}})));
    EXPECT_EQ(Field(Get(kFollowUp), "Start"), ItemValue(QString("01-27-2009 13:00:00")));
    EXPECT_EQ(Field(Get(kDentist), "Start"), ItemValue(QString("02-04-2009 08:00:00")));
    // A series is read from its own block, not from the changed occurrence before it; UTC stays UTC.
    EXPECT_EQ(Show(Get(kChoir)), Show(Record({{"Subject", Text("Chorprobe – Kirchengemeinde St. Jürgen")},
                                              {"Body", Text("")},
                                              {"Location", Text("Gemeindehaus, Großer Saal")},
                                              {"Start", Text("01-05-2009 17:00:00")},
                                              {"End", Text("01-05-2009 18:00:00")},
                                              {"ReminderMinutesBeforeStart", 1440},
                                              {"IsRecurring", 1},
                                              {"Categories", Text("Familie")}})));
}

TEST_F(WindowsCalendar, EndsFromDurationsAndDates)
{
    struct Case {
        const char* what;
        const char* lines;
        std::optional<const char*> end;
    };
    const Case cases[] = {
        {"one hour", "DTSTART:20090120T100000\r\nDURATION:PT1H\r\n", "01-20-2009 10:00:00"},
        {"half an hour", "DTSTART:20090120T100000\r\nDURATION:PT30M\r\n", "01-20-2009 09:30:00"},
        {"no end at all", "DTSTART:20090120T100000\r\n", std::nullopt},
        {"all-day without end", "DTSTART;VALUE=DATE:20090120\r\n", "01-21-2009"},
        {"all-day of two days", "DTSTART;VALUE=DATE:20090120\r\nDURATION:P2D\r\n", "01-22-2009"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Plant("C.ics", QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:") + kUnknown.left(36).toLatin1() +
                           "\r\n" + c.lines + "END:VEVENT\r\nEND:VCALENDAR\r\n");
        Check();
        const ItemRecord record = Get(kUnknown);
        const int end = record.IndexOf("End");
        if (c.end) {
            ASSERT_GE(end, 0);
            EXPECT_EQ(record.values[static_cast<std::size_t>(end)], ItemValue(QString(*c.end)));
        } else {
            EXPECT_EQ(end, -1);
        }
    }
}

TEST_F(WindowsCalendar, RemindersRoundTripAcrossTheClockChange)
{
    // 29 March 2009: clocks go from 02:00 CET to 03:00 CEST. Starts either side and across it.
    for (const char* start :
         {"03-29-2009 00:30:00", "03-29-2009 01:30:00", "03-28-2009 23:00:00", "01-20-2009 09:00:00"})
        for (int minutes : {0, 5, 15, 30, 60, 120, 240, 1440, 2880, 5760, 10080, 20160}) {
            SCOPED_TRACE(std::string(start) + " " + std::to_string(minutes));
            const QString id = Add(Record({{"Start", Text(start)}, {"ReminderMinutesBeforeStart", minutes}}));
            const ItemRecord back = Get(id);
            EXPECT_EQ(Field(back, "Start"), ItemValue(QString(start)));
            EXPECT_EQ(Field(back, "ReminderMinutesBeforeStart"), ItemValue(minutes));
        }
    // Local wall-clock times either side of the change: 00:30 UTC is 01:30 CET, 01:30 UTC 03:30 CEST.
    const QString id = Add(Record({{"Start", Text("03-29-2009 00:30:00")},
                                   {"End", Text("03-29-2009 01:30:00")},
                                   {"ReminderMinutesBeforeStart", 15},
                                   {"Categories", Text("Change")}}));
    const QByteArray block = BlockOf(File("Change.ics"), id);
    EXPECT_TRUE(block.contains("DTSTART:20090329T013000\r\nDTEND:20090329T033000\r\n"));
    EXPECT_TRUE(block.contains("TRIGGER;VALUE=DATE-TIME:20090329T001500Z\r\n"));
    EXPECT_TRUE(QRegularExpression(
                    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\n"
                    "TRIGGER;VALUE=DATE-TIME:\\d{8}T\\d{6}Z\r\nX-WR-ALARMUID:[0-9A-F-]{36}\r\nEND:VALARM\r\n")
                    .match(QString::fromLatin1(block))
                    .hasMatch());
}

TEST_F(WindowsCalendar, ReadsOtherProgramsTriggers)
{
    struct Case {
        const char* trigger;
        std::optional<int> minutes;
    };
    const Case cases[] = {{"TRIGGER:-PT5M", 5},
                          {"TRIGGER:-PT15M", 15},
                          {"TRIGGER:-PT1H", 60},
                          {"TRIGGER:-P1D", 1440},
                          {"TRIGGER:-P2W", 20160},
                          {"TRIGGER:-PT90M", 90},
                          {"TRIGGER;RELATED=START:PT0S", 0},
                          {"TRIGGER:junk", 0},
                          {"TRIGGER;VALUE=DATE-TIME:20090120T084500Z", 15},
                          {nullptr, std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trigger ? c.trigger : "none");
        QByteArray alarm =
            c.trigger ? QByteArray("BEGIN:VALARM\r\nACTION:DISPLAY\r\n") + c.trigger + "\r\nEND:VALARM\r\n"
                      : QByteArray();
        Plant("C.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:" + kUnknown.left(36).toLatin1() +
                           "\r\nDTSTART:20090120T100000\r\n" + alarm + "END:VEVENT\r\nEND:VCALENDAR\r\n");
        Check();
        const ItemRecord record = Get(kUnknown);
        const int at = record.IndexOf("ReminderMinutesBeforeStart");
        if (c.minutes) {
            ASSERT_GE(at, 0);
            EXPECT_EQ(record.values[static_cast<std::size_t>(at)], ItemValue(*c.minutes));
        } else {
            EXPECT_EQ(at, -1);
        }
    }
}

TEST_F(WindowsCalendar, WritesRecurrenceRules)
{
    struct Case {
        const char* what;
        ItemRecord record;
        const char* rule;  // nullptr: no RRULE line
    };
    const ItemValue start = Text("01-20-2009 09:00:00");  // 10:00 local
    const Case cases[] = {
        {"weekly",
         Record({{"Start", start},
                 {"IsRecurring", 1},
                 {"RecurrenceType", 1},
                 {"DayOfWeekMask", 10},
                 {"Interval", 2}}),
         "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE"},
        {"interval 1",
         Record({{"Start", start},
                 {"IsRecurring", 1},
                 {"RecurrenceType", 1},
                 {"DayOfWeekMask", 2},
                 {"Interval", 1}}),
         "FREQ=WEEKLY;BYDAY=MO"},
        {"second Monday",
         Record({{"Start", start},
                 {"IsRecurring", 1},
                 {"RecurrenceType", 3},
                 {"Instance", 2},
                 {"DayOfWeekMask", 2}}),
         "FREQ=MONTHLY;BYDAY=2MO"},
        {"last Friday",
         Record({{"Start", start},
                 {"IsRecurring", 1},
                 {"RecurrenceType", 3},
                 {"Instance", 5},
                 {"DayOfWeekMask", 32}}),
         "FREQ=MONTHLY;BYDAY=-1FR"},
        {"first weekday",
         Record({{"Start", start},
                 {"IsRecurring", 1},
                 {"RecurrenceType", 3},
                 {"Instance", 1},
                 {"DayOfWeekMask", 62}}),
         "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=1"},
        {"second Monday of May",
         Record({{"Start", start},
                 {"IsRecurring", 1},
                 {"RecurrenceType", 6},
                 {"Instance", 2},
                 {"DayOfWeekMask", 2},
                 {"MonthOfYear", 5}}),
         "FREQ=YEARLY;BYDAY=2MO;BYMONTH=5"},
        {"yearly on a date",
         Record({{"Start", start}, {"IsRecurring", 1}, {"RecurrenceType", 5}, {"MonthOfYear", 1}}),
         "FREQ=YEARLY"},
        {"ten times",
         Record({{"Start", start}, {"IsRecurring", 1}, {"RecurrenceType", 0}, {"Occurrences", 10}}),
         "FREQ=DAILY;COUNT=10"},
        {"no count of 0",
         Record({{"Start", start}, {"IsRecurring", 1}, {"RecurrenceType", 0}, {"Occurrences", 0}}),
         "FREQ=DAILY"},
        // The last start is 14 May 2012 at 10:00 local summer time, 08:00 UTC.
        {"until a date",
         Record({{"IsRecurring", 1},
                 {"RecurrenceType", 0},
                 {"PatternEndDate", Text("05-14-2012")},
                 {"Start", start}}),
         "FREQ=DAILY;UNTIL=20120514T080000Z"},
        {"until, all-day",
         Record({{"Start", Text("2009-01-20")},
                 {"IsRecurring", 1},
                 {"RecurrenceType", 0},
                 {"PatternEndDate", Text("2012-05-14")}}),
         "FREQ=DAILY;UNTIL=20120513T220000Z"},
        {"no end date",
         Record({{"Start", start},
                 {"IsRecurring", 1},
                 {"RecurrenceType", 0},
                 {"Occurrences", 10},
                 {"PatternEndDate", Text("05-14-2012")},
                 {"NoEndDate", 1}}),
         "FREQ=DAILY"},
        {"empty end date",
         Record({{"Start", start}, {"IsRecurring", 1}, {"RecurrenceType", 0}, {"PatternEndDate", Text("")}}),
         "FREQ=DAILY"},
        {"without IsRecurring", Record({{"Start", start}, {"RecurrenceType", 1}, {"DayOfWeekMask", 2}}),
         nullptr},
        {"IsRecurring 0",
         Record({{"Start", start}, {"IsRecurring", 0}, {"RecurrenceType", 1}, {"DayOfWeekMask", 2}}),
         nullptr},
    };
    // Add writes the rule, and so does Edit of an event that had none (UNTIL included).
    for (const Case& c : cases) {
        for (const bool edit : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (edit ? " (edit)" : " (add)"));
            ItemRecord record = c.record;
            record.Add("Categories", QString("R"));
            QString id;
            if (edit) {
                id = Add(Record({{"Start", Text("2001-01-01 08:00:00")}, {"Categories", Text("R")}}));
                ASSERT_EQ(Set(id, record), AS_SET_APPOINT + 1);
            } else {
                id = Add(record);
            }
            const QByteArray block = BlockOf(File("R.ics"), id);
            const QRegularExpressionMatch m =
                QRegularExpression("\r\nRRULE:([^\r]*)\r\n").match(QString::fromLatin1(block));
            if (c.rule)
                EXPECT_EQ(m.captured(1), c.rule);
            else
                EXPECT_FALSE(m.hasMatch()) << block.toStdString();
            EXPECT_EQ(Get(id).IndexOf("IsRecurring") >= 0, c.rule != nullptr);
        }
    }
}

TEST_F(WindowsCalendar, RefusesDatesThatFitNoFormBeforeWriting)
{
    for (const char* field : {"Start", "End", "PatternEndDate"}) {
        SCOPED_TRACE(field);
        ItemRecord record = Record({{"IsRecurring", 1}, {"RecurrenceType", 0}});
        record.Add(field, QString("next Tuesday"));
        h.TakeLogLines();
        EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, record)).code, AS_ERROR);
        EXPECT_TRUE(Files().isEmpty());
        EXPECT_TRUE(h.TakeLogLines().join('\n').contains(QStringLiteral("\"%1\" is not a date").arg(field)));
    }
    // The all-day form: a date without a time.
    const QString id = Add(Record({{"Start", Text("2009-01-20")}, {"End", Text("01-23-2009")}}));
    EXPECT_TRUE(BlockOf(File("DefaultCalendar.ics"), id)
                    .contains("DTSTART;VALUE=DATE:20090120\r\nDTEND;VALUE=DATE:20090123\r\n"));
    const ItemRecord back = Get(id);
    EXPECT_EQ(Field(back, "AllDayEvent"), ItemValue(1));
    EXPECT_EQ(Field(back, "End"), ItemValue(QString("01-23-2009")));
}

TEST_F(WindowsCalendar, EditRewritesTheEventInPlaceAndKeepsWhatItDoesNotWrite)
{
    const QByteArray original = Golden("lightning-crlf.ics");
    Plant("Business.ics", original);
    Check();
    ASSERT_EQ(Set(kPlanning,
                  Record({{"Subject", Text("Planning, moved")}, {"Start", Text("01-21-2009 09:00:00")}})),
              AS_SET_APPOINT + 1);
    const QByteArray after = File("Business.ics");
    const QByteArray oldBlock = BlockOf(original, kPlanning);
    QByteArray expected = original;
    expected.replace(expected.indexOf(oldBlock), oldBlock.size(), BlockOf(after, kPlanning));
    EXPECT_EQ(after, expected) << "every other byte stays";
    EXPECT_EQ(BlockOf(after, kPlanning).toStdString(),
              "BEGIN:VEVENT\r\n"
              "DESCRIPTION:Agenda:\\n1. Zahlen\\, Ziele\\n2. Planung\\; Budget\\nPfad C:\\\\Daten\r\n"
              "DTSTAMP:20090110T101700Z\r\n"
              "DTSTART;TZID=Europe/Berlin:20090121T100000\r\n"
              "DTEND;TZID=Europe/Berlin:20090120T113000\r\n"
              "LOCATION:Besprechungsraum Süd\r\n"
              "SUMMARY:Planning, moved\r\n"
              "UID:6C1D2A4E-3F5B-4C6D-8E9F-0A1B2C3D4E5F\r\n"
              "CREATED:20090110T101500Z\r\n"
              "LAST-MODIFIED:20090110T101700Z\r\n"
              "CATEGORIES:Business\r\n"
              "BEGIN:VALARM\r\n"
              "ACTION:DISPLAY\r\n"
              "TRIGGER;VALUE=DURATION:-PT15M\r\n"
              "DESCRIPTION:Default Mozilla Description\r\n"
              "END:VALARM\r\n"
              "END:VEVENT\r\n");
    // A reminder in the record replaces the old alarm.
    ASSERT_EQ(Set(kPlanning, Record({{"ReminderMinutesBeforeStart", 30}})), AS_SET_APPOINT + 1);
    const QByteArray block = BlockOf(File("Business.ics"), kPlanning);
    EXPECT_EQ(block.count("BEGIN:VALARM"), 1);
    EXPECT_TRUE(block.contains("TRIGGER;VALUE=DATE-TIME:20090121T083000Z\r\n"));
    EXPECT_TRUE(block.contains("CATEGORIES:Business\r\nBEGIN:VALARM\r\n"));
}

TEST_F(WindowsCalendar, EditSetsAllDayFromStartOnly)
{
    const QString id =
        Add(Record({{"Start", Text("01-20-2009 09:00:00")}, {"End", Text("01-20-2009 10:00:00")}}));
    const auto allDay = [&] { return Get(id).IndexOf("AllDayEvent") >= 0; };
    ASSERT_EQ(Set(id, Record({{"Start", Text("01-20-2009")}, {"End", Text("01-21-2009")}})),
              AS_SET_APPOINT + 1);
    EXPECT_TRUE(allDay());
    ASSERT_EQ(Set(id, Record({{"End", Text("01-22-2009 10:00:00")}})), AS_SET_APPOINT + 1);
    EXPECT_TRUE(allDay()) << "End leaves the form alone";
    ASSERT_EQ(Set(id, Record({{"Subject", Text("x")}})), AS_SET_APPOINT + 1);
    EXPECT_TRUE(allDay());
    ASSERT_EQ(Set(id, Record({{"End", Text("01-20-2009 10:00:00")}, {"Start", Text("01-20-2009 09:00:00")}})),
              AS_SET_APPOINT + 1);
    EXPECT_FALSE(allDay());
    EXPECT_EQ(Field(Get(id), "Start"), ItemValue(QString("01-20-2009 09:00:00")));
}

TEST_F(WindowsCalendar, EditOfASeriesKeepsItsRuleUnlessTheRecordSaysOtherwise)
{
    const QByteArray original = Golden("google-lf.ics");
    Plant("Familie.ics", original);
    Check();
    ASSERT_EQ(Set(kChoir, Record({{"Subject", Text("Chorprobe")}})), AS_SET_APPOINT + 1);
    QByteArray after = File("Familie.ics");
    const IcsCalendar calendar(after);
    ASSERT_EQ(calendar.EventsWithUid(kChoir.left(36)).size(), 2u);
    const QByteArray series = BlockOf(original, kChoir);  // the changed occurrence, first in the file
    EXPECT_TRUE(after.contains(series)) << "the changed occurrence stays as it was";
    const QString master = QString::fromUtf8(after);
    EXPECT_TRUE(
        master.contains("SUMMARY:Chorprobe\nUID:A1B2C3D4-E5F6-4789-9ABC-DEF012345678\n"
                        "RRULE:FREQ=WEEKLY;BYDAY=MO\nEXDATE:20090112T170000Z\nSEQUENCE:0\nBEGIN:VALARM\n"));
    EXPECT_FALSE(after.contains('\r'));
    EXPECT_EQ(Field(Get(kChoir), "IsRecurring"), ItemValue(1));

    // A rule in the record replaces the old one; IsRecurring 0 ends the series.
    ASSERT_EQ(Set(kChoir, Record({{"IsRecurring", 1}, {"RecurrenceType", 1}, {"DayOfWeekMask", 4}})),
              AS_SET_APPOINT + 1);
    after = File("Familie.ics");
    EXPECT_EQ(after.count("RRULE:"), 1);
    EXPECT_TRUE(after.contains("RRULE:FREQ=WEEKLY;BYDAY=TU\n"));
    // A yearly rule on the second Monday of May, as an edit writes it too.
    ASSERT_EQ(Set(kChoir, Record({{"IsRecurring", 1},
                                  {"RecurrenceType", 6},
                                  {"Instance", 2},
                                  {"DayOfWeekMask", 2},
                                  {"MonthOfYear", 5}})),
              AS_SET_APPOINT + 1);
    EXPECT_TRUE(File("Familie.ics").contains("RRULE:FREQ=YEARLY;BYDAY=2MO;BYMONTH=5\n"));
    ASSERT_EQ(Set(kChoir, Record({{"IsRecurring", 0}})), AS_SET_APPOINT + 1);
    EXPECT_EQ(File("Familie.ics").count("RRULE:"), 0);
    EXPECT_EQ(Get(kChoir).IndexOf("IsRecurring"), -1);
}

TEST_F(WindowsCalendar, EditMovesTheEventToAnotherCalendar)
{
    Plant("Familie.ics", Golden("google-lf.ics"));
    Plant("Work.ics", Golden("lightning-crlf.ics"));
    Check();
    SaveState();
    const std::uint32_t before = Store().IDtoCRC32(kChoir);
    ASSERT_EQ(Set(kChoir, Record({{"Categories", Text("work")}})), AS_SET_APPOINT + 1);
    // Both blocks of the series move; the old file keeps the rest.
    EXPECT_TRUE(IcsCalendar(File("Familie.ics")).EventsWithUid(kChoir.left(36)).empty());
    EXPECT_EQ(IcsCalendar(File("Work.ics")).EventsWithUid(kChoir.left(36)).size(), 2u);
    EXPECT_TRUE(File("Familie.ics").contains("UID:7kq3m0c2v1h5p8r9t4@google.com"));
    // The index knows where it went.
    EXPECT_NE(Store().IDtoCRC32(kChoir), 0u);
    EXPECT_NE(Store().IDtoCRC32(kChoir), before);
    EXPECT_EQ(Field(Get(kChoir), "Categories"), ItemValue(QString("Work")));
    const ParsedChangeReport report = Check();
    EXPECT_TRUE(report.added.isEmpty() && report.deleted.isEmpty()) << report;
}

TEST_F(WindowsCalendar, DeleteRemovesEveryBlockOfTheEventAndNothingElse)
{
    const QByteArray lf = Golden("google-lf.ics");
    const QByteArray crlf = Golden("lightning-crlf.ics");
    Plant("Familie.ics", lf);
    Plant("Business.ics", crlf);
    Check();
    EXPECT_EQ(Delete(kChoir), AS_DEL_APPOINT + 1);
    const IcsCalendar family(lf);
    QByteArray expected = lf;
    const auto& events = family.Events();
    expected.remove(family.Lines().StartOffset(events[0].begin),
                    family.Lines().EndOffset(events[1].end) - family.Lines().StartOffset(events[0].begin));
    EXPECT_EQ(File("Familie.ics"), expected);
    // The event whose UID another event's DESCRIPTION and RELATED-TO mention.
    EXPECT_EQ(Delete(kPlanning), AS_DEL_APPOINT + 1);
    expected = crlf;
    expected.remove(expected.indexOf(BlockOf(crlf, kPlanning)), BlockOf(crlf, kPlanning).size());
    EXPECT_EQ(File("Business.ics"), expected);
    EXPECT_EQ(Check().deleted, QStringList{});
}

TEST_F(WindowsCalendar, DeleteAllKeepsWhatIsNotAnEventOfThisStore)
{
    Plant("Business.ics", Golden("lightning-crlf.ics"));
    Plant("Familie.ics", Golden("google-lf.ics"));
    Plant("Empty.ics", "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n");
    Plant("notes.txt", "not a calendar");
    Add(Record({{"Subject", Text("own")}, {"Categories", Text("Own")}}));
    EXPECT_EQ(h.Send(AS_DEL_ALL_APPOINTS).code, AS_DEL_ALL_APPOINTS + 1);
    EXPECT_EQ(Files(), (QStringList{"Business.ics", "Familie.ics", "notes.txt"}));
    const IcsCalendar business(File("Business.ics"));
    EXPECT_TRUE(business.Events().empty());
    ASSERT_EQ(business.OtherComponents().size(), 2u);
    EXPECT_EQ(business.OtherComponents()[1].name, "VTODO");
    const IcsCalendar family(File("Familie.ics"));
    ASSERT_EQ(family.Events().size(), 1u);
    EXPECT_EQ(family.Events()[0].uid, "7kq3m0c2v1h5p8r9t4@google.com");
    EXPECT_TRUE(Check().added.isEmpty());
}

TEST_F(WindowsCalendar, RefusedRequestsTouchNoFile)
{
    Plant("Business.ics", Golden("lightning-crlf.ics"));
    Plant("Broken.ics",
          "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:99999999-2222-4333-8444-555555555555\r\nEND:VEVENT\r\n");
    Check();
    const auto snapshot = Snapshot();
    EXPECT_EQ(h.Send(AS_GET_APPOINT, Utf16z(kUnknown)).code, AS_ERROR);
    EXPECT_EQ(Set(kUnknown, Record({{"Subject", Text("x")}})), AS_ERROR);
    EXPECT_EQ(Delete(kUnknown), AS_DEL_APPOINT + 1) << "what is gone is deleted";
    EXPECT_EQ(Store().IDtoCRC32(kUnknown), 0u);
    EXPECT_FALSE(Store().IsInDateWindow(kUnknown, 0, 0));
    for (const char* name : {"../x", "..", "a/b", "a\\b"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, Record({{"Categories", Text(name)}}))).code, AS_ERROR);
        EXPECT_EQ(Set(kPlanning, Record({{"Subject", Text("moved")}, {"Categories", Text(name)}})), AS_ERROR);
    }
    // A file without END:VCALENDAR is not a calendar to append to.
    EXPECT_EQ(Set(kPlanning, Record({{"Categories", Text("Broken")}})), AS_ERROR);
    EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, Record({{"Categories", Text("broken")}}))).code, AS_ERROR);
    EXPECT_EQ(Snapshot(), snapshot);
    EXPECT_FALSE(h.home.Exists(".local/share/Microsoft/Windows Calendar/x.ics"));
    EXPECT_FALSE(h.home.Exists(".local/share/Microsoft/Windows Calendar/x"));
}

TEST_F(WindowsCalendar, ACalendarLinkedOutOfTheFolderIsNeverFollowed)
{
    Plant("Business.ics", Golden("lightning-crlf.ics"));
    const QByteArray outside = Golden("lightning-crlf.ics");
    h.home.WriteFile(QStringLiteral("elsewhere/Out.ics"), outside);
    ASSERT_EQ(::symlink(QFile::encodeName(h.home.Path(QStringLiteral("elsewhere/Out.ics"))).constData(),
                        QFile::encodeName(h.home.Path(kCalendars + QStringLiteral("Out.ics"))).constData()),
              0);
    Check();
    const auto snapshot = Snapshot();
    EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, Record({{"Categories", Text("Out")}}))).code, AS_ERROR);
    EXPECT_EQ(Set(kPlanning, Record({{"Categories", Text("Out")}})), AS_ERROR);
    EXPECT_EQ(Snapshot(), snapshot);
    EXPECT_EQ(h.home.ReadFile(QStringLiteral("elsewhere/Out.ics")), outside);
    EXPECT_TRUE(QFileInfo(h.home.Path(kCalendars + QStringLiteral("Out.ics"))).isSymLink());
}

TEST_F(WindowsCalendar, UnreadableCalendarsFailTheChangeCheck)
{
    PermissionsBindRoot bound;  // root too meets the permissions below
    Plant("Business.ics", Golden("lightning-crlf.ics"));
    const QString file = h.home.Path(kCalendars + "Business.ics");
    ::chmod(QFile::encodeName(file).constData(), 0);
    EXPECT_EQ(h.Send(AS_CHECK_APPOINTS, U16Bytes(0xFFFF) + U16Bytes(0xFFFF)).code, AS_ERROR);
    ::chmod(QFile::encodeName(file).constData(), 0644);
    const QString folder = h.home.Path(kCalendars);
    ::chmod(QFile::encodeName(folder).constData(), 0300);
    EXPECT_EQ(h.Send(AS_CHECK_APPOINTS, U16Bytes(0xFFFF) + U16Bytes(0xFFFF)).code, AS_ERROR);
    // A folder that cannot be written to: nothing is added, nothing changes.
    ::chmod(QFile::encodeName(folder).constData(), 0555);
    EXPECT_EQ(Check().added.size(), 4);
    const auto snapshot = Snapshot();
    EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, Record({{"Categories", Text("Business")}}))).code,
              AS_ERROR);
    EXPECT_EQ(Set(kPlanning, Record({{"Subject", Text("x")}})), AS_ERROR);
    EXPECT_EQ(Delete(kPlanning), AS_ERROR);
    EXPECT_EQ(Snapshot(), snapshot);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
}

TEST_F(WindowsCalendar, ChecksumsFollowTheEventsOwnLines)
{
    const QString other = Add(Record({{"Subject", Text("other")}}));
    const QString id = Add(Record({{"Subject", Text("mine")}}));
    SaveState();
    EXPECT_EQ(Check(), ParsedChangeReport{});
    // The other event's change is its own.
    ASSERT_EQ(Set(other, Record({{"Subject", Text("other, changed")}})), AS_SET_APPOINT + 1);
    SaveState();
    EXPECT_EQ(Check(), ParsedChangeReport{});
    // A line the peer never sees, written by another program, is a change.
    QByteArray file = File("DefaultCalendar.ics");
    file.replace("SUMMARY:mine\r\n", "SUMMARY:mine\r\nURL:http://example.com/\r\n");
    Plant("DefaultCalendar.ics", file);
    EXPECT_EQ(Check().edited, QStringList{id});
}

TEST_F(WindowsCalendar, ChecksWithADateWindowAroundToday)
{
    const QDate today = QDate::currentDate();
    const auto day = [&](int offset) { return today.addDays(offset).toString("yyyyMMdd").toLatin1(); };
    struct Case {
        const char* uid;
        QByteArray lines;
        bool thisWeek;  // weeks back 0, weeks ahead 0
    };
    const Case cases[] = {
        {"00000000-0000-4000-8000-000000000001",
         "DTSTART:" + day(-3) + "T100000\r\nDTEND:" + day(-2) + "T110000\r\n", false},
        {"00000000-0000-4000-8000-000000000002",
         "DTSTART:" + day(-3) + "T100000\r\nDTEND:" + day(-2) + "T110000\r\nRRULE:FREQ=DAILY\r\n", true},
        {"00000000-0000-4000-8000-000000000003",
         "DTSTART:" + day(9) + "T100000\r\nDTEND:" + day(9) + "T110000\r\n", false},
        {"00000000-0000-4000-8000-000000000004", "DTSTART:" + day(-365) + "T100000\r\n", true},
        {"00000000-0000-4000-8000-000000000005", "DTSTART;VALUE=DATE:" + day(0) + "\r\n", true},
    };
    QByteArray file = "BEGIN:VCALENDAR\r\n";
    QStringList inside;
    for (const Case& c : cases) {
        file += QByteArray("BEGIN:VEVENT\r\nUID:") + c.uid + "\r\n" + c.lines + "END:VEVENT\r\n";
        if (c.thisWeek) inside.append(QString::fromLatin1(c.uid) + "000000000000");
    }
    Plant("Window.ics", file + "END:VCALENDAR\r\n");
    EXPECT_EQ(Check(0, 0).added, inside);
    EXPECT_TRUE(Store().IsInDateWindow("00000000-0000-4000-8000-000000000003000000000000", 2, -1));
    EXPECT_FALSE(Store().IsInDateWindow("00000000-0000-4000-8000-000000000001000000000000", -1 + 1, 5));
    EXPECT_TRUE(Store().IsInDateWindow("00000000-0000-4000-8000-000000000001000000000000", -1, 0));
}

// What a strict reader finds wrong: not UTF-8, a line not ended by CR LF, a control character
// other than TAB in a line, unbalanced BEGIN and END.
QStringList StrictIcsProblems(const QByteArray& file)
{
    QStringList problems;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(file);
    if (decoder.hasError()) problems.append("not UTF-8");
    if (!text.endsWith("\r\n")) problems.append("no line end at the end");
    QStringList open;
    const QStringList lines = text.left(text.size() - 2).split("\r\n");
    for (const QString& line : lines) {
        for (const QChar c : line)
            if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7F)
                problems.append(QStringLiteral("control U+%1 in: %2").arg(c.unicode(), 4, 16, QChar('0')).arg(line));
        if (line.startsWith("BEGIN:")) open.append(line.mid(6));
        if (line.startsWith("END:")) {
            if (open.isEmpty() || open.takeLast() != line.mid(4)) problems.append("unbalanced: " + line);
        }
    }
    if (!open.isEmpty()) problems.append("unclosed: " + open.join(','));
    return problems;
}

// U+000B and U+000C break the line where they were typed; the other controls and DEL go, in
// new events, in edits, and in values an edit carries over from another program's lines.
TEST_F(WindowsCalendar, WrittenValuesHoldNoControlCharacterButTab)
{
    const QString dirty = QString::fromUtf8("a\x0B" "b\x0C" "c\x01" "d\x7F" "e\x1F" "f\tg");
    const QString id = Add(Record({{"Subject", dirty}, {"Body", dirty}, {"Location", dirty}}));
    EXPECT_EQ(StrictIcsProblems(File("DefaultCalendar.ics")), QStringList{});
    const ItemRecord back = Get(id);
    for (const char* field : {"Subject", "Body", "Location"})
        EXPECT_EQ(Field(back, field), ItemValue(QString("a\nb\ncdef\tg"))) << field;
    ASSERT_EQ(Set(id, Record({{"Body", dirty + "\x02"}})), AS_SET_APPOINT + 1);
    EXPECT_EQ(StrictIcsProblems(File("DefaultCalendar.ics")), QStringList{});

    Plant("Other.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:" + kUnknown.left(36).toLatin1() +
                           "\r\nDTSTART:20090120T100000\r\nDESCRIPTION:x\x01y\x0Bz\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    Check();
    ASSERT_EQ(Set(kUnknown, Record({{"Subject", Text("s")}})), AS_SET_APPOINT + 1);
    EXPECT_EQ(StrictIcsProblems(File("Other.ics")), QStringList{});
    EXPECT_EQ(Field(Get(kUnknown), "Body"), ItemValue(QString("xy\nz")));
}

// New York is UTC-5 in January; the machine is in Berlin (UTC+1), later in Tokyo (UTC+9).
TEST_F(WindowsCalendar, ZonedTimesAreReadInTheirZoneAndKeptByEditsWithoutATime)
{
    const QString york = QStringLiteral("00000000-0000-4000-8000-00000000000A000000000000");
    const QString windows = QStringLiteral("00000000-0000-4000-8000-00000000000B000000000000");
    const QString nowhere = QStringLiteral("00000000-0000-4000-8000-00000000000C000000000000");
    const QString floating = QStringLiteral("00000000-0000-4000-8000-00000000000D000000000000");
    const auto event = [](const QString& id, const QByteArray& lines) {
        return "BEGIN:VEVENT\r\nUID:" + id.left(36).toLatin1() + "\r\n" + lines + "END:VEVENT\r\n";
    };
    const QByteArray yorkTimes =
        "DTSTART;TZID=America/New_York:20090120T100000\r\nDTEND;TZID=\"America/New_York\":20090120T113000\r\n";
    Plant("Trip.ics",
          "BEGIN:VCALENDAR\r\n" + event(york, yorkTimes) +
              event(windows, "DTSTART;TZID=Eastern Standard Time:20090120T100000\r\n") +
              event(nowhere, "DTSTART;TZID=Nowhere/Unknown:20090120T100000\r\n") +
              event(floating, "DTSTART:20090120T100000\r\n") + "END:VCALENDAR\r\n");
    Check();
    EXPECT_EQ(Field(Get(york), "Start"), ItemValue(QString("01-20-2009 15:00:00")));
    EXPECT_EQ(Field(Get(york), "End"), ItemValue(QString("01-20-2009 16:30:00")));
    EXPECT_EQ(Field(Get(windows), "Start"), ItemValue(QString("01-20-2009 15:00:00")));
    EXPECT_EQ(Field(Get(nowhere), "Start"), ItemValue(QString("01-20-2009 09:00:00"))) << "local time";

    // Checksums: a zoned event's takes its moments in (once changed from the bytes alone, so peers
    // holding the old reading get it again), the same in every machine zone; others' stay the bytes.
    const std::uint32_t yorkSum = Store().IDtoCRC32(york);
    EXPECT_NE(yorkSum, Crc32(BlockOf(File("Trip.ics"), york)));
    EXPECT_EQ(Store().IDtoCRC32(floating), Crc32(BlockOf(File("Trip.ics"), floating)));
    EXPECT_EQ(Store().IDtoCRC32(nowhere), Crc32(BlockOf(File("Trip.ics"), nowhere)));

    ASSERT_EQ(Set(york, Record({{"Subject", Text("Trip")}})), AS_SET_APPOINT + 1);
    EXPECT_TRUE(BlockOf(File("Trip.ics"), york).contains(yorkTimes)) << "lines kept as they were";
    {
        ScopedTimeZone tokyo("Asia/Tokyo");
        EXPECT_EQ(Field(Get(york), "Start"), ItemValue(QString("01-20-2009 15:00:00")));
        // A new start is written in the event's zone, with its TZID; the end it did not give stays.
        ASSERT_EQ(Set(york, Record({{"Start", Text("01-21-2009 14:00:00")},
                                    {"IsRecurring", 1},
                                    {"RecurrenceType", 0},
                                    {"PatternEndDate", Text("01-25-2009")}})),
                  AS_SET_APPOINT + 1);
        const QByteArray moved = BlockOf(File("Trip.ics"), york);
        EXPECT_TRUE(moved.contains("DTSTART;TZID=America/New_York:20090121T090000\r\n"
                                   "DTEND;TZID=\"America/New_York\":20090120T113000\r\n"))
            << moved.toStdString();
        EXPECT_TRUE(moved.contains("RRULE:FREQ=DAILY;UNTIL=20090125T140000Z\r\n")) << moved.toStdString();
        EXPECT_EQ(Field(Get(york), "Start"), ItemValue(QString("01-21-2009 14:00:00")));
        // A zone nobody knows stays local time: a new start is written as Tokyo's wall clock.
        ASSERT_EQ(Set(nowhere, Record({{"Start", Text("01-21-2009 01:00:00")}})), AS_SET_APPOINT + 1);
        EXPECT_TRUE(BlockOf(File("Trip.ics"), nowhere).contains("DTSTART:20090121T100000\r\n"));
    }
    // The zoned checksum is the same whatever the machine's zone.
    const std::uint32_t berlinSum = Store().IDtoCRC32(york);
    ScopedTimeZone tokyo("Asia/Tokyo");
    EXPECT_EQ(Store().IDtoCRC32(york), berlinSum);
    EXPECT_NE(berlinSum, yorkSum);
}

// A FIFO of a calendar's name is never opened: the request fails, the agent goes on serving.
TEST_F(WindowsCalendar, AFifoNamedLikeACalendarIsNeverOpened)
{
    Plant("Work.ics", Golden("lightning-crlf.ics"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(h.home.Path(kCalendars + "Pipe.ics")).constData(), 0600), 0);
    Check();
    SaveState();
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, Record({{"Categories", Text("Pipe")}}))).code, AS_ERROR);
    EXPECT_TRUE(h.TakeLogLines().join('\n').contains("is not a regular file"));
    EXPECT_EQ(Set(kPlanning, Record({{"Categories", Text("Pipe")}})), AS_ERROR);
    EXPECT_FALSE(Add(Record({{"Categories", Text("Work")}})).isEmpty());
    EXPECT_EQ(Check().added.size(), 1);
}

// Files cut short, without their end, not UTF-8 or nested past reason are nobody's to empty.
TEST_F(WindowsCalendar, DamagedFilesAreLeftAsTheyAre)
{
    const QByteArray event = "BEGIN:VEVENT\r\nUID:" + kUnknown.left(36).toLatin1() + "\r\nEND:VEVENT\r\n";
    QByteArray deep = "BEGIN:VCALENDAR\r\n" + event;
    for (int i = 0; i < 100000; ++i) deep += "BEGIN:X\r\n";
    const std::pair<const char*, QByteArray> damaged[] = {
        {"Cut.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:99999999-2222-4333-8444-555555555555\r\nEND:VEVENT\r\n"},
        {"Latin.ics",
         "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:99999999-2222-4333-8444-555555555556\r\nSUMMARY:caf\xE9\r\n"
         "END:VEVENT\r\nEND:VCALENDAR\r\n"},
        {"Deep.ics", deep},
    };
    for (const auto& [name, bytes] : damaged) Plant(name, bytes);
    Add(Record({{"Subject", Text("own")}, {"Categories", Text("Own")}}));
    h.TakeLogLines();
    const ParsedChangeReport report = Check();
    EXPECT_FALSE(report.added.contains(kUnknown)) << "the nested file is left out";
    EXPECT_TRUE(h.TakeLogLines().join('\n').contains("Deep.ics"));
    EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, Record({{"Categories", Text("Deep")}}))).code, AS_ERROR);
    EXPECT_EQ(h.Send(AS_DEL_ALL_APPOINTS).code, AS_ERROR);
    const QString log = h.TakeLogLines().join('\n');
    for (const auto& [name, bytes] : damaged) {
        SCOPED_TRACE(name);
        EXPECT_EQ(File(name), bytes);
        if (QByteArray(name) != "Deep.ics") EXPECT_TRUE(log.contains(name));
    }
    EXPECT_FALSE(Exists("Own.ics")) << "the sound calendars are emptied all the same";
}

// A TZID is looked up among the names the system lists, never opened below the zone folder: a
// path to a device is a zone nobody knows (read as local time, at once), the tz database's old
// link names still read in their zone, and IANA names match in any case. Berlin is UTC+1.
TEST_F(WindowsCalendar, TzidsAreLookedUpOnlyAmongTheNamesTheSystemLists)
{
    struct ZoneCase {
        const char* tzid;
        const char* start;
    };
    const ZoneCase cases[] = {
        {"../../../dev/ptmx", "01-20-2009 09:00:00"},  {"/dev/zero", "01-20-2009 09:00:00"},
        {"Asia/Calcutta", "01-20-2009 04:30:00"},      {"US/Eastern", "01-20-2009 15:00:00"},
        {"Etc/UTC", "01-20-2009 10:00:00"},            {"GMT", "01-20-2009 10:00:00"},
        {"Europe/Kiev", "01-20-2009 08:00:00"},        {"europe/lisbon", "01-20-2009 10:00:00"},
        {"AMERICA/NEW_YORK", "01-20-2009 15:00:00"},   {"Eastern Standard Time", "01-20-2009 15:00:00"},
    };
    QByteArray file = "BEGIN:VCALENDAR\r\n";
    const auto idOf = [](int i) { return QStringLiteral("00000000-0000-4000-8000-0000000000") + QString::number(i).rightJustified(2, u'0') + QStringLiteral("000000000000"); };
    for (int i = 0; i < int(std::size(cases)); ++i)
        file += "BEGIN:VEVENT\r\nUID:" + idOf(i).left(36).toLatin1() + "\r\nDTSTART;TZID=\"" + cases[i].tzid +
                "\":20090120T100000\r\nEND:VEVENT\r\n";
    Plant("Zones.ics", file + "END:VCALENDAR\r\n");
    EXPECT_EQ(Check().added.size(), qsizetype(std::size(cases)));
    for (int i = 0; i < int(std::size(cases)); ++i)
        EXPECT_EQ(Field(Get(idOf(i)), "Start"), ItemValue(QString::fromLatin1(cases[i].start))) << cases[i].tzid;
    // The event whose zone is now known by its name in another case takes its moment into its
    // checksum, as every zoned event does: a peer that held the bytes-only checksum of its local
    // reading sees it edited once, with the right time.
    const QString lisbon = idOf(7);
    EXPECT_NE(Store().IDtoCRC32(lisbon), Crc32(BlockOf(File("Zones.ics"), lisbon)));
    EXPECT_EQ(Store().IDtoCRC32(idOf(0)), Crc32(BlockOf(File("Zones.ics"), idOf(0))));
    // A new time for it is written in its zone under the TZID as the file spells it.
    ASSERT_EQ(Set(lisbon, Record({{"Start", Text("07-01-2009 08:00:00")}})), AS_SET_APPOINT + 1);
    EXPECT_TRUE(BlockOf(File("Zones.ics"), lisbon).contains("DTSTART;TZID=europe/lisbon:20090701T090000\r\n"))
        << BlockOf(File("Zones.ics"), lisbon).toStdString();
}

// Exchange misplaces a quote: the start's value stands inside the TZID. The check lists the event
// and Get serves it without a start (a log line names it); an edit without a start keeps the line,
// one with a start mends it.
TEST_F(WindowsCalendar, AStartThatIsNoDateIsServedWithoutIt)
{
    const QByteArray damagedStart = "DTSTART;TZID=\"W. Europe Standard Time:20200609T090000\"\r\n";
    Plant("Exchange.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:" + kUnknown.left(36).toLatin1() +
                              "\r\nSUMMARY:Weekly\r\n" + damagedStart +
                              "DTEND;TZID=\"W. Europe Standard Time\":20200609T100000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    EXPECT_EQ(Check().added, QStringList{kUnknown});
    h.TakeLogLines();
    const ItemRecord got = Get(kUnknown);
    EXPECT_EQ(Field(got, "Subject"), ItemValue(QString("Weekly")));
    EXPECT_EQ(Field(got, "Start"), ItemValue(QString("(no Start)"))) << "an empty text, which the wire leaves out";
    EXPECT_EQ(Field(got, "End"), ItemValue(QString("(no End)"))) << "an end without a start is none";
    const QString log = h.TakeLogLines().join('\n');
    EXPECT_TRUE(log.contains("DTSTART") && log.contains("Exchange.ics")) << log.toStdString();

    ASSERT_EQ(Set(kUnknown, Record({{"Subject", Text("Weekly call")}, {"ReminderMinutesBeforeStart", 5}})),
              AS_SET_APPOINT + 1);
    EXPECT_TRUE(BlockOf(File("Exchange.ics"), kUnknown).contains(damagedStart));
    ASSERT_EQ(Set(kUnknown, Record({{"Start", Text("06-09-2020 07:00:00")}})), AS_SET_APPOINT + 1);
    EXPECT_EQ(Field(Get(kUnknown), "Start"), ItemValue(QString("06-09-2020 07:00:00")));
    EXPECT_FALSE(BlockOf(File("Exchange.ics"), kUnknown).contains("20200609T090000\""));
}

// Other programs take a floating time in their own zone: an event held in UTC gets its new times,
// its series end and its alarm in UTC. Berlin is UTC+1 in January.
TEST_F(WindowsCalendar, AnEventHeldInUtcStaysInUtc)
{
    Plant("Utc.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:" + kUnknown.left(36).toLatin1() +
                         "\r\nDTSTART:20080117T233000Z\r\nDTEND:20080118T003000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    Check();
    ASSERT_EQ(Set(kUnknown, Record({{"Start", Text("01-15-2021 03:00:00")},
                                    {"End", Text("01-15-2021 04:00:00")},
                                    {"ReminderMinutesBeforeStart", 15},
                                    {"IsRecurring", 1},
                                    {"RecurrenceType", 0},
                                    {"PatternEndDate", Text("01-20-2021")}})),
              AS_SET_APPOINT + 1);
    const QByteArray block = BlockOf(File("Utc.ics"), kUnknown);
    for (const char* line : {"DTSTART:20210115T030000Z\r\n", "DTEND:20210115T040000Z\r\n",
                             "RRULE:FREQ=DAILY;UNTIL=20210120T030000Z\r\n",
                             "TRIGGER;VALUE=DATE-TIME:20210115T024500Z\r\n"})
        EXPECT_TRUE(block.contains(line)) << line << " in\n" << block.toStdString();
    const ItemRecord got = Get(kUnknown);
    EXPECT_EQ(Field(got, "Start"), ItemValue(QString("01-15-2021 03:00:00")));
    EXPECT_EQ(Field(got, "End"), ItemValue(QString("01-15-2021 04:00:00")));
    // An end alone follows the form of the start as it stands.
    ASSERT_EQ(Set(kUnknown, Record({{"End", Text("01-15-2021 05:00:00")}})), AS_SET_APPOINT + 1);
    EXPECT_TRUE(BlockOf(File("Utc.ics"), kUnknown).contains("DTSTART:20210115T030000Z\r\nDTEND:20210115T050000Z\r\n"));
}

// Rewrites a calendar in place with bytes of the same size and puts its modification time back,
// as a restore or a copy tool does: nothing the cache looks at without reading tells it.
void RewriteKeepingSizeAndTime(const QString& path, const QByteArray& from, const QByteArray& to)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat before {};
    ASSERT_EQ(::stat(native.constData(), &before), 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    ASSERT_EQ(from.size(), to.size());
    ASSERT_TRUE(bytes.contains(from));
    bytes.replace(from, to);
    file.seek(0);
    file.write(bytes);
    file.close();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
}

// The end of a synchronisation and the client's departure let go of the parsed files: a request
// after them reads the files again.
TEST_F(WindowsCalendar, AReleaseLetsGoOfTheParsedFiles)
{
    Plant("Work.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:" + kUnknown.left(36).toLatin1() +
                          "\r\nSUMMARY:aaaa\r\nDTSTART:20090120T100000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    Check();
    EXPECT_EQ(Field(Get(kUnknown), "Subject"), ItemValue(QString("aaaa")));
    const struct {
        const char* before;
        const char* after;
        std::function<void()> release;
    } releases[] = {{"aaaa", "bbbb", [&] { Store().AtRelease(); }}, {"bbbb", "cccc", [&] { Store().AtDeparture(); }}};
    for (const auto& r : releases) {
        RewriteKeepingSizeAndTime(h.home.Path(kCalendars + "Work.ics"), r.before, r.after);
        EXPECT_EQ(Field(Get(kUnknown), "Subject"), ItemValue(QString(r.before))) << "the file as parsed";
        r.release();
        EXPECT_EQ(Field(Get(kUnknown), "Subject"), ItemValue(QString(r.after))) << "read again";
    }
    EXPECT_EQ(Check().added, QStringList{kUnknown});
}

// An edit, a delete or a delete-all splices into the bytes as read: a file whose bytes changed
// under the same size and time is read again first, and the other program's change stays.
TEST_F(WindowsCalendar, ARewriteUnderTheSameSizeAndTimeIsNeverWrittenOver)
{
    const struct {
        const char* name;
        std::function<std::uint16_t()> change;
    } changes[] = {
        {"edit", [&] { return Set(kUnknown, Record({{"Subject", Text("changed")}})); }},
        {"delete", [&] { return Delete(kUnknown); }},
        {"delete-all", [&] { return h.Send(AS_DEL_ALL_APPOINTS).code; }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.name);
        // The other event's UID is not one this store serves, so a delete-all keeps it.
        Plant("Work.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:" + kUnknown.left(36).toLatin1() +
                              "\r\nSUMMARY:mine\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:other@example.org\r\n"
                              "SUMMARY:aaaa\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        Check();
        RewriteKeepingSizeAndTime(h.home.Path(kCalendars + "Work.ics"), "SUMMARY:aaaa", "SUMMARY:bbbb");
        EXPECT_EQ(c.change(), std::uint16_t(c.name == std::string("edit")     ? AS_SET_APPOINT + 1
                                            : c.name == std::string("delete") ? AS_DEL_APPOINT + 1
                                                                              : AS_DEL_ALL_APPOINTS + 1));
        const QByteArray after = File("Work.ics");
        EXPECT_TRUE(after.contains("SUMMARY:bbbb\r\n") && !after.contains("aaaa")) << after.toStdString();
    }
}

// A calendar saved as UTF-16 serves nothing; the log says why at the check and at an add.
TEST_F(WindowsCalendar, AUtf16CalendarIsNamedForWhatItIs)
{
    const QString text = "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:" + kUnknown.left(36) +
                         "\r\nSUMMARY:wide\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    QByteArray little = "\xFF\xFE", big;
    for (QChar c : text) {
        little += char(c.unicode() & 0xFF);
        little += char(c.unicode() >> 8);
        big += char(c.unicode() >> 8);
        big += char(c.unicode() & 0xFF);
    }
    Plant("Wide.ics", little);
    Plant("Big.ics", big);
    h.TakeLogLines();
    EXPECT_TRUE(Check().added.isEmpty());
    const QString checkLog = h.TakeLogLines().join('\n');
    for (const char* name : {"Wide", "Big"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(checkLog.contains(QStringLiteral("UTF-16")) && checkLog.contains(QString::fromLatin1(name) + QStringLiteral(".ics")))
            << checkLog.toStdString();
        EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, Record({{"Categories", Text(name)}}))).code, AS_ERROR);
        const QString addLog = h.TakeLogLines().join('\n');
        EXPECT_TRUE(addLog.contains("UTF-16") && !addLog.contains("END:VCALENDAR")) << addLog.toStdString();
    }
    EXPECT_EQ(File("Wide.ics"), little);
    EXPECT_EQ(File("Big.ics"), big);
}

}  // namespace
