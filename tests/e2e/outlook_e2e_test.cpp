// The agent over an emulated Outlook 14 (twinlark_outlook_emulated): what the peer is offered,
// the change checks, emptying the contacts, the categories and the release of Outlook.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "agent_process.h"
#include "common/byte_io.h"
#include "dispatch/request_codes.h"
#include "wire/message_header.h"
#include "stores/base/source_flags.h"
#include "test_peer.h"

namespace {

using Json = nlohmann::json;

std::uint32_t Word(const QByteArray& payload)
{
    return payload.size() == 4 ? GetU32(reinterpret_cast<const std::uint8_t*>(payload.constData())) : 0xDEAD;
}

QByteArray WindowOfAnyWeeks()
{
    QByteArray bytes;
    ByteWriter w(bytes);
    w.U16(0xFFFF);
    w.U16(0xFFFF);
    return bytes;
}

Json State(const AgentProcess& agent)
{
    const QByteArray state = agent.OutlookState();
    return state.isEmpty() ? Json() : Json::parse(state.toStdString());
}

TEST(OutlookE2e, Outlook14OnExchangeIsOfferedCheckedEmptiedAndReleased)
{
    AgentProcess agent;
    agent.SetDword(QStringLiteral("AgentID"), 14);
    agent.SetDword(QStringLiteral("notesAgentID"), 64);
    agent.UseEmulatedOutlook(R"({
        "versions": [14],
        "stores": [{"storeId": "S1", "exchangeStoreType": 3}, {"storeId": "S2", "exchangeStoreType": 0}],
        "categories": ["Red", "Blue"],
        "clock": 40344.5,
        "items": [{"folder": "contacts", "Class": 69, "Subject": "Team"}]
    })");
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-E2E")))->code, AS_MACHINE_ID + 1);

    auto reply = peer.Request(AS_GET_AVAILABLE_SOURCES, 2);
    ASSERT_TRUE(reply);
    EXPECT_EQ(Word(reply->payload) & (SourceFlags::kOutlook14 | SourceFlags::kExchange | SourceFlags::kOutlookNotes),
              SourceFlags::kOutlook14 | SourceFlags::kExchange | SourceFlags::kOutlookNotes);

    ASSERT_EQ(peer.Request(AS_START_SYNC, 3)->code, AS_START_SYNC + 1);
    // Nothing to report in any kind: the distribution list is no contact.
    const QByteArray nothing(6, '\0');
    struct Check {
        std::uint16_t code;
        QByteArray payload;
    };
    const Check checks[] = {{AS_CHECK_CONTACTS, {}},
                            {AS_CHECK_APPOINTS, WindowOfAnyWeeks()},
                            {AS_CHECK_TASKS, WindowOfAnyWeeks()},
                            {AS_CHECK_NOTES, utf16::Bytes(QStringLiteral("n"))}};
    for (const Check& c : checks) {
        reply = peer.Request(c.code, 4, c.payload);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->code, c.code + 1) << c.code << "\n" << agent.Log().toStdString();
        EXPECT_EQ(reply->payload, nothing) << c.code;
    }
    EXPECT_TRUE(agent.Log().contains(QStringLiteral("Using MS Exchange Server")));

    reply = peer.Request(AS_GET_CATEGORIES, 5);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, utf16::Bytes(QStringLiteral("Red,Blue")));

    // Emptying the contacts keeps the distribution list, and lets Outlook go.
    reply = peer.Request(AS_DEL_ALL_CONTACTS, 6);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_DEL_ALL_CONTACTS + 1);
    Json state = State(agent);
    ASSERT_EQ(state["items"].size(), 1u);
    EXPECT_EQ(state["items"][0]["Class"], 69);
    EXPECT_EQ(state["liveObjects"], 0);

    ASSERT_EQ(peer.Request(AS_CHECK_CONTACTS, 7)->code, AS_CHECK_CONTACTS + 1);
    ASSERT_EQ(peer.Request(AS_END_SYNC, 8)->code, AS_END_SYNC + 1);
    state = State(agent);
    EXPECT_EQ(state["liveObjects"], 0);
    const Json creations = state["creations"];
    peer.Send(AS_QUIT, 9);
    EXPECT_EQ(agent.WaitForExit(), 0);
    EXPECT_EQ(State(agent)["creations"], creations) << "releasing Outlook creates nothing";
}

TEST(OutlookE2e, ABadSeedEndsTheAgentBeforeItListens)
{
    AgentProcess agent;
    agent.UseEmulatedOutlook(R"({"items": [{"folder": "contacts", "Nickname": 3}]})");
    ASSERT_TRUE(agent.Launch());
    EXPECT_EQ(agent.WaitForExit(), 2);
    EXPECT_TRUE(agent.Stderr().contains(QStringLiteral("Nickname")));
}

}  // namespace
