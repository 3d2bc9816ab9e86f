// A peer synchronises the tasks and the notes of an emulated Outlook (twinlark_outlook_emulated):
// check, add, save, read, change and check again, on a plain profile and on an Exchange one,
// where every save writes the identifier map and the next check reads it back.
#include <gtest/gtest.h>

#include "agent_process.h"
#include "common/byte_io.h"
#include "dispatch/request_codes.h"
#include "support/dispatch_harness.h"
#include "test_peer.h"
#include "wire/message_header.h"

namespace {

struct KindCase {
    const char* name;
    std::uint16_t check, save, add, get, set;
    QByteArray checkPayload;
    ItemRecord added, changed;
    const char* changedField;
};

QByteArray AnyWeeks()
{
    QByteArray bytes;
    ByteWriter w(bytes);
    w.U16(0xFFFF);
    w.U16(0xFFFF);
    return bytes;
}

std::vector<KindCase> Kinds()
{
    return {
        {"task", AS_CHECK_TASKS, AS_SAVE_TASKS_STATE, AS_ADD_TASK, AS_GET_TASK, AS_SET_TASK, AnyWeeks(),
         TextRecord({{"Subject", "Call the plumber"}, {"DueDate", "06-18-2010"}, {"ReminderTime", "06-17-2010 07:30:00"}}),
         TextRecord({{"Subject", "Call the plumber again"}}), "Subject"},
        {"note", AS_CHECK_NOTES, AS_SAVE_NOTES_STATE, AS_ADD_NOTE, AS_GET_NOTE, AS_SET_NOTE,
         utf16::Bytes(QStringLiteral("n")), TextRecord({{"Body", "Shopping\nmilk, bread"}}),
         TextRecord({{"Body", "Shopping\nmilk, bread, eggs"}}), "Body"},
    };
}

QString Text(const ItemRecord& record, const char* name)
{
    const int at = record.IndexOf(QString::fromLatin1(name));
    return at < 0 ? QStringLiteral("<none>") : std::get<QString>(record.values[static_cast<std::size_t>(at)]);
}

void Synchronise(bool exchange)
{
    AgentProcess agent;
    agent.SetDword(QStringLiteral("AgentID"), 14);
    agent.SetDword(QStringLiteral("notesAgentID"), 64);
    agent.UseEmulatedOutlook(exchange ? R"({"versions": [14], "stores": [{"storeId": "EX", "exchangeStoreType": 0}]})"
                                      : R"({"versions": [14]})");
    agent.SetEnv("TZ", "Europe/Berlin");
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    std::uint16_t tag = 1;
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, tag++, utf16::Bytes(QStringLiteral("MAC-E2E")))->code, AS_MACHINE_ID + 1);
    ASSERT_EQ(peer.Request(AS_START_SYNC, tag++)->code, AS_START_SYNC + 1);

    for (const KindCase& k : Kinds()) {
        SCOPED_TRACE(k.name);
        const auto check = [&] {
            auto reply = peer.Request(k.check, tag++, k.checkPayload);
            EXPECT_TRUE(reply && reply->code == k.check + 1) << agent.Log().toStdString();
            return reply ? ParseChangeReport(reply->payload) : ParsedChangeReport{};
        };
        EXPECT_EQ(check(), ParsedChangeReport{});

        auto reply = peer.Request(k.add, tag++, ItemBlob({}, k.added));
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->code, k.add + 1) << agent.Log().toStdString();
        const QString id = QString::fromUtf16(reinterpret_cast<const char16_t*>(reply->payload.constData()),
                                              reply->payload.size() / 2);
        ASSERT_EQ(id.size(), 48);
        ASSERT_EQ(peer.Request(k.save, tag++)->code, k.save + 1);
        EXPECT_EQ(check(), ParsedChangeReport{}) << "what was added and saved is no change";

        reply = peer.Request(k.get, tag++, utf16::Bytes(id));
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->code, k.get + 1) << agent.Log().toStdString();
        QString gotId;
        const ItemRecord got = DecodeBlob(reply->payload, &gotId);
        EXPECT_EQ(gotId, id);
        for (int i = 0; i < k.added.FieldCount(); ++i)
            EXPECT_EQ(Text(got, k.added.names[i].toLatin1().constData()), std::get<QString>(k.added.values[i]))
                << k.added.names[i].toStdString();
        if (exchange) {
            EXPECT_EQ(Text(got, "EntryID").size(), 140) << "the long entry identifier is read";
        }

        ASSERT_EQ(peer.Request(k.set, tag++, ItemBlob(id, k.changed))->code, k.set + 1) << agent.Log().toStdString();
        // The check compares with the saved state, which predates the change.
        ParsedChangeReport edited;
        edited.edited = {id};
        EXPECT_EQ(check(), edited);
        ASSERT_EQ(peer.Request(k.save, tag++)->code, k.save + 1);
        EXPECT_EQ(check(), ParsedChangeReport{});

        reply = peer.Request(k.get, tag++, utf16::Bytes(id));
        ASSERT_TRUE(reply);
        EXPECT_EQ(Text(DecodeBlob(reply->payload), k.changedField), std::get<QString>(k.changed.values[0]));
    }
    ASSERT_EQ(peer.Request(AS_END_SYNC, tag++)->code, AS_END_SYNC + 1);
    peer.Send(AS_QUIT, tag++);
    EXPECT_EQ(agent.WaitForExit(), 0);
}

TEST(OutlookTasksNotesE2e, APlainProfileSynchronisesTasksAndNotes) { Synchronise(false); }

TEST(OutlookTasksNotesE2e, AnExchangeProfileKeepsItsIdentifiersAcrossSaves) { Synchronise(true); }

}  // namespace
