// Reading Outlook appointments for the peer, and their checksums, in every object-model version.
#include <gtest/gtest.h>

#include <QtEndian>

#include "appointment_rig.h"
#include "common/crc32.h"
#include "common/dates.h"
#include "common/errors.h"
#include "stores/outlook/appointment_store.h"
#include "support/scoped_time_zone.h"
#include "support/temp_home.h"

namespace {

using namespace appointment_test;

QStringList Split(const char* keys)
{
    return QString::fromLatin1(keys).split(u' ');
}

// A timed appointment on 7 March 2010, 14:30 to 15:00 local time, with a value in every field.
EmuProperties Timed()
{
    return {
        {"Subject", VariantValue::Text("Review")},
        {"Body", VariantValue::Text("Agenda")},
        {"Categories", VariantValue::Text("Red;Blue")},
        {"Location", VariantValue::Text("Room 4")},
        {"Start", VariantValue::Date(Date(2010, 3, 7, 14, 30))},
        {"End", VariantValue::Date(Date(2010, 3, 7, 15, 0))},
        {"Duration", VariantValue::I4(30)},
        {"BusyStatus", VariantValue::I4(2)},
        {"ReminderSet", VariantValue::Bool(true)},
        {"CreationTime", VariantValue::Date(Date(2010, 3, 1, 8, 0))},
        {"LastModificationTime", VariantValue::Date(Date(2010, 3, 2, 9, 15))},
    };
}

TEST(AppointmentGet, EachVersionGivesItsKeysInOrder)
{
    TempHome home;
    ScopedTimeZone zone("UTC0");
    const QStringList common9 = Split(
        "Body Categories Companies ConversationIndex ConversationTopic EntryID Location Organizer OutlookVersion "
        "ReminderSoundFile Subject AllDayEvent BusyStatus Class Duration Importance IsRecurring MeetingStatus "
        "OutlookInternalVersion ReminderMinutesBeforeStart ReminderOverrideDefault ReminderPlaySound ReminderSet "
        "ResponseStatus Saved Sensitivity Size UnRead RecurrenceState Start End LastModificationTime CreationTime");
    const QStringList common12 = Split(
        "Body Categories Companies ConversationIndex ConversationTopic EntryID Location Organizer ReminderSoundFile "
        "Subject AllDayEvent BusyStatus Class DownloadState Duration Importance IsConflict IsRecurring "
        "MarkForDownload MeetingStatus ReminderMinutesBeforeStart ReminderOverrideDefault ReminderPlaySound "
        "ReminderSet ResponseStatus Saved Sensitivity Size UnRead RecurrenceState Start End LastModificationTime "
        "CreationTime");
    const QStringList pattern9 =
        Split("RecurrenceType PatternEndDate DayOfMonth MonthOfYear DayOfWeekMask Duration Interval Instance "
              "NoEndDate Occurrences");
    const QStringList pattern12 =
        Split("RecurrenceType DayOfMonth MonthOfYear DayOfWeekMask Duration Interval Instance NoEndDate Occurrences "
              "PatternEndDate");
    const struct {
        int version;
        int plain, recurring;
        const QStringList* keys;  // the whole order, where spelled out here
        const QStringList* pattern;
    } cases[] = {
        {8, 29, 39, nullptr, &pattern9}, {9, 33, 43, &common9, &pattern9},    {11, 38, 48, nullptr, &pattern9},
        {12, 34, 44, &common12, &pattern12}, {14, 34, 44, &common12, &pattern12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        CalendarRig rig(c.version);
        const QString plain = rig.Plant(Timed());
        const QString recurring = rig.Plant(Timed());
        rig.outlook.PlantPattern(recurring, {{"Duration", VariantValue::I4(45)}, {"Occurrences", VariantValue::I4(6)}});

        const ItemRecord one = rig.Get(plain);
        ASSERT_EQ(one.FieldCount(), c.plain) << one.names.join(' ').toStdString();
        ASSERT_EQ(one.values.size(), one.names.size());
        if (c.keys) {
            EXPECT_EQ(one.names, *c.keys);
        }
        EXPECT_EQ(one.names.count("Duration"), 1);
        EXPECT_EQ(CalendarRig::Field(one, "EntryID"), ItemValue(plain));

        const ItemRecord many = rig.Get(recurring);
        ASSERT_EQ(many.FieldCount(), c.recurring) << many.names.join(' ').toStdString();
        EXPECT_EQ(many.names.mid(c.plain), *c.pattern);
        // The item's duration, then the pattern's.
        const qsizetype first = many.names.indexOf("Duration");
        const qsizetype second = many.names.lastIndexOf("Duration");
        ASSERT_LT(first, second);
        EXPECT_EQ(many.values[static_cast<std::size_t>(first)], ItemValue(30));
        EXPECT_EQ(many.values[static_cast<std::size_t>(second)], ItemValue(45));
        EXPECT_EQ(CalendarRig::Field(many, "Occurrences"), ItemValue(6));
        // Version 8 has no recurrence state of its own and repeats IsRecurring there.
        if (c.version == 8) {
            EXPECT_EQ(CalendarRig::Field(many, "RecurrenceState"), ItemValue(1));
            EXPECT_EQ(CalendarRig::Field(one, "RecurrenceState"), ItemValue(0));
        }
        EXPECT_EQ(CalendarRig::Field(many, "IsRecurring"), ItemValue(1));
        EXPECT_EQ(CalendarRig::Field(one, "ReminderSet"), ItemValue(1)) << "true is 1, never -1";
        EXPECT_EQ(CalendarRig::Field(one, "Categories"), ItemValue(QStringLiteral("Red,Blue")));
    }
}

TEST(AppointmentGet, TimedStartsAndEndsTravelInUtcEverythingElseLocal)
{
    TempHome home;
    // One hour ahead of UTC, no daylight time.
    ScopedTimeZone zone("<+01>-1");
    CalendarRig rig(9);
    const struct {
        double start;
        bool allDay;
        const char* expected;
    } cases[] = {
        {Date(2010, 3, 7, 14, 30), false, "03-07-2010 13:30:00"},
        {Date(2010, 3, 7, 1, 0), false, "03-07-2010"},  // UTC midnight prints as a date
        {Date(2010, 3, 7, 0, 0), false, "03-06-2010 23:00:00"},
        {Date(2010, 3, 7), true, "03-07-2010"},  // all-day dates are local dates
        // An unset date is empty text in any zone, never a time on 31 December 4500.
        {kNoDate, false, ""},
        {kNoDate, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        const QString id = rig.Plant({{"Start", VariantValue::Date(c.start)},
                                      {"AllDayEvent", VariantValue::Bool(c.allDay)},
                                      {"CreationTime", VariantValue::Date(Date(2010, 3, 1, 8, 0))},
                                      {"LastModificationTime", VariantValue::Date(kNoDate)}});
        const ItemRecord record = rig.Get(id);
        EXPECT_EQ(CalendarRig::Field(record, "Start"), ItemValue(QString::fromLatin1(c.expected)));
        EXPECT_EQ(CalendarRig::Field(record, "CreationTime"), ItemValue(QStringLiteral("03-01-2010 08:00:00")));
        EXPECT_EQ(CalendarRig::Field(record, "LastModificationTime"), ItemValue(QString()));
    }
}

TEST(AppointmentGet, TextsKeepOutlooksValuesButCategorySeparators)
{
    TempHome home;
    CalendarRig rig(14);
    for (const auto& [stored, sent] : {std::pair{"Red;Blue", "Red,Blue"}, {"Red; Blue", "Red, Blue"}, {"Red", "Red"}}) {
        const QString id = rig.Plant({{"Categories", VariantValue::Text(stored)}});
        EXPECT_EQ(CalendarRig::Field(rig.Get(id), "Categories"), ItemValue(QString::fromLatin1(sent)));
    }
}

TEST(AppointmentGet, ADateOutsideTheRangeFailsInsteadOfSendingBrokenFields)
{
    TempHome home;
    ScopedTimeZone zone("Australia/Sydney");
    CalendarRig rig(12);
    for (const char* key : {"Start", "End", "CreationTime"}) {
        SCOPED_TRACE(key);
        // 1 January 100, 05:00 local is still a date, but its UTC moment is not.
        const double date = std::string(key) == "CreationTime" ? 4e6 : Date(100, 1, 1, 5);
        const QString id = rig.Plant({{key, VariantValue::Date(date)}});
        ItemRecord record;
        try {
            rig.store->Get(id, record);
            ADD_FAILURE() << "read";
        } catch (const AgentError& e) {
            EXPECT_NE(std::string(e.what()).find(key), std::string::npos) << e.what();
        }
        EXPECT_EQ(record.names.size(), record.values.size()) << "only whole pairs";
        EXPECT_FALSE(record.names.contains(QString::fromLatin1(key)));
    }
}

TEST(AppointmentGet, AFailingReadLeavesOnlyWholePairs)
{
    TempHome home;
    CalendarRig rig(11);
    const QString id = rig.Plant(Timed());
    rig.outlook.PlantPattern(id);
    // A text read, an integer read, and a pattern read.
    for (const auto& [object, dispId] : {std::pair{EmuObject::Appointment, DispId(0x8208)},
                                         {EmuObject::Appointment, DispId(0x0E08)},
                                         {EmuObject::RecurrencePattern, DispId(0x100B)}}) {
        rig.outlook.ClearFaults();
        rig.outlook.AddFault({object, dispId, InvokeKind::PropertyGet, {}, 0, true, 0});
        ItemRecord record;
        EXPECT_ANY_THROW(rig.store->Get(id, record));
        EXPECT_EQ(record.names.size(), record.values.size());
        // Integers and pattern values are all read before any is appended.
        EXPECT_FALSE(record.names.contains("AllDayEvent") && dispId == 0x0E08);
        EXPECT_FALSE(record.names.contains("RecurrenceType"));
    }
}

// The checksum as the state files have always held it: thirteen little-endian integers, then
// eleven texts as UTF-16 without separators.
std::uint32_t ExpectedCrc(const std::vector<std::int32_t>& integers, const QStringList& texts)
{
    QByteArray bytes;
    for (const std::int32_t value : integers) {
        char le[4];
        qToLittleEndian(value, le);
        bytes.append(le, 4);
    }
    const QString joined = texts.join(QString());
    for (const QChar unit : joined) {
        bytes.append(static_cast<char>(unit.unicode() & 0xFF));
        bytes.append(static_cast<char>(unit.unicode() >> 8));
    }
    return Crc32(bytes);
}

TEST(AppointmentChecksum, CoversTheIntegersAndTextsInTheirPlaces)
{
    TempHome home;
    ScopedTimeZone zone("Europe/Berlin");
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        CalendarRig rig(version);
        EmuProperties properties = Timed();
        properties.insert(properties.end(), {{"Importance", VariantValue::I4(1)},
                                             {"ReminderMinutesBeforeStart", VariantValue::I4(15)},
                                             {"Sensitivity", VariantValue::I4(3)},
                                             {"ReminderPlaySound", VariantValue::Bool(true)},
                                             {"UnRead", VariantValue::Bool(true)},
                                             {"Companies", VariantValue::Text("Acme")},
                                             {"Mileage", VariantValue::Text("12")},
                                             {"ReminderSoundFile", VariantValue::Text("ding.wav")}});
        const QString id = rig.Plant(properties);
        rig.outlook.PlantPattern(id);
        // Version 8 takes IsRecurring where the others take RecurrenceState; both are 1 here.
        const std::int32_t state = 1;
        const std::uint32_t expected =
            ExpectedCrc({2, 30, 1, state, 15, 0, 3, 0, 1, 0, 1, 1, 1},
                        {"Agenda", "Red;Blue", "Acme", "Room 4", "12", "ding.wav", "Review", "03-01-2010 08:00:00",
                         "03-07-2010 15:00:00", "03-07-2010 14:30:00", "03-02-2010 09:15:00"});
        EXPECT_EQ(rig.store->IDtoCRC32(id), expected);
        EXPECT_EQ(rig.store->IDtoCRC32(id), expected) << "the same twice";
    }
}

TEST(AppointmentChecksum, ChangesWithTheModificationTimeAloneAndJoinsTextsWithoutSeparators)
{
    TempHome home;
    CalendarRig rig(9);
    const QString id = rig.Plant(Timed());
    const std::uint32_t before = rig.store->IDtoCRC32(id);
    // Saved unchanged, a minute later.
    rig.outlook.SetClock(rig.outlook.Clock() + 1.0 / 1440);
    rig.Edit({}, id);
    EXPECT_NE(rig.store->IDtoCRC32(id), before);

    const QString ab = rig.Plant({{"Body", VariantValue::Text("ab")}, {"Categories", VariantValue::Text("c")}});
    const QString bc = rig.Plant({{"Body", VariantValue::Text("a")}, {"Categories", VariantValue::Text("bc")}});
    EXPECT_EQ(rig.store->IDtoCRC32(ab), rig.store->IDtoCRC32(bc));
    // Unset texts and dates: the integers alone.
    EXPECT_EQ(rig.store->IDtoCRC32(rig.Plant({})), ExpectedCrc(std::vector<std::int32_t>(13, 0), {}));
}

TEST(AppointmentExchange, NewAppointmentsGetShortIdentifiersThatEveryOperationMaps)
{
    TempHome home;
    for (int version : {12, 14}) {
        SCOPED_TRACE(version);
        CalendarRig rig(version, true);
        auto& mapped = dynamic_cast<IdMappedOutlookStore&>(*rig.store);
        mapped.OpenIdMap(QStringLiteral("PEER"));
        ItemRecord record;
        record.Add("Subject", QStringLiteral("Exchange"));
        const QString id = rig.Add(record);
        ASSERT_EQ(id.size(), 48);
        ASSERT_EQ(mapped.IdMap().Pairs().size(), 1u);
        const QString entryId = mapped.IdMap().Pairs().front().second;
        EXPECT_EQ(entryId.size(), 140);
        EXPECT_EQ(mapped.IdMap().Pairs().front().first, id);
        ASSERT_TRUE(rig.outlook.FindItem(entryId));

        EXPECT_EQ(CalendarRig::Field(rig.Get(id), "EntryID"), ItemValue(entryId)) << "Outlook's own identifier";
        const std::uint32_t crc = rig.store->IDtoCRC32(id);
        ItemRecord edit;
        edit.Add("Subject", QStringLiteral("Changed"));
        rig.Edit(edit, id);
        EXPECT_EQ(rig.outlook.Value(entryId, "Subject"), VariantValue::Text("Changed"));
        EXPECT_NE(rig.store->IDtoCRC32(id), crc);

        // A short identifier without a pair goes to Outlook as it is, which does not know it.
        rig.outlook.ClearJournal();
        const QString unpaired(48, u'7');
        EXPECT_ANY_THROW(rig.Get(unpaired));
        bool asked = false;
        for (const EmuCall& call : rig.outlook.Journal())
            if (call.dispId == 0x2109) asked = asked || call.arguments.at(0) == VariantValue::Text(unpaired);
        EXPECT_TRUE(asked);
    }
}

}  // namespace
