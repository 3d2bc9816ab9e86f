// Outlook may answer a call for an object with an empty one (Nothing). Where the requests need
// the object, such an answer fails the request with a log line and changes nothing; a profile
// store that is Nothing is no store.
#include <gtest/gtest.h>

#include "dispatch/item_kinds.h"
#include "dispatch/request_codes.h"
#include "support/dispatch_harness.h"
#include "support/outlook/outlook_emulation.h"
#include "support/outlook/outlook_seed.h"
#include "wire/message_header.h"

namespace {

constexpr DispId kGetRecurrencePattern = 0xF0A4;

EmuFault Nothing(EmuObject object, DispId dispId, InvokeKind kind = InvokeKind::Method)
{
    EmuFault fault;
    fault.object = object;
    fault.dispId = dispId;
    fault.kind = kind;
    fault.nothing = true;
    return fault;
}

class OutlookEmptyAnswers : public ::testing::Test {
protected:
    void SetUp() override
    {
        outlook.Register();
        h.agent.agentId = 14;
    }
    QString Reason()
    {
        const QStringList lines = h.TakeLogLines();
        return lines.filter(QStringLiteral("reason:")).join(u'\n');
    }
    DispatchHarness h;
    OutlookEmulation outlook;
};

// An empty member of the profile's stores would read as store type 0, a primary Exchange
// mailbox, and the agent would hand out mapped identifiers on a profile without Exchange.
TEST_F(OutlookEmptyAnswers, AProfileStoreThatIsNothingIsPassedOver)
{
    // Seeded, as the emulated agent takes it: every member of the stores collection is Nothing
    // (the folders are empty, so no other collection member is asked for).
    ApplyOutlookSeed(outlook, R"({"faults": [{"object": "items", "member": "Item", "error": "nothing"}]})");
    ASSERT_EQ(h.Send(AS_CHECK_APPOINTS, U16Bytes(0xFFFF) + U16Bytes(0xFFFF)).code, AS_CHECK_APPOINTS + 1);
    ItemRecord record;
    record.Add(QStringLiteral("Subject"), QStringLiteral("plain"));
    const SentMessage added = h.Send(AS_ADD_APPOINT, ItemBlob({}, record));
    ASSERT_EQ(added.code, AS_ADD_APPOINT + 1);
    ASSERT_EQ(outlook.ItemCount(EmuFolder::Calendar), 1);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(added.payload.constData()), added.payload.size() / 2),
              outlook.ItemsIn(EmuFolder::Calendar).front()->entryId)
        << "Outlook's own identifier, not one of the map";
}

// Counted through Nothing the folder would be empty, and the check would report every item deleted.
TEST_F(OutlookEmptyAnswers, AFolderWhoseItemsAreNothingFailsTheCheck)
{
    outlook.PlantItem(EmuFolder::Notes, {{"Body", VariantValue::Text("kept")}});
    h.agent.notesAgentId = 64;
    ASSERT_EQ(h.Send(AS_CHECK_NOTES, Utf16z({})).code, AS_CHECK_NOTES + 1);
    ASSERT_EQ(h.Send(AS_SAVE_NOTES_STATE).code, AS_SAVE_NOTES_STATE + 1);
    outlook.AddFault(Nothing(EmuObject::Folder, 0x3100, InvokeKind::PropertyGet));
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_CHECK_NOTES, Utf16z({})).code, AS_ERROR);
    EXPECT_TRUE(Reason().contains(QStringLiteral("no item collection")));
    EXPECT_EQ(h.Send(AS_DEL_ALL_NOTES).code, AS_ERROR);
    EXPECT_EQ(outlook.ItemCount(EmuFolder::Notes), 1);
}

TEST_F(OutlookEmptyAnswers, ARecurrencePatternThatIsNothingFailsTheAppointmentRequest)
{
    const QString weekly = outlook.PlantItem(EmuFolder::Calendar, {{"Subject", VariantValue::Text("weekly")}});
    outlook.PlantPattern(weekly, {{"RecurrenceType", VariantValue::I4(1)}, {"DayOfWeekMask", VariantValue::I4(4)}});
    ASSERT_EQ(h.Send(AS_CHECK_APPOINTS, U16Bytes(0xFFFF) + U16Bytes(0xFFFF)).code, AS_CHECK_APPOINTS + 1);
    outlook.AddFault(Nothing(EmuObject::Appointment, kGetRecurrencePattern));
    h.TakeLogLines();

    ItemRecord record;
    record.Add(QStringLiteral("Subject"), QStringLiteral("changed"));
    record.Add(QStringLiteral("IsRecurring"), 1);
    record.Add(QStringLiteral("RecurrenceType"), 0);
    record.Add(QStringLiteral("Interval"), 2);
    EXPECT_EQ(h.Send(AS_ADD_APPOINT, ItemBlob({}, record)).code, AS_ERROR);
    EXPECT_TRUE(Reason().contains(QStringLiteral("no recurrence pattern")));
    EXPECT_EQ(h.Send(AS_SET_APPOINT, ItemBlob(weekly, record)).code, AS_ERROR);
    EXPECT_TRUE(Reason().contains(QStringLiteral("no recurrence pattern")));
    EXPECT_EQ(h.Send(AS_GET_APPOINT, Utf16z(weekly)).code, AS_ERROR);
    EXPECT_TRUE(Reason().contains(QStringLiteral("no recurrence pattern")));

    EXPECT_EQ(outlook.ItemCount(EmuFolder::Calendar), 1);
    EXPECT_EQ(outlook.Value(weekly, "Subject"), VariantValue::Text("weekly"));
    EXPECT_EQ(outlook.PatternValue(weekly, "DayOfWeekMask"), VariantValue::I4(4));
    EXPECT_EQ(StateListOf(h.agent, ItemKind::Appointments).Size(), 1u);
}

// A recurring task's end comes from its pattern; read through Nothing it would be 1899, and the
// task never reported while a window is asked for.
TEST_F(OutlookEmptyAnswers, ARecurrencePatternThatIsNothingFailsTheTaskCheckInAWindow)
{
    const double now = outlook.Clock();
    const QString task = outlook.PlantItem(EmuFolder::Tasks, {{"Subject", VariantValue::Text("daily")},
                                                              {"StartDate", VariantValue::Date(now)}});
    outlook.PlantPattern(task, {{"RecurrenceType", VariantValue::I4(0)}, {"PatternEndDate", VariantValue::Date(now + 30)}});
    outlook.AddFault(Nothing(EmuObject::Task, kGetRecurrencePattern));
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_CHECK_TASKS, U16Bytes(2) + U16Bytes(2)).code, AS_ERROR);
    EXPECT_TRUE(Reason().contains(QStringLiteral("no recurrence pattern")));
    EXPECT_EQ(StateListOf(h.agent, ItemKind::Tasks).Size(), 0u);

    outlook.ClearFaults();
    const SentMessage check = h.Send(AS_CHECK_TASKS, U16Bytes(2) + U16Bytes(2));
    ASSERT_EQ(check.code, AS_CHECK_TASKS + 1);
    EXPECT_EQ(ParseChangeReport(check.payload).added, QStringList{task});
}

}  // namespace
