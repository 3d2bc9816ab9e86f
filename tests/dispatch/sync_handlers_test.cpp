// The synchronisation bracket, the running-program check, Safari's bookmarks path and the
// category names of the contacts source.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "dispatch/request_codes.h"
#include "platform/path_map.h"
#include "platform/registry.h"
#include "stores/catalog/store_set.h"
#include "support/dispatch_harness.h"
#include "support/fake_store_family.h"
#include "wire/message_header.h"

namespace {

// A browser's bookmark store that only records its session.
class SessionBookmarks : public BookmarkStore {
public:
    SessionBookmarks(QStringList& events, QString name) : events_(events), name_(std::move(name)) {}
    bool AtSyncStart() override
    {
        events_ << name_ + " open";
        return true;
    }
    void AtSyncEnd() override { events_ << name_ + " close"; }
    std::vector<UrlFileEntry> GetIDs() override { return {}; }
    std::uint32_t IDtoCRC32(const QString&) override { return 0; }
    void Get(const QString&, BookmarkRecord&) override {}
    QString Add(const BookmarkRecord&) override { return {}; }
    QString Edit(const QString& key, const BookmarkRecord&) override { return key; }
    void Delete(const QString&) override {}
    void DeleteAll() override {}

private:
    QStringList& events_;
    QString name_;
};

class SyncBracket : public ::testing::Test {
protected:
    void SetUp() override
    {
        StoreSet& s = *h.agent.stores;
        s.SetSessionFactory(ItemKind::Notes, 0x10000, [this] {
            std::unique_ptr<FakeItemStore> store = MakeFakeStoreFor(ItemKind::Notes, 0x10000);
            sticky = store.get();
            return store;
        });
        s.Replace(BrowserKind::Firefox, std::make_unique<SessionBookmarks>(events, "firefox"));
        s.Replace(BrowserKind::Opera, std::make_unique<SessionBookmarks>(events, "opera bookmarks"));
        InstallFakeFamily(s, ItemKind::Contacts, 14).release = [this] { events << "release outlook"; };
        h.agent.agentId = 2;
        h.agent.notesAgentId = 0;
        h.agent.browserId = 0;
        h.TakeLogLines();
    }
    DispatchHarness h;
    FakeItemStore* sticky = nullptr;
    QStringList events;
};

TEST_F(SyncBracket, StartOpensTheLoadedCopiesAndEndWritesThemBack)
{
    h.agent.notesAgentId = 0x10000;
    h.agent.browserId = 1;
    SentMessage reply = h.Send(AS_START_SYNC);
    EXPECT_EQ(reply.code, 229);
    EXPECT_EQ(h.TakeLogLines(),
              (QStringList{"AS_START_SYNC...", "Firefox database is open", "AS_START_SYNC...ok"}));
    EXPECT_EQ(h.host.events, (QStringList{"accept off", "announce stop", "busy icon"}));
    ASSERT_NE(sticky, nullptr);
    EXPECT_EQ(sticky->calls, QStringList{"Open"});
    EXPECT_EQ(events, QStringList{"firefox open"});
    // The Sticky Notes store serves notes while it exists.
    const QString note = sticky->Put(TextRecord({{"Body", "hi"}}));
    EXPECT_EQ(h.Send(AS_GET_NOTE, Utf16z(note)).code, 195);

    h.host.events.clear();
    reply = h.Send(AS_END_SYNC);
    EXPECT_EQ(reply.code, 231);
    EXPECT_EQ(h.TakeLogLines(), (QStringList{"AS_GET_NOTE - " + note, "AS_GET_NOTE - ok", "AS_END_SYNC...",
                                             "Firefox database is close", "AS_END_SYNC...ok"}));
    EXPECT_EQ(h.host.events, (QStringList{"announce start", "idle icon", "accept on"}));
    EXPECT_EQ(events, (QStringList{"firefox open", "release outlook", "firefox close"}));
    EXPECT_EQ(h.agent.stores->Select(ItemKind::Notes, 0x10000), nullptr);
    EXPECT_EQ(h.Send(AS_GET_NOTE, Utf16z(note)).payload, QByteArray())
        << "no store once the notes are closed";
}

TEST_F(SyncBracket, OperaSourcesAreOpenedAndClosedByEveryCodeThatNamesThem)
{
    h.agent.agentId = 7;
    h.agent.notesAgentId = 0x4000;
    h.agent.browserId = 2;
    FakeItemStore& notes = h.Install(ItemKind::Notes, 0x4000);
    FakeItemStore& contacts = h.Install(ItemKind::Contacts, 7);
    EXPECT_EQ(h.Send(AS_START_SYNC).code, 229);
    EXPECT_EQ(notes.calls, (QStringList{"Open", "Open"}));
    EXPECT_EQ(contacts.calls, QStringList{"Open"});
    EXPECT_EQ(h.Send(AS_END_SYNC).code, 231);
    EXPECT_EQ(notes.calls, (QStringList{"Open", "Open", "Close", "Close"}));
    EXPECT_EQ(contacts.calls, (QStringList{"Open", "Close"}));
    EXPECT_EQ(events, (QStringList{"opera bookmarks open", "release outlook", "opera bookmarks close"}));
    const QStringList lines = h.TakeLogLines();
    EXPECT_TRUE(lines.contains("Opera database is open"));
    EXPECT_TRUE(lines.contains("Opera database is save"));
}

TEST_F(SyncBracket, AFailedStartLeavesTheAgentReachableAndAnnounced)
{
    h.agent.notesAgentId = 0x4000;
    h.agent.browserId = 1;
    FakeItemStore& notes = h.Install(ItemKind::Notes, 0x4000);
    notes.FailOn("Open");
    EXPECT_EQ(h.Send(AS_START_SYNC).code, AS_ERROR);
    EXPECT_EQ(h.TakeLogLines(),
              (QStringList{"AS_START_SYNC...", "AS_START_SYNC...error", "\treason: Open failed",
                           "Can not open Opera or Firefox Database"}));
    EXPECT_EQ(h.host.events, (QStringList{"accept off", "announce stop", "busy icon", "accept on",
                                          "idle icon", "announce start"}));
    EXPECT_TRUE(events.isEmpty()) << "the steps after the failing one do not run";
}

TEST_F(SyncBracket, EndAttemptsEveryWriteBackThenAnswersError)
{
    h.agent.agentId = 7;
    h.agent.notesAgentId = 0x10000;
    h.agent.browserId = 2;
    FakeItemStore& notes = h.Install(ItemKind::Notes, 0x4000);
    FakeItemStore& contacts = h.Install(ItemKind::Contacts, 7);
    ASSERT_EQ(h.Send(AS_START_SYNC).code, 229);
    ASSERT_NE(sticky, nullptr);
    sticky->FailOn("Close");
    notes.FailOn("Close");
    h.host.events.clear();
    h.TakeLogLines();

    EXPECT_EQ(h.Send(AS_END_SYNC).code, AS_ERROR);
    EXPECT_EQ(contacts.calls.last(), "Close") << "a failed close does not keep the next one from running";
    EXPECT_TRUE(events.contains("opera bookmarks close"));
    EXPECT_EQ(h.agent.stores->Select(ItemKind::Notes, 0x10000), nullptr);
    EXPECT_EQ(h.host.events, (QStringList{"announce start", "idle icon", "accept on"}));
    EXPECT_EQ(h.TakeLogLines(),
              (QStringList{"AS_END_SYNC...", "Opera database is save",
                           "At the end of the synchronisation: Close failed",
                           "At the end of the synchronisation: Close failed", "AS_END_SYNC...error",
                           "Can not close Opera or Firefox Database"}));
}

// A second start writes back what the unfinished synchronisation left open; a write-back that
// fails does not stop the new synchronisation, but its edits are lost and the log says so.
TEST_F(SyncBracket, AStartAfterAnUnfinishedOneLogsTheWriteBackThatFailed)
{
    h.agent.notesAgentId = 0x10000;
    ASSERT_EQ(h.Send(AS_START_SYNC).code, 229);
    ASSERT_NE(sticky, nullptr);
    sticky->FailOn("Close");
    h.TakeLogLines();

    EXPECT_EQ(h.Send(AS_START_SYNC).code, 229);
    EXPECT_EQ(h.TakeLogLines(),
              (QStringList{"AS_START_SYNC...", "The notes source 0x10000 was not written back: Close failed",
                           "AS_START_SYNC...ok"}));
    ASSERT_NE(sticky, nullptr);
    EXPECT_EQ(sticky->calls, QStringList{"Open"}) << "a store made anew for the new synchronisation";
}

// A loaded copy that was never loaded must not be written back over the user's file.
TEST_F(SyncBracket, EndWithoutStartWritesNothingBack)
{
    h.agent.agentId = 7;
    h.agent.notesAgentId = 0x4000;
    h.agent.browserId = 2;
    FakeItemStore& notes = h.Install(ItemKind::Notes, 0x4000);
    FakeItemStore& contacts = h.Install(ItemKind::Contacts, 7);
    EXPECT_EQ(h.Send(AS_END_SYNC).code, 231);
    EXPECT_TRUE(notes.calls.isEmpty());
    EXPECT_TRUE(contacts.calls.isEmpty());
    EXPECT_EQ(events, QStringList{"release outlook"});
}

TEST_F(SyncBracket, EndClosesTheAddressBookOfSourceZero)
{
    h.agent.agentId = 0;
    FakeItemStore& book = h.Install(ItemKind::Contacts, 0);
    EXPECT_EQ(h.Send(AS_END_SYNC).code, 231);
    EXPECT_EQ(book.calls, QStringList{"Close"});
}

// A copy of a harmless program under another name, so that it shows in the process list.
class FakeProgram {
public:
    explicit FakeProgram(const QString& name)
    {
        const QString path = dir_.path() + QLatin1Char('/') + name;
        if (!QFile::copy(QStringLiteral("/bin/sleep"), path)) ADD_FAILURE() << "cannot copy /bin/sleep";
        process_.start(path, {QStringLiteral("60")});
        if (!process_.waitForStarted(10000)) ADD_FAILURE() << "cannot start " << name.toStdString();
    }
    ~FakeProgram()
    {
        process_.kill();
        process_.waitForFinished(10000);
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
};

std::uint32_t Answer(const SentMessage& reply)
{
    EXPECT_EQ(reply.code, 261);
    return reply.payload.size() == 4
               ? GetU32(reinterpret_cast<const std::uint8_t*>(reply.payload.constData()))
               : 99;
}

TEST(SyncPrepare, AnswersZeroWhileTheSourcesProgramRuns)
{
    DispatchHarness h;
    h.TakeLogLines();
    EXPECT_EQ(Answer(h.Send(AS_SYNCPREPARE, U32Bytes(0x10000))), 1u);
    {
        // The Windows name, in any case (as it runs under Wine).
        FakeProgram stickyNotes(QStringLiteral("StikyNot.EXE"));
        EXPECT_EQ(Answer(h.Send(AS_SYNCPREPARE, U32Bytes(0x10000))), 0u);
        // A value that names no program, and a short payload (zero-filled): nothing runs.
        EXPECT_EQ(Answer(h.Send(AS_SYNCPREPARE, U32Bytes(0x1))), 1u);
        EXPECT_EQ(Answer(h.Send(AS_SYNCPREPARE, QByteArray("\x00\x00\x01", 3))), 0u);
    }
    {
        // The name the program has on this system.
        FakeProgram firefox(QStringLiteral("firefox-esr"));
        EXPECT_EQ(Answer(h.Send(AS_SYNCPREPARE, U32Bytes(0x200))), 0u);
    }
    EXPECT_EQ(h.TakeLogLines(), QStringList(5, QStringLiteral("AS_SYNCPREPARE...ok")));
}

TEST(SafariPath, IsThePeerPathOfTheApplicationDataFolderWithSlashes)
{
    DispatchHarness h;
    ScopedDriveTableForTesting drives({{'C', QStringLiteral("/"), DriveType::Fixed}});
    const SentMessage reply = h.Send(AS_GET_SAFARI_PATH);
    EXPECT_EQ(reply.code, 269);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(reply.payload.constData()),
                                 reply.payload.size() / 2),
              "C:" + h.home.Root() + "/.local/share/Apple Computer/Safari/Bookmarks.plist");
    EXPECT_FALSE(h.home.Exists(".local/share/Apple Computer")) << "the file is named, not made";
}

struct CategoriesCase {
    const char* name;
    std::uint32_t agentId;
    std::function<void(DispatchHarness&)> plant;
    std::optional<QString> answer;  // nothing: AS_ERROR
};

class Categories : public ::testing::TestWithParam<CategoriesCase> {};

void PlantRegistryValue(const QString& version, const QString& name,
                        const std::function<void(RegistryKey&)>& write)
{
    auto key = RegistryKey::Open(RegistryRoot::CurrentUser,
                                 "Software\\Microsoft\\Office\\" + version + ".0\\Outlook\\Categories", true);
    ASSERT_TRUE(key.has_value());
    write(*key);
}

TEST_P(Categories, JoinTheSourcesNamesWithCommas)
{
    const CategoriesCase& c = GetParam();
    DispatchHarness h;
    h.agent.agentId = c.agentId;
    c.plant(h);
    h.TakeLogLines();
    const SentMessage reply = h.Send(AS_GET_CATEGORIES);
    if (!c.answer) {
        EXPECT_EQ(reply.code, AS_ERROR);
        EXPECT_EQ(h.TakeLogLines().first(), "AS_GET_CATEGORIES...error");
        return;
    }
    EXPECT_EQ(reply.code, 185);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(reply.payload.constData()),
                                 reply.payload.size() / 2),
              *c.answer);
    EXPECT_TRUE(h.TakeLogLines().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, Categories,
    ::testing::Values(
        CategoriesCase{
            "AddressBookGroups", 0,
            [](DispatchHarness& h) { h.Install(ItemKind::Contacts, 0).groupNames = "Family,Work,"; },
            "Family,Work"},
        CategoriesCase{"AddressBookWithoutGroups", 0,
                       [](DispatchHarness& h) { h.Install(ItemKind::Contacts, 0); }, ""},
        CategoriesCase{"WindowsContactsAndCalendars", 1,
                       [](DispatchHarness& h) {
                           h.Install(ItemKind::Contacts, 1).groupNames = "Club,";
                           h.Install(ItemKind::Appointments, 1).calendarNames = "Home,Work,";
                       },
                       "Club,Home,Work"},
        CategoriesCase{
            "SecondWindowsContacts", 2,
            [](DispatchHarness& h) { h.Install(ItemKind::Contacts, 2).groupNames = "B,"; }, "B"},
        CategoriesCase{
            "CalendarFolderMissing", 1,
            [](DispatchHarness& h) { h.Install(ItemKind::Appointments, 1).FailOn("GetCalendarNames"); },
            std::nullopt},
        CategoriesCase{"Outlook8DefaultValue", 8,
                       [](DispatchHarness&) {
                           PlantRegistryValue("8", "",
                                              [](RegistryKey& k) { k.WriteString({}, "Red;Blue;"); });
                       },
                       "Red,Blue"},
        CategoriesCase{"Outlook9MasterList", 9,
                       [](DispatchHarness&) {
                           PlantRegistryValue("9", "",
                                              [](RegistryKey& k) { k.WriteString("MasterList", "A;B"); });
                       },
                       "A,"},
        CategoriesCase{"Outlook11BinaryUpToItsTerminator", 11,
                       [](DispatchHarness&) {
                           PlantRegistryValue("11", "", [](RegistryKey& k) {
                               k.WriteBinary("MasterList",
                                             utf16::Bytes("Ünï;Two;") + QByteArray(2, '\0') + "junk");
                           });
                       },
                       "Ünï,Two"},
        CategoriesCase{"Outlook9WithoutKey", 9, [](DispatchHarness&) {}, ""},
        CategoriesCase{"Outlook14", 14,
                       [](DispatchHarness& h) {
                           h.Install(ItemKind::Contacts, 14).groupNames = "Red;Blue;";
                       },
                       "Red,Blue"},
        CategoriesCase{"Outlook12NotRunning", 12, [](DispatchHarness&) {}, std::nullopt},
        CategoriesCase{"OtherCode", 5, [](DispatchHarness&) {}, ""},
        // More than one message holds: sent whole, in pieces, as the long replies are.
        CategoriesCase{"LongerThanOneMessage", 14,
                       [](DispatchHarness& h) {
                           h.Install(ItemKind::Contacts, 14).groupNames = QStringList(1000, QString(9, 'c')).join(';') + ';';
                       },
                       QStringList(1000, QString(9, 'c')).join(u',')}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
