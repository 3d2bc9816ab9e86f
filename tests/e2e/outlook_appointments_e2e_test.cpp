// A peer synchronises a recurring appointment of an emulated Outlook (twinlark_outlook_emulated):
// check, add, save, read, change and check again, on a plain profile and on an Exchange one,
// where every save writes the identifier map and the next check reads it back.
#include <gtest/gtest.h>

#include "agent_process.h"
#include "dispatch/request_codes.h"
#include "support/dispatch_harness.h"
#include "test_peer.h"
#include "wire/message_header.h"

namespace {

ItemValue Field(const ItemRecord& record, const char* name)
{
    const qsizetype at = record.names.lastIndexOf(QString::fromLatin1(name));
    return at < 0 ? ItemValue(QStringLiteral("<none>")) : record.values[static_cast<std::size_t>(at)];
}

ItemRecord Weekly(const char* subject, std::int32_t days)
{
    ItemRecord record;
    record.Add("Subject", QString::fromLatin1(subject));
    record.Add("Location", QStringLiteral("Room 4"));
    record.Add("Start", QStringLiteral("06-15-2010 12:00:00"));
    record.Add("End", QStringLiteral("06-15-2010 13:30:00"));
    record.Add("IsRecurring", 1);
    record.Add("RecurrenceType", 1);
    record.Add("DayOfWeekMask", days);
    record.Add("Interval", 1);
    record.Add("PatternEndDate", QStringLiteral("12-31-2010"));
    return record;
}

void Synchronise(bool exchange, const char* zone)
{
    AgentProcess agent;
    agent.SetDword(QStringLiteral("AgentID"), exchange ? 14 : 9);
    agent.UseEmulatedOutlook(exchange ? R"({"versions": [14], "stores": [{"storeId": "EX", "exchangeStoreType": 0}]})"
                                      : R"({"versions": [9]})");
    agent.SetEnv("TZ", zone);
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    std::uint16_t tag = 1;
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, tag++, utf16::Bytes(QStringLiteral("MAC-E2E")))->code, AS_MACHINE_ID + 1);
    ASSERT_EQ(peer.Request(AS_START_SYNC, tag++)->code, AS_START_SYNC + 1);

    const auto check = [&] {
        // No date window: weeks -1 and -1.
        auto reply = peer.Request(AS_CHECK_APPOINTS, tag++, U16Bytes(0xFFFF) + U16Bytes(0xFFFF));
        EXPECT_TRUE(reply && reply->code == AS_CHECK_APPOINTS + 1) << agent.Log().toStdString();
        return reply ? ParseChangeReport(reply->payload) : ParsedChangeReport{};
    };
    const auto save = [&] { ASSERT_EQ(peer.Request(AS_SAVE_APPOINTS_STATE, tag++)->code, AS_SAVE_APPOINTS_STATE + 1); };
    const auto get = [&](const QString& id) {
        auto reply = peer.Request(AS_GET_APPOINT, tag++, utf16::Bytes(id));
        EXPECT_TRUE(reply && reply->code == AS_GET_APPOINT + 1) << agent.Log().toStdString();
        QString gotId;
        const ItemRecord record = reply ? DecodeBlob(reply->payload, &gotId) : ItemRecord{};
        EXPECT_EQ(gotId, id);
        return record;
    };
    EXPECT_EQ(check(), ParsedChangeReport{});

    auto reply = peer.Request(AS_ADD_APPOINT, tag++, ItemBlob({}, Weekly("Standup", 2)));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_ADD_APPOINT + 1) << agent.Log().toStdString();
    const QString id = QString::fromUtf16(reinterpret_cast<const char16_t*>(reply->payload.constData()),
                                          reply->payload.size() / 2);
    ASSERT_EQ(id.size(), 48);
    save();
    EXPECT_EQ(check(), ParsedChangeReport{}) << "what was added and saved is no change";

    ItemRecord got = get(id);
    EXPECT_EQ(Field(got, "Subject"), ItemValue(QStringLiteral("Standup")));
    EXPECT_EQ(Field(got, "Start"), ItemValue(QStringLiteral("06-15-2010 12:00:00"))) << "UTC both ways";
    EXPECT_EQ(Field(got, "End"), ItemValue(QStringLiteral("06-15-2010 13:30:00")));
    EXPECT_EQ(Field(got, "IsRecurring"), ItemValue(1));
    EXPECT_EQ(Field(got, "DayOfWeekMask"), ItemValue(2));
    EXPECT_EQ(Field(got, "PatternEndDate"), ItemValue(QStringLiteral("12-31-2010")));
    EXPECT_EQ(got.names.count(QStringLiteral("Duration")), 2);
    if (exchange) {
        EXPECT_EQ(std::get<QString>(Field(got, "EntryID")).size(), 140) << "the long entry identifier";
    }

    ASSERT_EQ(peer.Request(AS_SET_APPOINT, tag++, ItemBlob(id, Weekly("Standup, moved", 4)))->code, AS_SET_APPOINT + 1)
        << agent.Log().toStdString();
    // The check compares with the saved state, which predates the change.
    ParsedChangeReport edited;
    edited.edited = {id};
    EXPECT_EQ(check(), edited);
    save();
    EXPECT_EQ(check(), ParsedChangeReport{});

    got = get(id);
    EXPECT_EQ(Field(got, "Subject"), ItemValue(QStringLiteral("Standup, moved")));
    EXPECT_EQ(Field(got, "DayOfWeekMask"), ItemValue(4));
    EXPECT_EQ(Field(got, "Start"), ItemValue(QStringLiteral("06-15-2010 12:00:00")));

    ASSERT_EQ(peer.Request(AS_END_SYNC, tag++)->code, AS_END_SYNC + 1);
    peer.Send(AS_QUIT, tag++);
    EXPECT_EQ(agent.WaitForExit(), 0);
}

TEST(OutlookAppointmentsE2e, APlainProfileSynchronisesARecurringAppointment) { Synchronise(false, "Europe/Berlin"); }

TEST(OutlookAppointmentsE2e, AnExchangeProfileKeepsItsIdentifiersAcrossSaves) { Synchronise(true, "Australia/Sydney"); }

}  // namespace
