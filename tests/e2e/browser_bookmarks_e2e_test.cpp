// The built agent over loopback serving Chrome's bookmarks file and Firefox's places database,
// each as a real browser left them: a whole synchronisation (sources, start, check, add, get,
// set, delete, save, check again, end), then the changes looked for in the browser's own file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <tuple>

#include "agent_process.h"
#include "common/byte_io.h"
#include "dispatch/bookmark_id.h"
#include "dispatch/bookmark_record_codec.h"
#include "dispatch/request_codes.h"
#include "stores/base/source_flags.h"
#include "wire/message_header.h"
#include "stores/chrome/chrome_bookmark_tree.h"
#include "stores/chrome/chrome_bookmarks_json.h"
#include "test_peer.h"

namespace {

QByteArray TestData(const char* relative)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/") + QLatin1String(relative));
    if (!f.open(QIODevice::ReadOnly)) ADD_FAILURE() << "missing fixture " << relative;
    return f.readAll();
}

struct Sections {
    std::vector<BookmarkId> added, edited, deleted;
};

Sections ParseSections(const QByteArray& payload)
{
    Sections s;
    ByteReader r(payload);
    for (std::vector<BookmarkId>* section : {&s.added, &s.edited, &s.deleted}) {
        const std::uint16_t n = r.U16();
        for (int i = 0; i < n; ++i) section->push_back(BookmarkId::Read(r));
    }
    EXPECT_TRUE(r.AtEnd());
    return s;
}

QByteArray IdBytes(BookmarkId id)
{
    QByteArray out;
    ByteWriter w(out);
    id.Write(w);
    return out;
}

BookmarkId ReadId(const QByteArray& payload)
{
    ByteReader r(payload);
    return BookmarkId::Read(r);
}

// The synchronisation every browser goes through; `edit` and `remove` name two of the
// browser's own bookmarks. Returns the identifier of the bookmark added.
BookmarkId Synchronise(TestPeer& peer, std::uint32_t sourceFlag, const std::vector<BookmarkId>& expectedAtStart,
                       BookmarkId edit, BookmarkId remove, const QString& addedPath)
{
    std::uint16_t tag = 1;
    EXPECT_EQ(peer.Request(AS_MACHINE_ID, tag++, utf16::Bytes(QStringLiteral("MAC-B")))->code, AS_MACHINE_ID + 1);
    QByteArray flags;
    ByteWriter(flags).U32(sourceFlag);
    EXPECT_EQ(peer.Request(AS_SET_SOURCES, tag++, flags)->code, AS_SET_SOURCES + 1);
    EXPECT_EQ(peer.Request(AS_START_SYNC, tag++)->code, AS_START_SYNC + 1);

    auto reply = peer.Request(AS_CHECK_BOOKMARKS, tag++, QByteArray(2, '\0'));
    EXPECT_EQ(reply->code, AS_CHECK_BOOKMARKS + 1);
    EXPECT_EQ(ParseSections(reply->payload).added, expectedAtStart);

    QByteArray add;
    ByteWriter a(add);
    EncodeBookmarkFields({QStringLiteral("Work/Docs"), QString::fromUtf8("Manuel d'utilisation «ü»"),
                          QStringLiteral("http://docs.example.org/")},
                         a);
    reply = peer.Request(AS_ADD_BOOKMARK, tag++, add);
    EXPECT_EQ(reply->code, AS_ADD_BOOKMARK + 1);
    const BookmarkId added = ReadId(reply->payload);

    reply = peer.Request(AS_GET_BOOKMARK, tag++, IdBytes(added));
    EXPECT_EQ(reply->code, AS_GET_BOOKMARK + 1);
    ByteReader record(reply->payload);
    record.Skip(8);
    EXPECT_EQ(DecodeBookmarkFields(record),
              (BookmarkRecord{addedPath, QString::fromUtf8("Manuel d'utilisation «ü»"), "http://docs.example.org/"}));

    QByteArray set = IdBytes(edit);
    ByteWriter s(set);
    EncodeBookmarkFields({QString(), QStringLiteral("Renamed"), QStringLiteral("http://renamed.example.org/")}, s);
    reply = peer.Request(AS_SET_BOOKMARK, tag++, set);
    EXPECT_EQ(reply->code, AS_SET_BOOKMARK + 1);
    EXPECT_EQ(ReadId(reply->payload), edit);

    EXPECT_EQ(peer.Request(AS_DEL_BOOKMARK, tag++, IdBytes(remove))->code, AS_DEL_BOOKMARK + 1);
    EXPECT_EQ(peer.Request(AS_SAVE_BOOKMARKS_STATE, tag++)->code, AS_SAVE_BOOKMARKS_STATE + 1);
    reply = peer.Request(AS_CHECK_BOOKMARKS, tag++, QByteArray(2, '\0'));
    EXPECT_EQ(reply->code, AS_CHECK_BOOKMARKS + 1);
    EXPECT_EQ(reply->payload, QByteArray(6, '\0'));  // everything it changed, it kept in step
    EXPECT_EQ(peer.Request(AS_END_SYNC, tag++)->code, AS_END_SYNC + 1);
    peer.Send(AS_QUIT, tag++);
    return added;
}

BookmarkId ChromeId(std::uint64_t date)
{
    return BookmarkId::FromValue(date);
}

TEST(BrowserBookmarksE2e, ChromeSynchronisesItsBookmarksFile)
{
    AgentProcess agent;
    const QString file = QStringLiteral(".config/google-chrome/Default/Bookmarks");
    agent.WriteFile(file, TestData("chrome-bookmarks/chrome2014-linux-escaped.Bookmarks"));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));

    const BookmarkId added = Synchronise(
        peer, SourceFlags::kChrome,
        {ChromeId(13025340697362058), ChromeId(13025341091385738), ChromeId(13029213800972077),
         ChromeId(13031113405448172), ChromeId(13031659578284521)},
        ChromeId(13025341091385738), ChromeId(13029213800972077), QStringLiteral("Work/Docs"));
    EXPECT_EQ(agent.WaitForExit(), 0);

    const ChromeJson doc = ParseChromeBookmarks(agent.ReadFile(file));
    EXPECT_EQ(doc.at("checksum").get<std::string>(), ChromeBookmarksChecksum(doc));
    const ChromeJson& other = doc["roots"]["other"]["children"];
    // Five, one deleted, the new folder, the edited one moved last.
    ASSERT_EQ(other.size(), 5u);
    EXPECT_EQ(other[3]["name"], "Work");
    const ChromeJson& manual = other[3]["children"][0]["children"][0];
    EXPECT_EQ(manual["date_added"], std::to_string(added.Value()));
    EXPECT_EQ(manual["name"], "Manuel d'utilisation \xC2\xAB\xC3\xBC\xC2\xBB");
    EXPECT_EQ(other[4].dump(),
              R"({"date_added":"13025341091385738","name":"Renamed","type":"url","url":"http://renamed.example.org/"})");
    EXPECT_EQ(doc.dump().find("13029213800972077"), std::string::npos);
    EXPECT_TRUE(agent.Log().contains(QStringLiteral("AS_DEL_BOOKMARK...ok\n")));
}

TEST(BrowserBookmarksE2e, FirefoxSynchronisesThePlacesDatabaseOfItsProfile)
{
    AgentProcess agent;
    agent.WriteFile(".mozilla/firefox/profiles.ini", TestData("firefox/profiles-modern-install-section.ini"));
    const QString profile = QStringLiteral(".mozilla/firefox/Profiles/mauville.default/");
    agent.WriteFile(profile + "places.sqlite", TestData("firefox/places-esr153.sqlite"));
    agent.WriteFile(profile + "compatibility.ini", TestData("firefox/compatibility-esr153.ini"));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));

    const BookmarkId added = Synchronise(peer, SourceFlags::kFirefox, {{8, 0}, {9, 0}, {10, 0}, {11, 0}}, {9, 0},
                                         {10, 0}, QStringLiteral("Work/Docs/"));
    EXPECT_EQ(agent.WaitForExit(), 0);
    const QString log = agent.Log();
    EXPECT_TRUE(log.contains(QStringLiteral("Firefox database is open\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("Firefox database is close\n")));
    EXPECT_TRUE(log.contains(agent.Path(profile + "places.sqlite")));

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(agent.Path(profile + "places.sqlite")).constData(), &db,
                              SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    auto query = [&](const char* sql) {
        sqlite3_stmt* s = nullptr;
        QStringList rows;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &s, nullptr), SQLITE_OK) << sql;
        while (sqlite3_step(s) == SQLITE_ROW)
            rows << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
        return rows.join('\n');
    };
    EXPECT_EQ(query("SELECT b.title || ' ' || p.url FROM moz_bookmarks b JOIN moz_places p ON p.id = b.fk "
                    "WHERE b.parent = 2 ORDER BY b.position"),
              "Renamed http://renamed.example.org/");
    EXPECT_EQ(query(("SELECT f.title || '/' || b.title FROM moz_bookmarks b JOIN moz_bookmarks f ON f.id = b.parent "
                     "WHERE b.id = " +
                     std::to_string(added.low))
                        .c_str()),
              QString::fromUtf8("Docs/Manuel d'utilisation «ü»"));
    EXPECT_EQ(query("SELECT COUNT(*) FROM moz_bookmarks WHERE id = 10"), "0");
    EXPECT_EQ(query("PRAGMA integrity_check"), "ok");
    sqlite3_close(db);
}

}  // namespace

namespace {

TEST(BrowserBookmarksE2e, FirefoxWithoutItsDatabaseRefusesToStartAndCreatesNone)
{
    AgentProcess agent;
    agent.WriteFile(".mozilla/firefox/profiles.ini", TestData("firefox/profiles-modern-install-section.ini"));
    const QString profile = QStringLiteral(".mozilla/firefox/Profiles/mauville.default/");
    agent.WriteFile(profile + "compatibility.ini", TestData("firefox/compatibility-esr153.ini"));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-F")))->code, AS_MACHINE_ID + 1);
    QByteArray flags;
    ByteWriter(flags).U32(SourceFlags::kFirefox);
    ASSERT_EQ(peer.Request(AS_SET_SOURCES, 2, flags)->code, AS_SET_SOURCES + 1);
    EXPECT_EQ(peer.Request(AS_START_SYNC, 3)->code, AS_ERROR);
    // The agent goes on serving; bookmark requests without an open database are refused.
    EXPECT_EQ(peer.Request(AS_CHECK_BOOKMARKS, 4, QByteArray(2, '\0'))->code, AS_ERROR);
    peer.Send(AS_QUIT, 5);
    EXPECT_EQ(agent.WaitForExit(), 0);
    EXPECT_FALSE(QFile::exists(agent.Path(profile + "places.sqlite")));
    const QString log = agent.Log();
    EXPECT_TRUE(log.contains(QStringLiteral("AS_START_SYNC...error\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("does not exist")));
    EXPECT_TRUE(log.contains(QStringLiteral("Can not open Opera or Firefox Database\n")));
}

}  // namespace

namespace {

const QString kChromeFile = QStringLiteral(".config/google-chrome/Default/Bookmarks");

// One peer's turn on a connection of its own, framed by a synchronisation as a peer frames it.
class PeerTurn {
public:
    PeerTurn(AgentProcess& agent, const char* machine, std::uint32_t sources)
    {
        EXPECT_TRUE(peer_.Connect(agent.Port()));
        Expect(AS_MACHINE_ID, utf16::Bytes(QString::fromLatin1(machine)));
        QByteArray flags;
        ByteWriter(flags).U32(sources);
        Expect(AS_SET_SOURCES, flags);
        Expect(AS_START_SYNC);
    }
    ~PeerTurn()
    {
        Expect(AS_END_SYNC);
        peer_.Close();
    }
    WireMessage Ask(std::uint16_t code, const QByteArray& payload = {})
    {
        const std::optional<WireMessage> reply = peer_.LongRequest(code, tag_++, payload);
        EXPECT_TRUE(reply) << "request " << code;
        return reply.value_or(WireMessage{});
    }
    QByteArray Expect(std::uint16_t code, const QByteArray& payload = {})
    {
        const WireMessage reply = Ask(code, payload);
        EXPECT_EQ(reply.code, code + 1) << "request " << code;
        return reply.payload;
    }
    Sections Check() { return ParseSections(Expect(AS_CHECK_BOOKMARKS, QByteArray(2, '\0'))); }
    BookmarkId Add(const BookmarkRecord& record)
    {
        QByteArray payload;
        ByteWriter w(payload);
        EncodeBookmarkFields(record, w);
        return ReadId(Expect(AS_ADD_BOOKMARK, payload));
    }
    BookmarkRecord Get(BookmarkId id)
    {
        const QByteArray reply = Expect(AS_GET_BOOKMARK, IdBytes(id));
        ByteReader r(reply);
        r.Skip(8);
        return DecodeBookmarkFields(r);
    }

private:
    TestPeer peer_;
    std::uint16_t tag_ = 1;
};

// A Bookmarks file as Chrome writes it, with these bookmarks in "Other bookmarks": each a date,
// Chrome's node id and a name.
QByteArray ChromeFileOf(const std::vector<std::tuple<const char*, int, const char*>>& bookmarks)
{
    ChromeJson other = {{"children", ChromeJson::array()},
                        {"date_added", "13200000000000000"},
                        {"id", "2"},
                        {"name", "Other bookmarks"},
                        {"type", "folder"}};
    for (const auto& [date, id, name] : bookmarks) {
        ChromeJson b = ChromeJson::object();
        if (*date) b["date_added"] = date;
        b["id"] = std::to_string(id);
        b["name"] = name;
        b["type"] = "url";
        b["url"] = std::string("http://") + name + ".example.org/";
        other["children"].push_back(b);
    }
    ChromeJson doc = {
        {"checksum", ""},
        {"roots",
         {{"bookmark_bar", {{"children", ChromeJson::array()}, {"date_added", "13200000000000000"}, {"id", "1"},
                            {"name", "Bookmarks bar"}, {"type", "folder"}}},
          {"other", other},
          {"synced", {{"children", ChromeJson::array()}, {"date_added", "13200000000000000"}, {"id", "3"},
                      {"name", "Mobile bookmarks"}, {"type", "folder"}}}}},
        {"version", 1}};
    UpdateChromeBookmarksChecksum(doc);
    return QByteArray::fromStdString(doc.dump(3));
}

TEST(BrowserBookmarksE2e, ChromeServesFilesWhoseMembersStandInAnyOrder)
{
    AgentProcess agent;
    agent.WriteFile(kChromeFile, TestData("chrome-bookmarks/chrome2012-sorted-members.Bookmarks"));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    {
        PeerTurn peer(agent, "MAC-B", SourceFlags::kChrome);
        EXPECT_EQ(peer.Check().added, (std::vector<BookmarkId>{ChromeId(12988000000000000), ChromeId(12990013111000000),
                                                                ChromeId(12990013222000000)}));
        EXPECT_EQ(peer.Get(ChromeId(12990013222000000)),
                  (BookmarkRecord{"Work", "Tickets", "http://tickets.example.net/"}));
        agent.WriteFile(kChromeFile, TestData("chrome-bookmarks/brave-roots-first.Bookmarks"));
        EXPECT_EQ(peer.Check().added,
                  (std::vector<BookmarkId>{ChromeId(13290000300000000), ChromeId(13290000400000000)}));
        EXPECT_EQ(peer.Get(ChromeId(13290000300000000)),
                  (BookmarkRecord{"Recipes", "Soup", "https://soup.example.org/"}));
    }
    EXPECT_EQ(agent.ReadFile(kChromeFile), TestData("chrome-bookmarks/brave-roots-first.Bookmarks"));
}

TEST(BrowserBookmarksE2e, ChromeTwinsKeepTheirIdentifiersWhenChromeWritesTheOldDatesBack)
{
    constexpr std::uint64_t kShared = 13300000000000000;
    AgentProcess agent;
    agent.WriteFile(kChromeFile, ChromeFileOf({{"13300000000000000", 5, "a"},
                                               {"13300000000000000", 6, "b"},
                                               {"13300000000000000", 7, "c"}}));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    {
        PeerTurn peer(agent, "MAC-B", SourceFlags::kChrome);
        EXPECT_EQ(peer.Check().added,
                  (std::vector<BookmarkId>{ChromeId(kShared - 5), ChromeId(kShared - 6), ChromeId(kShared)}));
        peer.Expect(AS_SAVE_BOOKMARKS_STATE);
    }
    // Written after the reply, with one log line.
    EXPECT_EQ(ParseChromeBookmarks(agent.ReadFile(kChromeFile))["roots"]["other"]["children"][1]["date_added"],
              std::to_string(kShared - 6));
    EXPECT_EQ(agent.Log().count(QStringLiteral("2 bookmarks that shared a date or had none were given their own")), 1);

    // The user deleted "b" in a running Chrome, which then saved the dates it had read.
    agent.WriteFile(kChromeFile, ChromeFileOf({{"13300000000000000", 5, "a"}, {"13300000000000000", 7, "c"}}));
    {
        PeerTurn peer(agent, "MAC-B", SourceFlags::kChrome);
        const Sections changes = peer.Check();
        EXPECT_TRUE(changes.added.empty());
        EXPECT_TRUE(changes.edited.empty());
        EXPECT_EQ(changes.deleted, (std::vector<BookmarkId>{ChromeId(kShared - 6)}));
        EXPECT_EQ(peer.Get(ChromeId(kShared - 5)).name, QStringLiteral("a"));
    }
}

TEST(BrowserBookmarksE2e, ChromeServesAFileWithTheLargestDateBesideTwoWithout)
{
    constexpr std::uint64_t kLargest = 9223372036854775807;
    AgentProcess agent;
    agent.WriteFile(kChromeFile, ChromeFileOf({{"", 5, "a"}, {"9223372036854775807", 6, "b"}, {"", 7, "c"}}));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    PeerTurn peer(agent, "MAC-B", SourceFlags::kChrome);
    const std::vector<BookmarkId> expected = {ChromeId(kLargest - 1), ChromeId(kLargest), ChromeId(kLargest - 2)};
    EXPECT_EQ(peer.Check().added, expected);
    // No number is left above it for a new one: refused with the reason, and the agent goes on.
    QByteArray add;
    ByteWriter w(add);
    EncodeBookmarkFields({QString(), QStringLiteral("n"), QStringLiteral("http://n/")}, w);
    EXPECT_EQ(peer.Ask(AS_ADD_BOOKMARK, add).code, AS_ERROR);
    EXPECT_TRUE(agent.Log().contains(QStringLiteral("no number left for a new bookmark")));
    EXPECT_EQ(peer.Check().added, expected);
    EXPECT_EQ(peer.Get(ChromeId(kLargest - 2)).name, QStringLiteral("c"));
}

TEST(BrowserBookmarksE2e, ChromeBookmarkAddedAfterADeletedOneGetsAnIdentifierOfItsOwn)
{
    AgentProcess agent;
    agent.WriteFile(kChromeFile, TestData("chrome-bookmarks/chrome2014-linux-escaped.Bookmarks"));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    {
        PeerTurn second(agent, "MAC-2", SourceFlags::kChrome);
        EXPECT_EQ(second.Check().added.size(), 5u);
        second.Expect(AS_SAVE_BOOKMARKS_STATE);
    }
    BookmarkId x;
    {
        PeerTurn first(agent, "MAC-1", SourceFlags::kChrome);
        const std::int64_t before = ChromeTimeNow();
        x = first.Add({QString(), QStringLiteral("X"), QStringLiteral("http://x.example.org/")});
        // The date Chrome shows as "date added" is now, not that of the newest bookmark before it.
        EXPECT_GE(std::int64_t(x.Value()), before);
        EXPECT_LE(std::int64_t(x.Value()), ChromeTimeNow());
    }
    {
        PeerTurn second(agent, "MAC-2", SourceFlags::kChrome);
        EXPECT_EQ(second.Check().added, std::vector<BookmarkId>{x});
        second.Expect(AS_SAVE_BOOKMARKS_STATE);
    }
    BookmarkId y;
    {
        PeerTurn first(agent, "MAC-1", SourceFlags::kChrome);
        first.Expect(AS_DEL_BOOKMARK, IdBytes(x));
        y = first.Add({QString(), QStringLiteral("Y"), QStringLiteral("http://y.example.org/")});
        EXPECT_NE(y, x);
    }
    PeerTurn second(agent, "MAC-2", SourceFlags::kChrome);
    const Sections changes = second.Check();
    EXPECT_EQ(changes.added, std::vector<BookmarkId>{y});
    EXPECT_TRUE(changes.edited.empty());
    EXPECT_EQ(changes.deleted, std::vector<BookmarkId>{x});
}

}  // namespace
