// The item synchronisation's main road against the built agent over loopback: the peer picks
// its sources, brackets a synchronisation, checks and saves the contacts state, and empties a
// source while a second peer waits. No item store is available on this platform yet, so the
// contacts source reports the saved state as deleted and reads answer empty.
#include <gtest/gtest.h>

#include <QFile>

#include "agent_process.h"
#include "common/byte_io.h"
#include "common/item_id.h"
#include "dispatch/request_codes.h"
#include "dispatch/state_file.h"
#include "stores/base/source_flags.h"
#include "test_peer.h"
#include "wire/message_header.h"

namespace {

using namespace SourceFlags;

std::uint32_t Word(const QByteArray& payload)
{
    return payload.size() == 4 ? GetU32(reinterpret_cast<const std::uint8_t*>(payload.constData())) : 0xDEAD;
}

QByteArray WordBytes(std::uint32_t value)
{
    QByteArray bytes;
    ByteWriter(bytes).U32(value);
    return bytes;
}

TEST(ItemsE2e, SourcesBracketCheckAndSave)
{
    AgentProcess agent;
    agent.WriteFile(QStringLiteral(".mozilla/firefox/profiles.ini"),
                    "[Profile0]\nName=default\nIsRelative=1\nPath=p.default\nDefault=1\n");
    agent.WriteFile(QStringLiteral(".mozilla/firefox/p.default/compatibility.ini"),
                    "[Compatibility]\nLastVersion=115.3.1esr_20230920/20230920\n");
    // The synchronisation opens the chosen browser's bookmarks: Firefox's places database.
    QFile places(QStringLiteral(TWINLARK_TEST_DATA "/firefox/places-esr153.sqlite"));
    ASSERT_TRUE(places.open(QIODevice::ReadOnly));
    agent.WriteFile(QStringLiteral(".mozilla/firefox/p.default/places.sqlite"), places.readAll());
    agent.WriteFile(QStringLiteral(".config/chromium/Default/Preferences"), "{}");
    // What the peer saw at its last synchronisation: 200 contacts, more than one reply message holds.
    std::vector<StateEntry> saved;
    for (int i = 0; i < 200; ++i) saved.push_back({NewItemId(), static_cast<std::uint32_t>(i)});
    agent.WriteFile(QStringLiteral(".local/share/TwinLark/MAC-E2E.Contact"), EncodeStateRecords(saved));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-E2E")))->code,
              AS_MACHINE_ID + 1);

    auto reply = peer.Request(AS_GET_AVAILABLE_SOURCES, 2);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_GET_AVAILABLE_SOURCES + 1);
    EXPECT_EQ(Word(reply->payload), kWindows7Contacts | kStickyNotes | kFirefox | kChrome);

    ASSERT_EQ(peer.Request(AS_SET_SOURCES, 3, WordBytes(kWindows7Contacts | kFirefox))->code,
              AS_SET_SOURCES + 1);
    EXPECT_EQ(agent.ReadDword(QStringLiteral("AgentID")), 2u);
    EXPECT_EQ(agent.ReadDword(QStringLiteral("browserID")), 1u);
    reply = peer.Request(AS_GET_SOURCES, 4);
    ASSERT_TRUE(reply);
    // The notes source detected at start (Sticky Notes on Windows 7) stays: the choice named none.
    EXPECT_EQ(Word(reply->payload), kWindows7Contacts | kStickyNotes | kFirefox);

    ASSERT_EQ(peer.Request(AS_START_SYNC, 5)->code, AS_START_SYNC + 1);
    reply = peer.LongRequest(AS_CHECK_CONTACTS, 6);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_CHECK_CONTACTS + 1);
    ASSERT_EQ(reply->payload.size(), 6 + 200 * kItemIdBytes);
    ByteReader report(reply->payload);
    EXPECT_EQ(report.U16(), 0);
    EXPECT_EQ(report.U16(), 0);
    EXPECT_EQ(report.U16(), 200);
    EXPECT_EQ(report.Utf16(kItemIdBytes), saved.front().id);

    ASSERT_EQ(peer.Request(AS_SAVE_CONTACTS_STATE, 7)->code, AS_SAVE_CONTACTS_STATE + 1);
    EXPECT_TRUE(agent.ReadFile(QStringLiteral(".local/share/TwinLark/MAC-E2E.Contact")).isEmpty());
    reply = peer.Request(AS_CHECK_CONTACTS, 8);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, QByteArray(6, '\0'));
    // The Contacts folder holds none of them: reading one is an error.
    reply = peer.Request(AS_GET_CONTACT, 9, utf16::Bytes(saved.front().id));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_ERROR);
    ASSERT_EQ(peer.Request(AS_END_SYNC, 10)->code, AS_END_SYNC + 1);

    const QString log = agent.Log();
    // The announcement is withdrawn for the synchronisation and made again at its end.
    // The chosen browser's database opens within the bracket.
    EXPECT_TRUE(log.contains(QStringLiteral("AS_START_SYNC...\nBonjour off\nFirefox places database: ") +
                             agent.Path(QStringLiteral(".mozilla/firefox/p.default/places.sqlite")) +
                             QStringLiteral("\nFirefox database is open\nAS_START_SYNC...ok\n")));
    EXPECT_TRUE(log.contains(
        QStringLiteral("AS_CHECK_CONTACTS: col_AddContacts 0, col_DelContacts 200, col_EditContacts 0\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("AS_CHECK_CONTACTS...ok\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("AS_END_SYNC...\nFirefox database is close\nBonjour on\nAS_END_SYNC...ok\n")));
}

TEST(ItemsE2e, ASecondPeerWaitsAfterADeleteAllUntilTheSynchronisationEnds)
{
    AgentProcess agent;
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer first;
    ASSERT_TRUE(first.Connect(agent.Port()));
    ASSERT_EQ(first.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-E2E")))->code,
              AS_MACHINE_ID + 1);
    ASSERT_EQ(first.Request(AS_SET_SOURCES, 2, WordBytes(kWindows7Contacts))->code, AS_SET_SOURCES + 1);
    ASSERT_EQ(first.Request(AS_DEL_ALL_APPOINTS, 3)->code, AS_DEL_ALL_APPOINTS + 1);

    TestPeer second(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(second.Connect(agent.Port()));
    ASSERT_TRUE(second.Send(AS_GET_OWNER, 20));
    // The first peer goes on being served: the second one was not admitted (admitting it would
    // have closed the first connection).
    EXPECT_EQ(first.Request(AS_CHECK_APPOINTS, 4, WordBytes(0xFFFFFFFF))->code, AS_CHECK_APPOINTS + 1);
    EXPECT_EQ(first.Request(AS_GET_SOURCES, 5)->code, AS_GET_SOURCES + 1);
    EXPECT_FALSE(second.ReadMessage(300));

    ASSERT_EQ(first.Request(AS_END_SYNC, 6)->code, AS_END_SYNC + 1);
    const auto reply = second.ReadMessage();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_GET_OWNER + 1);
    EXPECT_TRUE(first.ReadEndOfStream());
}

}  // namespace
