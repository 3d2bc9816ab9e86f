// Appointments source 1 (Windows Calendar) against the built agent over loopback, with calendar
// files other programs wrote: a peer checks with a date window, reads, adds, moves an event to
// another calendar, deletes one, empties the source (a task in a calendar file survives) and
// checks again.
#include <gtest/gtest.h>

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

}  // namespace
