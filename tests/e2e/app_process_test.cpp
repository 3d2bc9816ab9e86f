// The built agent as a process: single instance, the ways it ends, and the updater library.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTcpSocket>

#include "support/planted_settings.h"
#include "support/qt_event_loop.h"
#include "support/temp_home.h"

namespace {

constexpr char kLog[] = ".local/share/TwinLark/TwinLark.log";
constexpr char kIpList[] = ".local/share/TwinLark/iplist.dat";
constexpr std::uint16_t kStatus = 0;
constexpr std::uint16_t kQuit = 104;

class AgentProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureCoreApplication();
        port_ = FreeLoopbackPort();
    }
    void TearDown() override
    {
        for (auto& process : processes_) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    void Plant(std::map<QString, unsigned> settings = {})
    {
        settings[QStringLiteral("port")] = static_cast<unsigned>(port_);
        PlantSettings(home_, std::move(settings));
    }
    // Starts the agent in the temporary home (the environment is the test's, which TempHome
    // pointed there) with extra variables.
    QProcess& Start(const QStringList& extraEnvironment = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("TWINLARK_NORVANE_LIBRARY"));
        for (const QString& entry : extraEnvironment) {
            const QString name = entry.section(QLatin1Char('='), 0, 0);
            if (entry.contains(QLatin1Char('=')))
                env.insert(name, entry.section(QLatin1Char('='), 1));
            else
                env.remove(name);  // a bare name removes the variable
        }
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(TWINLARK_AGENT_BINARY), {});
        processes_.push_back(std::move(process));
        return *processes_.back();
    }
    QString Log() const { return QString::fromUtf8(home_.ReadFile(QString::fromLatin1(kLog)).value_or("")); }
    bool WaitServing() const
    {
        return ProcessEventsUntil([&] { return Log().contains(QStringLiteral("ServerStart...true")); },
                                  15000);
    }
    static bool WaitExit(QProcess& process)
    {
        return ProcessEventsUntil([&] { return process.state() == QProcess::NotRunning; }, 15000);
    }
    // Sends one request without payload and returns the reply's code (AS_ERROR included; -1
    // when no reply came).
    int Request(std::uint16_t code) const
    {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port_));
        if (!ProcessEventsUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; })) return -1;
        const char header[6] = {static_cast<char>(code & 0xFF), static_cast<char>(code >> 8), 7, 0, 0, 0};
        socket.write(header, sizeof header);
        if (!ProcessEventsUntil([&] { return socket.bytesAvailable() >= 6; })) return -1;
        const QByteArray reply = socket.read(6);
        return static_cast<unsigned char>(reply[0]) | (static_cast<unsigned char>(reply[1]) << 8);
    }
    // The log of one run from its first line to its last.
    void ExpectCompleteLog() const
    {
        const QStringList lines = Log().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.first(), QStringLiteral("Init TwinLark.."));
        EXPECT_EQ(lines.last(), QStringLiteral("close programm"));
    }

    TempHome home_;
    int port_ = 0;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(AgentProcessTest, SecondStartEndsAtOnceAndLeavesTheFirstServing)
{
    Plant();
    QProcess& first = Start();
    ASSERT_TRUE(WaitServing());
    QProcess& second = Start();
    ASSERT_TRUE(WaitExit(second));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(Log().count(QStringLiteral("Init TwinLark..")), 1);
    EXPECT_NE(Request(kStatus), -1);  // and the first still answers
}

TEST_F(AgentProcessTest, QuitRequestAndSigtermRunTheExitSequence)
{
    for (const char* how : {"AS_QUIT", "SIGTERM"}) {
        SCOPED_TRACE(how);
        QFile::remove(home_.Path(QString::fromLatin1(kLog)));
        home_.WriteFile(QString::fromLatin1(kIpList), "192.168.0.2\r\n\r\n");
        Plant();
        QProcess& agent = Start();
        ASSERT_TRUE(WaitServing());
        // Requests are served once the start-up has ended, the IP list read included.
        ASSERT_NE(Request(kStatus), -1);
        // The list is written back from memory even when its file went missing meanwhile.
        QFile::remove(home_.Path(QString::fromLatin1(kIpList)));
        if (QByteArray(how) == "AS_QUIT")
            EXPECT_EQ(Request(kQuit), kQuit + 1);
        else
            agent.terminate();
        ASSERT_TRUE(WaitExit(agent));
        EXPECT_EQ(agent.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(agent.exitCode(), 0);
        ExpectCompleteLog();
        EXPECT_EQ(home_.ReadFile(QString::fromLatin1(kIpList)).value_or("missing"),
                  QByteArray("192.168.0.2\r\n\r\n"));
    }
}

TEST_F(AgentProcessTest, WithoutAnyDisplayTheAgentServesAndSaysSo)
{
    Plant();
    QProcess& agent = Start(
        {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY")});
    ASSERT_TRUE(WaitServing());
    ASSERT_NE(Request(kStatus), -1);
    EXPECT_EQ(Log().count(QStringLiteral("no display")), 1);
    EXPECT_EQ(Request(kQuit), kQuit + 1);
    ASSERT_TRUE(WaitExit(agent));
    EXPECT_EQ(agent.exitCode(), 0);
    ExpectCompleteLog();
}

TEST_F(AgentProcessTest, OffscreenWithoutTraySaysSoOnce)
{
    Plant();
    QProcess& agent = Start();
    ASSERT_TRUE(WaitServing());
    ASSERT_NE(Request(kStatus), -1);
    EXPECT_EQ(Log().count(QStringLiteral("no system tray")), 1);
    agent.terminate();
    ASSERT_TRUE(WaitExit(agent));
}

class UpdaterProcessTest : public AgentProcessTest {
protected:
    QStringList Calls() const
    {
        return QString::fromUtf8(home_.ReadFile(QStringLiteral("calls.txt")).value_or(""))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QProcess& StartWithUpdater(const QStringList& extra = {})
    {
        return Start(
            QStringList{QStringLiteral("TWINLARK_NORVANE_LIBRARY=") + QStringLiteral(TWINLARK_FAKE_NORVANE),
                        QStringLiteral("FAKE_NORVANE_LOG=") + home_.Path(QStringLiteral("calls.txt"))} +
            extra);
    }
};

TEST_F(UpdaterProcessTest, StartupRegistersAndChecks)
{
    Plant({{QStringLiteral("langID"), 1036}});
    QProcess& agent = StartWithUpdater();
    ASSERT_TRUE(WaitServing());
    const QStringList expected = {
        QStringLiteral("Set_OnCloseApplication(context)"),
        QStringLiteral("Update_Init(text:,text:https://update.ostrel-software.com/download/"
                       "twinlark-update-win/settings_ver3.xml)"),
        QStringLiteral("Update_SetProductName(text:TwinLark)"),
        QStringLiteral("Update_SetLanguage(text:1036)"),
        QStringLiteral("Update_SetSendStats(bool:0)"),
        QStringLiteral("Update_SetWhenCheckForUpdate(int:1)"),
        QStringLiteral("Update_SetVisibleButtons(int:15)"),
        QStringLiteral("Update_Check"),
    };
    EXPECT_EQ(Calls(), expected);
    agent.terminate();
    ASSERT_TRUE(WaitExit(agent));
    EXPECT_EQ(agent.exitCode(), 0);
    EXPECT_EQ(Calls(), expected + QStringList{QStringLiteral("Update_Close")});
}

TEST_F(UpdaterProcessTest, InitAnswerOneEndsTheProcessAtOnce)
{
    Plant();
    QProcess& agent = StartWithUpdater({QStringLiteral("FAKE_NORVANE_INIT=1")});
    ASSERT_TRUE(WaitExit(agent));
    EXPECT_EQ(agent.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(agent.exitCode(), 0);
    EXPECT_EQ(Calls().size(), 2);
    EXPECT_FALSE(Log().contains(QStringLiteral("Init TwinLark..")));
}

TEST_F(UpdaterProcessTest, InitAnswerMinusOneSkipsTheRestAndServes)
{
    Plant();
    QProcess& agent = StartWithUpdater({QStringLiteral("FAKE_NORVANE_INIT=-1")});
    ASSERT_TRUE(WaitServing());
    EXPECT_EQ(Calls().size(), 2);
    EXPECT_EQ(Request(kQuit), kQuit + 1);
    ASSERT_TRUE(WaitExit(agent));
    EXPECT_EQ(agent.exitCode(), 0);
}

TEST_F(UpdaterProcessTest, UpdaterAskingToCloseEndsTheAgentInOrder)
{
    Plant();
    QProcess& agent = StartWithUpdater({QStringLiteral("FAKE_NORVANE_CLOSE_ON=Update_Check")});
    ASSERT_TRUE(WaitExit(agent));
    EXPECT_EQ(agent.exitCode(), 0);
    ExpectCompleteLog();
}

}  // namespace
