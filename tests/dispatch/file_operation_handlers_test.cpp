#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QUrl>

#include "dispatch/file_request_fixture.h"
#include "dispatch/file_transfers.h"
#include "platform/shell_operations.h"

namespace file_requests {
namespace {

constexpr std::uint64_t kFileTime2001 = 126227808000000000ULL;  // 1 January 2001 00:00 UTC

class FileOperationTest : public FileRequestTest {
protected:
    QByteArray GetFile(const QString& path, std::uint16_t count)
    {
        const Reply reply = Request(AS_GET_FILE, Counted(path) + U64(0) + U16Bytes(count));
        return reply.code == AS_GET_FILE + 1 ? reply.payload : QByteArray("<error>");
    }
    void OpenBothTransferFiles()
    {
        WriteFile(QStringLiteral("t/read.txt"), "read");
        ASSERT_EQ(GetFile(QStringLiteral("C:\\t\\read.txt"), 4), "read");
        ASSERT_EQ(
            Request(AS_SET_FILE, Counted(QStringLiteral("C:\\t\\write.txt")) + U64(0) + U16Bytes(1) + "w")
                .code,
            AS_SET_FILE + 1);
        NewLogLines();
    }
    QString TrashPath(const QString& relative) const
    {
        return home_.Path(QStringLiteral(".local/share/Trash/") + relative);
    }
};

// --- AS_CREATE_DIR ----------------------------------------------------------------------------

TEST_F(FileOperationTest, CreateDirMakesOneFolder)
{
    EXPECT_EQ(Request(AS_CREATE_DIR, Utf16z(QStringLiteral("C:\\Users\\alice"))).code, AS_ERROR);
    EXPECT_EQ(NewLogLines(), (QStringList{"AS_CREATE_DIR...error", "C:\\Users\\alice"}));

    const Reply reply = Request(AS_CREATE_DIR, Utf16z(QStringLiteral("C:\\Users")));
    EXPECT_EQ(reply.code, AS_CREATE_DIR + 1);
    EXPECT_TRUE(reply.payload.isEmpty());
    EXPECT_EQ(NewLogLines(), QStringList{"AS_CREATE_DIR...ok"});
    EXPECT_EQ(Request(AS_CREATE_DIR, Utf16(QStringLiteral("C:/Users/alice"))).code, AS_CREATE_DIR + 1);
    EXPECT_TRUE(QFileInfo(Local(QStringLiteral("Users/alice"))).isDir());
    NewLogLines();

    EXPECT_EQ(Request(AS_CREATE_DIR, Utf16z(QStringLiteral("C:\\Users"))).code, AS_ERROR);
    EXPECT_EQ(NewLogLines(), (QStringList{"AS_CREATE_DIR...error", "C:\\Users"}));
}

// --- Deletions --------------------------------------------------------------------------------

TEST_F(FileOperationTest, DeleteFileRemovesFilesOnlyAndClosesTheTransferFiles)
{
    OpenBothTransferFiles();
    WriteFile(QStringLiteral("other.txt"), "x");
    EXPECT_EQ(Request(AS_DELETE_FILE, Utf16z(QStringLiteral("C:\\other.txt"))).code, AS_DELETE_FILE + 1);
    EXPECT_EQ(NewLogLines(), QStringList{"AS_DELETE_FILE...ok"});
    EXPECT_FALSE(Exists(QStringLiteral("other.txt")));
    EXPECT_FALSE(agent_.transfers->read.IsOpen());
    EXPECT_FALSE(agent_.transfers->write.IsOpen());
    // The peer's next read of the earlier file opens it again.
    EXPECT_EQ(GetFile(QStringLiteral("C:\\t\\read.txt"), 4), "read");

    // The open transfer file itself can be deleted.
    EXPECT_EQ(Request(AS_DELETE_FILE, Utf16z(QStringLiteral("C:\\t\\read.txt"))).code, AS_DELETE_FILE + 1);
    EXPECT_FALSE(Exists(QStringLiteral("t/read.txt")));
    NewLogLines();

    for (const QString& path : {QStringLiteral("C:\\t"), QStringLiteral("C:\\t\\missing"), QString()}) {
        EXPECT_EQ(Request(AS_DELETE_FILE, Utf16z(path)).code, AS_ERROR);
        EXPECT_EQ(NewLogLines(), (QStringList{"AS_DELETE_FILE...error", path}));
    }
    EXPECT_TRUE(QFileInfo(Local(QStringLiteral("t"))).isDir());
}

TEST_F(FileOperationTest, DelDirDeletesForGoodWithoutFollowingLinks)
{
    WriteFile(QStringLiteral("tree/a/b.txt"), "b");
    WriteFile(QStringLiteral("tree/.hidden/c.txt"), "c");
    WriteFile(QStringLiteral("elsewhere/keep.txt"), "keep");
    ASSERT_EQ(symlink(QFile::encodeName(Local(QStringLiteral("elsewhere"))).constData(),
                      QFile::encodeName(Local(QStringLiteral("tree/a/link"))).constData()),
              0);
    OpenBothTransferFiles();

    EXPECT_EQ(Request(AS_DEL_DIR, Utf16z(QStringLiteral("C:/tree"))).code, AS_DEL_DIR + 1);
    EXPECT_EQ(NewLogLines(), QStringList{"AS_DEL_DIR...ok"});
    EXPECT_FALSE(Exists(QStringLiteral("tree")));
    EXPECT_EQ(ReadFile(QStringLiteral("elsewhere/keep.txt")), "keep");
    EXPECT_FALSE(agent_.transfers->read.IsOpen());
    EXPECT_FALSE(agent_.transfers->write.IsOpen());

    // A file goes the same way; a failure logs the path with its separators turned.
    EXPECT_EQ(Request(AS_DEL_DIR, Utf16z(QStringLiteral("C:\\elsewhere\\keep.txt"))).code, AS_DEL_DIR + 1);
    EXPECT_FALSE(Exists(QStringLiteral("elsewhere/keep.txt")));
    NewLogLines();
    EXPECT_EQ(Request(AS_DEL_DIR, Utf16z(QStringLiteral("C:/elsewhere/gone"))).code, AS_ERROR);
    EXPECT_EQ(NewLogLines(), (QStringList{"AS_DEL_DIR...error", "C:\\elsewhere\\gone"}));
}

TEST_F(FileOperationTest, LongPathsWorkOrFailCleanly)
{
    // Far beyond the 258 units the platform's shell call would have taken.
    QString relative;
    for (int i = 0; i < 20; ++i)
        relative += QStringLiteral("folder-with-a-long-name-%1/").arg(i);
    WriteFile(relative + QStringLiteral("leaf.txt"), "leaf");
    QString peer = QStringLiteral("C:\\") + relative;
    peer.replace(u'/', u'\\');
    ASSERT_GT(peer.size(), 500);
    EXPECT_EQ(GetFile(peer + QStringLiteral("leaf.txt"), 4), "leaf");
    EXPECT_EQ(Request(AS_DEL_DIR, Utf16z(QStringLiteral("C:\\folder-with-a-long-name-0"))).code,
              AS_DEL_DIR + 1);
    EXPECT_FALSE(Exists(QStringLiteral("folder-with-a-long-name-0")));

    // A path longer than the file system takes fails with AS_ERROR.
    const QString tooLong = QStringLiteral("C:\\") + QString(5000, u'n');
    EXPECT_EQ(Request(AS_CREATE_DIR, Utf16z(tooLong)).code, AS_ERROR);
    EXPECT_EQ(Request(AS_DEL_DIR_TRASH, Utf16z(tooLong)).code, AS_ERROR);
}

TEST_F(FileOperationTest, TrashDeletionsKeepTheItemAndItsTrashInfo)
{
    WriteFile(QStringLiteral("docs/report.txt"), "report");
    WriteFile(QStringLiteral("photos/2020/p.jpg"), "jpg");
    OpenBothTransferFiles();
    // The data folder may not exist yet: the Trash must still land in it.
    QDir(home_.Path(QStringLiteral(".local/share"))).removeRecursively();

    EXPECT_EQ(Request(AS_DEL_DIR_TRASH, Utf16z(QStringLiteral("C:\\docs\\report.txt"))).code,
              AS_DEL_DIR_TRASH + 1);
    EXPECT_EQ(NewLogLines(), QStringList{"AS_DEL_DIR_TRASH...ok"});
    EXPECT_FALSE(agent_.transfers->read.IsOpen());
    EXPECT_FALSE(agent_.transfers->write.IsOpen());
    EXPECT_EQ(Request(AS_DEL_FILE_TRASH, Utf16z(QStringLiteral("C:/photos"))).code, AS_DEL_FILE_TRASH + 1);
    EXPECT_EQ(NewLogLines(), QStringList{"AS_DEL_FILE_TRASH...ok"});

    EXPECT_FALSE(Exists(QStringLiteral("docs/report.txt")));
    EXPECT_FALSE(Exists(QStringLiteral("photos")));
    QFile trashed(TrashPath(QStringLiteral("files/report.txt")));
    ASSERT_TRUE(trashed.open(QIODevice::ReadOnly));
    EXPECT_EQ(trashed.readAll(), "report");
    EXPECT_TRUE(QFileInfo::exists(TrashPath(QStringLiteral("files/photos/2020/p.jpg"))));

    for (const auto& [name, local] :
         {std::pair{QStringLiteral("report.txt"), Local(QStringLiteral("docs/report.txt"))},
          std::pair{QStringLiteral("photos"), Local(QStringLiteral("photos"))}}) {
        QFile info(TrashPath(QStringLiteral("info/") + name + QStringLiteral(".trashinfo")));
        ASSERT_TRUE(info.open(QIODevice::ReadOnly)) << name.toStdString();
        const QStringList lines = QString::fromUtf8(info.readAll()).split(u'\n', Qt::SkipEmptyParts);
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines[0], QStringLiteral("[Trash Info]"));
        ASSERT_TRUE(lines[1].startsWith(QStringLiteral("Path=")));
        EXPECT_EQ(QUrl::fromPercentEncoding(lines[1].mid(5).toUtf8()), local);
        EXPECT_TRUE(lines[2].startsWith(QStringLiteral("DeletionDate=")));
    }
    EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + QStringLiteral("/Trash")));

    EXPECT_EQ(Request(AS_DEL_FILE_TRASH, Utf16z(QStringLiteral("C:/docs/report.txt"))).code, AS_ERROR);
    EXPECT_EQ(NewLogLines(), (QStringList{"AS_DEL_FILE_TRASH...error", "C:\\docs\\report.txt"}));
}

// --- AS_RENAME_FILE ---------------------------------------------------------------------------

TEST_F(FileOperationTest, RenameNeverReplacesAndLogsOnlyFailures)
{
    WriteFile(QStringLiteral("a.txt"), "a");
    WriteFile(QStringLiteral("b.txt"), "b");
    QDir().mkpath(Local(QStringLiteral("sub")));

    Reply reply =
        Request(AS_RENAME_FILE, Utf16z(QStringLiteral("C:\\a.txt")) + Utf16z(QStringLiteral("C:\\b.txt")));
    EXPECT_EQ(reply.code, AS_ERROR);
    EXPECT_EQ(NewLogLines(), (QStringList{"AS_RENAME_FILE...error", "C:\\a.txt", "C:\\b.txt"}));
    EXPECT_EQ(ReadFile(QStringLiteral("a.txt")), "a");
    EXPECT_EQ(ReadFile(QStringLiteral("b.txt")), "b");

    // The new path may leave out its terminator.
    reply = Request(AS_RENAME_FILE,
                    Utf16z(QStringLiteral("C:\\a.txt")) + Utf16(QStringLiteral("C:/sub/moved.txt")));
    EXPECT_EQ(reply.code, AS_RENAME_FILE + 1);
    EXPECT_TRUE(reply.payload.isEmpty());
    EXPECT_TRUE(NewLogLines().isEmpty());
    EXPECT_FALSE(Exists(QStringLiteral("a.txt")));
    EXPECT_EQ(ReadFile(QStringLiteral("sub/moved.txt")), "a");

    EXPECT_EQ(
        Request(AS_RENAME_FILE, Utf16z(QStringLiteral("C:\\sub")) + Utf16z(QStringLiteral("C:\\folder")))
            .code,
        AS_RENAME_FILE + 1);
    EXPECT_EQ(ReadFile(QStringLiteral("folder/moved.txt")), "a");

    EXPECT_EQ(Request(AS_RENAME_FILE, Utf16z(QStringLiteral("C:\\b.txt")) + Utf16z(QString())).code,
              AS_ERROR);
    EXPECT_EQ(NewLogLines(), (QStringList{"AS_RENAME_FILE...error", "C:\\b.txt", ""}));
}

TEST_F(FileOperationTest, RenameLeavesFilesOpenForATransferWhereTheyAre)
{
    OpenBothTransferFiles();
    const struct {
        QString from;
        QString to;
    } refused[] = {
        {QStringLiteral("C:\\t\\read.txt"), QStringLiteral("C:\\t\\r2.txt")},
        {QStringLiteral("C:/t/write.txt"), QStringLiteral("C:\\t\\w2.txt")},
        {QStringLiteral("C:\\t"), QStringLiteral("C:\\t2")},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(Request(AS_RENAME_FILE, Utf16z(c.from) + Utf16z(c.to)).code, AS_ERROR);
        EXPECT_EQ(NewLogLines(), (QStringList{"AS_RENAME_FILE...error", c.from, c.to}));
    }
    EXPECT_TRUE(Exists(QStringLiteral("t/read.txt")));
    EXPECT_TRUE(Exists(QStringLiteral("t/write.txt")));

    // Once the transfer is over, the same renames go through.
    EXPECT_EQ(Request(AS_CLOSE_FILES, {}).code, AS_CLOSE_FILES + 1);
    EXPECT_EQ(Request(AS_RENAME_FILE, Utf16z(refused[2].from) + Utf16z(refused[2].to)).code,
              AS_RENAME_FILE + 1);
    EXPECT_EQ(ReadFile(QStringLiteral("t2/read.txt")), "read");
}

// --- AS_SET_FILE_TIME -------------------------------------------------------------------------

TEST_F(FileOperationTest, SetFileTimeSetsTheLastWriteTimeThatInfoReadsBack)
{
    WriteFile(QStringLiteral("timed.txt"), "t");
    const QByteArray path = Counted(QStringLiteral("C:\\timed.txt"));
    const std::uint64_t lastWrite = kFileTime2001 + 1234567;  // with a sub-second part

    Reply reply = Request(AS_SET_FILE_TIME, path + U64(kFileTime2001) + U64(lastWrite));
    EXPECT_EQ(reply.code, AS_SET_FILE_TIME + 1);
    EXPECT_TRUE(reply.payload.isEmpty());
    reply = Request(AS_GET_FILE_INFO_EX, Utf16z(QStringLiteral("C:\\timed.txt")));
    EXPECT_EQ(reply.payload.mid(8, 8), U64(lastWrite));

    // A zero time leaves that time as it is.
    EXPECT_EQ(Request(AS_SET_FILE_TIME, path + U64(0) + U64(0)).code, AS_SET_FILE_TIME + 1);
    EXPECT_EQ(Request(AS_GET_FILE_INFO, Utf16z(QStringLiteral("C:\\timed.txt"))).payload.mid(8, 8),
              U64(lastWrite));

    // The file open as the write transfer file can get new times as well.
    ASSERT_EQ(Request(AS_SET_FILE, path + U64(1) + U16Bytes(1) + "x").code, AS_SET_FILE + 1);
    EXPECT_EQ(Request(AS_SET_FILE_TIME, path + U64(0) + U64(kFileTime2001)).code, AS_SET_FILE_TIME + 1);
    EXPECT_EQ(Request(AS_GET_FILE_INFO, Utf16z(QStringLiteral("C:\\timed.txt"))).payload.mid(8, 8),
              U64(kFileTime2001));

    QDir().mkpath(Local(QStringLiteral("folder")));
    for (const QString& bad : {QString(), QStringLiteral("C:\\missing.txt"), QStringLiteral("C:\\folder")})
        EXPECT_EQ(Request(AS_SET_FILE_TIME, Counted(bad) + U64(0) + U64(kFileTime2001)).code, AS_ERROR);
    EXPECT_TRUE(NewLogLines().isEmpty());
}

// --- AS_OPEN_FILE -----------------------------------------------------------------------------

TEST_F(FileOperationTest, OpenFileHandsTheFileToTheDesktopAndAlwaysAnswers)
{
    RecordingOpener opener;
    WriteFile(QStringLiteral("docs/a b;$(reboot)&.txt"), "x");
    const struct {
        QString text;
        QString opened;  // empty: nothing opened
    } cases[] = {
        {QStringLiteral("C:\\docs\\a b;$(reboot)&.txt"),
         QUrl::fromLocalFile(Local(QStringLiteral("docs/a b;$(reboot)&.txt"))).toString()},
        {QStringLiteral("C:/docs/missing.pdf"),
         QUrl::fromLocalFile(Local(QStringLiteral("docs/missing.pdf"))).toString()},
        {QStringLiteral("https://example.org/?q=1&r=2"), QStringLiteral("https://example.org/?q=1&r=2")},
        {QStringLiteral("mailto:alice@example.org"), QStringLiteral("mailto:alice@example.org")},
        {QStringLiteral("notepad.exe C:\\x"), QString()},
        {QStringLiteral("Q:\\nowhere"), QString()},
        {QString(), QString()},
    };
    for (const auto& c : cases) {
        opener.opened.clear();
        const Reply reply = Request(AS_OPEN_FILE, Utf16z(c.text));
        EXPECT_EQ(reply.code, AS_OPEN_FILE + 1) << c.text.toStdString();
        EXPECT_TRUE(reply.payload.isEmpty());
        if (c.opened.isEmpty()) {
            EXPECT_TRUE(opener.opened.isEmpty()) << c.text.toStdString();
        } else {
            ASSERT_EQ(opener.opened.size(), 1) << c.text.toStdString();
            EXPECT_EQ(opener.opened[0].toString(), c.opened);
        }
    }
    EXPECT_TRUE(NewLogLines().isEmpty());
}

// --- Malformed requests -----------------------------------------------------------------------

TEST_F(FileOperationTest, MalformedRequestsAnswerErrorAndChangeNothing)
{
    WriteFile(QStringLiteral("a.txt"), "content of a");
    WriteFile(QStringLiteral("dir/b.txt"), "content of b");
    const QByteArray countedA = Counted(QStringLiteral("C:\\a.txt"));
    const struct {
        std::uint16_t code;
        QByteArray payload;
    } cases[] = {
        {AS_GET_FILE, {}},
        {AS_GET_FILE, U16Bytes(200) + Utf16(QStringLiteral("C:\\a.txt"))},  // text shorter than its count
        {AS_GET_FILE, U16Bytes(3) + "C:\\"},                                // odd byte count
        {AS_GET_FILE, countedA + U64(0)},                                   // count missing
        {AS_GET_FILE, countedA + QByteArray(5, '\0')},                      // offset cut short
        {AS_SET_FILE, {}},
        {AS_SET_FILE, countedA},
        {AS_SET_FILE, countedA + U64(0) + U16Bytes(20) + "only ten b"},  // data shorter than its count
        {AS_SET_FILE, U16Bytes(60000) + countedA},
        {AS_GET_DIR_LIST, {}},
        {AS_GET_DIR_LIST, U16Bytes(100) + Utf16(QStringLiteral("C:\\"))},
        {AS_GET_DIR_LIST, QByteArray(1, '\x02')},
        {AS_RENAME_FILE, Utf16(QStringLiteral("C:\\a.txt"))},         // old path without terminator
        {AS_RENAME_FILE, Utf16(QStringLiteral("C:\\a.txt")) + "\0"},  // terminator cut in half
        {AS_RENAME_FILE, {}},
        {AS_SET_FILE_TIME, countedA + U64(0)},  // last-write time missing
        {AS_SET_FILE_TIME, countedA + U64(0) + U32Bytes(1)},
        {AS_SET_FILE_TIME, U16Bytes(40) + Utf16(QStringLiteral("C:\\a.txt"))},
        {AS_GET_REG_VALUE, U16Bytes(1)},                      // root key cut short
        {AS_DELETE_FILE, Utf16z(QStringLiteral("C:\\dir"))},  // a folder: no file deletion
        // A drive's root is never deleted or moved as one item.
        {AS_DEL_DIR, Utf16z(QStringLiteral("C:"))},
        {AS_DEL_DIR, Utf16z(QStringLiteral("C:\\dir\\..\\.."))},
        {AS_DEL_DIR_TRASH, Utf16z(QStringLiteral("C:\\"))},
        {AS_DEL_FILE_TRASH, Utf16z(QStringLiteral("C:/"))},
        {AS_RENAME_FILE, Utf16z(QStringLiteral("C:\\")) + Utf16z(QStringLiteral("C:\\dir\\c"))},
        {AS_CREATE_DIR, Utf16z(QStringLiteral("C:\\a.txt"))},
        {AS_RENAME_FILE, Utf16z(QStringLiteral("C:\\dir")) + Utf16z(QStringLiteral("C:\\dir\\b.txt"))},
    };
    const auto before = Snapshot();
    for (const auto& c : cases) {
        const Reply reply = Request(c.code, c.payload);
        EXPECT_EQ(reply.code, AS_ERROR) << c.code << " " << c.payload.toHex().toStdString();
        EXPECT_TRUE(reply.payload.isEmpty());
        EXPECT_EQ(Snapshot(), before) << c.code << " " << c.payload.toHex().toStdString();
    }
}

}  // namespace
}  // namespace file_requests
