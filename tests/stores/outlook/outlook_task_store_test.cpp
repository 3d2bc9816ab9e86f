// The Outlook task stores of every version on the emulated Outlook: the write rules of each key,
// dates and the reminder's time zone, reads, checksums and identifiers on Exchange profiles.
#include <gtest/gtest.h>

#include <QtEndian>

#include "common/crc32.h"
#include "common/dates.h"
#include "common/errors.h"
#include "support/outlook/outlook_store_contract.h"
#include "support/outlook/outlook_store_rig.h"
#include "support/scoped_time_zone.h"

namespace {

struct TaskRecords {
    static ItemRecord Record(int n)
    {
        ItemRecord r;
        r.Add(QStringLiteral("Subject"), QStringLiteral("Task %1").arg(n));
        r.Add(QStringLiteral("Body"), QStringLiteral("what to do\nfirst %1").arg(n));
        r.Add(QStringLiteral("Importance"), n % 3);
        r.Add(QStringLiteral("ReminderSet"), 1);
        r.Add(QStringLiteral("StartDate"), QStringLiteral("06-1%1-2010").arg(n % 10));
        r.Add(QStringLiteral("ReminderTime"), QStringLiteral("06-1%1-2010 09:30:00").arg(n % 10));
        return r;
    }
};

template <int Version>
using TaskContract = OutlookContract<OutlookKind::Tasks, Version, TaskRecords>;
using TaskContracts =
    ::testing::Types<TaskContract<8>, TaskContract<9>, TaskContract<11>, TaskContract<12>, TaskContract<14>>;
INSTANTIATE_TYPED_TEST_SUITE_P(OutlookTasks, ItemStoreContract, TaskContracts);

const int kVersions[] = {8, 9, 11, 12, 14};
constexpr DispId kReminderSet = 0x8503;
constexpr DispId kStartDate = 0x8104;
constexpr DispId kReminderTime = 0x8502;

ItemRecord Fields(std::initializer_list<std::pair<const char*, ItemValue>> fields)
{
    ItemRecord r;
    for (const auto& [name, value] : fields) r.Add(QString::fromUtf8(name), value);
    return r;
}

double Date(const char* text)
{
    return *ParseDateText(QString::fromLatin1(text));
}

struct TaskRig : OutlookStoreRig {
    explicit TaskRig(int version, std::vector<std::pair<QString, int>> stores = {{QStringLiteral("S1"), 3}})
        : OutlookStoreRig(OutlookKind::Tasks, version, std::move(stores))
    {
    }
    std::vector<std::pair<DispId, VariantValue>> Puts() const
    {
        return OutlookStoreRig::Puts(EmuObject::Task);
    }
    QString Add(ItemRecord record)
    {
        QString id;
        store->Add(record, id);
        return id;
    }
    ItemRecord Get(const QString& id)
    {
        ItemRecord r;
        store->Get(id, r);
        return r;
    }
    static ItemValue Field(const ItemRecord& r, const char* name)
    {
        return r.values[static_cast<std::size_t>(r.IndexOf(QString::fromLatin1(name)))];
    }
};

TEST(OutlookTaskStore, WriteRulesOfEachKeyInEveryVersion)
{
    ScopedTimeZone utc("UTC0");
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        TaskRig rig(version);
        const QString id = rig.Add(Fields({{"EntryID", QStringLiteral("ignored")},
                                           {"IsRecurring", 1},
                                           {"Subject", QString::fromUtf16(u"cut\0rest", 8)},
                                           {"Categories", QStringLiteral("a;b")},
                                           {"ReminderSet", 2},
                                           {"Importance", 2},
                                           {"StartDate", QString()},
                                           {"DueDate", QStringLiteral("07-01-2010")},
                                           {"ReminderTime", QString()},
                                           {"subject", QStringLiteral("case differs")}}));
        std::vector<std::pair<DispId, VariantValue>> expected = {
            {0x37, VariantValue::Text(QStringLiteral("cut"))},
            {0x9001, VariantValue::Text(QStringLiteral("a;b"))},
            {kReminderSet, VariantValue::Bool(true)},
            {0x17, VariantValue::I4(2)},
            {0x8105, VariantValue::Date(Date("07-01-2010"))}};
        // An empty date leaves Outlook's default when adding, but version 8 clears the reminder.
        if (version == 8) expected.push_back({kReminderTime, VariantValue::Date(kNoDate)});
        EXPECT_EQ(rig.Puts(), expected);

        const ItemRecord got = rig.Get(id);
        EXPECT_EQ(got.names, (QStringList{"Body", "Categories", "Subject", "EntryID", "Importance",
                                          "IsRecurring", "ReminderSet", "Sensitivity", "Complete", "TeamTask",
                                          "StartDate", "DueDate", "DateCompleted", "ReminderTime"}));
        EXPECT_EQ(TaskRig::Field(got, "Categories"), ItemValue(QStringLiteral("a,b")));
        EXPECT_EQ(TaskRig::Field(got, "EntryID"), ItemValue(id));
        EXPECT_EQ(TaskRig::Field(got, "IsRecurring"), ItemValue(0));
        EXPECT_EQ(TaskRig::Field(got, "ReminderSet"), ItemValue(1));
        EXPECT_EQ(TaskRig::Field(got, "DueDate"), ItemValue(QStringLiteral("07-01-2010")));
        EXPECT_EQ(TaskRig::Field(got, "StartDate"), ItemValue(QString())) << "no date travels as empty text";

        // Changing: an empty date clears it; a key the record lacks keeps its value.
        rig.outlook.ClearJournal();
        ItemRecord edit = Fields({{"DueDate", QString()}, {"Complete", 5}});
        rig.store->Edit(edit, id);
        EXPECT_EQ(rig.Puts(),
                  (std::vector<std::pair<DispId, VariantValue>>{{0x8105, VariantValue::Date(kNoDate)},
                                                                {0x811C, VariantValue::Bool(true)}}));
        EXPECT_EQ(TaskRig::Field(rig.Get(id), "Importance"), ItemValue(2));
    }
}

TEST(OutlookTaskStore, AnUnreadableDateFailsTheRequestWithNothingWritten)
{
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        TaskRig rig(version);
        const QString id = rig.Add(Fields({{"Subject", QStringLiteral("kept")}}));
        for (const char* key : {"StartDate", "DueDate", "DateCompleted", "ReminderTime"}) {
            SCOPED_TRACE(key);
            rig.outlook.ClearJournal();
            ItemRecord bad =
                Fields({{"Subject", QStringLiteral("changed")}, {key, QStringLiteral("02-30-2010")}});
            try {
                rig.store->Edit(bad, id);
                ADD_FAILURE() << "an impossible date was written";
            } catch (const AgentError& e) {
                EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QString::fromLatin1(key))) << e.what();
                EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QStringLiteral("02-30-2010"))) << e.what();
            }
            EXPECT_TRUE(rig.Puts().empty());
            ItemRecord added = Fields({{"Subject", QStringLiteral("new")}, {key, QStringLiteral("soon")}});
            QString none;
            EXPECT_THROW(rig.store->Add(added, none), AgentError);
        }
        EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Tasks), 1);
        EXPECT_EQ(rig.outlook.Value(id, QStringLiteral("Subject")).String(), QStringLiteral("kept"));
    }
}

// The reminder travels in UTC and Outlook keeps it in local time; the checksum reads what Outlook
// keeps. The other dates are never converted.
TEST(OutlookTaskStore, TheReminderIsLocalInOutlookAndUtcOnTheWire)
{
    {
        ScopedTimeZone east("<+02>-2");
        TaskRig rig(14);
        const QString id = rig.Add(Fields({{"ReminderTime", QStringLiteral("06-15-2010 12:00:00")},
                                           {"StartDate", QStringLiteral("06-15-2010 12:00:00")}}));
        EXPECT_EQ(rig.outlook.Value(id, QStringLiteral("ReminderTime")).Real(), Date("06-15-2010 14:00:00"));
        EXPECT_EQ(rig.outlook.Value(id, QStringLiteral("StartDate")).Real(), Date("06-15-2010 12:00:00"));
        const ItemRecord got = rig.Get(id);
        EXPECT_EQ(TaskRig::Field(got, "ReminderTime"), ItemValue(QStringLiteral("06-15-2010 12:00:00")));

        QByteArray buffer(20, '\0');
        const QString text = QStringLiteral("") + id + QStringLiteral("06-15-2010 12:00:00") +
                             QStringLiteral("06-15-2010 14:00:00");
        buffer.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        EXPECT_EQ(rig.store->IDtoCRC32(id), Crc32(buffer)) << "the checksum holds the local reminder";

        // An unset reminder is empty text east of UTC too, never a time on 31 December 4500.
        const QString unset = rig.Add(Fields({{"Subject", QStringLiteral("x")}}));
        EXPECT_EQ(TaskRig::Field(rig.Get(unset), "ReminderTime"), ItemValue(QString()));
    }
    for (const char* zone : {"Europe/Berlin", "Australia/Sydney"}) {
        ScopedTimeZone scoped(zone);
        TaskRig rig(11);
        for (const char* when : {"01-15-2010 12:00:00", "07-15-2010 12:00:00"}) {
            SCOPED_TRACE(std::string(zone) + " " + when);
            const QString id = rig.Add(Fields({{"ReminderTime", QString::fromLatin1(when)}}));
            EXPECT_NE(rig.outlook.Value(id, QStringLiteral("ReminderTime")).Real(), Date(when));
            EXPECT_EQ(TaskRig::Field(rig.Get(id), "ReminderTime"), ItemValue(QString::fromLatin1(when)));
        }
    }
}

TEST(OutlookTaskStore, ChecksumOfNumbersAndTextsInTheirOrder)
{
    ScopedTimeZone utc("UTC0");
    TaskRig rig(9);
    const QString id = rig.Add(Fields({{"Importance", 2},
                                       {"Sensitivity", 3},
                                       {"ReminderSet", 1},
                                       {"Complete", 0},
                                       {"TeamTask", 1},
                                       {"Body", QStringLiteral("B")},
                                       {"Categories", QStringLiteral("c;d")},
                                       {"Subject", QStringLiteral("S")},
                                       {"DueDate", QStringLiteral("07-01-2010")}}));
    QByteArray buffer(20, '\0');
    const std::uint32_t numbers[] = {2, 3, 1, 0, 1};
    for (int i = 0; i < 5; ++i) qToLittleEndian(numbers[i], buffer.data() + 4 * i);
    const QString text = QStringLiteral("Bc;dS") + id + QStringLiteral("07-01-2010");
    buffer.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    EXPECT_EQ(rig.store->IDtoCRC32(id), Crc32(buffer));
    EXPECT_EQ(rig.store->IDtoCRC32(id), Crc32(buffer)) << "the same twice";

    // "IsRecurring" is no part of it, nor anything the peer cannot write.
    rig.outlook.PlantPattern(id);
    EXPECT_EQ(rig.store->IDtoCRC32(id), Crc32(buffer));
}

TEST(OutlookTaskStore, ExchangeProfilesMapIdentifiersIn12And14)
{
    for (int version : {12, 14}) {
        SCOPED_TRACE(version);
        TaskRig rig(version, {{QStringLiteral("EX"), 0}});
        const QString id = rig.Add(Fields({{"Subject", QStringLiteral("mapped")}}));
        ASSERT_EQ(id.size(), 48);
        const QString longId = rig.outlook.ItemsIn(EmuFolder::Tasks).front()->entryId;
        EXPECT_EQ(longId.size(), 140);
        EXPECT_EQ(TaskRig::Field(rig.Get(id), "EntryID"), ItemValue(longId));
        ItemRecord edit = Fields({{"Subject", QStringLiteral("edited")}});
        rig.store->Edit(edit, id);
        EXPECT_EQ(rig.outlook.Value(longId, QStringLiteral("Subject")).String(), QStringLiteral("edited"));
        EXPECT_NE(rig.store->IDtoCRC32(id), 0u);

        // A short identifier without a pair is Outlook's own: used unchanged.
        const QString unpaired(48, u'A');
        rig.outlook.PlantItem(EmuFolder::Tasks, {{"EntryID", VariantValue::Text(unpaired)},
                                                 {"Subject", VariantValue::Text("own")}});
        EXPECT_EQ(TaskRig::Field(rig.Get(unpaired), "Subject"), ItemValue(QStringLiteral("own")));
        ItemRecord own = Fields({{"Subject", QStringLiteral("own, edited")}});
        rig.store->Edit(own, unpaired);
        EXPECT_EQ(rig.outlook.Value(unpaired, QStringLiteral("Subject")).String(),
                  QStringLiteral("own, edited"));
        EXPECT_NE(rig.store->IDtoCRC32(unpaired), 0u);
    }
}

TEST(OutlookTaskStore, AFailureAfterTheSaveLeavesNoTask)
{
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        TaskRig rig(version);
        rig.outlook.AddFault(
            {EmuObject::Task, 0xF01E, InvokeKind::PropertyGet, {}, 1, true, com_status::kFail});
        EXPECT_ANY_THROW(rig.Add(Fields({{"Subject", QStringLiteral("x")}})));
        int saves = 0;
        for (const EmuCall& c : rig.outlook.Journal())
            saves += c.object == EmuObject::Task && c.dispId == 0xF048;
        EXPECT_EQ(saves, 1) << "the fault comes after the save";
        EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Tasks), 0);
    }
}

}  // namespace
