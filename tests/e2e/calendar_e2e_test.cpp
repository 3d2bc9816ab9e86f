// Appointments source 1 (Windows Calendar) against the built agent over loopback, with calendar
// files other programs wrote: a peer checks with a date window, reads, adds, moves an event to
// another calendar, deletes one, empties the source (a task in a calendar file survives) and
// checks again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDate>
#include <QFile>

#include "agent_process.h"
#include "common/byte_io.h"
#include "dispatch/item_record_codec.h"
#include "dispatch/request_codes.h"
#include "stores/windows_calendar/ics_calendar.h"
#include "test_peer.h"
#include "wire/message_header.h"

namespace {

constexpr int kIdBytes = 96;
const QString kCalendars = QStringLiteral(".local/share/Microsoft/Windows Calendar/Calendars/");
const QString kChoir = QStringLiteral("A1B2C3D4-E5F6-4789-9ABC-DEF012345678000000000000");
const QString kToday = QStringLiteral("00000000-0000-4000-8000-00000000000A000000000000");

QByteArray Golden(const char* name)
{
    QFile file(QStringLiteral(TWINLARK_TEST_DATA "/ics/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

struct Report {
    QStringList added, edited, deleted;
};

Report ReadReport(const QByteArray& payload)
{
    ByteReader r(payload);
    Report report;
    for (QStringList* section : {&report.added, &report.edited, &report.deleted}) {
        const std::uint16_t count = r.U16();
        for (int i = 0; i < count; ++i) section->append(r.Utf16(kIdBytes));
    }
    return report;
}

QString Field(const ItemRecord& record, const char* name)
{
    const int at = record.IndexOf(QString::fromUtf8(name));
    if (at < 0) return QStringLiteral("<none>");
    const ItemValue& v = record.values[static_cast<std::size_t>(at)];
    return IsIntegerValue(v) ? QString::number(std::get<std::int32_t>(v)) : std::get<QString>(v);
}

QByteArray Window(std::uint16_t weeksBack, std::uint16_t weeksAhead)
{
    QByteArray bytes;
    ByteWriter writer(bytes);
    writer.U16(weeksBack);
    writer.U16(weeksAhead);
    return bytes;
}

TEST(CalendarE2e, APeerSynchronisesAppointmentsWithCalendarFiles)
{
    AgentProcess agent;
    agent.SetDword(QStringLiteral("AgentID"), 1);
    agent.SetEnv("TZ", "Europe/Berlin");
    agent.WriteFile(kCalendars + "Work.ics", Golden("lightning-crlf.ics"));
    agent.WriteFile(kCalendars + "Familie.ics", Golden("google-lf.ics"));
    const QByteArray today = QDate::currentDate().toString("yyyyMMdd").toLatin1();
    agent.WriteFile(kCalendars + "home.ics",
                    "BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VEVENT\nUID:" + kToday.left(36).toLatin1() +
                        "\nSUMMARY:Today\nDTSTART:" + today + "T100000\nDTEND:" + today +
                        "T110000\nEND:VEVENT\nEND:VCALENDAR\n");
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-CAL")))->code,
              AS_MACHINE_ID + 1);
    ASSERT_EQ(peer.Request(AS_START_SYNC, 2)->code, AS_START_SYNC + 1);

    // A week either side: the series and today's event; the 2009 events lie outside.
    auto reply = peer.LongRequest(AS_CHECK_APPOINTS, 3, Window(1, 1));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_CHECK_APPOINTS + 1) << agent.Log().toStdString();
    EXPECT_EQ(ReadReport(reply->payload).added, (QStringList{kChoir, kToday}));

    reply = peer.Request(AS_GET_APPOINT, 4, utf16::Bytes(kChoir));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_GET_APPOINT + 1);
    ItemRecord choir;
    QString id;
    DecodeItemRecord(AsBytes(reply->payload), true, choir, &id);
    EXPECT_EQ(id, kChoir);
    EXPECT_EQ(Field(choir, "Subject"), QStringLiteral("Chorprobe – Kirchengemeinde St. Jürgen"));
    EXPECT_EQ(Field(choir, "Start"), QStringLiteral("01-05-2009 17:00:00"));
    EXPECT_EQ(Field(choir, "IsRecurring"), QStringLiteral("1"));
    EXPECT_EQ(Field(choir, "Categories"), QStringLiteral("Familie"));

    ItemRecord added;
    added.Add(QStringLiteral("Subject"), QStringLiteral("Dentist"));
    added.Add(QStringLiteral("Start"), QStringLiteral("2010-03-07 09:00:00"));
    added.Add(QStringLiteral("End"), QStringLiteral("2010-03-07 09:30:00"));
    added.Add(QStringLiteral("Categories"), QStringLiteral("Work"));
    QByteArray blob = EncodeItemRecord(QString(kIdBytes / 2, u'0'), added).mid(kIdBytes);
    reply = peer.Request(AS_ADD_APPOINT, 5, blob);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_ADD_APPOINT + 1) << agent.Log().toStdString();
    const QString addedId = utf16::FromBytesUpToZero(AsBytes(reply->payload));
    ASSERT_EQ(addedId.size(), 48);
    EXPECT_EQ(IcsCalendar(agent.ReadFile(kCalendars + "Work.ics")).EventsWithUid(addedId.left(36)).size(),
              1u);

    // Today's event moves from "home" to "Work" (names are matched without regard to case).
    ItemRecord moved;
    moved.Add(QStringLiteral("Subject"), QStringLiteral("Today, at work"));
    moved.Add(QStringLiteral("Categories"), QStringLiteral("work"));
    ASSERT_EQ(peer.Request(AS_SET_APPOINT, 6, EncodeItemRecord(kToday, moved))->code, AS_SET_APPOINT + 1)
        << agent.Log().toStdString();
    EXPECT_TRUE(IcsCalendar(agent.ReadFile(kCalendars + "home.ics")).Events().empty());
    EXPECT_TRUE(agent.ReadFile(kCalendars + "Work.ics").contains("SUMMARY:Today, at work\r\n"));

    ASSERT_EQ(peer.Request(AS_DEL_APPOINT, 7, utf16::Bytes(addedId))->code, AS_DEL_APPOINT + 1);
    EXPECT_TRUE(IcsCalendar(agent.ReadFile(kCalendars + "Work.ics")).EventsWithUid(addedId.left(36)).empty());

    reply = peer.Request(AS_GET_CATEGORIES, 8);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(
        utf16::FromBytesUpToZero(AsBytes(reply->payload)).endsWith(QStringLiteral("Familie,home,Work")))
        << utf16::FromBytesUpToZero(AsBytes(reply->payload)).toStdString();

    ASSERT_EQ(peer.Request(AS_DEL_ALL_APPOINTS, 9)->code, AS_DEL_ALL_APPOINTS + 1)
        << agent.Log().toStdString();
    const IcsCalendar work(agent.ReadFile(kCalendars + "Work.ics"));
    EXPECT_TRUE(work.Events().empty());
    ASSERT_EQ(work.OtherComponents().size(), 2u);
    EXPECT_EQ(work.OtherComponents()[1].name, QStringLiteral("VTODO"));
    EXPECT_FALSE(QFile::exists(agent.Path(kCalendars + "home.ics")));

    reply = peer.LongRequest(AS_CHECK_APPOINTS, 10, Window(0xFFFF, 0xFFFF));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_CHECK_APPOINTS + 1);
    EXPECT_TRUE(ReadReport(reply->payload).added.isEmpty());
    ASSERT_EQ(peer.Request(AS_END_SYNC, 11)->code, AS_END_SYNC + 1);
}

// Calendars another program or a peer planted: a TZID that names a device, old and oddly spelt
// zone names, Exchange's misplaced quote, an event held in UTC, a calendar saved as UTF-16, and
// one rewritten under the same size and time after the agent read it.
TEST(CalendarE2e, OddAndHostileCalendarsAreServedOrNamedAndNeverHoldTheAgent)
{
    AgentProcess agent;
    agent.SetDword(QStringLiteral("AgentID"), 1);
    agent.SetEnv("TZ", "Europe/Berlin");
    const auto id = [](int n) { return QStringLiteral("00000000-0000-4000-8000-0000000000") + QString::number(n).rightJustified(2, u'0') + QStringLiteral("000000000000"); };
    const auto event = [&](int n, const QByteArray& lines) {
        return "BEGIN:VEVENT\r\nUID:" + id(n).left(36).toLatin1() + "\r\nSUMMARY:aaaa\r\n" + lines + "END:VEVENT\r\n";
    };
    agent.WriteFile(kCalendars + "Zones.ics",
                    "BEGIN:VCALENDAR\r\n" + event(1, "DTSTART;TZID=../../../dev/ptmx:20090120T100000\r\n") +
                        event(2, "DTSTART;TZID=Asia/Calcutta:20090120T100000\r\n") +
                        event(3, "DTSTART;TZID=europe/lisbon:20090120T100000\r\n") +
                        event(4, "DTSTART;TZID=\"W. Europe Standard Time:20200609T090000\"\r\n") +
                        event(5, "DTSTART:20080117T233000Z\r\n") + "END:VCALENDAR\r\n");
    QByteArray wide = "\xFF\xFE";
    for (char c : QByteArray("BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n")) wide += QByteArray(1, c) + '\0';
    agent.WriteFile(kCalendars + "Wide.ics", wide);
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-ODD")))->code, AS_MACHINE_ID + 1);
    ASSERT_EQ(peer.Request(AS_START_SYNC, 2)->code, AS_START_SYNC + 1);

    auto reply = peer.LongRequest(AS_CHECK_APPOINTS, 3, Window(0xFFFF, 0xFFFF));
    ASSERT_TRUE(reply) << "the device named as a zone held the agent";
    ASSERT_EQ(reply->code, AS_CHECK_APPOINTS + 1) << agent.Log().toStdString();
    EXPECT_EQ(ReadReport(reply->payload).added, (QStringList{id(1), id(2), id(3), id(4), id(5)}));
    EXPECT_TRUE(agent.Log().contains("UTF-16")) << agent.Log().toStdString();

    const auto start = [&](int n, std::uint16_t tag) {
        const auto got = peer.Request(AS_GET_APPOINT, tag, utf16::Bytes(id(n)));
        if (!got || got->code != AS_GET_APPOINT + 1) return QStringLiteral("<error>");
        ItemRecord record;
        DecodeItemRecord(AsBytes(got->payload), true, record);
        return Field(record, "Start");
    };
    EXPECT_EQ(start(1, 4), QStringLiteral("01-20-2009 09:00:00")) << "a zone nobody knows: local time";
    EXPECT_EQ(start(2, 5), QStringLiteral("01-20-2009 04:30:00"));
    EXPECT_EQ(start(3, 6), QStringLiteral("01-20-2009 10:00:00"));
    EXPECT_EQ(start(4, 7), QStringLiteral("<none>")) << "served without the start that is no date";

    // The UTC event's new time stays UTC, in a file rewritten meanwhile under its old size and time.
    const QString zones = agent.Path(kCalendars + "Zones.ics");
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(zones).constData(), &before), 0);
    QFile file(zones);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    bytes.replace("SUMMARY:aaaa", "SUMMARY:bbbb");
    file.seek(0);
    file.write(bytes);
    file.close();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(zones).constData(), times, 0), 0);
    ItemRecord moved;
    moved.Add(QStringLiteral("Start"), QStringLiteral("01-15-2021 03:00:00"));
    ASSERT_EQ(peer.Request(AS_SET_APPOINT, 8, EncodeItemRecord(id(5), moved))->code, AS_SET_APPOINT + 1)
        << agent.Log().toStdString();
    const QByteArray after = agent.ReadFile(kCalendars + "Zones.ics");
    EXPECT_TRUE(after.contains("DTSTART:20210115T030000Z\r\n")) << after.toStdString();
    EXPECT_EQ(after.count("SUMMARY:bbbb"), 5) << "the other program's change is kept";

    ItemRecord own;
    own.Add(QStringLiteral("Categories"), QStringLiteral("Wide"));
    EXPECT_EQ(peer.Request(AS_ADD_APPOINT, 9, EncodeItemRecord(QString(kIdBytes / 2, u'0'), own).mid(kIdBytes))->code,
              AS_ERROR);
    EXPECT_EQ(agent.ReadFile(kCalendars + "Wide.ics"), wide);
    ASSERT_EQ(peer.Request(AS_END_SYNC, 10)->code, AS_END_SYNC + 1);
}

}  // namespace
