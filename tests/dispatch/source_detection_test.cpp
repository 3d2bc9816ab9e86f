// Which sources this machine offers, the start-up choice of the three source codes, and the
// three source requests, over a temporary home with planted browser profiles and settings.
#include "dispatch/source_detection.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <functional>

#include "core/settings.h"
#include "dispatch/request_codes.h"
#include "platform/browser_probe.h"
#include "stores/base/source_flags.h"
#include "stores/catalog/source_catalog.h"
#include "stores/catalog/store_set.h"
#include "stores/opera/opera_probes.h"
#include "support/dispatch_harness.h"
#include "support/fake_store_family.h"
#include "support/planted_sources.h"
#include "wire/message_header.h"

namespace {

using namespace SourceFlags;

struct BrowserCase {
    const char* name;
    std::function<void(const TempHome&)> plant;
    bool firefox, chrome, internetExplorer, opera, safari;
};

class BrowserDetection : public ::testing::TestWithParam<BrowserCase> {};

// What the browser's row in the catalogue answers, each family probing its own program.
bool RowFindsBrowser(BrowserKind browser)
{
    for (const SourceRow& row : SourceCatalog())
        if (row.kind == SourceKind::Bookmarks && row.code == static_cast<std::uint32_t>(browser))
            return row.available();
    ADD_FAILURE() << "no row for browser " << static_cast<int>(browser);
    return false;
}

TEST_P(BrowserDetection, FindsBrowsersWhereTheyKeepTheirProfiles)
{
    const BrowserCase& c = GetParam();
    TempHome home;
    c.plant(home);
    EXPECT_EQ(RowFindsBrowser(BrowserKind::Firefox), c.firefox);
    EXPECT_EQ(RowFindsBrowser(BrowserKind::Chrome), c.chrome);
    EXPECT_EQ(RowFindsBrowser(BrowserKind::InternetExplorer), c.internetExplorer);
    EXPECT_EQ(RowFindsBrowser(BrowserKind::Opera), c.opera);
    EXPECT_EQ(RowFindsBrowser(BrowserKind::Safari), c.safari);
    EXPECT_EQ(IsOperaInstalled(), c.opera);
}

INSTANTIATE_TEST_SUITE_P(
    Homes, BrowserDetection,
    ::testing::Values(
        BrowserCase{"Nothing", [](const TempHome&) {}, false, false, false, false, false},
        BrowserCase{"Firefox115", [](const TempHome& h) { PlantFirefox(h); }, true, false, false, false,
                    false},
        BrowserCase{"FirefoxBelow4", [](const TempHome& h) { PlantFirefox(h, "3.6.28"); }, false, false,
                    false, false, false},
        BrowserCase{"FirefoxProfileNeverRun",
                    [](const TempHome& h) {
                        PlantFirefox(h, "");
                        QDir(h.Path(".mozilla/firefox/ab612nev.default")).removeRecursively();
                    },
                    false, false, false, false, false},
        BrowserCase{"Chromium", [](const TempHome& h) { PlantChrome(h); }, false, true, false, false, false},
        BrowserCase{"GoogleChrome", [](const TempHome& h) { PlantChrome(h, false); }, false, true, false,
                    false, false},
        BrowserCase{"Opera12", [](const TempHome& h) { PlantOpera(h); }, false, false, false, true, false},
        BrowserCase{"OperaPrefsWithoutVersion", [](const TempHome& h) { PlantOpera(h, ""); }, false, false,
                    false, true, false},
        BrowserCase{"Opera9", [](const TempHome& h) { PlantOpera(h, "9"); }, false, false, false, false,
                    false},
        BrowserCase{"Favorites", [](const TempHome& h) { PlantFavorites(h); }, false, false, true, false,
                    false},
        BrowserCase{"Safari", [](const TempHome& h) { PlantSafari(h); }, false, false, false, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct MailCase {
    const char* name;
    const char* accounts;  // nothing: no file
    bool hasMail;
};

class OperaMail : public ::testing::TestWithParam<MailCase> {};

TEST_P(OperaMail, TheFirstDecisiveCountLineDecides)
{
    TempHome home;
    if (GetParam().accounts) home.WriteFile(".opera/mail/accounts.ini", GetParam().accounts);
    EXPECT_EQ(HasOperaMail(), GetParam().hasMail);
}

INSTANTIATE_TEST_SUITE_P(Files, OperaMail,
                         ::testing::Values(MailCase{"NoFile", nullptr, false},
                                           MailCase{"OneAccount", "[Accounts]\r\nCount=1\r\n", true},
                                           MailCase{"NoAccount", "[Accounts]\nCount=0\nCount=4\n", false},
                                           MailCase{"NegativeCountIsSkipped", "Count=-1\nCount=3\n", true},
                                           MailCase{"NotANumberReadsAsZero", "Count=x\nCount=3\n", false},
                                           MailCase{"KeyIsCaseSensitive", "count=3\n", false},
                                           MailCase{"NoCountLine", "[Accounts]\n", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OperaNotes, TheNotesFileMustExistAndOpenForWriting)
{
    TempHome home;
    EXPECT_FALSE(HasOperaNotes());
    EXPECT_FALSE(home.Exists(".opera/notes.adr")) << "checking creates nothing";
    PlantOpera(home, "12.16", std::nullopt, true);
    EXPECT_TRUE(HasOperaNotes());
}

// A FIFO opened for reading waits for a writer: the probes must answer without opening one.
TEST(OperaProbes, FifosInPlaceOfTheirFilesAreNotOpened)
{
    TempHome home;
    PlantOpera(home, "12.16", 1, true);
    for (const char* name : {".opera/operaprefs.ini", ".opera/mail/accounts.ini", ".opera/notes.adr"}) {
        const QByteArray path = QFile::encodeName(home.Path(QString::fromLatin1(name)));
        ASSERT_EQ(::unlink(path.constData()), 0) << name;
        ASSERT_EQ(::mkfifo(path.constData(), 0600), 0) << name;
    }
    const BrowserFootprint found = ProbeBrowsers();
    EXPECT_TRUE(found.operaProfile);
    EXPECT_EQ(found.operaVersion, 10u << 16) << "a preferences file that cannot be read names no version";
    EXPECT_FALSE(HasOperaMail());
    EXPECT_FALSE(HasOperaNotes());
}

struct BrowserIdCase {
    const char* name;
    std::function<void(const TempHome&)> plant;
    std::optional<std::uint32_t> stored;
    std::uint32_t expected;
};

class ReadBrowserIdTest : public ::testing::TestWithParam<BrowserIdCase> {};

TEST_P(ReadBrowserIdTest, StoredInstalledBrowserElseTheFirstInstalled)
{
    const BrowserIdCase& c = GetParam();
    TempHome home;
    c.plant(home);
    ASSERT_TRUE(CreateSettingsKey());
    if (c.stored) {
        ASSERT_TRUE(WriteBrowserId(*c.stored));
    }
    EXPECT_EQ(ReadBrowserId(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, ReadBrowserIdTest,
    ::testing::Values(BrowserIdCase{"StoredChromeInstalled",
                                    [](const TempHome& h) {
                                        PlantChrome(h);
                                        PlantFirefox(h);
                                    },
                                    3, 3},
                      BrowserIdCase{"StoredChromeMissingFallsToFirefox",
                                    [](const TempHome& h) { PlantFirefox(h); }, 3, 1},
                      BrowserIdCase{"StoredZeroGoesByTheOrder",
                                    [](const TempHome& h) {
                                        PlantFirefox(h);
                                        PlantFavorites(h);
                                    },
                                    0, 0},
                      BrowserIdCase{"InternetExplorerFirst",
                                    [](const TempHome& h) {
                                        PlantChrome(h);
                                        PlantFavorites(h);
                                    },
                                    std::nullopt, 0},
                      BrowserIdCase{"ChromeBeforeOpera",
                                    [](const TempHome& h) {
                                        PlantOpera(h);
                                        PlantChrome(h);
                                    },
                                    std::nullopt, 3},
                      BrowserIdCase{"OnlySafari", [](const TempHome& h) { PlantSafari(h); }, std::nullopt, 4},
                      BrowserIdCase{"NoneInstalledKeepsTheStoredValue", [](const TempHome&) {}, 7, 7},
                      BrowserIdCase{"NoneInstalledNoValue", [](const TempHome&) {}, std::nullopt, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadBrowserIdWithoutSettings, NeverAnswersAnErrorCode)
{
    TempHome home;
    // A folder where the settings file belongs: the settings key cannot be opened.
    ASSERT_TRUE(QDir().mkpath(home.Path(".config/TwinLark/registry/HKEY_CURRENT_USER.reg")));
    ASSERT_FALSE(CreateSettingsKey());
    EXPECT_EQ(ReadBrowserId(), 0u);
    PlantFirefox(home);
    EXPECT_EQ(ReadBrowserId(), 1u);
}

struct AgentCase {
    const char* name;
    int major, minor;
    QStringList outlook;
    bool operaWithMailAndNotes;
    std::optional<std::uint32_t> storedAgent, storedNotes;
    std::uint32_t agent, notes;
    std::uint32_t storedAgentAfter, storedNotesAfter;
};

class StartUpDetection : public ::testing::TestWithParam<AgentCase> {};

TEST_P(StartUpDetection, ChoosesAndStoresTheSources)
{
    const AgentCase& c = GetParam();
    TempHome home;
    ScopedWindowsVersion windows(c.major, c.minor);
    ScopedOutlookServers servers(c.outlook);
    if (c.operaWithMailAndNotes) PlantOpera(home, "10.63", 1, true);
    ASSERT_TRUE(CreateSettingsKey());
    if (c.storedAgent) WriteAgentValue("AgentID", *c.storedAgent);
    if (c.storedNotes) WriteAgentValue("notesAgentID", *c.storedNotes);

    EXPECT_EQ(DetectAgent(0), c.agent);
    EXPECT_EQ(DetectNotesAgent(0), c.notes);
    EXPECT_EQ(ReadSettingsDword("AgentID", 99), c.storedAgentAfter);
    EXPECT_EQ(ReadSettingsDword("notesAgentID", 99), c.storedNotesAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, StartUpDetection,
    ::testing::Values(AgentCase{"Windows7Plain", 6, 1, {}, false, {}, {}, 2, 0x10000, 2, 0x10000},
                      AgentCase{"XpPlain", 5, 1, {}, false, {}, {}, 0, 0, 0, 0},
                      AgentCase{"Vista", 6, 0, {}, false, {}, {}, 1, 0, 1, 0},
                      AgentCase{"Windows7Outlook12And14", 6, 1, {"12", "14"}, false, {}, {}, 14, 64, 14, 64},
                      AgentCase{"StoredWindowsChoiceSurvives", 6, 1, {"14"}, false, 2, 4, 2, 64, 2, 4},
                      AgentCase{"StoredOutlookIsDetectedAnew", 6, 1, {"12"}, false, 14, {}, 12, 32, 12, 32},
                      AgentCase{"OperaWithMailAndNotes", 6, 1, {}, true, {}, {}, 7, 0x4000, 7, 0x4000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartUpDetection, DetectDataSourcesLogsTheOfficeVersion)
{
    DispatchHarness h;
    ScopedOutlookServers servers({"11"});
    PlantChrome(h.home);
    h.TakeLogLines();
    DetectDataSources(h.agent);
    EXPECT_EQ(h.agent.agentId, 11u);
    EXPECT_EQ(h.agent.notesAgentId, 16u);
    EXPECT_EQ(h.agent.browserId, 3u);
    EXPECT_EQ(h.TakeLogLines(), QStringList{"office version 11"});
}

std::uint32_t FlagsOf(const SentMessage& reply)
{
    EXPECT_EQ(reply.payload.size(), 4);
    return reply.payload.size() == 4
               ? GetU32(reinterpret_cast<const std::uint8_t*>(reply.payload.constData()))
               : 0;
}

TEST(SourceRequests, AvailableSourcesFollowTheMachine)
{
    {
        DispatchHarness h;
        ScopedOutlookServers servers({"12", "14"});
        PlantFirefox(h.home);
        const SentMessage reply = h.Send(AS_GET_AVAILABLE_SOURCES);
        EXPECT_EQ(reply.code, 219);
        EXPECT_EQ(FlagsOf(reply),
                  kOutlook12 | kOutlook14 | kOutlookNotes | kWindows7Contacts | kStickyNotes | kFirefox);
        EXPECT_TRUE(h.TakeLogLines().isEmpty());
    }
    {
        DispatchHarness h;
        ScopedWindowsVersion xp(5, 1);
        PlantFavorites(h.home);
        PlantOpera(h.home, "11.64", 2, true);
        InstallFakeFamily(*h.agent.stores, ItemKind::Contacts, 14).status = kExchange;
        EXPECT_EQ(FlagsOf(h.Send(AS_GET_AVAILABLE_SOURCES)), kWindowsXpAddressBook | kInternetExplorer |
                                                                 kOpera | kOperaContacts | kOperaNotes |
                                                                 kExchange);
    }
    {
        // Windows 7 Home Basic, or a product type that cannot be asked: no Sticky Notes.
        DispatchHarness h;
        ScopedWindowsVersion homeBasic(6, 1, 2);
        EXPECT_EQ(FlagsOf(h.Send(AS_GET_AVAILABLE_SOURCES)), kWindows7Contacts);
        SetReportedWindowsVersion({6, 1, std::nullopt});
        EXPECT_EQ(FlagsOf(h.Send(AS_GET_AVAILABLE_SOURCES)), kWindows7Contacts);
    }
}

struct SetCase {
    const char* name;
    QByteArray payload;
    std::uint32_t agent, notes, browser;
};

class SetSources : public ::testing::TestWithParam<SetCase> {};

TEST_P(SetSources, LaterBitsOverrideEarlierOnesAndEveryChoiceIsStored)
{
    const SetCase& c = GetParam();
    DispatchHarness h;
    ScopedOutlookServers servers({"12", "14"});
    h.agent.agentId = 5;
    h.agent.notesAgentId = 0;
    h.agent.browserId = 1;
    EXPECT_EQ(h.Send(AS_SET_SOURCES, c.payload).code, 221);
    EXPECT_EQ(h.agent.agentId, c.agent);
    EXPECT_EQ(h.agent.notesAgentId, c.notes);
    EXPECT_EQ(h.agent.browserId, c.browser);
    EXPECT_EQ(ReadSettingsDword("browserID", 99), c.browser);
    if (c.agent != 5) {
        EXPECT_EQ(ReadSettingsDword("AgentID", 99), c.agent);
    }
    if (c.notes != 0) {
        EXPECT_EQ(ReadSettingsDword("notesAgentID", 99), c.notes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Words, SetSources,
    ::testing::Values(
        SetCase{"AddressBookOutlook14AndOutlookNotes",
                U32Bytes(kWindowsXpAddressBook | kOutlook14 | kOutlookNotes), 14, 64, 1},
        SetCase{"InternetExplorerThenOpera", U32Bytes(0x180), 5, 0, 2},
        SetCase{"StickyNotesThenOperaNotes", U32Bytes(kStickyNotes | kOperaNotes), 5, 0x4000, 1},
        SetCase{"Windows7ContactsThenOpera", U32Bytes(kWindows7Contacts | kOperaContacts), 7, 0, 1},
        SetCase{"ExchangeAndMediaPlayerChangeNothing", U32Bytes(kExchange | kWindowsMediaPlayer), 5, 0, 1},
        SetCase{"OnlyTheFirstFourBytesCount", U32Bytes(kChrome) + U32Bytes(kSafari), 5, 0, 3},
        SetCase{"ShortPayloadIsZeroFilled", QByteArray("\x02", 1), 1, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceRequests, OutlookNotesWithoutOutlookKeepTheNotesCode)
{
    DispatchHarness h;
    h.agent.notesAgentId = 0x4000;
    EXPECT_EQ(h.Send(AS_SET_SOURCES, U32Bytes(kOutlookNotes)).code, 221);
    EXPECT_EQ(h.agent.notesAgentId, 0x4000u);
    EXPECT_EQ(ReadSettingsDword("notesAgentID", 99), 0x4000u);
}

struct CurrentCase {
    const char* name;
    std::uint32_t agent, notes;
    bool exchange;
    std::function<void(const TempHome&)> plant;
    std::uint32_t expected;
};

class GetSources : public ::testing::TestWithParam<CurrentCase> {};

TEST_P(GetSources, ReportTheChoiceAndTheBrowserReadBrowserIdGives)
{
    const CurrentCase& c = GetParam();
    DispatchHarness h;
    h.agent.agentId = c.agent;
    h.agent.notesAgentId = c.notes;
    h.agent.browserId = 2;  // not consulted: the browser bit comes from ReadBrowserId
    InstallFakeFamily(*h.agent.stores, ItemKind::Contacts, 14).status = c.exchange ? kExchange : 0;
    ASSERT_TRUE(CreateSettingsKey());
    c.plant(h.home);
    const SentMessage reply = h.Send(AS_GET_SOURCES);
    EXPECT_EQ(reply.code, 233);
    EXPECT_EQ(FlagsOf(reply), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, GetSources,
    ::testing::Values(CurrentCase{"Windows7", 2, 0x10000, false,
                                  [](const TempHome& h) {
                                      PlantChrome(h);
                                      WriteBrowserId(3);
                                  },
                                  kWindows7Contacts | kStickyNotes | kChrome},
                      CurrentCase{"OutlookOnExchange", 14, 64, true, [](const TempHome&) {},
                                  kOutlook14 | kOutlookNotes | kExchange | kInternetExplorer},
                      CurrentCase{"ExchangeCountsOnlyForOutlook12And14", 11, 16, true, [](const TempHome&) {},
                                  kOutlook11 | kOutlookNotes | kInternetExplorer},
                      CurrentCase{"Opera", 7, 0x4000, false,
                                  [](const TempHome& h) {
                                      PlantOpera(h);
                                      WriteBrowserId(2);
                                  },
                                  kOperaContacts | kOperaNotes | kOpera},
                      CurrentCase{"CodesWithoutBits", 5, 0, false,
                                  [](const TempHome& h) {
                                      PlantFirefox(h);
                                      WriteBrowserId(3);
                                  },
                                  kFirefox}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
