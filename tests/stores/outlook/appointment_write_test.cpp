// Writing Outlook appointments from the peer's records: the write rules of Add and Edit, the
// recurrence, the dates and what a refused or failed write leaves behind.
#include <gtest/gtest.h>

#include "appointment_rig.h"
#include "common/dates.h"
#include "common/errors.h"
#include "stores/outlook/appointment_store.h"
#include "support/scoped_time_zone.h"
#include "support/temp_home.h"

namespace {

using namespace appointment_test;

constexpr DispId kStart = 0x820D, kEnd = 0x820E, kAllDayEvent = 0x8215, kSubject = 0x37, kDuration = 0x8213,
                 kReminderSet = 0x8503, kGetPattern = 0xF0A4, kClearPattern = 0xF0A5, kSave = 0xF048;
// Pattern members.
constexpr DispId kDayOfMonth = 0x1000, kDayOfWeekMask = 0x1001, kPatternEndDate = 0x1002, kInstance = 0x1003,
                 kInterval = 0x1004, kOccurrences = 0x1005, kMonthOfYear = 0x1006, kRecurrenceType = 0x1007,
                 kNoEndDate = 0x100B, kPatternDuration = 0x100D;

std::vector<VariantValue> PutsOf(const CalendarRig& rig, EmuObject object, DispId dispId)
{
    std::vector<VariantValue> values;
    for (const auto& [id, value] : rig.Puts(object))
        if (id == dispId) values.push_back(value);
    return values;
}

std::vector<DispId> PatternPutOrder(const CalendarRig& rig)
{
    std::vector<DispId> order;
    for (const auto& [id, value] : rig.Puts(EmuObject::RecurrencePattern)) order.push_back(id);
    return order;
}

ItemRecord Record(std::initializer_list<std::pair<const char*, ItemValue>> fields)
{
    ItemRecord record;
    for (const auto& [name, value] : fields) record.Add(QString::fromLatin1(name), value);
    return record;
}

TEST(AppointmentWrite, BooleansAddOnlyWhenPositiveAndEditAlways)
{
    TempHome home;
    CalendarRig rig(9);
    const QString stored = rig.Plant({});
    const struct {
        const char* key;
        DispId dispId;
        bool addOnlyPositive;
    } keys[] = {{"AllDayEvent", kAllDayEvent, true},
                {"ReminderOverrideDefault", 0x851C, true},
                {"ReminderPlaySound", 0x851E, true},
                {"UnRead", 0xF01C, true},
                {"ReminderSet", kReminderSet, false}};
    for (const auto& key : keys)
        for (const std::int32_t value : {1, 2, 0, -1}) {
            SCOPED_TRACE(std::string(key.key) + " " + std::to_string(value));
            const std::vector<VariantValue> written{VariantValue::Bool(value != 0)};
            rig.outlook.ClearJournal();
            rig.Add(Record({{key.key, value}}));
            const bool addWrites = !key.addOnlyPositive || value > 0;
            EXPECT_EQ(PutsOf(rig, EmuObject::Appointment, key.dispId),
                      addWrites ? written : std::vector<VariantValue>{});
            rig.outlook.ClearJournal();
            rig.Edit(Record({{key.key, value}}), stored);
            EXPECT_EQ(PutsOf(rig, EmuObject::Appointment, key.dispId), written);
            EXPECT_EQ(rig.outlook.Value(stored, key.dispId), VariantValue::Bool(value != 0));
        }
}

TEST(AppointmentWrite, EachRecurrenceTypeWritesItsFieldsInOrder)
{
    TempHome home;
    CalendarRig rig(14);
    const struct {
        std::int32_t type;
        std::vector<DispId> fields;
    } cases[] = {
        {0, {kInterval}},
        {1, {kDayOfWeekMask, kInterval}},
        {2, {kDayOfMonth, kInterval, kPatternDuration}},
        {3, {kInstance, kDayOfWeekMask, kInterval}},
        {4, {}},
        {5, {kDayOfMonth, kMonthOfYear}},
        {6, {kInstance, kDayOfWeekMask, kMonthOfYear}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        rig.outlook.ClearJournal();
        const QString id = rig.Add(Record({{"IsRecurring", 1},
                                           {"RecurrenceType", c.type},
                                           {"Interval", 2},
                                           {"DayOfWeekMask", 4},
                                           {"DayOfMonth", 5},
                                           {"MonthOfYear", 6},
                                           {"Instance", 3},
                                           {"Duration", 60}}));
        std::vector<DispId> expected{kRecurrenceType};
        expected.insert(expected.end(), c.fields.begin(), c.fields.end());
        EXPECT_EQ(PatternPutOrder(rig), expected);
        EXPECT_EQ(rig.outlook.Value(id, kDuration), VariantValue::I4(60)) << "the item's duration always";
        EXPECT_EQ(rig.outlook.PatternValue(id, "RecurrenceType"), VariantValue::I4(c.type));
    }
    // A field of 0 is not written.
    rig.outlook.ClearJournal();
    rig.Add(Record({{"IsRecurring", 1}, {"RecurrenceType", 1}, {"DayOfWeekMask", 0}, {"Interval", 2}}));
    EXPECT_EQ(PatternPutOrder(rig), (std::vector<DispId>{kRecurrenceType, kInterval}));
}

TEST(AppointmentWrite, ThePatternEndsAsTheRecordSays)
{
    TempHome home;
    CalendarRig rig(11);
    const QString stored = rig.Plant({});
    const struct {
        const char* name;
        ItemRecord extra;
        std::vector<std::pair<DispId, VariantValue>> ends;  // puts after the type's fields
    } cases[] = {
        {"no end", Record({{"NoEndDate", 1}}), {{kNoEndDate, VariantValue::Bool(true)}}},
        {"only 1 counts", Record({{"NoEndDate", 2}}), {}},
        {"not -1 either", Record({{"NoEndDate", -1}}), {}},
        {"occurrences 0", Record({{"Occurrences", 0}}), {{kOccurrences, VariantValue::I4(0)}}},
        {"end date", Record({{"PatternEndDate", QStringLiteral("06-30-2010")}}),
         {{kPatternEndDate, VariantValue::Date(Date(2010, 6, 30))}}},
        {"empty end date", Record({{"PatternEndDate", QString()}}), {}},
        {"unreadable end date", Record({{"PatternEndDate", QStringLiteral("someday")}}), {}},
        {"later wins", Record({{"Occurrences", 4}, {"Occurrences", 9}}), {{kOccurrences, VariantValue::I4(9)}}},
    };
    for (const auto& c : cases)
        for (const bool edit : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (edit ? " (edit)" : " (add)"));
            ItemRecord record = Record({{"IsRecurring", 1}, {"RecurrenceType", 0}});
            record.names += c.extra.names;
            record.values.insert(record.values.end(), c.extra.values.begin(), c.extra.values.end());
            rig.outlook.ClearJournal();
            if (edit)
                rig.Edit(record, stored);
            else
                rig.Add(record);
            std::vector<std::pair<DispId, VariantValue>> expected{{kRecurrenceType, VariantValue::I4(0)}};
            expected.insert(expected.end(), c.ends.begin(), c.ends.end());
            EXPECT_EQ(rig.Puts(EmuObject::RecurrencePattern), expected);
        }
}

TEST(AppointmentWrite, OnlyIsRecurringOneMakesAPattern)
{
    TempHome home;
    CalendarRig rig(8);
    for (const std::int32_t value : {0, 2, -1}) {
        rig.outlook.ClearJournal();
        const QString id = rig.Add(Record({{"IsRecurring", value}, {"RecurrenceType", 1}}));
        EXPECT_FALSE(rig.Called(EmuObject::Appointment, kGetPattern, InvokeKind::Method)) << value;
        EXPECT_EQ(rig.outlook.Value(id, "IsRecurring"), VariantValue::Bool(false));
    }
    // An empty record makes an appointment with Outlook's defaults.
    const QString plain = rig.Add({});
    EXPECT_EQ(rig.outlook.Value(plain, "Subject"), VariantValue::Text(""));
    EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Calendar), 4);
}

TEST(AppointmentWrite, EditChangesTheRecurrenceOnlyWhenTheRecordSpeaksOfIt)
{
    TempHome home;
    CalendarRig rig(12);
    const auto recurringItem = [&] {
        const QString id = rig.Plant({{"Subject", VariantValue::Text("Weekly")}});
        rig.outlook.PlantPattern(id, {{"RecurrenceType", VariantValue::I4(1)},
                                      {"DayOfWeekMask", VariantValue::I4(8)},
                                      {"Occurrences", VariantValue::I4(10)}});
        return id;
    };
    // Without "IsRecurring" the pattern stays as it is.
    QString id = recurringItem();
    rig.outlook.ClearJournal();
    rig.Edit(Record({{"Subject", QStringLiteral("Still weekly")}}), id);
    EXPECT_FALSE(rig.Called(EmuObject::Appointment, kClearPattern, InvokeKind::Method));
    EXPECT_EQ(rig.outlook.Value(id, "IsRecurring"), VariantValue::Bool(true));
    EXPECT_EQ(rig.outlook.PatternValue(id, "DayOfWeekMask"), VariantValue::I4(8));
    EXPECT_EQ(rig.outlook.PatternValue(id, "Occurrences"), VariantValue::I4(10));

    // Any value but 1 ends the recurrence.
    id = recurringItem();
    rig.Edit(Record({{"IsRecurring", 0}}), id);
    EXPECT_EQ(rig.outlook.Value(id, "IsRecurring"), VariantValue::Bool(false));

    // 1 rewrites the pattern from the record alone.
    id = recurringItem();
    rig.outlook.ClearJournal();
    rig.Edit(Record({{"IsRecurring", 1}, {"RecurrenceType", 0}, {"Interval", 3}}), id);
    EXPECT_TRUE(rig.Called(EmuObject::Appointment, kClearPattern, InvokeKind::Method));
    EXPECT_EQ(rig.outlook.PatternValue(id, "RecurrenceType"), VariantValue::I4(0));
    EXPECT_EQ(rig.outlook.PatternValue(id, "Interval"), VariantValue::I4(3));
    EXPECT_NE(rig.outlook.PatternValue(id, "Occurrences"), VariantValue::I4(10));
}

TEST(AppointmentWrite, TextsAndKeysAreTakenAsTheyCome)
{
    TempHome home;
    CalendarRig rig(9);
    rig.outlook.ClearJournal();
    const QString id = rig.Add(Record({{"Subject", QStringLiteral("first")},
                                       {"Subject", QStringLiteral("second")},
                                       {"subject", QStringLiteral("ignored")},
                                       {"Location", QString::fromLatin1("up to\0here", 10)},
                                       {"Organizer", QStringLiteral("not written")},
                                       {"EntryID", QStringLiteral("not written")}}));
    EXPECT_EQ(PutsOf(rig, EmuObject::Appointment, kSubject),
              (std::vector<VariantValue>{VariantValue::Text("first"), VariantValue::Text("second")}));
    EXPECT_EQ(rig.outlook.Value(id, "Subject"), VariantValue::Text("second"));
    EXPECT_EQ(rig.outlook.Value(id, "Location"), VariantValue::Text("up to"));
    EXPECT_EQ(rig.outlook.Value(id, "Organizer"), VariantValue::Text(""));
    EXPECT_EQ(rig.Puts(EmuObject::Appointment).size(), 3u);
}

TEST(AppointmentWrite, EmptyDatesAreNothingInAddAndNoDateInEdit)
{
    TempHome home;
    CalendarRig rig(14);
    rig.outlook.ClearJournal();
    rig.Add(Record({{"Start", QString()}, {"End", QString()}}));
    EXPECT_TRUE(rig.Puts(EmuObject::Appointment).empty());

    const QString id = rig.Plant({{"Start", VariantValue::Date(Date(2010, 6, 1, 9))}});
    rig.outlook.ClearJournal();
    rig.Edit(Record({{"Start", QString()}}), id);
    EXPECT_EQ(PutsOf(rig, EmuObject::Appointment, kStart), std::vector<VariantValue>{VariantValue::Date(kNoDate)});
    EXPECT_EQ(CalendarRig::Field(rig.Get(id), "Start"), ItemValue(QString())) << "and reads back as no date";
}

TEST(AppointmentWrite, AMomentWhoseLocalTimeIsOutOfRangeIsNotWritten)
{
    TempHome home;
    ScopedTimeZone zone("Australia/Sydney");
    CalendarRig rig(9);
    rig.outlook.ClearJournal();
    // 10 hours ahead: the last evening of 9999 in UTC is past the last representable day here.
    const QString id = rig.Add(Record({{"Subject", QStringLiteral("Far")}, {"Start", QStringLiteral("12-31-9999 20:00:00")}}));
    EXPECT_TRUE(PutsOf(rig, EmuObject::Appointment, kStart).empty());
    EXPECT_EQ(rig.outlook.Value(id, "Subject"), VariantValue::Text("Far"));
}

TEST(AppointmentTime, UtcOnTheWireLocalInOutlookInEveryZone)
{
    TempHome home;
    const struct {
        const char* zone;
        double localStart;  // 15 June 2010 12:00 UTC
    } zones[] = {{"Europe/Berlin", Date(2010, 6, 15, 14)}, {"Australia/Sydney", Date(2010, 6, 15, 22)}};
    // Each across the zone's change of daylight time, start and end clear of the repeated hour.
    const std::pair<const char*, const char*> spans[] = {{"03-27-2010 12:00:00", "03-28-2010 12:00:00"},
                                                         {"04-03-2010 10:00:00", "04-04-2010 10:00:00"},
                                                         {"10-30-2010 12:00:00", "10-31-2010 12:00:00"},
                                                         {"10-02-2010 10:00:00", "10-03-2010 10:00:00"}};
    for (const auto& z : zones)
        for (int version : kVersions) {
            SCOPED_TRACE(std::string(z.zone) + " " + std::to_string(version));
            ScopedTimeZone zone(z.zone);
            CalendarRig rig(version);
            const QString id = rig.Add(Record({{"Start", QStringLiteral("06-15-2010 12:00:00")},
                                               {"End", QStringLiteral("06-15-2010 13:00:00")}}));
            EXPECT_EQ(rig.outlook.Value(id, "Start"), VariantValue::Date(z.localStart));
            const ItemRecord back = rig.Get(id);
            EXPECT_EQ(CalendarRig::Field(back, "Start"), ItemValue(QStringLiteral("06-15-2010 12:00:00")));
            EXPECT_EQ(CalendarRig::Field(back, "End"), ItemValue(QStringLiteral("06-15-2010 13:00:00")));
            EXPECT_EQ(CalendarRig::Field(back, "CreationTime"), ItemValue(QStringLiteral("06-01-2010 09:00:00")))
                << "the local clock, unconverted";

            for (const auto& [start, end] : spans) {
                const QString span = rig.Add(Record({{"Start", QString::fromLatin1(start)}, {"End", QString::fromLatin1(end)}}));
                const ItemRecord read = rig.Get(span);
                EXPECT_EQ(CalendarRig::Field(read, "Start"), ItemValue(QString::fromLatin1(start)));
                EXPECT_EQ(CalendarRig::Field(read, "End"), ItemValue(QString::fromLatin1(end)));
            }

            const QString allDay = rig.Add(Record(
                {{"AllDayEvent", 1}, {"Start", QStringLiteral("03-07-2010")}, {"End", QStringLiteral("03-08-2010")}}));
            EXPECT_EQ(rig.outlook.Value(allDay, "Start"), VariantValue::Date(Date(2010, 3, 7)));
            EXPECT_EQ(CalendarRig::Field(rig.Get(allDay), "Start"), ItemValue(QStringLiteral("03-07-2010")));
            EXPECT_EQ(CalendarRig::Field(rig.Get(allDay), "End"), ItemValue(QStringLiteral("03-08-2010")));
        }
}

TEST(AppointmentTime, TwoHoursEastTimedIsConvertedAllDayIsNot)
{
    TempHome home;
    ScopedTimeZone zone("<+02>-2");
    CalendarRig rig(9);
    const QString timed = rig.Add(Record({{"Start", QStringLiteral("06-15-2010 12:00")}}));
    EXPECT_EQ(rig.outlook.Value(timed, "Start"), VariantValue::Date(Date(2010, 6, 15, 14)));
    const QString allDay = rig.Add(Record({{"AllDayEvent", 1}, {"Start", QStringLiteral("06-15-2010 12:00")}}));
    EXPECT_EQ(rig.outlook.Value(allDay, "Start"), VariantValue::Date(Date(2010, 6, 15, 12)));
}

TEST(AppointmentTime, AllDayIsDecidedBeforeAnyDateWhateverTheOrder)
{
    TempHome home;
    ScopedTimeZone zone("Australia/Sydney");
    CalendarRig rig(12);
    // Add: any "AllDayEvent" above 0, before or after the dates.
    for (const ItemRecord& record :
         {Record({{"Start", QStringLiteral("03-07-2010")}, {"AllDayEvent", 1}, {"End", QStringLiteral("03-08-2010")}}),
          Record({{"Start", QStringLiteral("03-07-2010")}, {"End", QStringLiteral("03-08-2010")}, {"AllDayEvent", 1}}),
          Record({{"AllDayEvent", 1}, {"Start", QStringLiteral("03-07-2010")}, {"AllDayEvent", 0},
                  {"End", QStringLiteral("03-08-2010")}})}) {
        const QString id = rig.Add(record);
        EXPECT_EQ(rig.outlook.Value(id, "Start"), VariantValue::Date(Date(2010, 3, 7)));
        EXPECT_EQ(rig.outlook.Value(id, "End"), VariantValue::Date(Date(2010, 3, 8)));
    }
    // Edit: the last "AllDayEvent" entry, else the stored flag.
    const QString stored = rig.Plant({{"AllDayEvent", VariantValue::Bool(true)}});
    rig.Edit(Record({{"Start", QStringLiteral("03-09-2010")}}), stored);
    EXPECT_EQ(rig.outlook.Value(stored, "Start"), VariantValue::Date(Date(2010, 3, 9)));
    rig.Edit(Record({{"Start", QStringLiteral("03-09-2010 01:00:00")}, {"AllDayEvent", 1}, {"AllDayEvent", 0}}), stored);
    EXPECT_EQ(rig.outlook.Value(stored, "Start"), VariantValue::Date(Date(2010, 3, 9, 12))) << "timed: from UTC";
    EXPECT_EQ(rig.outlook.Value(stored, "AllDayEvent"), VariantValue::Bool(false));
}

// Outlook ties Start, End and Duration together (a Start put moves End, a Duration put moves
// End), so the times are put last, durations first and End last, whatever the peer's order; the
// other keys keep theirs.
TEST(AppointmentWrite, TheTimesArePutLastDurationThenStartThenEnd)
{
    TempHome home;
    CalendarRig rig(14);
    const QString stored = rig.Plant({});
    const struct {
        const char* name;
        std::vector<const char*> sent;
        std::vector<DispId> put;
    } cases[] = {
        {"end first", {"End", "Subject", "Start"}, {kSubject, kStart, kEnd}},
        {"no end", {"Subject", "Start"}, {kSubject, kStart}},
        {"in order", {"Start", "End", "Subject"}, {kSubject, kStart, kEnd}},
        {"each kept twice", {"End", "Start", "End"}, {kStart, kEnd, kEnd}},
        {"durations around", {"Duration", "Start", "End", "Subject", "Duration"},
         {kSubject, kDuration, kDuration, kStart, kEnd}},
        {"names are case-sensitive", {"end", "Subject", "start"}, {kSubject}},
    };
    for (const auto& c : cases)
        for (const bool edit : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (edit ? " (edit)" : " (add)"));
            ItemRecord record;
            for (const char* name : c.sent) {
                const QString key = QString::fromLatin1(name);
                if (key == QLatin1String("Duration"))
                    record.Add(key, 30);
                else if (key == QLatin1String("Subject"))
                    record.Add(key, QStringLiteral("x"));
                else
                    record.Add(key, QStringLiteral("06-07-2010 10:00:00"));
            }
            rig.outlook.ClearJournal();
            if (edit)
                rig.Edit(record, stored);
            else
                rig.Add(record);
            std::vector<DispId> put;
            for (const auto& [id, value] : rig.Puts(EmuObject::Appointment)) put.push_back(id);
            EXPECT_EQ(put, c.put);
        }
}

TEST(AppointmentWrite, AnUnreadableDateFailsBeforeAnythingIsWritten)
{
    TempHome home;
    CalendarRig rig(11);
    const QString stored = rig.Plant({{"Subject", VariantValue::Text("Kept")}});
    for (const char* text : {"13-45-2010", "tomorrow", "03-07-2010 25:00"}) {
        SCOPED_TRACE(text);
        const ItemRecord record = Record({{"Subject", QStringLiteral("Lost")}, {"End", QString::fromLatin1(text)}});
        rig.outlook.ClearJournal();
        try {
            rig.Add(record);
            ADD_FAILURE() << "added";
        } catch (const AgentError& e) {
            EXPECT_NE(std::string(e.what()).find("\"End\""), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
        }
        EXPECT_THROW(rig.Edit(record, stored), AgentError);
        EXPECT_TRUE(rig.Puts(EmuObject::Appointment).empty());
        EXPECT_FALSE(rig.Called(EmuObject::Appointment, kSave, InvokeKind::Method));
        EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Calendar), 1);
        EXPECT_EQ(rig.outlook.Value(stored, "Subject"), VariantValue::Text("Kept"));
    }
}

TEST(AppointmentWrite, AFailureAfterSaveTakesTheNewAppointmentAway)
{
    TempHome home;
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        CalendarRig rig(version);
        rig.outlook.AddFault({EmuObject::Appointment, 0xF01E, InvokeKind::PropertyGet, {}, 0, true, 0});
        EXPECT_ANY_THROW(rig.Add(Record({{"Subject", QStringLiteral("Orphan")}})));
        EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Calendar), 0);

        // When the delete fails too, the failure says so.
        rig.outlook.AddFault({EmuObject::Appointment, 0xF04A, InvokeKind::Method, {}, 0, true, 0});
        try {
            rig.Add(Record({{"Subject", QStringLiteral("Orphan")}}));
            ADD_FAILURE() << "added";
        } catch (const AgentError& e) {
            EXPECT_NE(std::string(e.what()).find("could not be deleted"), std::string::npos) << e.what();
        }
    }
}

TEST(AppointmentWrite, AStoreNotConnectedWritesNothing)
{
    TempHome home;
    CalendarRig rig(14);
    const QString id = rig.Plant({});
    rig.store->ReleaseOutlook();
    ItemRecord record = Record({{"Subject", QStringLiteral("x")}});
    QString newId;
    EXPECT_THROW(rig.store->Add(record, newId), AgentError);
    EXPECT_THROW(rig.store->Edit(record, id), AgentError);
    EXPECT_THROW(rig.store->Get(id, record), AgentError);
    EXPECT_THROW(rig.store->IDtoCRC32(id), AgentError);
    EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Calendar), 1);
}

}  // namespace
