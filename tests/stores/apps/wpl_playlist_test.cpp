#include "stores/apps/wpl_playlist.h"

#include <gtest/gtest.h>

#include <QFile>

#include "common/errors.h"

namespace {

QByteArray Fixture(const char* name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/wmp-playlists/") + QString::fromUtf8(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

TEST(WplPlaylistTest, ReadsPlaylistsWrittenByThePlayer)
{
    const WplPlaylist bach = WplPlaylist::Parse(Fixture("Bach Organ Works (doc example, WMP 11).wpl"));
    EXPECT_EQ(bach.Title(), QStringLiteral("Bach Organ Works"));
    EXPECT_FALSE(bach.IsAutoPlaylist());
    EXPECT_EQ(
        bach.Sources(),
        (QStringList{QStringLiteral("\\\\server\\vol\\music\\Classical\\Bach\\OrganWorks\\cd03\\audio01.mp3"),
                     QStringLiteral("\\\\server\\vol\\music\\Classical\\Bach\\OrganWorks\\cd03\\audio02.mp3"),
                     QStringLiteral("SR15.mp3")}));

    // Leading blanks before the instruction, tabs, and an item count that does not match.
    const WplPlaylist streams = WplPlaylist::Parse(Fixture("MyStreams (WMP 12, hand-edited).wpl"));
    EXPECT_EQ(streams.Title(), QStringLiteral("MyStreams"));
    ASSERT_EQ(streams.Sources().size(), 5);
    EXPECT_EQ(streams.Sources().front(), QStringLiteral("http://wmbr.org/WMBR_live_128.m3u"));
}

TEST(WplPlaylistTest, RewritingKeepsWhatItDoesNotChange)
{
    WplPlaylist bach = WplPlaylist::Parse(Fixture("Bach Organ Works (doc example, WMP 11).wpl"));
    bach.Append(QStringLiteral("..\\Rock & Roll\\it's.mp3"));
    EXPECT_EQ(bach.RemoveWhere([](const QString& s) { return s.endsWith(QLatin1String("audio02.mp3")); }), 1);
    const QByteArray bytes = bach.Serialize();
    EXPECT_TRUE(bytes.startsWith("<?wpl version=\"1.0\"?>")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("tid=\"{35B39D45-94D8-40E1-8FC2-9F6714191E47}\""));
    EXPECT_TRUE(bytes.contains("<meta name=\"AverageRating\" content=\"33\""));
    EXPECT_TRUE(bytes.contains("<meta name=\"ItemCount\" content=\"3\""));
    EXPECT_TRUE(bytes.contains("Rock &amp; Roll"));

    const WplPlaylist again = WplPlaylist::Parse(bytes);
    EXPECT_EQ(again.Title(), QStringLiteral("Bach Organ Works"));
    EXPECT_EQ(
        again.Sources(),
        (QStringList{QStringLiteral("\\\\server\\vol\\music\\Classical\\Bach\\OrganWorks\\cd03\\audio01.mp3"),
                     QStringLiteral("SR15.mp3"), QStringLiteral("..\\Rock & Roll\\it's.mp3")}));
}

TEST(WplPlaylistTest, NewPlaylistsAndRemovingRepeatedItems)
{
    WplPlaylist list = WplPlaylist::New(QStringLiteral("Süß <3"));
    for (const char* src : {"a.mp3", "b.mp3", "b.mp3", "c.mp3", "b.mp3"})
        list.Append(QString::fromLatin1(src));
    EXPECT_EQ(list.RemoveWhere([](const QString& s) { return s == QLatin1String("b.mp3"); }), 3);
    const WplPlaylist again = WplPlaylist::Parse(list.Serialize());
    EXPECT_EQ(again.Title(), QStringLiteral("Süß <3"));
    EXPECT_EQ(again.Sources(), (QStringList{QStringLiteral("a.mp3"), QStringLiteral("c.mp3")}));
    EXPECT_TRUE(list.Serialize().contains("<meta name=\"ItemCount\" content=\"2\""));
}

TEST(WplPlaylistTest, AutoPlaylistsAndDamagedFiles)
{
    const WplPlaylist autoList = WplPlaylist::Parse(
        "<?wpl version=\"1.0\"?><smil><head><title>Fresh</title></head><body><seq>"
        "<smartPlaylist version=\"2.0\"><querySet/></smartPlaylist></seq></body></smil>");
    EXPECT_TRUE(autoList.IsAutoPlaylist());
    EXPECT_TRUE(autoList.Sources().isEmpty());

    for (const char* bad : {"", "not xml at all", "<smil><head>", "<html><body/></html>"})
        EXPECT_THROW(WplPlaylist::Parse(QByteArray(bad)), MalformedData) << bad;
}

}  // namespace
