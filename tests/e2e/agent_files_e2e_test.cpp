// A logged-in peer cannot reach the agent's own files through file requests: it can neither
// forge log lines nor rewrite the settings to drop the password.
#include <gtest/gtest.h>

#include "agent_process.h"
#include "common/byte_io.h"
#include "dispatch/request_codes.h"
#include "platform/path_map.h"
#include "test_peer.h"
#include "wire/message_header.h"

namespace {

QByteArray SetFilePayload(const QString& peerPath, const QByteArray& data)
{
    QByteArray payload;
    ByteWriter w(payload);
    w.CountedUtf16(peerPath);
    w.U64(0);
    w.U16(static_cast<std::uint16_t>(data.size()));
    payload += data;
    return payload;
}

TEST(AgentFilesE2e, ALoggedInPeerCanNeitherForgeTheLogNorDropThePassword)
{
    AgentProcess agent;
    agent.SetString(QStringLiteral("password"), QStringLiteral("Secret"));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    const QString settingsFile = QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg");
    const QByteArray settingsBefore = agent.ReadFile(settingsFile);
    {
        TestPeer peer;
        ASSERT_TRUE(peer.Connect(agent.Port()));
        ASSERT_EQ(peer.Request(AS_LOGIN, 1, utf16::Bytes(QStringLiteral("Secret")))->code, AS_LOGIN + 1);

        const QString log = LocalToPeerPath(agent.DataDir() + QStringLiteral("/TwinLark.log"));
        auto reply = peer.Request(AS_SET_FILE, 2, SetFilePayload(log, "ServerStop\n"));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->code, AS_ERROR);

        const QString settings = LocalToPeerPath(agent.Path(settingsFile));
        reply = peer.Request(AS_SET_FILE, 3, SetFilePayload(settings, "Windows Registry Editor Version 5.00\r\n"));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->code, AS_ERROR);
        reply = peer.Request(AS_DELETE_FILE, 4, utf16::Bytes(settings) + QByteArray(2, '\0'));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->code, AS_ERROR);
        peer.Close();
    }
    EXPECT_EQ(agent.ReadFile(settingsFile), settingsBefore);
    EXPECT_TRUE(agent.Log().startsWith(QStringLiteral("Init TwinLark..\n")));
    EXPECT_FALSE(agent.Log().contains(QStringLiteral("\nServerStop\n")));
    EXPECT_TRUE(agent.Log().contains(QStringLiteral("AS_SET_FILE - refused: the path leads to the agent's own files")));

    // A new connection still has to log in.
    TestPeer next;
    ASSERT_TRUE(next.Connect(agent.Port()));
    ASSERT_TRUE(next.Send(AS_PUT_FRAGMENT, 1, "piece"));
    auto reply = next.ReadMessage();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_ERROR);
    EXPECT_EQ(next.Request(AS_LOGIN, 2, utf16::Bytes(QStringLiteral("Secret")))->code, AS_LOGIN + 1);
}

}  // namespace
