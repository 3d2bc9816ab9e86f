#include "core/settings.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/registry.h"
#include "support/temp_home.h"
#include "version.h"

namespace {

const QString kUserFile = QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg");
const QString kSettingsKey = QStringLiteral("SOFTWARE\\Ostrel Software\\TwinLark2");
const QString kRunKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString kDesktopFile = QStringLiteral(".config/autostart/TwinLark2.desktop");
const QString kIpList = QStringLiteral(".local/share/TwinLark/iplist.dat");

void PlantSettings(const TempHome& home, const QByteArray& values)
{
    home.WriteFile(kUserFile, "[SOFTWARE\\Ostrel Software\\TwinLark2]\n" + values);
}

std::string Text(const std::optional<QByteArray>& bytes)
{
    return bytes ? bytes->toStdString() : std::string("<missing>");
}

TEST(Settings, WithoutTheKeyEveryReaderGivesItsDefaultAndOnlyThePortWriterCreatesIt)
{
    TempHome home;
    EXPECT_EQ(ReadPort(), kDefaultPort);
    EXPECT_EQ(PortText(), QString()) << "the port field is left alone";
    EXPECT_EQ(ReadPassword(), QString());
    EXPECT_EQ(ReadAccessMode(), 0u);
    EXPECT_FALSE(ReadTrayMessage());
    EXPECT_EQ(ReadLangId(), kDefaultLangId);
    EXPECT_EQ(ReadFirstRun(), 0u);
    bool found = true;
    EXPECT_EQ(ReadSettingsDword(QStringLiteral("browserID"), 77, &found), 77u);
    EXPECT_FALSE(found);

    EXPECT_FALSE(WritePassword(QStringLiteral("x")));
    EXPECT_FALSE(WriteAccessMode(1));
    EXPECT_FALSE(WriteTrayMessage(true));
    EXPECT_FALSE(WriteBrowserId(2));
    EXPECT_FALSE(WriteAgentValue(QStringLiteral("AgentID"), 3));
    EXPECT_FALSE(home.Exists(kUserFile)) << "no writer but the port's creates the key";

    // Start-up creates the key; the port field then shows the default.
    ASSERT_TRUE(CreateSettingsKey());
    EXPECT_TRUE(CreateSettingsKey()) << "an existing key is fine";
    EXPECT_EQ(PortText(), QStringLiteral("27385"));
    EXPECT_EQ(ReadAccessMode(), 0u);
    EXPECT_TRUE(
        QString::fromUtf8(*home.ReadFile(kUserFile)).contains(QStringLiteral("[") + kSettingsKey + u']'));
}

TEST(Settings, WritePortCreatesTheKeyAndStoresEachDigitAsTyped)
{
    TempHome home;
    for (int port : {2, 27, 273}) {
        ASSERT_TRUE(WritePort(port));
        EXPECT_EQ(ReadPort(), port);
        EXPECT_EQ(PortText(), QString::number(port));
    }
    EXPECT_TRUE(
        QString::fromUtf8(*home.ReadFile(kUserFile)).contains(QStringLiteral("\"port\"=dword:00000111")));
    ASSERT_TRUE(WritePort(0)) << "empty or non-numeric field text stores 0";
    EXPECT_EQ(ReadPort(), 0);
}

TEST(Settings, StoredValuesAreReadBackAndMistypedOnesCountAsMissing)
{
    TempHome home;
    PlantSettings(home,
                  "\"port\"=\"8080\"\n"
                  "\"Access mode\"=\"2\"\n"
                  "\"langID\"=dword:00010407\n"
                  "\"trayMessage\"=dword:00000001\n"
                  "\"AgentID\"=dword:00000005\n");
    EXPECT_EQ(PortText(), QStringLiteral("27385"));
    EXPECT_EQ(ReadPort(), kDefaultPort);
    EXPECT_EQ(ReadAccessMode(), 0u);
    EXPECT_EQ(ReadLangId(), 0x0407u) << "only the low 16 bits";
    EXPECT_TRUE(ReadTrayMessage());
    bool found = false;
    EXPECT_EQ(ReadSettingsDword(QStringLiteral("agentid"), 0, &found), 5u);
    EXPECT_TRUE(found);

    const QString password = QStringLiteral("p\"a\\ss w\u00f6rd");
    ASSERT_TRUE(WritePassword(password));
    EXPECT_EQ(ReadPassword(), password);
    ASSERT_TRUE(WriteAccessMode(7));
    EXPECT_EQ(ReadAccessMode(), 7u) << "an unknown mode is kept as it is";
    ASSERT_TRUE(WriteTrayMessage(false));
    EXPECT_FALSE(ReadTrayMessage());
    ASSERT_TRUE(WriteBrowserId(3));
    EXPECT_EQ(ReadSettingsDword(QStringLiteral("browserID"), 0), 3u);
    ASSERT_TRUE(WriteAgentValue(QStringLiteral("notesAgentID"), 4));
    EXPECT_EQ(ReadSettingsDword(QStringLiteral("notesAgentID"), 0), 4u);

    const QString text = QString::fromUtf8(*home.ReadFile(kUserFile));
    EXPECT_TRUE(text.contains(QStringLiteral("\"password\"=\"p\\\"a\\\\ss w\u00f6rd\"")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\"Access mode\"=dword:00000007"))) << text.toStdString();
}

TEST(Settings, FirstRunIsReadOnce)
{
    TempHome home;
    PlantSettings(home, "\"firstRun\"=dword:00000001\n");
    EXPECT_EQ(ReadFirstRun(), 1u);
    EXPECT_EQ(ReadFirstRun(), 0u) << "the next start finds it missing";
    EXPECT_FALSE(QString::fromUtf8(*home.ReadFile(kUserFile)).contains(QStringLiteral("firstRun")));

    // Only a REG_DWORD is taken (and removed).
    PlantSettings(home, "\"firstRun\"=\"1\"\n");
    EXPECT_EQ(ReadFirstRun(), 0u);
    EXPECT_TRUE(QString::fromUtf8(*home.ReadFile(kUserFile)).contains(QStringLiteral("firstRun")));
}

TEST(Settings, AutostartKeepsTheRunValueAndTheDesktopEntryTogether)
{
    TempHome home;
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    EXPECT_FALSE(ReadAutostart());

    SetAutostart(true);
    EXPECT_TRUE(ReadAutostart());
    std::optional<RegistryKey> run = RegistryKey::Open(RegistryRoot::CurrentUser, kRunKey);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->ReadString(QStringLiteral("TwinLark2")), program);
    const std::string entry = Text(home.ReadFile(kDesktopFile));
    EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nName=TwinLark\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nExec=\"" + program.toStdString() + "\"\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nX-GNOME-Autostart-enabled=true\n"), std::string::npos) << entry;

    SetAutostart(false);
    EXPECT_FALSE(ReadAutostart());
    EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, kRunKey)->Exists(QStringLiteral("TwinLark2")));
    EXPECT_FALSE(home.Exists(kDesktopFile));
    SetAutostart(false);  // already off: nothing to do, nothing fails
    EXPECT_FALSE(home.Exists(kDesktopFile));
}

TEST(Settings, AutostartReadsOnlyATextThatFitsThePathLimit)
{
    struct Case {
        QByteArray line;
        bool expected;
    };
    const Case cases[] = {
        {"\"TwinLark2\"=\"" + QByteArray(259, 'a') + "\"", true},
        {"\"TwinLark2\"=\"" + QByteArray(260, 'a') + "\"", false},
        {"\"TwinLark2\"=\"\"", true},
        {"\"twinlark2\"=\"/opt/x\"", true},
        {"\"TwinLark2\"=dword:00000001", false},
        {"\"Other\"=\"/opt/x\"", false},
    };
    for (const Case& c : cases) {
        TempHome home;
        home.WriteFile(kUserFile, "[" + kRunKey.toUtf8() + "]\n" + c.line + "\n");
        EXPECT_EQ(ReadAutostart(), c.expected) << c.line.left(40).toStdString();
    }
}

TEST(Settings, IpListKeepsEmptyEntriesAndIsWrittenWithCrLf)
{
    struct Case {
        QByteArray file;
        QStringList entries;
    };
    const Case cases[] = {
        {"192.168.0.2\n\n", {QStringLiteral("192.168.0.2"), QString()}},
        {"192.168.0.2\r\n\r\n", {QStringLiteral("192.168.0.2"), QString()}},
        {"10.0.0.1\r\n10.0.0.2", {QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2")}},
        {"\n", {QString()}},
        {"", {}},
        {"h\xC3\xB6st\n", {QStringLiteral("h\u00f6st")}},
        {"h\xF6st\n", {QStringLiteral("h\u00f6st")}},  // an older 8-bit list
    };
    for (const Case& c : cases) {
        TempHome home;
        home.WriteFile(kIpList, c.file);
        EXPECT_EQ(LoadIpList(), c.entries) << c.file.toStdString();
    }

    TempHome home;
    ASSERT_TRUE(SaveIpList({QStringLiteral("192.168.0.2"), QString(), QStringLiteral("h\u00f6st")}));
    EXPECT_EQ(Text(home.ReadFile(kIpList)), "192.168.0.2\r\n\r\nh\xC3\xB6st\r\n");
    EXPECT_EQ(LoadIpList(),
              (QStringList{QStringLiteral("192.168.0.2"), QString(), QStringLiteral("h\u00f6st")}));
    ASSERT_TRUE(SaveIpList({}));
    EXPECT_EQ(Text(home.ReadFile(kIpList)), "");
}

TEST(Settings, IpListFileIsCreatedWhenMissing)
{
    TempHome home;
    EXPECT_EQ(LoadIpList(), QStringList());
    EXPECT_EQ(Text(home.ReadFile(kIpList)), "") << "loading creates an empty list file";

    // Deleted while the agent runs: the exit writes a new file with the current list.
    ASSERT_TRUE(QFile::remove(home.Path(kIpList)));
    ASSERT_TRUE(SaveIpList({QStringLiteral("10.1.1.1")}));
    EXPECT_EQ(Text(home.ReadFile(kIpList)), "10.1.1.1\r\n");
}

TEST(Settings, UnreadableIpListIsNotOverwrittenAtExit)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    TempHome home;
    home.WriteFile(kIpList, "192.168.0.2\r\n");
    ASSERT_TRUE(QFile::setPermissions(home.Path(kIpList), QFileDevice::WriteOwner));
    EXPECT_EQ(LoadIpList(), QStringList());
    EXPECT_FALSE(SaveIpList({}));
    ASSERT_TRUE(QFile::setPermissions(home.Path(kIpList), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(Text(home.ReadFile(kIpList)), "192.168.0.2\r\n");
}

TEST(Settings, VersionLineCarriesTheCompiledInVersion)
{
    const QString product = QStringLiteral("%1.%2.%3.%4")
                                .arg(TWINLARK_VERSION_MAJOR)
                                .arg(TWINLARK_VERSION_MINOR)
                                .arg(TWINLARK_VERSION_PATCH)
                                .arg(TWINLARK_VERSION_TWEAK);
    EXPECT_EQ(GetProductVersionText(), product);
    EXPECT_EQ(GetVersionLine(), QStringLiteral("Version 2.1 Build ") + product);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$")).match(product).hasMatch());
}

}  // namespace
