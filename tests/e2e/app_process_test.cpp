// The built agent as a process: one per session, the ways it ends, its start without any
// display, and the updater library (a recording stand-in).
#include <gtest/gtest.h>

#include <QFile>
#include <csignal>

#include "agent_process.h"
#include "app/ui/twinlark_dlg.h"
#include "dispatch/request_codes.h"
#include "test_peer.h"

namespace {

// Points `other` at the home, runtime folder and port of `agent`, as a second start in the
// same session would see them.
void ShareSession(AgentProcess& other, const AgentProcess& agent)
{
    other.SetEnv("HOME", agent.Home().toUtf8());
    other.SetEnv("XDG_CONFIG_HOME", agent.Path(QStringLiteral(".config")).toUtf8());
    other.SetEnv("XDG_DATA_HOME", agent.Path(QStringLiteral(".local/share")).toUtf8());
    other.SetEnv("XDG_CACHE_HOME", agent.Path(QStringLiteral(".cache")).toUtf8());
    other.SetEnv("XDG_RUNTIME_DIR", agent.Path(QStringLiteral("runtime")).toUtf8());
}

// Whether the agent answers a request (any answer, AS_ERROR included). Requests are served
// only once the start-up has ended, the IP list read included.
bool Answers(const AgentProcess& agent)
{
    TestPeer peer;
    return peer.Connect(agent.Port()) && peer.Request(AS_STATUS, 7).has_value();
}

// The log of one run, from its first line to its last.
void ExpectCompleteLog(const AgentProcess& agent)
{
    const QStringList lines = agent.Log().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QStringLiteral("Init TwinLark.."));
    EXPECT_EQ(lines.last(), QStringLiteral("close programm"));
}

TEST(AgentProcessTest, SecondStartEndsAtOnceAndLeavesTheFirstServing)
{
    AgentProcess first;
    ASSERT_TRUE(first.Start()) << first.Stderr().toStdString();
    ASSERT_TRUE(Answers(first));
    AgentProcess second;
    ShareSession(second, first);
    second.SetPort(first.Port());
    ASSERT_TRUE(second.Launch());
    EXPECT_EQ(second.WaitForExit(), 0);
    EXPECT_TRUE(first.IsRunning());
    EXPECT_EQ(first.Log().count(QStringLiteral("Init TwinLark..")), 1);
    EXPECT_TRUE(Answers(first));
}

TEST(AgentProcessTest, QuitRequestAndSigtermRunTheExitSequence)
{
    for (const char* how : {"AS_QUIT", "SIGTERM"}) {
        SCOPED_TRACE(how);
        AgentProcess agent;
        agent.WriteIpList({QStringLiteral("192.168.0.2"), QString()});
        ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
        ASSERT_TRUE(Answers(agent));
        // The list is written back from memory even when its file went missing meanwhile.
        ASSERT_TRUE(QFile::remove(agent.DataDir() + QStringLiteral("/iplist.dat")));
        if (QByteArray(how) == "AS_QUIT") {
            TestPeer peer;
            ASSERT_TRUE(peer.Connect(agent.Port()));
            const auto reply = peer.Request(AS_QUIT, 3);
            ASSERT_TRUE(reply);
            EXPECT_EQ(reply->code, AS_QUIT + 1);
        } else {
            agent.Signal(SIGTERM);
        }
        EXPECT_EQ(agent.WaitForExit(), 0);
        ExpectCompleteLog(agent);
        EXPECT_EQ(agent.ReadFile(QStringLiteral(".local/share/TwinLark/iplist.dat")),
                  QByteArray("192.168.0.2\r\n\r\n"));
    }
}

TEST(AgentProcessTest, WithoutAnyDisplayTheAgentServesAndSaysSo)
{
    AgentProcess agent;
    agent.UnsetEnv("QT_QPA_PLATFORM");  // DISPLAY and WAYLAND_DISPLAY are already gone
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    ASSERT_TRUE(Answers(agent));
    EXPECT_EQ(agent.Log().count(QStringLiteral("no display")), 1);
    agent.Signal(SIGTERM);
    EXPECT_EQ(agent.WaitForExit(), 0);
    ExpectCompleteLog(agent);
}

TEST(AgentProcessTest, WithoutTrayTheWindowedAgentServesAndSaysSoOnce)
{
    AgentProcess agent;
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    ASSERT_TRUE(Answers(agent));
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_TRUE(peer.Request(AS_QUIT, 1));
    EXPECT_EQ(agent.WaitForExit(), 0);
    EXPECT_EQ(agent.Log().count(QStringLiteral("no system tray")), 1);
}

class UpdaterProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        agent_.SetEnv("TWINLARK_NORVANE_LIBRARY", TWINLARK_FAKE_NORVANE);
        agent_.SetEnv("FAKE_NORVANE_LOG", agent_.Path(QStringLiteral("calls.txt")).toUtf8());
    }
    QStringList Calls() const
    {
        return QString::fromUtf8(agent_.ReadFile(QStringLiteral("calls.txt")))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    AgentProcess agent_;
};

TEST_F(UpdaterProcessTest, StartupRegistersAndChecksAndTheExitCloses)
{
    agent_.SetDword(QStringLiteral("langID"), 1036);
    ASSERT_TRUE(agent_.Start()) << agent_.Stderr().toStdString();
    ASSERT_TRUE(Answers(agent_));
    const QStringList expected = {
        QStringLiteral("Set_OnCloseApplication(context)"),
        QStringLiteral("Update_Init(text:,text:%1)").arg(QString::fromLatin1(kUpdaterSettingsAddress)),
        QStringLiteral("Update_SetProductName(text:TwinLark)"),
        QStringLiteral("Update_SetLanguage(text:1036)"),
        QStringLiteral("Update_SetSendStats(bool:0)"),
        QStringLiteral("Update_SetWhenCheckForUpdate(int:1)"),
        QStringLiteral("Update_SetVisibleButtons(int:15)"),
        QStringLiteral("Update_Check"),
    };
    EXPECT_EQ(Calls(), expected);
    agent_.Signal(SIGTERM);
    EXPECT_EQ(agent_.WaitForExit(), 0);
    EXPECT_EQ(Calls(), expected + QStringList{QStringLiteral("Update_Close")});
}

TEST_F(UpdaterProcessTest, InitAnswerOneEndsTheProcessAtOnce)
{
    agent_.SetEnv("FAKE_NORVANE_INIT", "1");
    ASSERT_TRUE(agent_.Launch());
    EXPECT_EQ(agent_.WaitForExit(), 0);
    EXPECT_EQ(Calls().size(), 2);
    EXPECT_FALSE(agent_.Log().contains(QStringLiteral("Init TwinLark..")));
}

TEST_F(UpdaterProcessTest, InitAnswerMinusOneSkipsTheRestAndServes)
{
    agent_.SetEnv("FAKE_NORVANE_INIT", "-1");
    ASSERT_TRUE(agent_.Start()) << agent_.Stderr().toStdString();
    ASSERT_TRUE(Answers(agent_));
    EXPECT_EQ(Calls().size(), 2);
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent_.Port()));
    ASSERT_TRUE(peer.Request(AS_QUIT, 1));
    EXPECT_EQ(agent_.WaitForExit(), 0);
}

TEST_F(UpdaterProcessTest, UpdaterAskingToCloseEndsTheAgentInOrder)
{
    agent_.SetEnv("FAKE_NORVANE_CLOSE_ON", "Update_Check");
    ASSERT_TRUE(agent_.Launch());
    EXPECT_EQ(agent_.WaitForExit(), 0);
    ExpectCompleteLog(agent_);
    EXPECT_TRUE(agent_.Log().contains(QStringLiteral("ServerStop")));
}

}  // namespace

namespace {

// An agent killed during a write leaves temporary files in its data folder; the next start
// removes them and leaves the rest.
TEST(AppProcessLeftovers, StartRemovesLeftoverTemporaryFilesOfTheDataFolder)
{
    AgentProcess agent;
    agent.WriteFile(QStringLiteral(".local/share/TwinLark/MAC.Contact.tmp-Ab12Cd"), QByteArray(1000, 'x'));
    agent.WriteFile(QStringLiteral(".local/share/TwinLark/MAC.Contact"), "state");
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    EXPECT_FALSE(QFile::exists(agent.Path(QStringLiteral(".local/share/TwinLark/MAC.Contact.tmp-Ab12Cd"))));
    EXPECT_EQ(agent.ReadFile(QStringLiteral(".local/share/TwinLark/MAC.Contact")), QByteArray("state"));
}

}  // namespace
