// The appointment requests over the real Outlook calendar stores on the emulation: what reaches
// Outlook and the state list when the peer's order, dates or Outlook itself would go wrong.
#include <gtest/gtest.h>

#include <QDateTime>

#include "common/ole_date.h"
#include "dispatch/item_kinds.h"
#include "dispatch/request_codes.h"
#include "support/dispatch_harness.h"
#include "support/outlook/outlook_emulation.h"
#include "support/scoped_time_zone.h"
#include "support/system_time_fields.h"
#include "wire/message_header.h"

namespace {

double Date(int year, int month, int day, int hour = 0, int minute = 0)
{
    return SystemTimeToOleDate(MakeSystemTime(year, month, day, hour, minute)).value_or(0.0);
}

ItemRecord Record(std::initializer_list<std::pair<const char*, ItemValue>> fields)
{
    ItemRecord record;
    for (const auto& [name, value] : fields) record.Add(QString::fromLatin1(name), value);
    return record;
}

// Outlook of one version, checked once so that the calendar store is connected.
class AppointmentRequests : public ::testing::TestWithParam<const char*> {
protected:
    void Start(int version)
    {
        outlook.SetVersions({version});
        outlook.Register();
        h.agent.agentId = version;
        ASSERT_EQ(h.Send(AS_CHECK_APPOINTS, U16Bytes(0xFFFF) + U16Bytes(0xFFFF)).code, AS_CHECK_APPOINTS + 1);
        h.TakeLogLines();
    }
    QStringList StateIds()
    {
        QStringList ids;
        for (const StateEntry& e : StateListOf(h.agent, ItemKind::Appointments).Entries()) ids.append(e.id);
        return ids;
    }

    ScopedTimeZone zone{GetParam()};
    DispatchHarness h;
    OutlookEmulation outlook;
};

TEST_P(AppointmentRequests, SetStoresAnEndThatPrecedesItsStartInTheRecord)
{
    Start(8);
    {
        const QString id = outlook.PlantItem(EmuFolder::Calendar, {{"Start", VariantValue::Date(Date(2010, 6, 1, 9))},
                                                                   {"End", VariantValue::Date(Date(2010, 6, 1, 10))},
                                                                   {"Duration", VariantValue::I4(60)}});
        const ItemRecord record = Record({{"End", QStringLiteral("06-20-2010 15:00:00")},
                                          {"Subject", QStringLiteral("Moved")},
                                          {"Start", QStringLiteral("06-20-2010 14:30:00")}});
        ASSERT_EQ(h.Send(AS_SET_APPOINT, ItemBlob(id, record)).code, AS_SET_APPOINT + 1) << h.TakeLogLines().join('\n').toStdString();
        const SentMessage reply = h.Send(AS_GET_APPOINT, Utf16z(id));
        const ItemRecord back = DecodeBlob(reply.payload);
        EXPECT_EQ(back.values[static_cast<std::size_t>(back.names.indexOf("Start"))],
                  ItemValue(QStringLiteral("06-20-2010 14:30:00")));
        EXPECT_EQ(back.values[static_cast<std::size_t>(back.names.indexOf("End"))],
                  ItemValue(QStringLiteral("06-20-2010 15:00:00")));
        EXPECT_EQ(outlook.Value(id, "Duration"), VariantValue::I4(30));
    }
}

TEST_P(AppointmentRequests, AnAllDayAddKeepsItsDatesWhenStartIsMovedToTheFront)
{
    Start(12);
    // Without "End", the add request trades "Start" with the first entry, "AllDayEvent".
    const ItemRecord record = Record({{"AllDayEvent", 1}, {"Subject", QStringLiteral("Holiday")},
                                      {"Start", QStringLiteral("03-07-2010")}});
    const SentMessage reply = h.Send(AS_ADD_APPOINT, ItemBlob({}, record));
    ASSERT_EQ(reply.code, AS_ADD_APPOINT + 1);
    const QString id = QString::fromUtf16(reinterpret_cast<const char16_t*>(reply.payload.constData()),
                                          reply.payload.size() / 2);
    EXPECT_EQ(outlook.Value(id, "Start"), VariantValue::Date(Date(2010, 3, 7)));
    EXPECT_EQ(outlook.Value(id, "AllDayEvent"), VariantValue::Bool(true));
    EXPECT_EQ(StateIds(), QStringList{id});
}

TEST_P(AppointmentRequests, AnUnreadableDateIsAnErrorThatSavesNothing)
{
    Start(11);
    const QString id = outlook.PlantItem(EmuFolder::Calendar, {{"Subject", VariantValue::Text("Kept")}});
    const ItemRecord record = Record({{"Subject", QStringLiteral("Lost")}, {"Start", QStringLiteral("31.31.2010")}});
    EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, record)).code, AS_ERROR);
    EXPECT_EQ(h.Send(AS_SET_APPOINT, ItemBlob(id, record)).code, AS_ERROR);
    const QString log = h.TakeLogLines().join('\n');
    EXPECT_TRUE(log.contains("\"Start\"") && log.contains("31.31.2010")) << log.toStdString();
    EXPECT_EQ(outlook.ItemCount(EmuFolder::Calendar), 1);
    EXPECT_EQ(outlook.Value(id, "Subject"), VariantValue::Text("Kept"));
    EXPECT_TRUE(StateIds().isEmpty());
}

TEST_P(AppointmentRequests, AnAddThatFailsAfterTheSaveLeavesNoAppointment)
{
    Start(14);
    const struct {
        const char* what;
        EmuFault fault;
    } cases[] = {
        {"entry identifier", {EmuObject::Appointment, 0xF01E, InvokeKind::PropertyGet, {}, 0, true, 0}},
        // The first read of the checksum that follows the add.
        {"checksum", {EmuObject::Appointment, 0x8218, InvokeKind::PropertyGet, {}, 0, true, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        outlook.ClearFaults();
        outlook.AddFault(c.fault);
        EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, Record({{"Subject", QStringLiteral("Once")}}))).code, AS_ERROR);
        EXPECT_EQ(outlook.ItemCount(EmuFolder::Calendar), 0);
        EXPECT_TRUE(StateIds().isEmpty());
    }
}

// The record the peer got back, with End moved: a recurring appointment's record carries
// "Duration" twice, the second behind Start and End, and neither may undo the new End.
TEST_P(AppointmentRequests, AnEditedEndIsKeptSingleOrRecurring)
{
    Start(14);
    for (const bool recurring : {false, true}) {
        SCOPED_TRACE(recurring ? "weekly" : "single");
        const QString id = outlook.PlantItem(EmuFolder::Calendar, {{"Start", VariantValue::Date(Date(2010, 6, 7, 9))},
                                                                   {"End", VariantValue::Date(Date(2010, 6, 7, 9, 15))},
                                                                   {"Duration", VariantValue::I4(15)}});
        if (recurring)
            outlook.PlantPattern(id, {{"RecurrenceType", VariantValue::I4(1)}, {"DayOfWeekMask", VariantValue::I4(2)},
                                      {"Duration", VariantValue::I4(15)}});
        ItemRecord record = DecodeBlob(h.Send(AS_GET_APPOINT, Utf16z(id)).payload);
        ASSERT_EQ(record.names.count("Duration"), recurring ? 2 : 1);
        const qsizetype end = record.names.indexOf("End");
        ASSERT_GE(end, 0);
        const QString sentEnd = std::get<QString>(record.values[static_cast<std::size_t>(end)]);
        const QDateTime later = QDateTime::fromString(sentEnd, QStringLiteral("MM-dd-yyyy HH:mm:ss")).addSecs(30 * 60);
        record.values[static_cast<std::size_t>(end)] = later.toString(QStringLiteral("MM-dd-yyyy HH:mm:ss"));
        ASSERT_EQ(h.Send(AS_SET_APPOINT, ItemBlob(id, record)).code, AS_SET_APPOINT + 1);
        EXPECT_EQ(outlook.Value(id, "End"), VariantValue::Date(Date(2010, 6, 7, 9, 45)));
        EXPECT_EQ(outlook.Value(id, "Start"), VariantValue::Date(Date(2010, 6, 7, 9)));
        EXPECT_EQ(outlook.Value(id, "Duration"), VariantValue::I4(45));
        EXPECT_EQ(outlook.Value(id, "IsRecurring"), VariantValue::Bool(recurring));
    }
}

TEST_P(AppointmentRequests, ARecurringAddKeepsItsStartAndEndWhateverItsDuration)
{
    Start(12);
    const struct {
        const char* name;
        std::int32_t type;
        bool durationFirst;
        std::int32_t patternDuration;  // the pattern's once saved; -1: not written
    } cases[] = {
        {"weekly, Duration behind the times", 1, false, -1},
        {"weekly, Duration in front", 1, true, -1},
        {"monthly, whose pattern takes a duration", 2, false, 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ItemRecord record;
        if (c.durationFirst) record.Add(QStringLiteral("Duration"), 30);
        record.Add(QStringLiteral("Start"), QStringLiteral("06-07-2010 10:00:00"));
        record.Add(QStringLiteral("End"), QStringLiteral("06-07-2010 11:00:00"));
        record.Add(QStringLiteral("IsRecurring"), 1);
        record.Add(QStringLiteral("RecurrenceType"), c.type);
        record.Add(QStringLiteral("DayOfMonth"), 7);
        if (!c.durationFirst) record.Add(QStringLiteral("Duration"), 30);
        const SentMessage reply = h.Send(AS_ADD_APPOINT, ItemBlob({}, record));
        ASSERT_EQ(reply.code, AS_ADD_APPOINT + 1);
        const QString id = QString::fromUtf16(reinterpret_cast<const char16_t*>(reply.payload.constData()),
                                              reply.payload.size() / 2);
        const ItemRecord back = DecodeBlob(h.Send(AS_GET_APPOINT, Utf16z(id)).payload);
        EXPECT_EQ(back.values[static_cast<std::size_t>(back.names.indexOf("Start"))],
                  ItemValue(QStringLiteral("06-07-2010 10:00:00")));
        EXPECT_EQ(back.values[static_cast<std::size_t>(back.names.indexOf("End"))],
                  ItemValue(QStringLiteral("06-07-2010 11:00:00")));
        EXPECT_EQ(outlook.Value(id, "Duration"), VariantValue::I4(60));
        EXPECT_EQ(outlook.Value(id, "IsRecurring"), VariantValue::Bool(true));
        if (c.patternDuration >= 0) EXPECT_EQ(outlook.PatternValue(id, "Duration"), VariantValue::I4(c.patternDuration));
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, AppointmentRequests, ::testing::Values("Europe/Berlin", "Australia/Sydney"),
                         [](const auto& info) { return std::string(info.param).substr(0, 6) == "Europe" ? "Berlin" : "Sydney"; });

}  // namespace
