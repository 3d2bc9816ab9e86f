// The bookmark requests through the dispatcher, over a temporary home with a Favorites folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QHash>

#include "common/bookmark_checksums.h"
#include "common/byte_io.h"
#include "dispatch/bookmark_record_codec.h"
#include "dispatch/bookmark_request_bytes.h"
#include "dispatch/bookmark_sync_state.h"
#include "stores/internet_explorer/internet_explorer.h"
#include "stores/catalog/store_set.h"
#include "support/dispatch_harness.h"
#include "support/favorites_tree.h"
#include "wire/message_header.h"

namespace {

// A store of a browser whose bookmarks have identifiers of their own, recording its calls.
class FakeStore : public BookmarkStore {
public:
    std::vector<UrlFileEntry> GetIDs() override
    {
        std::vector<UrlFileEntry> entries;
        for (const QString& key : keys) entries.push_back({key, 0, 0, 0});
        return entries;
    }
    std::uint32_t IDtoCRC32(const QString& key) override { return crcs.value(key); }
    void Get(const QString& key, BookmarkRecord& record) override
    {
        calls << "Get " + key;
        if (records.contains(key)) record = records.value(key);
    }
    QString Add(const BookmarkRecord& record) override
    {
        calls << "Add " + record.name;
        return nextKey;
    }
    QString Edit(const QString& key, const BookmarkRecord& record) override
    {
        calls << "Edit " + key + " " + record.url;
        return key;
    }
    void Delete(const QString& key) override { calls << "Delete " + key; }
    void DeleteAll() override
    {
        calls << "DeleteAll";
        if (failDeleteAll) throw AgentError("store failure");
    }
    // Firefox's checksum covers what its database holds: a bookmark just written is asked for it.
    std::uint32_t WrittenChecksum(const QString& key, const BookmarkRecord& record) override
    {
        return checksumFromStore ? IDtoCRC32(key) : BookmarkStore::WrittenChecksum(key, record);
    }

    bool checksumFromStore = false;
    QStringList keys;
    QHash<QString, std::uint32_t> crcs;
    QHash<QString, BookmarkRecord> records;
    QString nextKey;
    bool failDeleteAll = false;
    QStringList calls;
};

struct Report {
    std::vector<BookmarkId> added, edited, deleted;
    bool Empty() const { return added.empty() && edited.empty() && deleted.empty(); }
};

Report ParseReport(const QByteArray& payload)
{
    Report report;
    ByteReader r(payload);
    for (std::vector<BookmarkId>* section : {&report.added, &report.edited, &report.deleted}) {
        const std::uint16_t n = r.U16();
        for (int i = 0; i < n; ++i) section->push_back(BookmarkId::Read(r));
    }
    EXPECT_TRUE(r.AtEnd());
    return report;
}

// Fields in any order and with any names.
QByteArray RawFields(const std::vector<std::pair<QString, QString>>& fields)
{
    QByteArray out;
    ByteWriter w(out);
    w.U16(static_cast<std::uint16_t>(fields.size()));
    for (const auto& [name, value] : fields) {
        w.U32(static_cast<std::uint32_t>(2 * name.size()));
        w.Utf16(name);
        w.U32(static_cast<std::uint32_t>(2 * value.size()));
        w.Utf16(value);
    }
    return out;
}

class BookmarkRequestsTest : public ::testing::Test {
protected:
    void SetUp() override { h_.agent.browserId = 0; }

    // One request, answered by exactly one message with its tag.
    SentMessage Send(std::uint16_t code, const QByteArray& payload = {})
    {
        h_.channel.messages.clear();
        const SentMessage reply = h_.Send(code, payload);
        EXPECT_EQ(h_.channel.messages.size(), 1u);
        EXPECT_EQ(reply.tag, 7);
        return reply;
    }
    // Sends and expects the success reply.
    QByteArray Ok(std::uint16_t code, const QByteArray& payload = {})
    {
        const SentMessage reply = Send(code, payload);
        EXPECT_EQ(reply.code, code + 1) << "request " << code;
        return reply.payload;
    }
    Report Check(const QString& suffix = {}) { return ParseReport(Ok(AS_CHECK_BOOKMARKS, Utf16z(suffix))); }

    QString Fav(const QString& relative) const { return favorites_ + QLatin1Char('/') + relative; }
    BookmarkId IdOf(const QString& relative) const { return BookmarkId::OfFavoritePath(Fav(relative)); }
    QString StatePath(const QString& name) const { return QStringLiteral(".local/share/TwinLark/") + name; }
    QByteArray StateFile(const QString& name = "PEER.InternetExplorer_") const
    {
        return h_.home.ReadFile(StatePath(name)).value_or("<missing>");
    }
    // The whole log so far.
    QStringList LogLines() const
    {
        QFile f(h_.log.GetLogPath());
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    FakeStore& InstallFake(BrowserKind kind)
    {
        auto store = std::make_unique<FakeStore>();
        FakeStore& ref = *store;
        ref.checksumFromStore = kind == BrowserKind::Firefox;
        h_.agent.stores->Replace(kind, std::move(store));
        h_.agent.browserId = static_cast<std::uint32_t>(kind);
        return ref;
    }

    DispatchHarness h_;
    QString favorites_ = MakeFavoritesTree(h_.home);
};

TEST_F(BookmarkRequestsTest, FirstCheckReportsEverythingAddedAndAfterTheSaveNothing)
{
    const Report first = Check();
    std::vector<BookmarkId> all;
    for (const QString& file : FavoritesTreeFiles()) all.push_back(IdOf(file));
    EXPECT_EQ(first.added, all);
    EXPECT_TRUE(first.edited.empty() && first.deleted.empty());
    // The state file is created by the check but written only by the save.
    EXPECT_EQ(StateFile(), QByteArray());
    EXPECT_EQ(LogLines(), (QStringList{"AS_CHECK_BOOKMARKS", "AS_CHECK_BOOKMARKS...ok"}));

    EXPECT_EQ(Ok(AS_SAVE_BOOKMARKS_STATE), QByteArray());
    EXPECT_EQ(StateFile(),
              BookmarkStateFile::Encode(BrowserKind::InternetExplorer, CInternetExplorer().GetIDs()));
    EXPECT_TRUE(Check().Empty());
    // Two checks without a save report the same again: each starts from the saved state.
    h_.home.WriteFile("Favorites/New.url", UrlFileBytes("http://example.org/new"));
    EXPECT_EQ(Check().added, std::vector<BookmarkId>{IdOf("New.url")});
    EXPECT_EQ(Check().added, std::vector<BookmarkId>{IdOf("New.url")});
}

TEST_F(BookmarkRequestsTest, ChangesMadeOutsideTheAgent)
{
    Check();
    Ok(AS_SAVE_BOOKMARKS_STATE);
    h_.home.WriteFile("Favorites/Bing.url", UrlFileBytes("http://www.bing.com/"));
    ASSERT_TRUE(QFile::rename(Fav("Links/Suggested Sites.url"), Fav("Links/Sites.url")));
    ASSERT_TRUE(QFile::remove(Fav("x.url/Inside.url")));

    const Report report = Check();
    EXPECT_EQ(report.edited, std::vector<BookmarkId>{IdOf("Bing.url")});
    EXPECT_EQ(report.added, std::vector<BookmarkId>{IdOf("Links/Sites.url")});
    EXPECT_EQ(report.deleted,
              (std::vector<BookmarkId>{IdOf("Links/Suggested Sites.url"), IdOf("x.url/Inside.url")}));
}

TEST_F(BookmarkRequestsTest, AddGetSetDeleteKeepTheCheckListInStep)
{
    Check();
    Ok(AS_SAVE_BOOKMARKS_STATE);

    // An unknown field is skipped by its length; the fields behind it are still read.
    const QByteArray add = RawFields(
        {{"Tags", "x,y"}, {"Url", "http://example.org/a"}, {"Path", "Work/Tools"}, {"Name", "A/B:C"}});
    const QByteArray added = Ok(AS_ADD_BOOKMARK, add);
    EXPECT_EQ(added, IdBytes(IdOf("Work/Tools/ABC.url")));
    EXPECT_EQ(h_.home.ReadFile("Favorites/Work/Tools/ABC.url"), UrlFileBytes("http://example.org/a"));

    EXPECT_EQ(Ok(AS_GET_BOOKMARK, added),
              added + Fields({"Work\\Tools", "ABC", "http://example.org/a"}) + QByteArray(2, '\0'));

    // Same folder and name: rewritten in place, same identifier.
    EXPECT_EQ(Ok(AS_SET_BOOKMARK, added + Fields({"Work\\Tools", "ABC", "http://example.org/b"})), added);
    EXPECT_EQ(h_.home.ReadFile("Favorites/Work/Tools/ABC.url"), UrlFileBytes("http://example.org/b"));
    // A new name: a new file and a new identifier; the old one no longer resolves.
    const QByteArray renamed =
        Ok(AS_SET_BOOKMARK, added + Fields({"Work", "Renamed", "http://example.org/c"}));
    EXPECT_EQ(renamed, IdBytes(IdOf("Work/Renamed.url")));
    EXPECT_FALSE(h_.home.Exists("Favorites/Work/Tools/ABC.url"));
    EXPECT_EQ(Ok(AS_GET_BOOKMARK, added), added + Fields({}) + QByteArray(2, '\0'));

    EXPECT_EQ(Ok(AS_DEL_BOOKMARK, IdBytes(IdOf("Bing.url"))), QByteArray());
    EXPECT_FALSE(h_.home.Exists("Favorites/Bing.url"));

    // Saved, the agent's own changes are no changes at the next check.
    Ok(AS_SAVE_BOOKMARKS_STATE);
    EXPECT_TRUE(Check().Empty());
    const QStringList log = LogLines();
    for (const char* line :
         {"AS_ADD_BOOKMARK...ok", "AS_GET_BOOKMARK...ok", "AS_SET_BOOKMARK...ok", "AS_DEL_BOOKMARK...ok"})
        EXPECT_TRUE(log.contains(line)) << line;
}

// Gets look bookmarks up by identifier: each must still reach its own file after the list
// gained, moved or lost entries in front of it.
TEST_F(BookmarkRequestsTest, GetsFollowEveryChangeOfTheCheckList)
{
    Check();
    const auto get = [&](const QString& file) { return Ok(AS_GET_BOOKMARK, IdBytes(IdOf(file))); };
    const auto none = [](const QByteArray& id) { return id + Fields({}) + QByteArray(2, '\0'); };
    QHash<QString, QByteArray> before;
    for (const QString& file : FavoritesTreeFiles()) before.insert(file, get(file));

    const QByteArray added = Ok(AS_ADD_BOOKMARK, Fields({"", "New", "http://example.org/new"}));
    EXPECT_EQ(Ok(AS_GET_BOOKMARK, added), added + Fields({"", "New", "http://example.org/new"}) + QByteArray(2, '\0'));

    // The first favourite moves: its entry goes to the end, every other one moves up.
    const QString first = FavoritesTreeFiles().front();
    const QByteArray moved = Ok(AS_SET_BOOKMARK, IdBytes(IdOf(first)) + Fields({"Work", "Moved", "http://m/"}));
    EXPECT_EQ(Ok(AS_GET_BOOKMARK, moved), moved + Fields({"Work", "Moved", "http://m/"}) + QByteArray(2, '\0'));
    EXPECT_EQ(get(first), none(IdBytes(IdOf(first))));
    for (const QString& file : FavoritesTreeFiles()) {
        if (file != first) {
            EXPECT_EQ(get(file), before.value(file)) << file.toStdString();
        }
    }
    EXPECT_EQ(Ok(AS_GET_BOOKMARK, added), added + Fields({"", "New", "http://example.org/new"}) + QByteArray(2, '\0'));

    const QString second = FavoritesTreeFiles()[1];
    Ok(AS_DEL_BOOKMARK_STATE, IdBytes(IdOf(second)));
    EXPECT_EQ(get(second), none(IdBytes(IdOf(second))));
    Ok(AS_DEL_BOOKMARK, added);
    EXPECT_EQ(Ok(AS_GET_BOOKMARK, added), none(added));
    const QString last = FavoritesTreeFiles().back();
    EXPECT_EQ(get(last), before.value(last));
}

TEST_F(BookmarkRequestsTest, IdentifierNotInTheCheckList)
{
    Check();
    const QByteArray unknown = IdBytes({1, 2});
    EXPECT_EQ(Ok(AS_GET_BOOKMARK, unknown), unknown + Fields({}) + QByteArray(2, '\0'));
    EXPECT_EQ(Ok(AS_SET_BOOKMARK, unknown + Fields({"", "X", "http://x/"})), QByteArray(8, '\0'));
    Ok(AS_DEL_BOOKMARK, unknown);
    Ok(AS_SAVE_BOOKMARKS_STATE);
    EXPECT_TRUE(Check().Empty());
    EXPECT_FALSE(h_.home.Exists("Favorites/X.url"));
}

// The check list goes with its peer, memory included: the next peer loads or checks before its
// bookmark requests, and a list of 50,000 favourites is not kept for as long as the agent runs.
TEST_F(BookmarkRequestsTest, TheCheckListGoesWithItsPeer)
{
    Check();
    const QByteArray id = IdBytes(IdOf(FavoritesTreeFiles().front()));
    const QByteArray unknown = id + Fields({}) + QByteArray(2, '\0');
    EXPECT_NE(Ok(AS_GET_BOOKMARK, id), unknown);
    h_.dispatcher.ReleaseClientResources();
    EXPECT_EQ(h_.agent.bookmarks->CheckList().capacity(), 0u);
    EXPECT_EQ(Ok(AS_GET_BOOKMARK, id), unknown) << "unknown until the next check";
}

TEST_F(BookmarkRequestsTest, BadRequestsAnswerErrorAndChangeNothing)
{
    Check();
    const struct {
        std::uint16_t code;
        QByteArray payload;
        const char* line;
    } cases[] = {
        {AS_ADD_BOOKMARK, Fields({"", "Cut", "http://x/"}).chopped(1), "AS_ADD_BOOKMARK...error"},
        {AS_ADD_BOOKMARK,
         QByteArray::fromHex("0100"
                             "ffffffff"),
         "AS_ADD_BOOKMARK...error"},
        {AS_ADD_BOOKMARK, Fields({"New", "Euro", QString::fromUtf8("http://x/€")}),
         "AS_ADD_BOOKMARK...error"},
        {AS_ADD_BOOKMARK, Fields({"../..", "Escape", "http://x/"}), "AS_ADD_BOOKMARK...error"},
        {AS_SET_BOOKMARK, IdBytes(IdOf("Bing.url")) + Fields({"", "Bing", QString::fromUtf8("http://x/€")}),
         "AS_SET_BOOKMARK...error"},
        {AS_GET_BOOKMARK, QByteArray(7, '\0'), "AS_GET_BOOKMARK...error"},
        {AS_DEL_BOOKMARK, QByteArray(), "AS_DEL_BOOKMARK...error"},
        {AS_DEL_BOOKMARK_STATE, QByteArray(4, '\0'), "AS_DEL_BOOKMARK_STATE...error"},
    };
    const QByteArray bing = *h_.home.ReadFile("Favorites/Bing.url");
    for (const auto& c : cases) {
        EXPECT_EQ(Send(c.code, c.payload).code, AS_ERROR) << c.line;
        EXPECT_TRUE(LogLines().contains(c.line)) << c.line;
    }
    EXPECT_EQ(h_.home.ReadFile("Favorites/Bing.url"), bing);
    EXPECT_FALSE(h_.home.Exists("Favorites/New"));
    EXPECT_EQ(h_.agent.bookmarks->CheckList().size(), FavoritesTreeFiles().size());
}

TEST_F(BookmarkRequestsTest, RecordLongerThanOneMessageIsRefused)
{
    h_.home.WriteFile("Favorites/Long.url", UrlFileBytes(QByteArray(9000, 'u')));
    Check();
    EXPECT_EQ(Send(AS_GET_BOOKMARK, IdBytes(IdOf("Long.url"))).code, AS_ERROR);
    EXPECT_TRUE(LogLines().contains("AS_GET_BOOKMARK...error"));
    EXPECT_FALSE(LogLines().contains("AS_GET_BOOKMARK...ok"));
}

TEST_F(BookmarkRequestsTest, DamagedStateFileLoadsItsWholeRecords)
{
    Check();
    Ok(AS_SAVE_BOOKMARKS_STATE);
    const QByteArray whole = StateFile();
    // The last record cut short: the favourites of the whole records stay known, the last one
    // is new again, and the save writes every record whole.
    const qsizetype lastRecord = 16 + 2 * Fav("x.url/Inside.url").size();
    h_.home.WriteFile(StatePath("PEER.InternetExplorer_"), whole.left(whole.size() - lastRecord + 20));
    const Report report = Check();
    EXPECT_EQ(report.added, std::vector<BookmarkId>{IdOf("x.url/Inside.url")});
    EXPECT_TRUE(report.edited.empty() && report.deleted.empty());
    EXPECT_TRUE(LogLines().filter("damaged bytes after 6 whole records").size() == 1);
    Ok(AS_SAVE_BOOKMARKS_STATE);
    EXPECT_EQ(StateFile(), whole);

    // A length word far beyond the file: no allocation, the records before it load.
    h_.home.WriteFile(StatePath("PEER.InternetExplorer_"), whole + QByteArray::fromHex("0000000000000000"
                                                                                       "00000000"
                                                                                       "ffffff7f"));
    Ok(AS_LOAD_BOOKMARKS_STATE);
    EXPECT_EQ(h_.agent.bookmarks->CheckList().size(), FavoritesTreeFiles().size());
}

TEST_F(BookmarkRequestsTest, StateRequestsUseTheCheckSuffix)
{
    Check(QStringLiteral("A"));
    Ok(AS_SAVE_BOOKMARKS_STATE);
    const QByteArray saved = StateFile("PEER.InternetExplorer_A");
    EXPECT_FALSE(saved.isEmpty());
    EXPECT_FALSE(h_.home.Exists(StatePath("PEER.InternetExplorer_")));

    // Dropping one entry, then saving, leaves it out of the file: the next check reports it added.
    Ok(AS_DEL_BOOKMARK_STATE, IdBytes(IdOf("Bing.url")));
    EXPECT_EQ(h_.agent.bookmarks->CheckList().size(), FavoritesTreeFiles().size() - 1);
    Ok(AS_SAVE_BOOKMARKS_STATE);
    EXPECT_EQ(Check(QStringLiteral("A")).added, std::vector<BookmarkId>{IdOf("Bing.url")});

    h_.agent.bookmarks->EditCheckList().clear();
    Ok(AS_LOAD_BOOKMARKS_STATE);
    EXPECT_EQ(h_.agent.bookmarks->CheckList().size(), FavoritesTreeFiles().size() - 1);

    // The reset empties the list and the file of its own suffix; the kept suffix stays.
    Ok(AS_SAVE_BOOKMARKS_STATE);
    h_.home.WriteFile(StatePath("PEER.InternetExplorer_B"), "old");
    EXPECT_EQ(Ok(AS_RESET_STATE, U16Bytes(4) + Utf16z("B")), QByteArray());
    EXPECT_TRUE(h_.agent.bookmarks->CheckList().empty());
    EXPECT_EQ(StateFile("PEER.InternetExplorer_B"), QByteArray());
    EXPECT_EQ(h_.agent.bookmarks->suffix, "A");
    EXPECT_FALSE(StateFile("PEER.InternetExplorer_A").isEmpty());
}

TEST_F(BookmarkRequestsTest, UnsafeNamesAndFailedSavesAnswerError)
{
    EXPECT_EQ(Send(AS_CHECK_BOOKMARKS, Utf16z("/../../escape")).code, AS_ERROR);
    EXPECT_TRUE(LogLines().contains("AS_CHECK_BOOKMARKS...error"));
    h_.agent.machineId = QStringLiteral("../PEER");
    EXPECT_EQ(Send(AS_LOAD_BOOKMARKS_STATE).code, AS_ERROR);

    // A save that cannot be written is not reported as done.
    h_.agent.machineId = QStringLiteral("PEER");
    h_.agent.bookmarks->suffix.clear();
    h_.agent.bookmarks->EditCheckList() = {{Fav("Bing.url"), 1, 2, 3}};
    ASSERT_TRUE(QDir().mkpath(h_.home.Path(StatePath("PEER.InternetExplorer_"))));
    EXPECT_EQ(Send(AS_SAVE_BOOKMARKS_STATE).code, AS_ERROR);
    EXPECT_TRUE(LogLines().contains("AS_SAVE_BOOKMARKS_STATE...error"));
}

TEST_F(BookmarkRequestsTest, DeleteAllRemovesFavouritesNotFoldersWhileRefusingConnections)
{
    Check();
    EXPECT_EQ(Ok(AS_DEL_ALL_BOOKMARKS), QByteArray());
    EXPECT_EQ(h_.host.events, (QStringList{"accept off", "accept on"}));
    EXPECT_TRUE(h_.agent.bookmarks->CheckList().empty());
    EXPECT_TRUE(CInternetExplorer().GetIDs().empty());
    EXPECT_TRUE(h_.home.Exists("Favorites/x.url") && h_.home.Exists("Favorites/Links/NOTES.URL"));
    EXPECT_TRUE(LogLines().contains("AS_DEL_ALL_BOOKMARKS...ok"));

    // A failing store still lets connections in again.
    FakeStore& fake = InstallFake(BrowserKind::Chrome);
    fake.failDeleteAll = true;
    EXPECT_EQ(Send(AS_DEL_ALL_BOOKMARKS).code, AS_ERROR);
    EXPECT_EQ(h_.host.events, (QStringList{"accept off", "accept on", "accept off", "accept on"}));
    EXPECT_TRUE(LogLines().contains("AS_DEL_ALL_BOOKMARKS...error"));
}

TEST_F(BookmarkRequestsTest, SafariHasNoStoreAndItsPayloadsAreReadInPlace)
{
    h_.agent.browserId = 4;
    EXPECT_EQ(Ok(AS_CHECK_BOOKMARKS, Utf16z("s")), QByteArray(6, '\0'));
    EXPECT_EQ(StateFile("PEERs"), QByteArray());

    // No identifier in the record; its 8 bytes trail as zeros.
    EXPECT_EQ(Ok(AS_GET_BOOKMARK, IdBytes({1, 2})), Fields({}) + QByteArray(10, '\0'));
    const QByteArray withId = IdBytes({1, 2}) + Fields({"", "Safari", "http://s/"});
    EXPECT_EQ(Ok(AS_SET_BOOKMARK, withId), QByteArray(8, '\0'));
    EXPECT_EQ(Ok(AS_ADD_BOOKMARK, Fields({"", "Safari", "http://s/"})), QByteArray(8, '\0'));
    Ok(AS_DEL_BOOKMARK, IdBytes({1, 2}));
    Ok(AS_SAVE_BOOKMARKS_STATE);
    Ok(AS_LOAD_BOOKMARKS_STATE);
    EXPECT_EQ(StateFile("PEERs"), QByteArray());
    EXPECT_FALSE(h_.home.Exists("Favorites/Safari.url"));
    EXPECT_EQ(CInternetExplorer().GetIDs().size(), FavoritesTreeFiles().size());
    // A field list cut short is still refused.
    EXPECT_EQ(Send(AS_SET_BOOKMARK, withId.chopped(2)).code, AS_ERROR);
}

TEST_F(BookmarkRequestsTest, BrowsersWithoutAStoreReachNone)
{
    h_.agent.stores->Replace(BrowserKind::Firefox, nullptr);
    h_.agent.browserId = 1;
    EXPECT_TRUE(Check().Empty());
    EXPECT_EQ(StateFile("PEER.FireFox_"), QByteArray());
    EXPECT_EQ(Ok(AS_ADD_BOOKMARK, Fields({"", "F", "http://f/"})), QByteArray(8, '\0'));
    EXPECT_EQ(Ok(AS_GET_BOOKMARK, IdBytes({5, 0})), IdBytes({5, 0}) + Fields({}) + QByteArray(2, '\0'));
    h_.agent.browserId = 0xFFFFFFFF;
    EXPECT_TRUE(Check().Empty());
    Ok(AS_SAVE_BOOKMARKS_STATE);
}

TEST_F(BookmarkRequestsTest, ChromeIdentifiersAreTheirDecimalKeys)
{
    FakeStore& chrome = InstallFake(BrowserKind::Chrome);
    chrome.keys = {"13245678901234567", "7"};
    chrome.crcs = {{"13245678901234567", 11}, {"7", 70}};
    const BookmarkId big = BookmarkId::FromValue(13245678901234567ull);
    EXPECT_EQ(Check().added, (std::vector<BookmarkId>{big, {7, 0}}));
    Ok(AS_SAVE_BOOKMARKS_STATE);
    EXPECT_EQ(
        StateFile("PEER.Chrome_"),
        BookmarkStateFile::Encode(BrowserKind::Chrome, {{"13245678901234567", 11, 0, 0}, {"7", 70, 0, 0}}));

    chrome.records["13245678901234567"] = {"Bar", "Big", "http://big/"};
    EXPECT_EQ(Ok(AS_GET_BOOKMARK, IdBytes(big)),
              IdBytes(big) + Fields({"Bar", "Big", "http://big/"}) + QByteArray(2, '\0'));

    // The edited bookmark's checksum is that of the fields as sent.
    const BookmarkRecord edited{"Bar", "Bigger", "http://bigger/"};
    EXPECT_EQ(Ok(AS_SET_BOOKMARK, IdBytes(big) + Fields(edited)), IdBytes(big));
    EXPECT_EQ(h_.agent.bookmarks->CheckList()[0].crc, BookmarkCrc32("Bar", "Bigger", "http://bigger/"));

    chrome.nextKey = "13245678901234999";
    EXPECT_EQ(Ok(AS_ADD_BOOKMARK, Fields({"", "New", "http://new/"})),
              IdBytes(BookmarkId::FromValue(13245678901234999ull)));
    EXPECT_EQ(h_.agent.bookmarks->CheckList().back(),
              (BookmarkCheckEntry{"13245678901234999", BookmarkCrc32("", "New", "http://new/"), 0, 0}));

    Ok(AS_DEL_BOOKMARK, IdBytes({7, 0}));
    EXPECT_EQ(chrome.calls, (QStringList{"Get 13245678901234567", "Edit 13245678901234567 http://bigger/",
                                         "Add New", "Delete 7"}));
    EXPECT_EQ(h_.agent.bookmarks->CheckList().size(), 2u);
}

TEST_F(BookmarkRequestsTest, FirefoxIgnoresTheHighWord)
{
    FakeStore& firefox = InstallFake(BrowserKind::Firefox);
    firefox.keys = {"17", "-3"};
    firefox.crcs = {{"17", 1}, {"-3", 2}};
    EXPECT_EQ(Check().added, (std::vector<BookmarkId>{{17, 0}, {0xFFFFFFFD, 0}}));

    firefox.crcs["17"] = 5;  // what the database holds after the edit
    EXPECT_EQ(Ok(AS_SET_BOOKMARK, IdBytes({17, 0xABCD}) + Fields({"", "N", "http://n/"})), IdBytes({17, 0}));
    EXPECT_EQ(h_.agent.bookmarks->CheckList()[0].crc, 5u);
    firefox.nextKey = "18";
    firefox.crcs["18"] = 9;
    EXPECT_EQ(Ok(AS_ADD_BOOKMARK, Fields({"", "M", "http://m/"})), IdBytes({18, 0}));
    EXPECT_EQ(h_.agent.bookmarks->CheckList().back().crc, 9u);
    Ok(AS_DEL_BOOKMARK, IdBytes({17, 0xABCD}));
    Ok(AS_DEL_BOOKMARK_STATE, IdBytes({0xFFFFFFFD, 1}));
    EXPECT_EQ(h_.agent.bookmarks->CheckList(), (BookmarkCheckList{{"18", 9, 0, 0}}));
    EXPECT_EQ(firefox.calls, (QStringList{"Edit 17 http://n/", "Add M", "Delete 17"}));
}

TEST_F(BookmarkRequestsTest, LongChangeReportTravelsInFragments)
{
    FakeStore& opera = InstallFake(BrowserKind::Opera);
    for (int i = 0; i < 3000; ++i) opera.keys << QString::number(-i);
    const SentMessage reply = Send(AS_CHECK_BOOKMARKS, Utf16z(""));
    EXPECT_EQ(reply.code, AS_CHECK_BOOKMARKS + 1);
    EXPECT_TRUE(reply.longReply);
    EXPECT_EQ(reply.payload.size(), 6 + 8 * 3000);
    EXPECT_EQ(ParseReport(reply.payload).added[2999],
              BookmarkId::FromValue(static_cast<std::uint64_t>(-2999)));
}

}  // namespace
