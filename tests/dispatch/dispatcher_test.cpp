// The dispatcher's switch and failure conventions, the login gate, and the connection requests.
#include "dispatch/dispatcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <functional>
#include <stdexcept>

#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "dispatch/request_context.h"
#include "platform/system_info.h"
#include "support/dispatch_harness.h"
#include "support/recording_channel.h"
#include "support/temp_home.h"
#include "wire/agent_host.h"
#include "wire/message_header.h"

namespace {

class RecordingHost : public AgentHost {
public:
    explicit RecordingHost(const RecordingChannel& channel) : channel_(channel) {}
    void SetAcceptingConnections(bool) override {}
    void AnnounceStart() override {}
    void AnnounceStop() override {}
    void ShowBusyIcon(bool) override {}
    void RequestExit() override { repliesBeforeExit.push_back(channel_.messages.size()); }

    std::vector<std::size_t> repliesBeforeExit;

private:
    const RecordingChannel& channel_;
};

// A served request that needs a login and that no family handles yet in these tests.
constexpr std::uint16_t kGuardedCode = AS_GET_MUSIC_DIR;

class DispatcherTest : public ::testing::Test {
protected:
    DispatcherTest()
    {
        agent.SetHost(&host);
        dispatcher.SetHandler(kGuardedCode, [](RequestContext& ctx) { ctx.Reply("served"); });
        dispatcher.SetHandler(AS_STATUS, [](RequestContext& ctx) { ctx.Reply(); });
    }

    RecordedMessage Dispatch(std::uint16_t code, const QByteArray& payload = {}, std::uint16_t tag = 0x4242)
    {
        channel.messages.clear();
        dispatcher.DispatchCommand(code, tag, AsBytes(payload), channel);
        EXPECT_EQ(channel.messages.size(), 1u) << "exactly one answer to code " << code;
        return channel.messages.empty() ? RecordedMessage{} : channel.messages.back();
    }

    RecordedMessage Login(const QString& password) { return Dispatch(AS_LOGIN, utf16::Bytes(password)); }

    QString LogText() const
    {
        QFile f(log.GetLogPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    TempHome home;
    LogFile log;
    Agent agent{log};
    Dispatcher dispatcher{agent};
    RecordingChannel channel;
    RecordingHost host{channel};
};

TEST_F(DispatcherTest, UnservedCodesAnswerErrorWithTheTagAndLogNothing)
{
    const QString before = LogText();
    for (const std::uint16_t code : {1, 2, 18, 301, 65535}) {
        SCOPED_TRACE(code);
        const RecordedMessage m = Dispatch(code, "xyz", 0xBEEF);
        EXPECT_EQ(m.code, AS_ERROR);
        EXPECT_EQ(m.tag, 0xBEEF);
        EXPECT_TRUE(m.payload.isEmpty());
    }
    EXPECT_EQ(LogText(), before);
}

TEST_F(DispatcherTest, RequestTableServesTheProtocolsCodes)
{
    EXPECT_EQ(ServedRequestCount(), 91);
    for (int code = 0; code <= 300; ++code) {
        if (const RequestInfo* info = FindRequest(static_cast<std::uint16_t>(code))) {
            EXPECT_EQ(code % 2, 0) << info->name;
        }
    }
    EXPECT_EQ(FindRequest(301), nullptr);
}

TEST_F(DispatcherTest, WithStoredPasswordOnlyConnectionRequestsAreServedBeforeLogin)
{
    ASSERT_TRUE(CreateSettingsKey());
    ASSERT_TRUE(WritePassword(QStringLiteral("Secret")));

    EXPECT_EQ(Dispatch(kGuardedCode).code, AS_ERROR);
    EXPECT_EQ(Dispatch(AS_PUT_FRAGMENT, "piece").code, AS_ERROR);
    EXPECT_EQ(agent.fragments.Size(), 0);
    // Exempt: status poll, identities, login.
    EXPECT_EQ(Dispatch(AS_STATUS).code, AS_STATUS + 1);
    EXPECT_EQ(Dispatch(AS_GET_OWNER).code, AS_GET_OWNER + 1);
    EXPECT_EQ(Dispatch(AS_MACHINE_ID, utf16::Bytes(QStringLiteral("mac"))).code, AS_MACHINE_ID + 1);

    // Letter case matters; a refused login lets nothing more through.
    EXPECT_EQ(Login(QStringLiteral("secret")).code, AS_ERROR);
    EXPECT_EQ(Dispatch(kGuardedCode).code, AS_ERROR);

    const RecordedMessage ok = Login(QStringLiteral("Secret"));
    EXPECT_EQ(ok.code, AS_LOGIN + 1);
    EXPECT_EQ(ok.payload, utf16::Bytes(GetProductVersionText()));
    EXPECT_EQ(Dispatch(kGuardedCode).payload, QByteArray("served"));

    // A later failed login changes nothing; a new connection starts logged out.
    EXPECT_EQ(Login(QStringLiteral("wrong")).code, AS_ERROR);
    EXPECT_EQ(Dispatch(kGuardedCode).code, kGuardedCode + 1);
    agent.ResetConnectionState();
    EXPECT_EQ(Dispatch(kGuardedCode).code, AS_ERROR);
}

TEST_F(DispatcherTest, WithoutStoredPasswordEveryRequestIsServedAndTheEmptyLoginSucceeds)
{
    // No settings key at all: the stored password reads as empty.
    EXPECT_EQ(Dispatch(kGuardedCode).code, kGuardedCode + 1);
    EXPECT_EQ(Login(QString()).code, AS_LOGIN + 1);
    EXPECT_EQ(Dispatch(AS_LOGIN, {}).code, AS_LOGIN + 1);  // no payload at all
    EXPECT_EQ(Login(QStringLiteral("anything")).code, AS_ERROR);
    EXPECT_EQ(Dispatch(kGuardedCode).code, kGuardedCode + 1);
}

TEST_F(DispatcherTest, LoginTextStopsAtTheFirstZeroOrThePayloadsEnd)
{
    ASSERT_TRUE(CreateSettingsKey());
    ASSERT_TRUE(WritePassword(QStringLiteral("pw")));
    EXPECT_EQ(Dispatch(AS_LOGIN, utf16::Bytes(QStringLiteral("pw")) + QByteArray(2, '\0') + "junk").code,
              AS_LOGIN + 1);
    // An odd trailing byte is no part of the text.
    EXPECT_EQ(Dispatch(AS_LOGIN, utf16::Bytes(QStringLiteral("pw")) + "x").code, AS_LOGIN + 1);
}

TEST_F(DispatcherTest, MachineIdIsReplacedAndAnsweredWithThisComputersIdentity)
{
    const RecordedMessage first = Dispatch(AS_MACHINE_ID, utf16::Bytes(QStringLiteral("MAC-ONE")));
    EXPECT_EQ(first.code, AS_MACHINE_ID + 1);
    EXPECT_EQ(first.payload, utf16::Bytes(GetMachineIdentity()));
    EXPECT_EQ(agent.pcIdentity, GetMachineIdentity());
    Dispatch(AS_MACHINE_ID, utf16::Bytes(QStringLiteral("MAC-TWO")));
    EXPECT_EQ(agent.machineId, QStringLiteral("MAC-TWO"));
    EXPECT_TRUE(LogText().contains(QStringLiteral("machineID = MAC-ONE\nmachineID = MAC-TWO\n")));

    // A text filling a whole message without a terminator is read up to the payload's end.
    const QString full(8189, QLatin1Char('m'));
    Dispatch(AS_MACHINE_ID, utf16::Bytes(full));
    EXPECT_EQ(agent.machineId, full);
}

TEST_F(DispatcherTest, MachineIdentityIsVolumeSerialAndUserName)
{
    const QString identity = GetMachineIdentity();
    const QString user = UserName();
    ASSERT_FALSE(user.isEmpty());
    EXPECT_TRUE(identity.endsWith(QLatin1Char(' ') + user));
    bool numeric = false;
    identity.section(QLatin1Char(' '), 0, 0).toUInt(&numeric);
    EXPECT_TRUE(numeric);
}

TEST_F(DispatcherTest, OwnerIsTheComputerName)
{
    const RecordedMessage m = Dispatch(AS_GET_OWNER, {}, 7);
    EXPECT_EQ(m.code, AS_GET_OWNER + 1);
    EXPECT_EQ(m.tag, 7);
    EXPECT_EQ(m.payload, utf16::Bytes(ComputerName()));
}

TEST_F(DispatcherTest, QuitIsAnsweredBeforeTheExitIsRequested)
{
    const RecordedMessage m = Dispatch(AS_QUIT);
    EXPECT_EQ(m.code, AS_QUIT + 1);
    EXPECT_TRUE(m.payload.isEmpty());
    ASSERT_EQ(host.repliesBeforeExit.size(), 1u);
    EXPECT_EQ(host.repliesBeforeExit[0], 1u);
}

TEST_F(DispatcherTest, CatchAllLogsTheRequestsOwnLineAndAnswersError)
{
    struct Case {
        std::uint16_t code;
        QString expectedLog;
    };
    const Case cases[] = {
        {AS_GET_CONTACT, QStringLiteral("AS_GET_CONTACT...error\n")},
        {AS_ADD_CONTACT, QStringLiteral("AS_ADD_CONTACT..error\n")},
        {AS_SET_APPOINT, QStringLiteral("AS_SET_APPOINT...error\n\n")},
        {AS_DEL_APPOINT, QStringLiteral("AS_DEL_APPOINT - error\n")},
        {AS_SET_FILE, QStringLiteral("AS_SET_FILE - error\n")},
        {AS_GETFILECHANGES, QStringLiteral("AS_GETFILECHANGES...error\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        dispatcher.SetHandler(c.code, [](RequestContext&) { throw std::runtime_error("store went away"); });
        const qsizetype before = LogText().size();
        const RecordedMessage m = Dispatch(c.code, {}, 0x0102);
        EXPECT_EQ(m.code, AS_ERROR);
        EXPECT_EQ(m.tag, 0x0102);
        EXPECT_EQ(LogText().mid(before), c.expectedLog + QStringLiteral("\treason: store went away\n"));
    }
}

TEST_F(DispatcherTest, CatchAllOfAnItemRequestDumpsTheFailingRecord)
{
    ItemRecord record;
    record.Add(QStringLiteral("FirstName"), QStringLiteral("Ada"));
    record.Add(QStringLiteral("Importance"), 2);
    dispatcher.SetHandler(AS_SET_CONTACT, [&record](RequestContext& ctx) {
        ctx.recordForLog = &record;
        throw MalformedData("field count beyond the payload");
    });
    const qsizetype before = LogText().size();
    EXPECT_EQ(Dispatch(AS_SET_CONTACT).code, AS_ERROR);
    EXPECT_EQ(LogText().mid(before),
              QStringLiteral("AS_SET_CONTACT...error\n\t- FirstName - Ada\n\t- Importance - 2\n"
                             "\treason: field count beyond the payload\n"));
}

TEST_F(DispatcherTest, FailureOutsideTheCatchAllIsAnsweredAndTheAgentGoesOn)
{
    dispatcher.SetHandler(AS_GET_DRIVES, [](RequestContext&) { throw 42; });
    EXPECT_EQ(Dispatch(AS_GET_DRIVES).code, AS_ERROR);
    EXPECT_TRUE(LogText().contains(QStringLiteral("AS_GET_DRIVES...error\n")));

    // A handler that replied and then failed is not answered twice.
    dispatcher.SetHandler(AS_GET_DRIVES, [](RequestContext& ctx) {
        ctx.Reply("partial");
        throw std::runtime_error("after the reply");
    });
    EXPECT_EQ(Dispatch(AS_GET_DRIVES).code, AS_GET_DRIVES + 1);

    // A handler that forgot to answer still gets the peer an answer.
    dispatcher.SetHandler(AS_GET_DRIVES, [](RequestContext&) {});
    EXPECT_EQ(Dispatch(AS_GET_DRIVES).code, AS_ERROR);

    EXPECT_EQ(Dispatch(AS_GET_OWNER).code, AS_GET_OWNER + 1);
}

TEST_F(DispatcherTest, ReplyLongerThanOneMessageOnlyWhereTheRequestMayFragment)
{
    const QByteArray big(20000, 'x');
    dispatcher.SetHandler(AS_GET_DRIVES, [&big](RequestContext& ctx) { ctx.Reply(big); });
    EXPECT_EQ(Dispatch(AS_GET_DRIVES).code, AS_ERROR);

    dispatcher.SetHandler(AS_GET_DIR_LIST, [&big](RequestContext& ctx) { ctx.Reply(big); });
    const RecordedMessage m = Dispatch(AS_GET_DIR_LIST);
    EXPECT_TRUE(m.longReply);
    EXPECT_EQ(m.code, AS_GET_DIR_LIST + 1);
    EXPECT_EQ(m.payload, big);
}

}  // namespace

namespace {

// "No password stored" serves the admitted peer; a password that cannot be read serves nothing
// that needs a login, says so once in the log and to the user, and no login can pass it.
TEST(StoredPasswordTest, APasswordThatCannotBeReadFailsClosed)
{
    const QString kRegistry = QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg");
    const QByteArray kHead =
        "Windows Registry Editor Version 5.00\r\n\r\n[SOFTWARE\\Ostrel Software\\TwinLark2]\r\n";
    const struct {
        const char* what;
        std::function<void(TempHome&)> plant;
        bool served;
    } cases[] = {
        {"no settings file", [](TempHome&) {}, true},
        {"no password value",
         [&](TempHome& h) { h.WriteFile(kRegistry, kHead + "\"port\"=dword:00006b19\r\n"); }, true},
        {"empty password", [&](TempHome& h) { h.WriteFile(kRegistry, kHead + "\"password\"=\"\"\r\n"); },
         true},
        {"settings file unreadable", [&](TempHome& h) { QDir().mkpath(h.Path(kRegistry)); }, false},
        {"password of another type",
         [&](TempHome& h) { h.WriteFile(kRegistry, kHead + "\"password\"=dword:00000001\r\n"); }, false},
        {"malformed password",
         [&](TempHome& h) { h.WriteFile(kRegistry, kHead + "\"password\"=hex(1):41\r\n"); }, false},
        // Lines that name the password but whose data cannot be read at all.
        {"text without its closing quote",
         [&](TempHome& h) { h.WriteFile(kRegistry, kHead + "\"password\"=\"abc\r\n"); }, false},
        {"hex that is no hex",
         [&](TempHome& h) { h.WriteFile(kRegistry, kHead + "\"password\"=hex(1):zz\r\n"); }, false},
        {"dword that is no number",
         [&](TempHome& h) { h.WriteFile(kRegistry, kHead + "\"password\"=dword:xyz\r\n"); }, false},
        {"text with trailing garbage",
         [&](TempHome& h) { h.WriteFile(kRegistry, kHead + "\"password\"=\"abc\" x\r\n"); }, false},
        {"unreadable line after a readable one",
         [&](TempHome& h) {
             h.WriteFile(kRegistry, kHead + "\"password\"=\"abc\"\r\n\"PASSWORD\"=\"abc\r\n");
         },
         false},
        {"readable line after an unreadable one",
         [&](TempHome& h) {
             h.WriteFile(kRegistry, kHead + "\"password\"=hex(1):zz\r\n\"password\"=\"abc\"\r\n");
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DispatchHarness h;
        c.plant(h.home);
        h.TakeLogLines();
        EXPECT_EQ(h.Send(AS_GET_DRIVES).code == AS_ERROR, !c.served);
        EXPECT_EQ(h.Send(AS_GET_DRIVES).code == AS_ERROR, !c.served);
        const QStringList log = h.TakeLogLines();
        const auto told = static_cast<int>(log.filter(QStringLiteral("password could not be read")).size());
        EXPECT_EQ(told, c.served ? 0 : 1) << log.join(u'\n').toStdString();
        EXPECT_EQ(h.host.told.size(), c.served ? 0 : 1);
        if (!c.served) {
            EXPECT_EQ(h.Send(AS_LOGIN, Utf16z(QString())).code, AS_ERROR);
            EXPECT_EQ(h.Send(AS_LOGIN, Utf16z(QStringLiteral("A"))).code, AS_ERROR);
            EXPECT_EQ(h.Send(AS_GET_DRIVES).code, AS_ERROR);
        }
    }
}

}  // namespace

namespace {

// The login gate keeps what it read of the settings, so it must see every later change: a
// password stored while a peer is connected is asked of that peer at its next request.
TEST(StoredPasswordTest, APasswordStoredWhileAPeerIsConnectedIsRequiredAtItsNextRequest)
{
    const QString kRegistry = QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg");
    const QByteArray kHead =
        "Windows Registry Editor Version 5.00\r\n\r\n[SOFTWARE\\Ostrel Software\\TwinLark2]\r\n";
    // Rewrites the file in place with text of the same length and puts its modification time
    // back, as a careless editor might: only its change time tells.
    const auto rewriteInPlace = [&](TempHome& h, const QByteArray& text) {
        const QByteArray path = QFile::encodeName(h.Path(kRegistry));
        struct stat before {};
        ASSERT_EQ(stat(path.constData(), &before), 0);
        QFile f(h.Path(kRegistry));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_EQ(f.size(), text.size());
        ASSERT_EQ(f.write(text), text.size());
        f.close();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, path.constData(), times, 0), 0);
    };
    const struct {
        const char* what;
        std::function<void(TempHome&)> store;
        const char* password;  // empty: no login can pass
    } cases[] = {
        {"the window stores it", [](TempHome&) { ASSERT_TRUE(WritePassword(QStringLiteral("secret"))); }, "secret"},
        {"another program replaces the file",
         [&](TempHome& h) { h.WriteFile(kRegistry, kHead + "\"password\"=\"other\"\r\n"); }, "other"},
        {"the file changes in place, same size and time",
         [&](TempHome& h) { rewriteInPlace(h, kHead + "\"password\"=\"secret\"\r\n"); }, "secret"},
        {"the password becomes unreadable in place",
         [&](TempHome& h) { rewriteInPlace(h, kHead + "\"password\"=hex(1):z\r\n"); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DispatchHarness h;
        // No password yet (the value is named otherwise): the connected peer is served.
        h.home.WriteFile(kRegistry, kHead + "\"passwXrd\"=\"secret\"\r\n");
        ASSERT_EQ(h.Send(AS_GET_DRIVES).code, AS_GET_DRIVES + 1);
        ASSERT_EQ(h.Send(AS_GET_DRIVES).code, AS_GET_DRIVES + 1);

        c.store(h.home);
        EXPECT_EQ(h.Send(AS_GET_DRIVES).code, AS_ERROR);
        EXPECT_EQ(h.Send(AS_GET_DRIVES).code, AS_ERROR);
        if (*c.password) {
            EXPECT_EQ(h.Send(AS_LOGIN, utf16::Bytes(QString::fromLatin1(c.password))).code, AS_LOGIN + 1);
            EXPECT_EQ(h.Send(AS_GET_DRIVES).code, AS_GET_DRIVES + 1);
        } else {
            EXPECT_EQ(h.Send(AS_LOGIN, utf16::Bytes(QStringLiteral("secret"))).code, AS_ERROR);
        }
    }
}

}  // namespace
