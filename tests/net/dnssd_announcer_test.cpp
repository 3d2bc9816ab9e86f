// The DNS-SD announcement against a recording stand-in for the client library.
#include "net/dnssd_announcer.h"

#include <gtest/gtest.h>

#include <QFile>

#include "core/log_file.h"
#include "platform/system_info.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"

namespace {

class DnssdAnnouncerTest : public ::testing::Test {
protected:
    QByteArray Calls() const
    {
        QFile f(callLog);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray LogText() const
    {
        QFile f(log.GetLogPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TempHome home;
    LogFile log;
    QString callLog = home.Path(QStringLiteral("dnssd-calls.txt"));
    ScopedEnv library{DnssdAnnouncer::kLibraryVariable, TWINLARK_FAKE_DNSSD_LIBRARY};
    ScopedEnv record{"FAKE_DNSSD_LOG", callLog.toUtf8()};
};

TEST_F(DnssdAnnouncerTest, RegistersComputerAndUserOnThePortOnceUntilStopped)
{
    DnssdAnnouncer announcer(log);
    EXPECT_TRUE(announcer.Start(27386));
    EXPECT_TRUE(announcer.Start(27386));  // already active: nothing more
    const QByteArray name = (ComputerName() + QLatin1Char('(') + UserName() + QLatin1Char(')')).toUtf8();
    EXPECT_EQ(Calls(), "register flags=0 interface=0 name=" + name +
                           " type=_twinlark_win._tcp. domain=null host=null port=27386 txt=0 callback=null "
                           "context=null\n");
    announcer.Stop();
    announcer.Stop();  // nothing active: nothing happens
    EXPECT_TRUE(Calls().endsWith("\ndeallocate ref=1\n"));
    EXPECT_TRUE(LogText().endsWith("Bonjour on\nBonjour off\n"));
    EXPECT_FALSE(announcer.IsActive());
}

TEST_F(DnssdAnnouncerTest, RefusedRegistrationKeepsTheLibraryUntilStopped)
{
    ScopedEnv refuse("FAKE_DNSSD_RESULT", "-65537");
    DnssdAnnouncer announcer(log);
    EXPECT_TRUE(announcer.Start(1234));
    EXPECT_TRUE(announcer.IsActive());
    EXPECT_TRUE(announcer.Start(1234));
    announcer.Stop();
    // One attempt, and no reference to give back.
    EXPECT_EQ(Calls().count("register"), 1);
    EXPECT_FALSE(Calls().contains("deallocate"));
    EXPECT_TRUE(LogText().endsWith("BonjourStart failed\nBonjour off\n"));
}

TEST_F(DnssdAnnouncerTest, MissingLibraryOnlyCostsTheAnnouncement)
{
    ScopedEnv missing(DnssdAnnouncer::kLibraryVariable,
                      home.Path(QStringLiteral("no/libdns_sd.so.1")).toUtf8());
    DnssdAnnouncer announcer(log);
    EXPECT_FALSE(announcer.Start(27385));
    EXPECT_FALSE(announcer.IsActive());
    EXPECT_FALSE(announcer.Start(27385));  // tried again every time
    announcer.Stop();
    EXPECT_TRUE(LogText().endsWith("LoadLibrary Bonjour failed\nLoadLibrary Bonjour failed\n"));
}

}  // namespace
