#include "stores/internet_explorer/internet_explorer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include "common/bookmark_checksums.h"
#include "common/bookmark_depth.h"
#include "common/crc32.h"
#include "common/errors.h"
#include "support/favorites_tree.h"
#include "support/temp_home.h"

namespace {

class InternetExplorerTest : public ::testing::Test {
protected:
    QString Fav(const QString& relative) const { return favorites_ + QLatin1Char('/') + relative; }
    QByteArray Bytes(const QString& relative) const
    {
        return home_.ReadFile(QStringLiteral("Favorites/") + relative).value_or("<missing>");
    }
    bool Exists(const QString& relative) const
    {
        return home_.Exists(QStringLiteral("Favorites/") + relative);
    }

    // Every file and folder below the Favorites folder with its content, to show nothing moved.
    QStringList Snapshot() const
    {
        QStringList all;
        QDirIterator it(favorites_, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            all << path.mid(favorites_.size()) + QLatin1Char('=') +
                       (f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().toHex()) : QString());
        }
        all.sort();
        return all;
    }

    TempHome home_;
    QString favorites_ = MakeFavoritesTree(home_);
    CInternetExplorer store_;  // follows the temporary home's Favorites folder
};

TEST_F(InternetExplorerTest, ListsEveryFavouriteWithItsChecksumsAndIdentifier)
{
    EXPECT_EQ(store_.FavoritesFolder(), favorites_);
    const std::vector<UrlFileEntry> entries = store_.GetIDs();
    QStringList listed;
    for (const UrlFileEntry& e : entries) {
        listed << e.key.mid(favorites_.size() + 1);
        QFile f(e.key);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(e.crc, Crc32(f.readAll())) << e.key.toStdString();
        EXPECT_EQ(e.idLow, Crc32OfText(e.key));
        EXPECT_EQ(e.idHigh, Crc32OfInt(static_cast<std::uint32_t>(e.key.size())));
    }
    // NOTES.URL (capitals) and readme.txt are not favourites; the folder x.url is walked, not read.
    EXPECT_EQ(listed, FavoritesTreeFiles());
}

TEST_F(InternetExplorerTest, NoFavoritesFolderMeansNoFavourites)
{
    QDir(favorites_).removeRecursively();
    EXPECT_TRUE(store_.GetIDs().empty());
    store_.DeleteAll();
}

TEST_F(InternetExplorerTest, UnreadableFavouriteFailsTheListing)
{
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    ASSERT_TRUE(QFile::setPermissions(Fav("Bing.url"), QFileDevice::WriteOwner));
    // Leaving it out would report it deleted and have the peer delete its copy.
    EXPECT_THROW(store_.GetIDs(), AgentError);
}

TEST_F(InternetExplorerTest, GetReadsPathNameAndTheFirstUrlLine)
{
    struct Case {
        QString file;
        BookmarkRecord expected;
    };
    const Case cases[] = {
        {"Bing.url", {"", "Bing", "http://go.microsoft.com/fwlink/p/?LinkId=255142"}},
        {"Links/Suggested Sites.url",
         {"Links", "Suggested Sites", "https://ieonline.microsoft.com/#ieslice"}},
        // BASEURL= lines come first; LF line ends.
        {"Featured wallpapers.url", {"", "Featured wallpapers", "http://www.wallpaperup.com/"}},
        {QString::fromUtf8("Hard/CNC Milling/Комплектующие/Ладога.url"),
         {QString::fromUtf8("Hard\\CNC Milling\\Комплектующие"), QString::fromUtf8("Ладога"),
          "http://ladogaprof.ru/index.php/katalogi"}},
        // One byte per character: 0xE8 is è.
        {QString::fromUtf8("Café/Crème brûlée.url"),
         {QString::fromUtf8("Café"), QString::fromUtf8("Crème brûlée"),
          QString::fromUtf8("http://example.org/crème")}},
        {"x.url/Inside.url", {"x.url", "Inside", "http://example.org/inside"}},
    };
    for (const Case& c : cases) {
        BookmarkRecord record;
        store_.Get(Fav(c.file), record);
        EXPECT_EQ(record, c.expected) << c.file.toStdString();
    }

    BookmarkRecord untouched{"p", "n", "u"};
    store_.Get(Fav("No address.url"), untouched);
    EXPECT_EQ(untouched, (BookmarkRecord{"p", "n", "u"}));

    BookmarkRecord record;
    EXPECT_THROW(store_.Get(Fav("Gone.url"), record), AgentError);
}

TEST_F(InternetExplorerTest, AddCleansTheNameMakesFoldersAndNumbersClashes)
{
    const BookmarkRecord record{"Work/Tools", "A/B:C", QString::fromUtf8("http://example.org/é")};
    const QString first = store_.Add(record);
    const QString second = store_.Add(record);
    const QString third = store_.Add({"Work\\Tools\\", "A/B:C", "http://example.org/3"});
    EXPECT_EQ(first, Fav("Work/Tools/ABC.url"));
    EXPECT_EQ(second, Fav("Work/Tools/ABC (1).url"));
    EXPECT_EQ(third, Fav("Work/Tools/ABC (2).url"));
    EXPECT_EQ(Bytes("Work/Tools/ABC.url"), UrlFileBytes("http://example.org/\xe9"));
    EXPECT_EQ(Bytes("Work/Tools/ABC (2).url"), UrlFileBytes("http://example.org/3"));

    // A folder holding the name counts as taken too; at the root the name goes in Favorites.
    EXPECT_EQ(store_.Add({"", "x", "http://example.org/x"}), Fav("x (1).url"));
    EXPECT_EQ(store_.Add({"", "Bing", "http://example.org/b"}), Fav("Bing (1).url"));
    EXPECT_EQ(Bytes("Bing.url").size(), 219);
}

TEST_F(InternetExplorerTest, AddCreatesAMissingFavoritesFolder)
{
    QDir(favorites_).removeRecursively();
    EXPECT_EQ(store_.Add({"", "First", "http://example.org/"}), Fav("First.url"));
    EXPECT_EQ(Bytes("First.url"), UrlFileBytes("http://example.org/"));
}

TEST_F(InternetExplorerTest, RefusedRequestsTouchNoFile)
{
    const QStringList before = Snapshot();
    const BookmarkRecord refused[] = {
        {"..", "Escape", "http://example.org/"},
        {"Links/../../Escape", "Escape", "http://example.org/"},
        {"Links//Deep", "Escape", "http://example.org/"},
        {"/etc", "Escape", "http://example.org/"},
        {"\\Links", "Escape", "http://example.org/"},
        {"C:/Links", "Escape", "http://example.org/"},
        {"./Links", "Escape", "http://example.org/"},
        // No 8-bit form; checked before the folder New is made.
        {"New", "Euro", QString::fromUtf8("http://example.org/€")},
        {"New", "Broken", "http://example.org/\r\nIconFile=x"},
        // An unpaired surrogate would be stored as U+FFFD and read back as another name.
        {"New", QStringLiteral("Bing") + QChar(0xD800), "http://example.org/"},
        {"New", QString(QChar(0xDC00)), "http://example.org/"},
        {QStringLiteral("New") + QChar(0xD800), "Fine", "http://example.org/"},
        // Windows takes no control character in a name; neither does the store write one.
        {"New", QStringLiteral("\x01\x02"), "http://example.org/"},
        {"New", QStringLiteral("Tab\tName"), "http://example.org/"},
        {QStringLiteral("New/Bell\x07"), "Fine", "http://example.org/"},
        // Deeper than any store makes folders.
        {QStringLiteral("D/").repeated(kMaxBookmarkFolderDepth + 1), "Deep", "http://example.org/"},
    };
    for (const BookmarkRecord& r : refused) {
        EXPECT_THROW(store_.Add(r), AgentError) << r.path.toStdString() << " " << r.url.toStdString();
        EXPECT_THROW(store_.Edit(Fav("Bing.url"), r), AgentError) << r.path.toStdString();
    }
    // Keys that are not favourites of this folder.
    const QString outside = home_.Path("outside.url");
    home_.WriteFile("outside.url", "[InternetShortcut]\r\nURL=x\r\n");
    BookmarkRecord record;
    for (const QString& key : {outside, Fav("../outside.url"), Fav("Links/readme.txt"), favorites_}) {
        EXPECT_THROW(store_.Get(key, record), AgentError) << key.toStdString();
        EXPECT_THROW(store_.Edit(key, {"", "n", "http://example.org/"}), AgentError) << key.toStdString();
        EXPECT_THROW(store_.Delete(key), AgentError) << key.toStdString();
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(home_.Exists("outside.url"));
}

TEST_F(InternetExplorerTest, LinkedFolderBelowFavoritesLeadsNowhere)
{
    // A folder link inside Favorites that points elsewhere on the disk.
    QDir().mkpath(home_.Path("elsewhere"));
    home_.WriteFile("elsewhere/Target.url", "[InternetShortcut]\r\nURL=http://keep.example/\r\n");
    ASSERT_TRUE(QFile::link(home_.Path("elsewhere"), Fav("Linked")));
    const QStringList before = Snapshot();

    BookmarkRecord record;
    const BookmarkRecord through{"Linked", "New", "http://example.org/"};
    EXPECT_THROW(store_.Add(through), AgentError);
    EXPECT_THROW(store_.Add({"Linked/Deeper", "New", "http://example.org/"}), AgentError);
    EXPECT_THROW(store_.Edit(Fav("Bing.url"), through), AgentError);
    const QString behindLink = Fav("Linked/Target.url");
    EXPECT_THROW(store_.Get(behindLink, record), AgentError);
    EXPECT_THROW(store_.Edit(behindLink, {"", "Target", "http://changed.example/"}), AgentError);
    EXPECT_THROW(store_.Delete(behindLink), AgentError);

    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(home_.ReadFile("elsewhere/Target.url").value_or("<missing>"),
              QByteArray("[InternetShortcut]\r\nURL=http://keep.example/\r\n"));
    EXPECT_FALSE(home_.Exists("elsewhere/New.url"));
    EXPECT_FALSE(home_.Exists("elsewhere/Deeper"));
}

TEST_F(InternetExplorerTest, EditInPlaceKeepsThePath)
{
    const QString deep = QString::fromUtf8("Hard/CNC Milling/Комплектующие/Ладога.url");
    // The folder path as Get gives it, with "/" instead, and a root favourite.
    struct Case {
        QString file;
        BookmarkRecord record;
    };
    const Case cases[] = {
        {"Links/Suggested Sites.url", {"Links", "Suggested Sites", "http://example.org/1"}},
        {deep,
         {QString::fromUtf8("Hard\\CNC Milling\\Комплектующие"), QString::fromUtf8("Ладога"),
          "http://example.org/2"}},
        {deep,
         {QString::fromUtf8("Hard/CNC Milling/Комплектующие"), QString::fromUtf8("Ладога"),
          "http://example.org/3"}},
        {"Bing.url", {"", "Bing", "http://example.org/4"}},
    };
    for (const Case& c : cases) {
        QByteArray expected = Bytes(c.file);
        BookmarkRecord before;
        store_.Get(Fav(c.file), before);
        expected.replace("\nURL=" + before.url.toLatin1(), "\nURL=" + c.record.url.toLatin1());
        EXPECT_EQ(store_.Edit(Fav(c.file), c.record), Fav(c.file)) << c.file.toStdString();
        // Only the address line changes: icon, IDList and property sections stay.
        EXPECT_EQ(Bytes(c.file), expected) << c.file.toStdString();
    }
    EXPECT_TRUE(Bytes("Bing.url").contains("\r\nIconFile=%ProgramFiles%\\Internet Explorer\\Images\\bing.ico\r\n"));
    // A file without an address gets its line below the section's header.
    store_.Edit(Fav("No address.url"), {"", "No address", "http://example.org/n"});
    BookmarkRecord read;
    store_.Get(Fav("No address.url"), read);
    EXPECT_EQ(read.url, "http://example.org/n");
    EXPECT_EQ(store_.GetIDs().size(), FavoritesTreeFiles().size());

    // A favourite only its owner may read stays so.
    ASSERT_EQ(::chmod(QFile::encodeName(Fav("Bing.url")).constData(), 0600), 0);
    store_.Edit(Fav("Bing.url"), {"", "Bing", "http://example.org/5"});
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(Fav("Bing.url")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(InternetExplorerTest, EditThatRenamesOrMovesWritesTheNewFileAndRemovesTheOld)
{
    const QString moved =
        store_.Edit(Fav("Links/Suggested Sites.url"), {"Work/Sites", "Suggested", "http://example.org/s"});
    EXPECT_EQ(moved, Fav("Work/Sites/Suggested.url"));
    // The favourite moves with every line it had; only the address is new.
    EXPECT_EQ(Bytes("Work/Sites/Suggested.url"),
              "[InternetShortcut]\r\nURL=http://example.org/s\r\nIDList=\r\n"
              "IconFile=https://ieonline.microsoft.com/favicon.ico\r\nIconIndex=1\r\n"
              "[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n");
    EXPECT_FALSE(Exists("Links/Suggested Sites.url"));
    // A new favourite is the store's two lines.
    const QString added = store_.Add({"Work", "New", "http://example.org/new"});
    EXPECT_EQ(Bytes("Work/New.url"), UrlFileBytes("http://example.org/new"));
    EXPECT_EQ(added, Fav("Work/New.url"));

    // A name that is taken gets a number; the old file still goes.
    const QString renamed = store_.Edit(Fav("Featured wallpapers.url"), {"", "Bing", "http://example.org/w"});
    EXPECT_EQ(renamed, Fav("Bing (1).url"));
    EXPECT_FALSE(Exists("Featured wallpapers.url"));
    EXPECT_EQ(Bytes("Bing.url").size(), 219);
}

TEST_F(InternetExplorerTest, OnlyRegularFilesOfAFavouritesSizeAreRead)
{
    // A FIFO must fail at once, not wait for a writer that never comes.
    ASSERT_EQ(::mkfifo(QFile::encodeName(Fav("Pipe.url")).constData(), 0600), 0);
    home_.WriteFile("Favorites/Huge.url", "[InternetShortcut]\r\nURL=http://example.org/\r\n" + QByteArray(2 << 20, ' '));
    QStringList listed;
    for (const UrlFileEntry& e : store_.GetIDs()) listed << e.key;
    EXPECT_FALSE(listed.contains(Fav("Pipe.url")));
    EXPECT_TRUE(listed.contains(Fav("Huge.url"))) << "its checksum is read in pieces";
    const QStringList before = Snapshot();
    for (const char* name : {"Pipe.url", "Huge.url"}) {
        BookmarkRecord record;
        EXPECT_THROW(store_.Get(Fav(name), record), AgentError) << name;
        EXPECT_THROW(store_.Edit(Fav(name), {"", name, "http://example.org/e"}), AgentError) << name;
        EXPECT_THROW(store_.Edit(Fav(name), {"Elsewhere", name, "http://example.org/e"}), AgentError) << name;
    }
    EXPECT_THROW(store_.IDtoCRC32(Fav("Pipe.url")), AgentError);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(InternetExplorerTest, FailedMoveKeepsTheOldFavourite)
{
    // The new folder cannot be made (a file has its name), so the new file cannot be written.
    const QByteArray old = Bytes("Links/Suggested Sites.url");
    EXPECT_THROW(
        store_.Edit(Fav("Links/Suggested Sites.url"), {"Links/readme.txt", "S", "http://example.org/"}),
        AgentError);
    EXPECT_EQ(Bytes("Links/Suggested Sites.url"), old);
}

TEST_F(InternetExplorerTest, DeleteAndDeleteAll)
{
    store_.Delete(Fav("Bing.url"));
    EXPECT_FALSE(Exists("Bing.url"));
    store_.Delete(Fav("Bing.url"));  // already gone: no failure

    store_.DeleteAll();
    EXPECT_TRUE(store_.GetIDs().empty());
    // Folders and files that are not favourites stay.
    for (const char* kept :
         {"Links/NOTES.URL", "Links/readme.txt", "x.url", "Café", "Hard/CNC Milling/Комплектующие"})
        EXPECT_TRUE(Exists(QString::fromUtf8(kept))) << kept;
}

}  // namespace
