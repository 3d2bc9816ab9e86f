// Firefox's bookmarks through the dispatcher, as a peer asks for them, over a copy of the places
// database Firefox ESR wrote, marked as the places of real profiles are.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "common/bookmark_depth.h"
#include "common/byte_io.h"
#include "dispatch/bookmark_id.h"
#include "dispatch/bookmark_record_codec.h"
#include "dispatch/bookmark_request_bytes.h"
#include "stores/firefox/firefox.h"
#include "stores/catalog/store_set.h"
#include "support/dispatch_harness.h"
#include "wire/message_header.h"

namespace {

QByteArray IdBytes(std::int64_t row)
{
    return IdBytes(BookmarkId{static_cast<std::uint32_t>(row), 0});
}

void RunSql(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

QByteArray Bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class FirefoxRequests : public ::testing::Test {
protected:
    void SetUp() override
    {
        places_ = h_.home.Path(QStringLiteral("places.sqlite"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TWINLARK_TEST_DATA "/firefox/places-esr153.sqlite"), places_));
        QFile::setPermissions(places_, QFile::ReadOwner | QFile::WriteOwner);
        // Firefox marks the sources of redirects hidden (here two of its default bookmarks, 8 and
        // 10), and keeps searches among the bookmarks as "place:" addresses (12), in the menu's
        // folder 7 as everywhere else; a bookmark may have no title (13).
        RunSql(places_,
            "UPDATE moz_places SET hidden = 1 WHERE id IN (SELECT fk FROM moz_bookmarks WHERE id IN (8, 10));"
            "INSERT INTO moz_places (id, url, guid, hidden) VALUES (100, 'place:sort=8&maxResults=10', 'query0000000', 1),"
            " (101, 'http://untitled.example/', 'untitled0000', 0);"
            "INSERT INTO moz_bookmarks (id, type, fk, parent, position, title, guid) VALUES"
            " (12, 1, 100, 7, 4, 'Most Visited', 'querybkmk000'), (13, 1, 101, 7, 5, NULL, 'untitledbk00');");
        auto store = std::make_unique<CFirefox>(places_);
        store->SetLog([this](const QString& line) { h_.log.WriteLogLine(line); });
        h_.agent.stores->Replace(BrowserKind::Firefox, std::move(store));
        h_.agent.browserId = static_cast<std::uint32_t>(BrowserKind::Firefox);
        ASSERT_EQ(h_.Send(AS_START_SYNC).code, AS_START_SYNC + 1);
        h_.TakeLogLines();
    }
    void TearDown() override { h_.Send(AS_END_SYNC); }

    QByteArray GetReply(std::int64_t row) { return h_.Send(AS_GET_BOOKMARK, IdBytes(row)).payload; }
    QByteArray Expected(std::int64_t row, const BookmarkRecord& record)
    {
        return EncodeBookmarkReply(BrowserKind::Firefox, BookmarkId{static_cast<std::uint32_t>(row), 0}, record);
    }

    DispatchHarness h_;
    QString places_;
};

TEST_F(FirefoxRequests, BookmarksOfHiddenPlacesAreServedAndRowsItDoesNotServeAreErrors)
{
    const SentMessage check = h_.Send(AS_CHECK_BOOKMARKS, Utf16z(QString()));
    ASSERT_EQ(check.code, AS_CHECK_BOOKMARKS + 1);
    QByteArray added;
    for (const std::int64_t row : {8, 9, 10, 11, 13}) added += IdBytes(row);
    EXPECT_EQ(check.payload, U16Bytes(5) + added + U16Bytes(0) + U16Bytes(0));
    EXPECT_EQ(GetReply(8), Expected(8, {"Mozilla Firefox/", "Get Help", "https://support.mozilla.org/products/firefox"}));
    EXPECT_EQ(GetReply(13), Expected(13, {"Mozilla Firefox/", "", "http://untitled.example/"}));
    const SentMessage edited =
        h_.Send(AS_SET_BOOKMARK, IdBytes(10) + Fields({"Mozilla Firefox/", "Involved", "https://www.mozilla.org/i/"}));
    EXPECT_EQ(edited.code, AS_SET_BOOKMARK + 1);
    EXPECT_EQ(GetReply(10), Expected(10, {"Mozilla Firefox/", "Involved", "https://www.mozilla.org/i/"}));
    h_.TakeLogLines();

    // The query, the folder, a root and a row that is not there: Get and Set answer an error with
    // the reason in the log and change nothing; Delete succeeds.
    const QByteArray before = Bytes(places_);
    for (const std::int64_t row : {12, 7, 2, 999}) {
        EXPECT_EQ(h_.Send(AS_GET_BOOKMARK, IdBytes(row)).code, AS_ERROR) << row;
        EXPECT_EQ(h_.Send(AS_SET_BOOKMARK, IdBytes(row) + Fields({"New/", "n", "http://n/"})).code, AS_ERROR) << row;
        EXPECT_EQ(h_.Send(AS_DEL_BOOKMARK, IdBytes(row)).code, AS_DEL_BOOKMARK + 1) << row;
        const QStringList log = h_.TakeLogLines();
        EXPECT_TRUE(log.contains("AS_GET_BOOKMARK...error")) << log.join('\n').toStdString();
        EXPECT_TRUE(log.filter(QStringLiteral("\treason: no bookmark %1 ").arg(row)).size() == 2)
            << log.join('\n').toStdString();
    }
    EXPECT_EQ(Bytes(places_), before);
}

TEST_F(FirefoxRequests, APathDeeperThanTheLimitIsRefusedAndTheAgentGoesOn)
{
    const QByteArray before = Bytes(places_);
    const QString deep = QStringLiteral("Folder/").repeated(kMaxBookmarkFolderDepth + 1);
    EXPECT_EQ(h_.Send(AS_ADD_BOOKMARK, Fields({deep, "Deep", "http://deep/"})).code, AS_ERROR);
    EXPECT_EQ(h_.Send(AS_SET_BOOKMARK, IdBytes(9) + Fields({deep, "Deep", "http://deep/"})).code, AS_ERROR);
    const QStringList log = h_.TakeLogLines();
    EXPECT_EQ(log.filter(QStringLiteral("\treason: refused a bookmark Path of %1 folders").arg(kMaxBookmarkFolderDepth + 1)).size(),
              2)
        << log.join('\n').toStdString();
    EXPECT_EQ(Bytes(places_), before);
    EXPECT_EQ(h_.Send(AS_ADD_BOOKMARK, Fields({"Folder/", "Shallow", "http://shallow/"})).code, AS_ADD_BOOKMARK + 1);
}

TEST_F(FirefoxRequests, AGetAfterAnotherProgramChangedTheDatabaseReadsTheNewRows)
{
    ASSERT_EQ(h_.Send(AS_CHECK_BOOKMARKS, Utf16z(QString())).code, AS_CHECK_BOOKMARKS + 1);
    const QString url = QStringLiteral(
        "https://support.mozilla.org/kb/customize-firefox-controls-buttons-and-toolbars"
        "?utm_source=firefox-browser&utm_medium=default-bookmarks&utm_campaign=customize");
    EXPECT_EQ(GetReply(9), Expected(9, {"Mozilla Firefox/", "Customize Firefox", url}));
    // Firefox renames the bookmark and moves it into the menu itself while the peer reads.
    RunSql(places_, "UPDATE moz_bookmarks SET title = 'Renamed', parent = 2, position = 9 WHERE id = 9");
    EXPECT_EQ(GetReply(9), Expected(9, {"", "Renamed", url}));

    // A restored backup takes the database's place: the next request reads the new file.
    const QString backup = places_ + QStringLiteral(".restored");
    ASSERT_TRUE(QFile::copy(places_, backup));
    RunSql(backup, "UPDATE moz_bookmarks SET title = 'Restored' WHERE id = 9");
    ASSERT_EQ(::rename(QFile::encodeName(backup).constData(), QFile::encodeName(places_).constData()), 0);
    EXPECT_EQ(GetReply(9), Expected(9, {"", "Restored", url}));
    EXPECT_EQ(h_.TakeLogLines().filter("Firefox places database replaced on disk").size(), 1);
}

TEST(FirefoxProfile, AProfilesIniThatIsAFifoFailsTheStartAndTheAgentGoesOn)
{
    DispatchHarness h;
    QDir().mkpath(h.home.Path(".mozilla/firefox"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(h.home.Path(".mozilla/firefox/profiles.ini")).constData(), 0600), 0);
    h.agent.browserId = static_cast<std::uint32_t>(BrowserKind::Firefox);
    EXPECT_EQ(h.Send(AS_START_SYNC).code, AS_ERROR);
    const QStringList log = h.TakeLogLines();
    EXPECT_TRUE(log.contains("Can not open Opera or Firefox Database")) << log.join('\n').toStdString();
    EXPECT_EQ(log.filter("not a regular file").size(), 1) << log.join('\n').toStdString();
    EXPECT_EQ(h.Send(AS_CHECK_BOOKMARKS, Utf16z(QString())).code, AS_ERROR) << "no database is open";
    EXPECT_EQ(h.Send(AS_GET_OWNER).code, AS_GET_OWNER + 1);
}

}  // namespace
