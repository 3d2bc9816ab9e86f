#include "media/wpl_playlist.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/errors.h"
#include "support/golden_files.h"
#include "support/strict_xml.h"

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

// Every playlist of tests/data/wmp-playlists is written back as its ".expected" file says.
class WplRewrite : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(WplRewrite, WritesBackWhatItsExpectedFileHolds)
{
    ExpectGolden(GetParam(), WplPlaylist::Parse(GetParam().Input()).Serialize());
}

INSTANTIATE_TEST_SUITE_P(Files, WplRewrite, ::testing::ValuesIn(GoldenCases("wmp-playlists", ".wpl")),
                         GoldenCaseName);

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

// The player writes CR LF, and some writers open with a byte-order mark: an edit keeps both, so
// the only difference from the same edit of an LF file is the line ends and the mark.
TEST(WplPlaylistTest, EditsKeepTheFilesLineEndsAndByteOrderMark)
{
    const QByteArray lf = Fixture("Bach Organ Works (doc example, WMP 11).wpl");
    const QByteArray bom("\xEF\xBB\xBF");
    const QByteArray crlf = QByteArray(lf).replace("\n", "\r\n");
    const QString text = QString::fromUtf8(crlf);
    const QByteArray utf16 = QByteArray("\xFF\xFE") +
                             QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    const auto edit = [](const QByteArray& bytes) {
        WplPlaylist list = WplPlaylist::Parse(bytes);
        list.SetTitle(u"Organ\nWorks"_qs);
        list.Append(u"..\\Rock & Roll\\it's.mp3"_qs);
        EXPECT_EQ(list.RemoveWhere([](const QString& s) { return s.endsWith(QLatin1String("audio02.mp3")); }), 1);
        return list.Serialize();
    };
    const QByteArray editedLf = edit(lf);
    ASSERT_TRUE(editedLf.contains('\n'));

    const struct {
        const char* what;
        QByteArray input;
        QByteArray lineEnd;
        bool mark;
    } cases[] = {
        {"LF", lf, "\n", false},
        {"CR LF", crlf, "\r\n", false},
        {"CR LF with a mark", bom + crlf, "\r\n", true},
        {"CR", QByteArray(lf).replace('\n', '\r'), "\r", false},
        {"UTF-16 with a mark and CR LF", utf16, "\r\n", true},
    };
    for (const auto& c : cases) {
        const QByteArray out = edit(c.input);
        EXPECT_EQ(out.startsWith(bom), c.mark) << c.what;
        QByteArray asLf = c.mark ? out.mid(bom.size()) : out;
        asLf.replace(c.lineEnd, "\n");
        EXPECT_EQ(asLf, editedLf) << c.what;
        EXPECT_EQ(StrictXmlError(out), QString()) << c.what;
        const WplPlaylist again = WplPlaylist::Parse(out);
        EXPECT_EQ(again.Title(), u"Organ\nWorks"_qs) << c.what;
        EXPECT_EQ(again.Sources().size(), 3) << c.what;
    }

    // The same through the file the player reads.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Bach.wpl"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bom + crlf);
    }
    WplPlaylist list = WplPlaylist::Load(path);
    list.Append(QStringLiteral("SR16.mp3"));
    list.Save(path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray saved = f.readAll();
    EXPECT_TRUE(saved.startsWith(bom + "<?wpl version=\"1.0\"?>\r\n<smil>\r\n")) << saved.toStdString();
    EXPECT_EQ(saved.count('\n'), saved.count("\r\n"));
    EXPECT_TRUE(saved.contains("<media src=\"SR16.mp3\" />\r\n"));
    EXPECT_EQ(StrictXmlError(saved), QString());
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

// The user's file is rewritten in place: its permissions stay as they were.
TEST(WplPlaylistTest, SavingKeepsTheFilesMode)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plain = dir.filePath(QStringLiteral("Private.wpl"));
    const QString group = dir.filePath(QStringLiteral("Shared.wpl"));
    for (const QString& path : {plain, group}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(WplPlaylist::New(QStringLiteral("old")).Serialize());
    }
    ASSERT_EQ(::chmod(QFile::encodeName(plain).constData(), 0600), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(group).constData(), 0640), 0);

    // A new playlist is readable by all whatever the umask, as the player makes them.
    const QString fresh = dir.filePath(QStringLiteral("New.wpl"));
    const mode_t umaskBefore = ::umask(077);
    WplPlaylist::New(QStringLiteral("new")).Save(fresh);
    ::umask(umaskBefore);

    const struct {
        QString saved;
        QString holder;  // the file that must carry the new content
        mode_t mode;
    } cases[] = {{plain, plain, 0600}, {group, group, 0640}, {fresh, fresh, 0644}};
    for (const auto& c : cases) {
        WplPlaylist list = WplPlaylist::Load(c.saved);
        list.SetTitle(QStringLiteral("new"));
        list.Save(c.saved);
        EXPECT_EQ(WplPlaylist::Load(c.holder).Title(), QStringLiteral("new")) << c.saved.toStdString();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(c.holder).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode) << c.saved.toStdString();
    }
}

// A playlist the user links into the playlists folder is written where the link points; the
// link stays.
TEST(WplPlaylistTest, SavingWritesThroughALink)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString real = dir.filePath(QStringLiteral("elsewhere/Mine.wpl"));
    const QString link = dir.filePath(QStringLiteral("Linked.wpl"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("elsewhere"))));
    WplPlaylist::New(QStringLiteral("old")).Save(real);
    ASSERT_EQ(::symlink(QFile::encodeName(real).constData(), QFile::encodeName(link).constData()), 0);

    WplPlaylist list = WplPlaylist::Load(link);
    list.SetTitle(QStringLiteral("new"));
    list.Save(link);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(WplPlaylist::Load(real).Title(), QStringLiteral("new"));
}

}  // namespace

TEST(WplPlaylistTest, WritesOnlyWhatStrictReadersAcceptAndRefusesDeepFiles)
{
    WplPlaylist list = WplPlaylist::New(u"Mix\vTape\x01"_qs);
    EXPECT_EQ(list.Title(), u"Mix\nTape"_qs);
    // A path without its odd characters would name another file.
    EXPECT_THROW(list.Append(u"..\\a\x01.mp3"_qs), AgentError);
    list.Append(u"..\\a.mp3"_qs);
    EXPECT_EQ(StrictXmlError(list.Serialize()), QString());
    // From another writer: a reference XML forbids is not written back.
    const WplPlaylist other = WplPlaylist::Parse(
        "<?wpl version=\"1.0\"?><smil><head><title>a&#1;b</title></head><body><seq/></body></smil>");
    EXPECT_EQ(StrictXmlError(other.Serialize()), QString());

    const QByteArray nested = QByteArray("<x>").repeated(100000) + QByteArray("</x>").repeated(100000);
    EXPECT_THROW(WplPlaylist::Parse("<smil><body><seq><media src=\"a\">" + nested + "</media></seq></body></smil>"),
                 MalformedData);
}
