// The media requests through the dispatcher, on a temporary home whose root is drive C:, so
// the music folder is C:\Music and its playlists are in C:\Music\Playlists.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "common/byte_io.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_codes.h"
#include "platform/local_name_codec.h"
#include "platform/path_map.h"
#include "media/media_library.h"
#include "support/dispatch_harness.h"
#include "support/recording_channel.h"
#include "support/strict_xml.h"
#include "support/temp_home.h"
#include "wire/message_header.h"

namespace {

QByteArray TwoCounted(const QString& a, const QString& b)
{
    QByteArray out;
    ByteWriter w(out);
    w.CountedUtf16(a);
    w.CountedUtf16(b);
    return out;
}

// Three MPEG frames at 128 kbit/s: the file's size gives its length.
QByteArray Mp3Bytes(int frames = 300)
{
    QByteArray frame("\xFF\xFB\x90\x00", 4);
    frame.append(417 - 4, '\0');
    return frame.repeated(frames);
}

struct Record {
    QString path;
    double duration;
    std::uint64_t size;
    std::uint64_t lastWrite;
};

std::vector<Record> DecodeRecords(const QByteArray& payload)
{
    std::vector<Record> records;
    ByteReader r(payload);
    while (!r.AtEnd()) {
        const std::uint16_t n = r.U16();
        Record rec;
        const QByteArray path = QByteArray(reinterpret_cast<const char*>(r.Bytes(n).data()), n);
        EXPECT_TRUE(path.endsWith(QByteArray(2, '\0')));
        rec.path = utf16::FromBytesUpToZero(AsBytes(path));
        rec.duration = r.F64();
        rec.size = r.U64();
        rec.lastWrite = r.U64();
        records.push_back(rec);
    }
    return records;
}

QStringList DecodeNames(const QByteArray& payload)
{
    QStringList names;
    ByteReader r(payload);
    while (!r.AtEnd()) {
        const std::uint16_t n = r.U16();
        const QByteArray name = QByteArray(reinterpret_cast<const char*>(r.Bytes(n).data()), n);
        EXPECT_TRUE(name.endsWith(QByteArray(2, '\0')));
        names << utf16::FromBytesUpToZero(AsBytes(name));
    }
    return names;
}

QStringList Paths(const std::vector<Record>& records)
{
    QStringList paths;
    for (const Record& r : records) paths << r.path;
    return paths;
}

class MediaRequestsTest : public ::testing::Test {
protected:
    MediaRequestsTest()
        : drives_({DriveInfo{'C', home_.Root(), DriveType::Fixed}}),
          log_(home_.Path(QStringLiteral("test.log"))),
          agent_(log_),
          dispatcher_(agent_)
    {
        QDir().mkpath(home_.Path(QStringLiteral("Music/Playlists")));
    }

    RecordedMessage Send(std::uint16_t code, const QByteArray& payload = {})
    {
        RecordingChannel channel;
        dispatcher_.DispatchCommand(code, 1, AsBytes(payload), channel);
        EXPECT_EQ(channel.messages.size(), 1u);
        return channel.messages.empty() ? RecordedMessage{} : channel.messages.front();
    }
    bool Ok(std::uint16_t code, const QByteArray& payload = {})
    {
        return Send(code, payload).code == code + 1;
    }
    std::vector<Record> PlaylistItems(const QString& name)
    {
        const auto reply = Send(AS_GET_PLAYLIST_ITEMS, Utf16z(name));
        EXPECT_EQ(reply.code, AS_GET_PLAYLIST_ITEMS + 1);
        return DecodeRecords(reply.payload);
    }
    std::vector<Record> Library()
    {
        const auto reply = Send(AS_GET_MEDIA_LIST);
        EXPECT_EQ(reply.code, AS_GET_MEDIA_LIST + 1);
        return DecodeRecords(reply.payload);
    }
    QStringList Playlists()
    {
        const auto reply = Send(AS_GET_PLAYLISTS);
        EXPECT_EQ(reply.code, AS_GET_PLAYLISTS + 1);
        return DecodeNames(reply.payload);
    }
    void Write(const QString& rel, const QByteArray& bytes) const { home_.WriteFile(rel, bytes); }
    QString PlaylistFile(const QString& name) const
    {
        return QString::fromUtf8(
            home_.ReadFile(QStringLiteral("Music/Playlists/") + name).value_or("<missing>"));
    }

    TempHome home_;
    ScopedDriveTableForTesting drives_;
    LogFile log_;
    Agent agent_;
    Dispatcher dispatcher_;
};

TEST_F(MediaRequestsTest, RepliesHaveTheDocumentedLayout)
{
    // No playlist and an empty library: empty payloads.
    EXPECT_TRUE(Send(AS_GET_PLAYLISTS).payload.isEmpty());
    EXPECT_TRUE(Send(AS_GET_MEDIA_LIST).payload.isEmpty());

    // A name of three characters: its count 8, six bytes of name, two zero bytes.
    EXPECT_TRUE(Ok(AS_ADD_PLAYLISTS, utf16::Bytes(QStringLiteral("Mix"))));
    EXPECT_EQ(Send(AS_GET_PLAYLISTS).payload, QByteArray::fromHex("08004d0069007800"
                                                                  "0000"));

    // A path of 20 code units makes a record of 68 bytes: N = 42, path, terminator, 24 bytes.
    Write(QStringLiteral("Music/abcdefg.mp3"), Mp3Bytes());
    const auto reply = Send(AS_GET_MEDIA_LIST);
    ASSERT_EQ(reply.payload.size(), 68);
    ByteReader r(reply.payload);
    EXPECT_EQ(r.U16(), 42);
    EXPECT_EQ(r.Utf16(40), QStringLiteral("C:\\Music\\abcdefg.mp3"));
    EXPECT_EQ(r.U16(), 0);
    EXPECT_DOUBLE_EQ(r.F64(), 417 * 300 * 8 / 128000.0);
    EXPECT_EQ(r.U64(), 417u * 300);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(home_.Path(QStringLiteral("Music/abcdefg.mp3"))).constData(), &st), 0);
    EXPECT_EQ(r.U64(), static_cast<std::uint64_t>(st.st_mtim.tv_sec + 11644473600) * 10000000 +
                           st.st_mtim.tv_nsec / 100);

    // The music folder in the peer's form, without terminator.
    EXPECT_EQ(Send(AS_GET_MUSIC_DIR).payload, utf16::Bytes(QStringLiteral("C:\\Music")));
}

TEST_F(MediaRequestsTest, PlaylistsAreCreatedFilledRenamedAndDeleted)
{
    Write(QStringLiteral("Music/a.mp3"), Mp3Bytes());
    Write(QStringLiteral("Music/Artist/b.mp3"), Mp3Bytes(10));
    ASSERT_TRUE(Ok(AS_ADD_PLAYLISTS, utf16::Bytes(QStringLiteral("A Rather Long Name"))));
    // Creating it again leaves the one there.
    ASSERT_TRUE(Ok(AS_ADD_PLAYLISTS, utf16::Bytes(QStringLiteral("A Rather Long Name"))));
    EXPECT_EQ(Playlists(), QStringList{QStringLiteral("A Rather Long Name")});

    // The peer's '/' become '\'; the file is written relative to the playlist, as the player does.
    ASSERT_TRUE(Ok(AS_ADD_PLAYLIST_ITEM,
                   TwoCounted(QStringLiteral("A Rather Long Name"), QStringLiteral("C:/Music/a.mp3"))));
    ASSERT_TRUE(Ok(AS_ADD_PLAYLIST_ITEM, TwoCounted(QStringLiteral("A Rather Long Name"),
                                                    QStringLiteral("C:/Music/Artist/b.mp3"))));
    const QString file = PlaylistFile(QStringLiteral("A Rather Long Name.wpl"));
    EXPECT_TRUE(file.startsWith(QLatin1String("<?wpl version=\"1.0\"?>")));
    EXPECT_TRUE(file.contains(QLatin1String("<media src=\"..\\a.mp3\"")));
    EXPECT_TRUE(file.contains(QLatin1String("<media src=\"..\\Artist\\b.mp3\"")));

    // Playlist items travel with '/', library items with '\'.
    EXPECT_EQ(Paths(PlaylistItems(QStringLiteral("A Rather Long Name"))),
              (QStringList{QStringLiteral("C:/Music/a.mp3"), QStringLiteral("C:/Music/Artist/b.mp3")}));
    // In the order they joined the library.
    EXPECT_EQ(Paths(Library()),
              (QStringList{QStringLiteral("C:\\Music\\a.mp3"), QStringLiteral("C:\\Music\\Artist\\b.mp3")}));

    // Renamed from a long name to exactly the shorter one; the file follows.
    ASSERT_TRUE(
        Ok(AS_RENAME_PLAYLIST, TwoCounted(QStringLiteral("A Rather Long Name"), QStringLiteral("Short"))));
    EXPECT_EQ(Playlists(), QStringList{QStringLiteral("Short")});
    EXPECT_TRUE(home_.Exists(QStringLiteral("Music/Playlists/Short.wpl")));
    EXPECT_FALSE(home_.Exists(QStringLiteral("Music/Playlists/A Rather Long Name.wpl")));
    EXPECT_EQ(PlaylistItems(QStringLiteral("Short")).size(), 2u);
    // No playlist of the old name is no failure.
    EXPECT_TRUE(Ok(AS_RENAME_PLAYLIST, TwoCounted(QStringLiteral("nothing"), QStringLiteral("else"))));

    EXPECT_TRUE(
        Ok(AS_DEL_PLAYLIST_ITEM, TwoCounted(QStringLiteral("Short"), QStringLiteral("C:/Music/a.mp3"))));
    EXPECT_EQ(Paths(PlaylistItems(QStringLiteral("Short"))),
              QStringList{QStringLiteral("C:/Music/Artist/b.mp3")});
    EXPECT_TRUE(Ok(AS_DEL_PLAYLISTS, Utf16z(QStringLiteral("Short"))));
    EXPECT_TRUE(Playlists().isEmpty());
    EXPECT_FALSE(home_.Exists(QStringLiteral("Music/Playlists/Short.wpl")));
}

TEST_F(MediaRequestsTest, FailuresAnswerAsErrorAndChangeNothingOutside)
{
    Write(QStringLiteral("Music/a.mp3"), Mp3Bytes());
    struct Case {
        const char* what;
        std::uint16_t code;
        QByteArray payload;
    };
    const Case cases[] = {
        // The file joins the library, but there is no playlist of that name.
        {"no such playlist", AS_ADD_PLAYLIST_ITEM,
         TwoCounted(QStringLiteral("none"), QStringLiteral("C:/Music/a.mp3"))},
        {"no such file", AS_ADD_PLAYLIST_ITEM,
         TwoCounted(QStringLiteral("none"), QStringLiteral("C:/Music/x.mp3"))},
        {"removing from no playlist", AS_DEL_PLAYLIST_ITEM,
         TwoCounted(QStringLiteral("none"), QStringLiteral("C:/a"))},
        {"a name that leaves the folder", AS_ADD_PLAYLISTS, utf16::Bytes(QStringLiteral("../../escape"))},
        {"an empty name", AS_ADD_PLAYLISTS, QByteArray()},
        {"renamed into another folder", AS_RENAME_PLAYLIST,
         TwoCounted(QStringLiteral("x"), QStringLiteral("a/b"))},
        // Counted texts that claim more than the request holds, or half a code unit.
        {"first count too long", AS_RENAME_PLAYLIST, QByteArray::fromHex("1000410042")},
        {"second count too long", AS_ADD_PLAYLIST_ITEM, QByteArray::fromHex("02004100fe7f4100")},
        {"odd count", AS_DEL_PLAYLIST_ITEM, QByteArray::fromHex("030041004200020042")},
        {"no second text", AS_RENAME_PLAYLIST, QByteArray::fromHex("02004100")},
        {"trashing a missing file", AS_DEL_MEDIA, Utf16z(QStringLiteral("C:\\Music\\gone.mp3"))},
        {"trashing a folder", AS_DEL_MEDIA, Utf16z(QStringLiteral("C:\\Music"))},
        {"trashing on no drive", AS_DEL_MEDIA, Utf16z(QStringLiteral("Q:\\a.mp3"))},
    };
    for (const Case& c : cases) {
        const auto reply = Send(c.code, c.payload);
        EXPECT_EQ(reply.code, AS_ERROR) << c.what;
        EXPECT_TRUE(reply.payload.isEmpty()) << c.what;
    }
    EXPECT_TRUE(home_.Exists(QStringLiteral("Music/a.mp3")));
    EXPECT_EQ(QDir(home_.Path(QStringLiteral("Music/Playlists")))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
    EXPECT_FALSE(home_.Exists(QStringLiteral("escape.wpl")));
    // Each failure left its line in the log.
    const QString log = QString::fromUtf8(home_.ReadFile(QStringLiteral("test.log")).value_or(""));
    EXPECT_TRUE(log.contains(QLatin1String("AS_RENAME_PLAYLIST...error")));
    EXPECT_TRUE(log.contains(QLatin1String("no playlist named none")));
}

TEST_F(MediaRequestsTest, UnreadableItemsAreLeftOutOfEveryList)
{
    Write(QStringLiteral("Music/here.mp3"), Mp3Bytes());
    Write(QStringLiteral("Music/Playlists/SR15.mp3"), Mp3Bytes());
    // Made by another program: a missing file first, a share, a stream, a relative entry, and
    // the same file twice in a row.
    Write(QStringLiteral("Music/Playlists/Old.wpl"),
          "<?wpl version=\"1.0\"?>\n<smil><head><title>Old</title></head><body><seq>"
          "<media src=\"C:\\Music\\missing.mp3\"/><media src=\"\\\\server\\vol\\x.mp3\"/>"
          "<media src=\"http://radio.example/stream\"/><media src=\"SR15.mp3\"/>"
          "<media src=\"..\\here.mp3\"/><media src=\"C:\\Music\\here.mp3\"/></seq></body></smil>");
    // The rest of the list follows a missing file; the reply is a success.
    EXPECT_EQ(Paths(PlaylistItems(QStringLiteral("Old"))),
              (QStringList{QStringLiteral("C:/Music/Playlists/SR15.mp3"), QStringLiteral("C:/Music/here.mp3"),
                           QStringLiteral("C:/Music/here.mp3")}));

    // Both entries of the file go, whichever way they were written, and the request succeeds.
    EXPECT_TRUE(
        Ok(AS_DEL_PLAYLIST_ITEM, TwoCounted(QStringLiteral("Old"), QStringLiteral("C:/Music/here.mp3"))));
    EXPECT_EQ(Paths(PlaylistItems(QStringLiteral("Old"))),
              QStringList{QStringLiteral("C:/Music/Playlists/SR15.mp3")});
    EXPECT_TRUE(
        PlaylistFile(QStringLiteral("Old.wpl")).contains(QLatin1String("http://radio.example/stream")));

    // A library file deleted behind the library's back is left out.
    EXPECT_EQ(Library().size(), 2u);
    ASSERT_TRUE(QFile::remove(home_.Path(QStringLiteral("Music/here.mp3"))));
    EXPECT_EQ(Paths(Library()), QStringList{QStringLiteral("C:\\Music\\Playlists\\SR15.mp3")});
}

TEST_F(MediaRequestsTest, OnlyListPlaylistsAreListedIncludingThePlayersOwnFiles)
{
    for (const char* name :
         {"Bach Organ Works (doc example, WMP 11).wpl", "MyStreams (WMP 12, hand-edited).wpl"}) {
        QFile fixture(QStringLiteral(TWINLARK_TEST_DATA "/wmp-playlists/") + QString::fromUtf8(name));
        ASSERT_TRUE(fixture.open(QIODevice::ReadOnly));
        Write(QStringLiteral("Music/Playlists/") + QString::fromUtf8(name), fixture.readAll());
    }
    Write(QStringLiteral("Music/Playlists/Auto.wpl"),
          "<?wpl "
          "version=\"1.0\"?><smil><head><title>Auto</title></head><body><seq><smartPlaylist/></seq></body></"
          "smil>");
    Write(QStringLiteral("Music/Playlists/Other.m3u"), "#EXTM3U\n");
    Write(QStringLiteral("Music/Playlists/Broken.wpl"), "<smil><head>");
    Write(QStringLiteral("Music/Playlists/Untitled.wpl"),
          "<?wpl version=\"1.0\"?><smil><body><seq/></body></smil>");
    EXPECT_EQ(Playlists(), (QStringList{QStringLiteral("Bach Organ Works"), QStringLiteral("MyStreams"),
                                        QStringLiteral("Untitled")}));
    // The shares and streams of these lists are nothing this computer can read.
    EXPECT_TRUE(PlaylistItems(QStringLiteral("MyStreams")).empty());
    Write(QStringLiteral("Music/Playlists/SR15.mp3"), Mp3Bytes());
    EXPECT_EQ(Paths(PlaylistItems(QStringLiteral("Bach Organ Works"))),
              QStringList{QStringLiteral("C:/Music/Playlists/SR15.mp3")});
}

TEST_F(MediaRequestsTest, DeletedMediaGoesToTheTrash)
{
    Write(QStringLiteral("Music/a.mp3"), Mp3Bytes());
    Write(QStringLiteral("Music/b.mp3"), Mp3Bytes());
    Write(QStringLiteral("elsewhere/c.mp3"), Mp3Bytes());
    ASSERT_TRUE(Ok(AS_ADD_PLAYLISTS, utf16::Bytes(QStringLiteral("One"))));
    ASSERT_TRUE(Ok(AS_ADD_PLAYLISTS, utf16::Bytes(QStringLiteral("Two"))));
    for (const char* list : {"One", "Two", "Two"})
        ASSERT_TRUE(Ok(AS_ADD_PLAYLIST_ITEM,
                       TwoCounted(QString::fromLatin1(list), QStringLiteral("C:/Music/a.mp3"))));
    ASSERT_TRUE(
        Ok(AS_ADD_PLAYLIST_ITEM, TwoCounted(QStringLiteral("Two"), QStringLiteral("C:/Music/b.mp3"))));

    EXPECT_TRUE(Ok(AS_DEL_MEDIA, Utf16z(QStringLiteral("C:\\Music\\a.mp3"))));
    EXPECT_FALSE(home_.Exists(QStringLiteral("Music/a.mp3")));
    EXPECT_TRUE(home_.Exists(QStringLiteral(".local/share/Trash/files/a.mp3")));
    EXPECT_TRUE(home_.Exists(QStringLiteral(".local/share/Trash/info/a.mp3.trashinfo")));
    EXPECT_TRUE(PlaylistItems(QStringLiteral("One")).empty());
    EXPECT_EQ(Paths(PlaylistItems(QStringLiteral("Two"))), QStringList{QStringLiteral("C:/Music/b.mp3")});
    EXPECT_EQ(Paths(Library()), QStringList{QStringLiteral("C:\\Music\\b.mp3")});

    // In no playlist and not in the library: still moved to the trash.
    EXPECT_TRUE(Ok(AS_DEL_MEDIA, Utf16z(QStringLiteral("C:\\elsewhere\\c.mp3"))));
    EXPECT_TRUE(home_.Exists(QStringLiteral(".local/share/Trash/files/c.mp3")));

    // A name that is not UTF-8 goes as itself; the file UTF-8 would make of its text stays.
    const QByteArray music = QFile::encodeName(home_.Path(QStringLiteral("Music"))) + '/';
    for (const QByteArray name : {QByteArray("bad\xff.mp3"), QByteArray("bad\xef\xbf\xbd.mp3")}) {
        const int fd = ::open((music + name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray mp3 = Mp3Bytes();
        ASSERT_EQ(::write(fd, mp3.constData(), static_cast<size_t>(mp3.size())), mp3.size());
        ::close(fd);
    }
    EXPECT_TRUE(Ok(AS_DEL_MEDIA, Utf16z(QStringLiteral("C:\\Music\\") +
                                        PeerNameOfLocalName(DecodeLocalPath("bad\xff.mp3")))));
    struct stat st {};
    EXPECT_NE(lstat((music + "bad\xff.mp3").constData(), &st), 0);
    EXPECT_EQ(lstat((music + "bad\xef\xbf\xbd.mp3").constData(), &st), 0);
}

TEST_F(MediaRequestsTest, RemovedFromTheLibraryStaysOutUntilAddedAgain)
{
    Write(QStringLiteral("Music/a.mp3"), Mp3Bytes());
    Write(QStringLiteral("Music/clip.mp4"), QByteArray("\0\0\0\x20"
                                                       "ftypisom",
                                                       12));
    Write(QStringLiteral("Music/notes.txt"), "not media");
    EXPECT_EQ(Paths(Library()),
              (QStringList{QStringLiteral("C:\\Music\\a.mp3"), QStringLiteral("C:\\Music\\clip.mp4")}));
    EXPECT_EQ(WmpRemoveFromLibrary(QStringLiteral("C:\\Music\\a.mp3")), kWmpOk);
    EXPECT_EQ(Paths(Library()), QStringList{QStringLiteral("C:\\Music\\clip.mp4")});
    EXPECT_TRUE(home_.Exists(QStringLiteral("Music/a.mp3")));
    ASSERT_TRUE(Ok(AS_ADD_PLAYLISTS, utf16::Bytes(QStringLiteral("Back"))));
    ASSERT_TRUE(
        Ok(AS_ADD_PLAYLIST_ITEM, TwoCounted(QStringLiteral("Back"), QStringLiteral("C:/Music/a.mp3"))));
    EXPECT_EQ(Paths(Library()),
              (QStringList{QStringLiteral("C:\\Music\\clip.mp4"), QStringLiteral("C:\\Music\\a.mp3")}));
}

TEST_F(MediaRequestsTest, DeepPlaylistsAreLeftOutAndTheIndexCarriesEveryName)
{
    const QByteArray nested = QByteArray("<x>").repeated(100000) + QByteArray("</x>").repeated(100000);
    Write(QStringLiteral("Music/Playlists/Deep.wpl"),
          "<?wpl version=\"1.0\"?><smil><head><title>Deep</title></head><body><seq>" + nested + "</seq></body></smil>");
    ASSERT_TRUE(Ok(AS_ADD_PLAYLISTS, utf16::Bytes(QStringLiteral("Mix"))));
    EXPECT_EQ(Playlists(), QStringList{QStringLiteral("Mix")});

    // A name XML cannot carry stays one entry of the index, check after check.
    Write(QStringLiteral("Music/odd\x01.mp3"), Mp3Bytes());
    ASSERT_EQ(Library().size(), 1u);
    const std::vector<Record> again = Library();
    ASSERT_EQ(again.size(), 1u);
    const auto index = home_.ReadFile(QStringLiteral(".local/share/TwinLark/MediaLibrary.xml"));
    ASSERT_TRUE(index.has_value());
    EXPECT_EQ(StrictXmlError(*index), QString());
    // A playlist cannot name it.
    EXPECT_EQ(Send(AS_ADD_PLAYLIST_ITEM, TwoCounted(QStringLiteral("Mix"), again[0].path)).code, AS_ERROR);
    EXPECT_EQ(StrictXmlError(home_.ReadFile(QStringLiteral("Music/Playlists/Mix.wpl")).value_or("")), QString());
}

TEST_F(MediaRequestsTest, SizesBeyondFourGibibytesAreSentWhole)
{
    QFile big(home_.Path(QStringLiteral("Music/big.avi")));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(5LL << 30));  // sparse: no blocks written
    big.close();
    const auto records = Library();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].size, 5ULL << 30);
    EXPECT_EQ(records[0].duration, 0.0);
}

TEST_F(MediaRequestsTest, LongListsTravelInPieces)
{
    const QString longName(120, QLatin1Char('m'));
    for (int i = 0; i < 80; ++i) {
        Write(QStringLiteral("Music/%1%2.mp3").arg(longName).arg(i, 3, 10, QLatin1Char('0')), Mp3Bytes(2));
        ASSERT_TRUE(Ok(AS_ADD_PLAYLISTS,
                       utf16::Bytes(QStringLiteral("%1%2").arg(longName).arg(i, 3, 10, QLatin1Char('0')))));
    }
    for (const std::uint16_t code : {AS_GET_PLAYLISTS, AS_GET_MEDIA_LIST}) {
        const auto reply = Send(code);
        EXPECT_EQ(reply.code, code + 1);
        EXPECT_TRUE(reply.longReply);
        EXPECT_GT(static_cast<std::size_t>(reply.payload.size()), kMaxPayloadBytes);
    }
    EXPECT_EQ(DecodeNames(Send(AS_GET_PLAYLISTS).payload).size(), 80);
    EXPECT_EQ(DecodeRecords(Send(AS_GET_MEDIA_LIST).payload).size(), 80u);
}

TEST(PeerPathOfSourceTest, EntriesOfPlaylistFiles)
{
    ScopedDriveTableForTesting drives({DriveInfo{'C', QStringLiteral("/home/u"), DriveType::Fixed},
                                       DriveInfo{'D', QStringLiteral("/media/stick"), DriveType::Removable}});
    const QString dir = QStringLiteral("/home/u/Music/Playlists");
    struct Case {
        const char* source;
        const char* peer;
    };
    for (const Case& c :
         {Case{"..\\Artist\\a.mp3", "C:\\Music\\Artist\\a.mp3"}, Case{"b.mp3", "C:\\Music\\Playlists\\b.mp3"},
          Case{"D:\\x.mp3", "D:\\x.mp3"}, Case{"d:/x.mp3", "d:\\x.mp3"},
          Case{"/media/stick/y.mp3", "D:\\y.mp3"}, Case{"file:///home/u/z%20z.mp3", "C:\\z z.mp3"},
          Case{"\\\\server\\share\\a.mp3", "\\\\server\\share\\a.mp3"},
          Case{"http://host/stream", "http://host/stream"}, Case{"..\\..\\up.mp3", "C:\\up.mp3"},
          // Above every drive: no file of this computer.
          Case{"..\\..\\..\\..\\..\\up.mp3", "..\\..\\..\\..\\..\\up.mp3"}})
        EXPECT_EQ(PeerPathOfSource(QString::fromUtf8(c.source), dir), QString::fromUtf8(c.peer)) << c.source;
}

}  // namespace
