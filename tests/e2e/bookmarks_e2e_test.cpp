// The built agent over loopback serving Internet Explorer favourites: the main road of a
// bookmark synchronisation (check, add, save, check again).
#include <gtest/gtest.h>

#include "agent_process.h"
#include "common/byte_io.h"
#include "dispatch/bookmark_id.h"
#include "dispatch/bookmark_record_codec.h"
#include "dispatch/bookmark_state_file.h"
#include "dispatch/request_codes.h"
#include "stores/base/source_flags.h"
#include "support/favorites_tree.h"
#include "test_peer.h"
#include "wire/message_header.h"

namespace {

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

TEST(BookmarksE2e, CheckAddSaveCheck)
{
    AgentProcess agent;
    agent.WriteFile("Favorites/Bing.url", UrlFileBytes("http://www.bing.com/"));
    agent.WriteFile("Favorites/Links/News.url", UrlFileBytes("http://news.example.org/"));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    const QString favorites = agent.Path("Favorites");

    auto reply = peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-1")));
    ASSERT_TRUE(reply);
    QByteArray flags;
    ByteWriter(flags).U32(SourceFlags::kInternetExplorer);
    reply = peer.Request(AS_SET_SOURCES, 2, flags);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_SET_SOURCES + 1);

    reply = peer.Request(AS_CHECK_BOOKMARKS, 3, QByteArray(2, '\0'));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_CHECK_BOOKMARKS + 1);
    EXPECT_EQ(ParseSections(reply->payload).added,
              (std::vector<BookmarkId>{BookmarkId::OfFavoritePath(favorites + "/Bing.url"),
                                       BookmarkId::OfFavoritePath(favorites + "/Links/News.url")}));

    QByteArray add;
    ByteWriter w(add);
    EncodeBookmarkFields({"Work/Docs", "Manual", "http://docs.example.org/"}, w);
    reply = peer.Request(AS_ADD_BOOKMARK, 4, add);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_ADD_BOOKMARK + 1);
    ByteReader idReader(reply->payload);
    EXPECT_EQ(BookmarkId::Read(idReader), BookmarkId::OfFavoritePath(favorites + "/Work/Docs/Manual.url"));
    EXPECT_EQ(agent.ReadFile("Favorites/Work/Docs/Manual.url"), UrlFileBytes("http://docs.example.org/"));

    reply = peer.Request(AS_GET_BOOKMARK, 9, reply->payload);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_GET_BOOKMARK + 1);
    ByteReader record(reply->payload);
    record.Skip(8);
    EXPECT_EQ(DecodeBookmarkFields(record),
              (BookmarkRecord{"Work\\Docs", "Manual", "http://docs.example.org/"}));

    reply = peer.Request(AS_SAVE_BOOKMARKS_STATE, 5);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, AS_SAVE_BOOKMARKS_STATE + 1);
    const QByteArray state = agent.ReadFile(".local/share/TwinLark/MAC-1.InternetExplorer_");
    EXPECT_EQ(BookmarkStateFile::Decode(BrowserKind::InternetExplorer, state).entries.size(), 3u);

    reply = peer.Request(AS_CHECK_BOOKMARKS, 6, QByteArray(2, '\0'));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_CHECK_BOOKMARKS + 1);
    EXPECT_EQ(reply->payload, QByteArray(6, '\0'));

    peer.Send(AS_QUIT, 7);
    EXPECT_EQ(agent.WaitForExit(), 0);
    const QString log = agent.Log();
    EXPECT_EQ(log.count(QStringLiteral("AS_CHECK_BOOKMARKS...ok\n")), 2);
    EXPECT_TRUE(log.contains(QStringLiteral("AS_ADD_BOOKMARK...ok\n")));
}

TEST(BookmarksE2e, ManyFavouritesReportInFragments)
{
    // More identifiers than one message holds (2046).
    constexpr int kCount = 2100;
    AgentProcess agent;
    for (int i = 0; i < kCount; ++i)
        agent.WriteFile(QStringLiteral("Favorites/F%1/Site %2.url").arg(i / 100).arg(i),
                        UrlFileBytes("http://example.org/" + QByteArray::number(i)));
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_TRUE(peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-2"))));
    QByteArray flags;
    ByteWriter(flags).U32(SourceFlags::kInternetExplorer);
    ASSERT_EQ(peer.Request(AS_SET_SOURCES, 2, flags)->code, AS_SET_SOURCES + 1);

    const auto reply = peer.LongRequest(AS_CHECK_BOOKMARKS, 3, QByteArray(2, '\0'));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_CHECK_BOOKMARKS + 1);
    const Sections sections = ParseSections(reply->payload);
    EXPECT_EQ(sections.added.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(sections.added.front(), BookmarkId::OfFavoritePath(agent.Path("Favorites/F0/Site 0.url")));

    ASSERT_EQ(peer.Request(AS_SAVE_BOOKMARKS_STATE, 4)->code, AS_SAVE_BOOKMARKS_STATE + 1);
    const auto again = peer.Request(AS_CHECK_BOOKMARKS, 5, QByteArray(2, '\0'));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->payload, QByteArray(6, '\0'));
}

}  // namespace
