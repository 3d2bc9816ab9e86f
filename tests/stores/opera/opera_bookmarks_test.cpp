// Opera's bookmarks over a hotlist file in a temporary folder.
#include "stores/opera/opera_bookmarks.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "common/bookmark_checksums.h"

namespace {

const QByteArray kHeader = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";

QByteArray Url(const char* name, const char* uniqueId, const char* extra = "")
{
    return QByteArray("#URL\n\tID=7\n\tNAME=") + name + "\n\tURL=http://" + name + "/\n\tDESCRIPTION=about " +
           name + "\n\tUNIQUEID=" + uniqueId + "\n" + extra + "\n";
}

QString U(int n)
{
    return QStringLiteral("%1").arg(n, 32, 16, QLatin1Char('0')).toUpper();
}
QString IdOf(int n)
{
    return COperaBookmarks::OperaBookmarkId(U(n));
}

class OperaBookmarksTest : public ::testing::Test {
protected:
    QString Write(const QByteArray& bytes)
    {
        QFile f(path_);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path_;
    }
    QByteArray Read() const
    {
        QFile f(path_);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    std::vector<QString> Keys(COperaBookmarks& store)
    {
        std::vector<QString> keys;
        for (const UrlFileEntry& e : store.GetIDs()) keys.push_back(e.key);
        return keys;
    }

    QTemporaryDir dir_;
    QString path_ = dir_.filePath(QStringLiteral("bookmarks.adr"));
};

TEST(OperaBookmarkIdTest, HalvesAreXoredAsSignedDecimal)
{
    const struct {
        const char* uniqueId;
        const char* id;
    } cases[] = {
        {"00000000000000010000000000000003", "2"},
        {"FFFFFFFFFFFFFFFF0000000000000000", "-1"},
        {"ffffffffffffffff0000000000000000", "-1"},
        {"6CD2C3E04EC5457A8B763FB660E8AEB", "7234364414949576593"},  // Opera's own 31 digits
        {"0000000000000005", "5"},                                   // no second half
        {"XYZ0000000000000000000000000000A", "10"},                  // a half without digits is 0
        {"", "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(COperaBookmarks::OperaBookmarkId(QString::fromLatin1(c.uniqueId)),
                  QString::fromLatin1(c.id))
            << c.uniqueId;
    const QString fresh = COperaBookmarks::NewOperaUniqueId();
    EXPECT_EQ(fresh.size(), 32);
    EXPECT_EQ(fresh, fresh.toUpper());
}

// The peer's identifier names a bookmark only as the exact text its UNIQUEID gives; another
// spelling of the same number (or one past the 64 bits that wraps onto it) names none.
TEST_F(OperaBookmarksTest, OnlyTheExactIdentifierTextNamesABookmark)
{
    Write(kHeader + Url("five", "00000000000000000000000000000005") + Url("zero", "") +
          Url("minus one", "FFFFFFFFFFFFFFFF0000000000000000") + Url("largest", "7FFFFFFFFFFFFFFF0000000000000000") +
          Url("smallest", "80000000000000000000000000000000"));
    COperaBookmarks store(path_);
    store.AtSyncStart();
    const struct {
        const char* key;
        const char* name;  // nullptr: names no bookmark
    } cases[] = {
        {"5", "five"},
        {"0", "zero"},
        {"-1", "minus one"},
        {"9223372036854775807", "largest"},
        {"-9223372036854775808", "smallest"},
        {"05", nullptr},
        {"+5", nullptr},
        {" 5", nullptr},
        {"5 ", nullptr},
        {"5.0", nullptr},
        {"-0", nullptr},
        {"00", nullptr},
        {"", nullptr},
        {"-", nullptr},
        {"18446744073709551621", nullptr},  // 2^64 + 5
        {"9223372036854775808", nullptr},
        {"-9223372036854775809", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const QString key = QString::fromLatin1(c.key);
        BookmarkRecord r;
        if (!c.name) {
            EXPECT_EQ(store.IDtoCRC32(key), 0u);
            EXPECT_THROW(store.Get(key, r), AgentError);
            continue;
        }
        store.Get(key, r);
        EXPECT_EQ(r.name, QString::fromLatin1(c.name));
        EXPECT_EQ(store.IDtoCRC32(key), BookmarkCrc32(r.path, r.name, r.url));
    }
}

TEST_F(OperaBookmarksTest, TrashIsInvisibleAndKeptWhileFoldersMakeThePath)
{
    Write(kHeader + Url("top", qPrintable(U(1))) + "#FOLDER\n\tID=2\n\tNAME=Work\n\n" +
          Url("w", qPrintable(U(2))) + "#FOLDER\n\tNAME=Tools\n\n" + Url("t", qPrintable(U(3))) +
          "-\n\n-\n\n" + "#FOLDER\n\tNAME=Trash\n\tTRASH FOLDER=YES\n\n" + Url("gone", qPrintable(U(4))) +
          "-\n\n");
    const QByteArray before = Read();
    COperaBookmarks store(path_);
    store.AtSyncStart();
    EXPECT_EQ(Keys(store), (std::vector<QString>{IdOf(1), IdOf(2), IdOf(3)}));

    BookmarkRecord r;
    store.Get(IdOf(3), r);
    EXPECT_EQ(
        r, (BookmarkRecord{QStringLiteral("Work/Tools"), QStringLiteral("t"), QStringLiteral("http://t/")}));
    EXPECT_EQ(store.IDtoCRC32(IdOf(3)), BookmarkCrc32(r.path, r.name, r.url));
    // A bookmark in the trash is as unknown as one that does not exist.
    EXPECT_EQ(store.IDtoCRC32(IdOf(4)), 0u);
    EXPECT_THROW(store.Get(IdOf(4), r), AgentError);
    EXPECT_NO_THROW(store.Delete(IdOf(4))) << "already gone for the peer: nothing to do";
    EXPECT_THROW(store.Edit(IdOf(4), {QString(), QStringLiteral("x"), QStringLiteral("y")}), AgentError);

    store.DeleteAll();
    EXPECT_TRUE(Keys(store).empty());
    const QByteArray after = Read();
    EXPECT_TRUE(after.contains("NAME=gone"));
    EXPECT_TRUE(after.contains("NAME=Tools"));
    EXPECT_FALSE(after.contains("NAME=top"));
    EXPECT_NE(after, before);
}

TEST_F(OperaBookmarksTest, AddCreatesFoldersAndEveryAddIsNew)
{
    Write(kHeader + "#FOLDER\n\tNAME=Trash\n\tTRASH FOLDER=YES\n\n-\n\n");
    COperaBookmarks store(path_);
    store.AtSyncStart();
    const BookmarkRecord rec{QStringLiteral("A/B"), QStringLiteral("n"), QStringLiteral("http://n/")};
    const QString first = store.Add(rec);
    const QString second = store.Add({QStringLiteral("/A//B/"), rec.name, rec.url});
    EXPECT_NE(first, second);
    EXPECT_EQ(store.IDtoCRC32(first), BookmarkCrc32(rec.path, rec.name, rec.url));
    const QString trashed = store.Add({QStringLiteral("Trash"), QStringLiteral("t"), QStringLiteral("u")});
    EXPECT_EQ(Keys(store), (std::vector<QString>{first, second}));
    EXPECT_NE(trashed, first);
    store.AtSyncEnd();

    const QByteArray file = Read();
    EXPECT_EQ(file.count("#FOLDER\n\tID=\n\tNAME=A\n"), 1);
    EXPECT_EQ(file.count("#FOLDER\n\tID=\n\tNAME=B\n"), 1);
    EXPECT_EQ(file.count("#URL\n\tNAME=n\n\tURL=http://n/\n\tDESCRIPTION=\n\tUNIQUEID="), 2);
    COperaBookmarks again(path_);
    again.AtSyncStart();
    EXPECT_EQ(Keys(again), (std::vector<QString>{first, second}));
}

TEST_F(OperaBookmarksTest, EditKeepsOrMovesTheOneBookmarkTheIdentifierNames)
{
    Write(kHeader + "#FOLDER\n\tNAME=F\n\n" + Url("a", qPrintable(U(9)), "\tPERSONALBAR_POS=3\n") + "-\n\n" +
          Url("twin1", qPrintable(U(5))) + Url("twin2", qPrintable(U(5))));
    COperaBookmarks store(path_);
    store.AtSyncStart();

    // In place: name and address change, ID, description and unknown keys stay.
    store.Edit(IdOf(9), {QStringLiteral("F"), QStringLiteral("a2"), QStringLiteral("http://a2/")});
    // A shared identifier names the last in listing order; the other twin is left alone.
    BookmarkRecord r;
    store.Get(IdOf(5), r);
    EXPECT_EQ(r.name, QStringLiteral("twin2"));
    store.Edit(IdOf(5), {QStringLiteral("G/H"), QStringLiteral("moved"), QStringLiteral("http://m/")});
    store.Get(IdOf(5), r);
    EXPECT_EQ(r,
              (BookmarkRecord{QStringLiteral("G/H"), QStringLiteral("moved"), QStringLiteral("http://m/")}));
    store.AtSyncEnd();

    const QByteArray file = Read();
    EXPECT_TRUE(
        file.contains("#URL\n\tID=7\n\tNAME=a2\n\tURL=http://a2/\n\tDESCRIPTION=about a\n"
                      "\tUNIQUEID=" +
                      U(9).toLatin1() + "\n\tPERSONALBAR_POS=3\n"));
    EXPECT_TRUE(file.contains("NAME=twin1\n"));
    EXPECT_TRUE(file.contains("#FOLDER\n\tID=\n\tNAME=H\n"));
    EXPECT_TRUE(file.contains("NAME=moved\n\tURL=http://m/\n\tDESCRIPTION=about twin2\n"));

    COperaBookmarks again(path_);
    again.AtSyncStart();
    again.Delete(IdOf(5));  // the moved one comes last in listing order now: twin1 stays
    again.Get(IdOf(5), r);
    EXPECT_EQ(r.name, QStringLiteral("twin1"));
}

TEST_F(OperaBookmarksTest, DeletingOneOfTwoNeighboursSharingAnIdentifierLeavesTheOtherWhole)
{
    const QByteArray first = Url("first", qPrintable(U(5)));
    const QByteArray after = Url("after", qPrintable(U(6)));
    Write(kHeader + first + Url("second", qPrintable(U(5))) + after);
    COperaBookmarks store(path_);
    store.AtSyncStart();
    store.Delete(IdOf(5));
    BookmarkRecord r;
    store.Get(IdOf(5), r);
    EXPECT_EQ(r.name, QStringLiteral("first"));
    store.AtSyncEnd();
    EXPECT_EQ(Read(), kHeader + first + after);
}

// A folder name may hold "/", the separator of the path the peer sees: sent back unchanged, that
// path leaves the bookmark where it is and makes no folders.
TEST_F(OperaBookmarksTest, AFolderNameWithASlashKeepsItsBookmarks)
{
    Write(kHeader + "#FOLDER\n\tNAME=A/B\n\n" + Url("x", qPrintable(U(1))) + "-\n\n");
    COperaBookmarks store(path_);
    store.AtSyncStart();
    BookmarkRecord r;
    store.Get(IdOf(1), r);
    EXPECT_EQ(r.path, QStringLiteral("A/B"));
    const std::uint32_t crc = store.IDtoCRC32(IdOf(1));
    store.Edit(IdOf(1), {r.path, QStringLiteral("x2"), r.url});
    store.Get(IdOf(1), r);
    EXPECT_EQ(r.path, QStringLiteral("A/B"));
    EXPECT_NE(store.IDtoCRC32(IdOf(1)), crc);
    store.AtSyncEnd();
    const QByteArray file = Read();
    EXPECT_EQ(file.count("#FOLDER"), 1);
    EXPECT_TRUE(file.contains("#FOLDER\n\tNAME=A/B\n\n#URL\n\tID=7\n\tNAME=x2\n"));
}

TEST_F(OperaBookmarksTest, DeleteAllReadsTheFileAgain)
{
    Write(kHeader + Url("kept folder test", qPrintable(U(1))));
    COperaBookmarks store(path_);
    store.AtSyncStart();
    store.Add({QStringLiteral("New"), QStringLiteral("x"), QStringLiteral("y")});
    store.DeleteAll();
    const QByteArray file = Read();
    EXPECT_FALSE(file.contains("NAME=New"));
    EXPECT_FALSE(file.contains("#URL"));
}

TEST_F(OperaBookmarksTest, NothingIsServedBeforeTheFileIsRead)
{
    Write(kHeader + Url("a", qPrintable(U(1))));
    const QByteArray before = Read();
    COperaBookmarks store(path_);
    EXPECT_THROW(store.GetIDs(), AgentError);
    EXPECT_THROW(store.Add({QString(), QStringLiteral("x"), QStringLiteral("y")}), AgentError);
    store.AtSyncEnd();
    EXPECT_EQ(Read(), before);
}

// Each bookmark carries the names of all its folders: a planted file nested past the limit is
// refused whole rather than served at a cost growing with the square of its depth.
TEST_F(OperaBookmarksTest, FoldersNestedPastTheLimitMakeTheFileUnusable)
{
    for (const int depth : {COperaBookmarks::kMaxReadFolderDepth, COperaBookmarks::kMaxReadFolderDepth + 1}) {
        SCOPED_TRACE(depth);
        QByteArray file = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";
        for (int i = 0; i < depth; ++i) file += "#FOLDER\n\tNAME=f\n\n" + Url("b", "1");
        for (int i = 0; i < depth; ++i) file += "-\n";
        COperaBookmarks store(Write(file));
        if (depth > COperaBookmarks::kMaxReadFolderDepth) {
            EXPECT_THROW(store.AtSyncStart(), AgentError);
            EXPECT_THROW(store.GetIDs(), AgentError);
            store.AtSyncEnd();
            EXPECT_EQ(Read(), file);
            continue;
        }
        store.AtSyncStart();
        EXPECT_EQ(store.GetIDs().size(), static_cast<std::size_t>(depth));
    }
}

}  // namespace
