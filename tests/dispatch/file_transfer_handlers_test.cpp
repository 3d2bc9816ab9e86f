#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <functional>

#include "dispatch/file_request_fixture.h"
#include "dispatch/file_transfers.h"
#include "support/file_size_limit.h"

namespace file_requests {
namespace {

constexpr std::uint16_t kGetFileReply = AS_GET_FILE + 1;
constexpr std::uint16_t kSetFileReply = AS_SET_FILE + 1;
constexpr std::uint16_t kDirListReply = AS_GET_DIR_LIST + 1;

QByteArray GetFilePayload(const QString& path, std::uint64_t offset, std::uint16_t count)
{
    return Counted(path) + U64(offset) + U16Bytes(count);
}

QByteArray SetFilePayload(const QString& path, std::uint64_t offset, const QByteArray& data)
{
    return Counted(path) + U64(offset) + U16Bytes(static_cast<std::uint16_t>(data.size())) + data;
}

QByteArray Pattern(qsizetype size, int seed = 0)
{
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed) % 251);
    return bytes;
}

std::uint64_t FileTimeOf(const timespec& t)
{
    return static_cast<std::uint64_t>(t.tv_sec + 11644473600LL) * 10000000ULL +
           static_cast<std::uint64_t>(t.tv_nsec) / 100;
}

void SetMtime(const QString& path, std::int64_t seconds, long nanoseconds)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

using FileTransferTest = FileRequestTest;

// --- AS_GET_FILE ------------------------------------------------------------------------------

TEST_F(FileTransferTest, GetFileReadsPiecesAndFillsPastTheEndWithZeros)
{
    const QByteArray content = Pattern(1000);
    WriteFile(QStringLiteral("docs/a.bin"), content);
    const QString path = QStringLiteral("C:\\docs\\a.bin");

    const struct {
        std::uint64_t offset;
        std::uint16_t count;
        QByteArray expected;
    } cases[] = {
        {0, 100, content.left(100)},
        {900, 100, content.mid(900)},
        {990, 20, content.mid(990) + QByteArray(10, '\0')},
        {1000, 5, QByteArray(5, '\0')},
        {std::uint64_t(1) << 40, 3, QByteArray(3, '\0')},
        {10, 0, QByteArray()},
    };
    for (const auto& c : cases) {
        const Reply reply = Request(AS_GET_FILE, GetFilePayload(path, c.offset, c.count));
        EXPECT_EQ(reply.code, kGetFileReply) << c.offset;
        EXPECT_EQ(reply.tag, 0x4242);
        EXPECT_EQ(reply.payload, c.expected) << c.offset;
    }
    EXPECT_EQ(Request(AS_GET_FILE, GetFilePayload(QStringLiteral("C:/docs/a.bin"), 1, 2)).payload,
              content.mid(1, 2));
    EXPECT_EQ(
        Request(AS_GET_FILE, GetFilePayload(QStringLiteral("C:\\docs\\a.bin"), std::uint64_t(1) << 63, 1))
            .code,
        AS_ERROR);
    EXPECT_TRUE(NewLogLines().isEmpty());
}

TEST_F(FileTransferTest, GetFileRepliesLongerThanOneMessageGoInPieces)
{
    const QByteArray content = Pattern(70000, 3);
    WriteFile(QStringLiteral("big.bin"), content);
    const struct {
        std::uint16_t count;
        int messages;
    } cases[] = {{16378, 1}, {16379, 2}, {32756, 2}, {32757, 3}, {65535, 5}};
    for (const auto& c : cases) {
        const Reply reply = Request(AS_GET_FILE, GetFilePayload(QStringLiteral("C:\\big.bin"), 7, c.count));
        EXPECT_EQ(reply.code, kGetFileReply) << c.count;
        EXPECT_EQ(reply.messages, c.messages) << c.count;
        EXPECT_EQ(reply.payload, content.mid(7, c.count)) << c.count;
    }
}

TEST_F(FileTransferTest, GetFileKeepsItsFileOpenUntilAnotherPathComes)
{
    WriteFile(QStringLiteral("one.txt"), "first file");
    WriteFile(QStringLiteral("two.txt"), "second file");
    const QString one = QStringLiteral("C:\\one.txt");

    EXPECT_EQ(Request(AS_GET_FILE, GetFilePayload(one, 0, 5)).payload, "first");
    // The open file keeps serving its path and the empty path even once its name is gone.
    ASSERT_TRUE(QFile::remove(Local(QStringLiteral("one.txt"))));
    EXPECT_EQ(Request(AS_GET_FILE, GetFilePayload(one, 6, 4)).payload, "file");
    EXPECT_EQ(Request(AS_GET_FILE, GetFilePayload(QString(), 0, 5)).payload, "first");
    EXPECT_EQ(agent_.transfers->read.Path(), one);

    EXPECT_EQ(Request(AS_GET_FILE, GetFilePayload(QStringLiteral("C:\\two.txt"), 0, 6)).payload, "second");
    // Back to the first path: it is opened again, and it is gone now.
    EXPECT_EQ(Request(AS_GET_FILE, GetFilePayload(one, 0, 5)).code, AS_ERROR);
    EXPECT_FALSE(agent_.transfers->read.IsOpen());
    EXPECT_TRUE(agent_.transfers->read.Path().isEmpty());
    EXPECT_EQ(Request(AS_GET_FILE, GetFilePayload(QString(), 0, 5)).code, AS_ERROR);
    EXPECT_TRUE(NewLogLines().isEmpty());
}

TEST_F(FileTransferTest, GetFileFailuresAnswerErrorWithoutALogLine)
{
    QDir().mkpath(Local(QStringLiteral("folder")));
    ASSERT_EQ(mkfifo(QFile::encodeName(Local(QStringLiteral("pipe"))).constData(), 0644), 0);
    for (const QString& path :
         {QString(), QStringLiteral("C:\\missing.txt"), QStringLiteral("C:\\folder"),
          QStringLiteral("C:\\pipe"), QStringLiteral("Q:\\x"), QStringLiteral("relative.txt")}) {
        const Reply reply = Request(AS_GET_FILE, GetFilePayload(path, 0, 10));
        EXPECT_EQ(reply.code, AS_ERROR) << path.toStdString();
        EXPECT_TRUE(reply.payload.isEmpty());
    }
    EXPECT_TRUE(NewLogLines().isEmpty());
}

TEST_F(FileTransferTest, ASendThatFailsDropsTheConnection)
{
    WriteFile(QStringLiteral("a.txt"), "abc");
    WriteFile(QStringLiteral("b.txt"), "abc");
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:\\b.txt"), 0, "x")).code, kSetFileReply);
    NewLogLines();

    transport_.failSends = true;
    socket_.OnReceive(AsBytes(Message(AS_GET_FILE, 1, GetFilePayload(QStringLiteral("C:\\a.txt"), 0, 3))));
    EXPECT_EQ(NewLogLines(), QStringList{"AS_GET_FILE - SOCKET_ERROR"});
    EXPECT_EQ(host_.drops, 1);
    EXPECT_FALSE(agent_.transfers->read.IsOpen());
    EXPECT_FALSE(agent_.transfers->write.IsOpen());

    socket_.OnReceive(AsBytes(Message(AS_SET_FILE, 1, SetFilePayload(QStringLiteral("C:\\b.txt"), 0, "y"))));
    EXPECT_EQ(NewLogLines(), QStringList{"AS_SET_FILE - SOCKET_ERROR"});
    EXPECT_EQ(host_.drops, 2);
    EXPECT_EQ(ReadFile(QStringLiteral("b.txt")), "ybc");
}

// --- AS_SET_FILE ------------------------------------------------------------------------------

TEST_F(FileTransferTest, SetFileCreatesAndOverwritesOnlyTheGivenRange)
{
    const QString path = QStringLiteral("C:\\new.txt");
    Reply reply = Request(AS_SET_FILE, SetFilePayload(path, 0, "Hello, world"));
    EXPECT_EQ(reply.code, kSetFileReply);
    EXPECT_EQ(reply.payload, U16Bytes(12));
    EXPECT_EQ(ReadFile(QStringLiteral("new.txt")), "Hello, world");

    // The remembered path and the empty path both write into the open file.
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(path, 7, "W")).payload, U16Bytes(1));
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QString(), 12, "!")).payload, U16Bytes(1));
    EXPECT_EQ(ReadFile(QStringLiteral("new.txt")), "Hello, World!");

    // Another existing file: opened without being emptied, so shorter content keeps the rest.
    WriteFile(QStringLiteral("old.txt"), "0123456789");
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:/old.txt"), 2, "ab")).code,
              kSetFileReply);
    EXPECT_EQ(ReadFile(QStringLiteral("old.txt")), "01ab456789");
    // Past the end: the gap reads as zeros.
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QString(), 12, "z")).code, kSetFileReply);
    EXPECT_EQ(ReadFile(QStringLiteral("old.txt")), QByteArray("01ab456789\0\0z", 13));
    EXPECT_TRUE(NewLogLines().isEmpty());
}

TEST_F(FileTransferTest, SetFileWritesInPiecesWithAndWithoutPutFragments)
{
    const QByteArray content = Pattern(200000, 5);
    const QString path = QStringLiteral("C:\\transfer\\big.bin");
    QDir().mkpath(Local(QStringLiteral("transfer")));

    // Large pieces travel as AS_PUT_FRAGMENT messages ahead of their request.
    qsizetype at = 0;
    bool first = true;
    while (at < content.size()) {
        const QByteArray piece = content.mid(at, 65535);
        const Reply reply = LongRequest(AS_SET_FILE, SetFilePayload(first ? path : QString(), at, piece));
        EXPECT_EQ(reply.code, kSetFileReply);
        EXPECT_EQ(reply.payload, U16Bytes(static_cast<std::uint16_t>(piece.size())));
        at += piece.size();
        first = false;
    }
    EXPECT_EQ(ReadFile(QStringLiteral("transfer/big.bin")), content);

    // Small pieces fit their own message.
    const QByteArray small = Pattern(40000, 9);
    for (qsizetype off = 0; off < small.size(); off += 16000) {
        const Reply reply = Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:\\transfer\\small.bin"),
                                                                off, small.mid(off, 16000)));
        EXPECT_EQ(reply.code, kSetFileReply);
    }
    EXPECT_EQ(ReadFile(QStringLiteral("transfer/small.bin")), small);
}

TEST_F(FileTransferTest, SetFileNeverWritesMoreThanItReceived)
{
    WriteFile(QStringLiteral("keep.txt"), "unchanged");
    const auto before = Snapshot();
    // Claims 100 data bytes, carries 10.
    const QByteArray shortData =
        Counted(QStringLiteral("C:\\keep.txt")) + U64(0) + U16Bytes(100) + QByteArray(10, 'X');
    EXPECT_EQ(Request(AS_SET_FILE, shortData).code, AS_ERROR);
    const QByteArray shortNew =
        Counted(QStringLiteral("C:\\created.txt")) + U64(0) + U16Bytes(2) + QByteArray(1, 'X');
    EXPECT_EQ(Request(AS_SET_FILE, shortNew).code, AS_ERROR);
    EXPECT_EQ(Snapshot(), before);
    const QStringList lines = NewLogLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "AS_SET_FILE - error");

    // A malformed request consumes the pieces waiting for it: they never reach a later one.
    socket_.OnReceive(AsBytes(Message(AS_PUT_FRAGMENT, 1, Counted(QStringLiteral("C:\\keep.txt")))));
    EXPECT_EQ(Request(AS_SET_FILE, QByteArray(3, '\0')).code, AS_ERROR);
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:\\keep.txt"), 0, "U")).code,
              kSetFileReply);
    EXPECT_EQ(ReadFile(QStringLiteral("keep.txt")), "Unchanged");
}

TEST_F(FileTransferTest, SetFileFailuresLogAndCloseTheWriteFile)
{
    WriteFile(QStringLiteral("a.txt"), "a");
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:\\a.txt"), 0, "b")).code, kSetFileReply);
    EXPECT_TRUE(agent_.transfers->write.IsOpen());

    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:\\no\\such\\folder.txt"), 0, "x")).code,
              AS_ERROR);
    EXPECT_FALSE(agent_.transfers->write.IsOpen());
    EXPECT_TRUE(agent_.transfers->write.Path().isEmpty());
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QString(), 0, "x")).code, AS_ERROR);
    QDir().mkpath(Local(QStringLiteral("dir")));
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:\\dir"), 0, "x")).code, AS_ERROR);
    EXPECT_EQ(NewLogLines(), QStringList(3, QStringLiteral("AS_SET_FILE - error")));
    EXPECT_EQ(ReadFile(QStringLiteral("a.txt")), "b");

    // A write the file system refuses.
    FileSizeLimit limit(1 << 20);
    ASSERT_TRUE(limit.ok());
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:\\a.txt"), 2u << 20, "x")).code,
              AS_ERROR);
    EXPECT_EQ(NewLogLines(), QStringList{"AS_SET_FILE - error"});
}

TEST_F(FileTransferTest, CloseFilesClosesBothAndAlwaysAnswers)
{
    EXPECT_EQ(Request(AS_CLOSE_FILES, {}).code, AS_CLOSE_FILES + 1);
    WriteFile(QStringLiteral("r.txt"), "read me");
    EXPECT_EQ(Request(AS_GET_FILE, GetFilePayload(QStringLiteral("C:\\r.txt"), 0, 4)).payload, "read");
    EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:\\w.txt"), 0, "w")).code, kSetFileReply);
    const Reply reply = Request(AS_CLOSE_FILES, "ignored");
    EXPECT_EQ(reply.code, AS_CLOSE_FILES + 1);
    EXPECT_TRUE(reply.payload.isEmpty());
    EXPECT_FALSE(agent_.transfers->read.IsOpen());
    EXPECT_FALSE(agent_.transfers->write.IsOpen());
    EXPECT_EQ(Request(AS_GET_FILE, GetFilePayload(QString(), 0, 4)).code, AS_ERROR);
}

// --- AS_GET_DIR_LIST --------------------------------------------------------------------------

// The record of one entry, built from stat: what the listing must carry byte for byte.
QByteArray RecordFromStat(const QString& folder, const QString& name)
{
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(folder + u'/' + name).constData(), &st), 0);
    const bool dir = S_ISDIR(st.st_mode);
    std::uint32_t attributes = dir ? 0x10 : 0x20;
    if (!dir && !(st.st_mode & S_IWUSR))
        attributes |= 0x1;
    if (name.startsWith(u'.'))
        attributes |= 0x2;
    QByteArray record;
    ByteWriter w(record);
    w.U32(attributes);
    w.U64(dir ? 0 : static_cast<std::uint64_t>(st.st_size));
    w.U64(FileTimeOf(st.st_mtim));
    w.CountedUtf16(name);
    return record;
}

TEST_F(FileTransferTest, DirListMatchesStatByteForByteInNameOrder)
{
    WriteFile(QStringLiteral("list/b.txt"), "bbbb");
    WriteFile(QStringLiteral("list/.profile"), "p");
    WriteFile(QStringLiteral("list/A read-only.doc"), Pattern(5000));
    WriteFile(QStringLiteral("list/sub/inner.txt"), "not listed");
    WriteFile(QString::fromUtf8("list/\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac.txt"), "u");
    chmod(QFile::encodeName(Local(QStringLiteral("list/A read-only.doc"))).constData(), 0444);
    SetMtime(Local(QStringLiteral("list/b.txt")), 1262304000, 987654321);

    const QString folder = Local(QStringLiteral("list"));
    QByteArray expected;
    for (const QString& name :
         {QStringLiteral(".profile"), QStringLiteral("A read-only.doc"), QStringLiteral("b.txt"),
          QStringLiteral("sub"), QString::fromUtf8("\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac.txt")})
        expected += RecordFromStat(folder, name);
    expected += U32Bytes(0);

    for (const QString& path :
         {QStringLiteral("C:\\list"), QStringLiteral("C:/list/"), QStringLiteral("C:\\list\\")}) {
        const Reply reply = Request(AS_GET_DIR_LIST, Counted(path));
        EXPECT_EQ(reply.code, kDirListReply);
        EXPECT_EQ(reply.payload.toHex(), expected.toHex()) << path.toStdString();
    }
    EXPECT_TRUE(NewLogLines().isEmpty());
}

TEST_F(FileTransferTest, DirListNamesWithBackslashesTravelAsTheStandIn)
{
    WriteFile(QStringLiteral("odd/a\\b"), "x");
    const Reply reply = Request(AS_GET_DIR_LIST, Counted(QStringLiteral("C:\\odd")));
    ByteReader r(reply.payload);
    r.Skip(20);
    const QString name = r.CountedUtf16();
    EXPECT_EQ(name, QStringLiteral("a") + QChar(0xF05C) + QStringLiteral("b"));
    EXPECT_EQ(Request(AS_GET_FILE, GetFilePayload(QStringLiteral("C:\\odd\\") + name, 0, 1)).payload, "x");
}

// Fills a folder with files whose records add up to exactly `recordBytes`.
void FillFolder(FileRequestTest& t, const QString& folder, int recordBytes,
                const std::function<void(const QString&)>& write)
{
    constexpr int kFiles = 40;
    int nameUnits = (recordBytes - 22 * kFiles) / 2;
    ASSERT_EQ(22 * kFiles + 2 * nameUnits, recordBytes);
    for (int i = 0; i < kFiles; ++i) {
        const int units = nameUnits / (kFiles - i);
        nameUnits -= units;
        QString name = QStringLiteral("f%1_").arg(i, 2, 10, QLatin1Char('0'));
        name += QString(units - name.size(), u'x');
        write(folder + u'/' + name);
    }
}

TEST_F(FileTransferTest, DirListOfExactlyOneMessageAndOfOneMore)
{
    const auto write = [this](const QString& relative) { WriteFile(relative, "x"); };
    // 16374 record bytes and the closing zero fill one message; records are always of even
    // length, so the next possible listing is 16380 bytes: two pieces.
    FillFolder(*this, QStringLiteral("fits"), 16374, write);
    FillFolder(*this, QStringLiteral("over"), 16376, write);

    const Reply fits = Request(AS_GET_DIR_LIST, Counted(QStringLiteral("C:\\fits")));
    EXPECT_EQ(fits.code, kDirListReply);
    EXPECT_EQ(fits.messages, 1);
    EXPECT_EQ(fits.payload.size(), 16378);

    const Reply over = Request(AS_GET_DIR_LIST, Counted(QStringLiteral("C:\\over")));
    EXPECT_EQ(over.code, kDirListReply);
    EXPECT_EQ(over.messages, 2);
    EXPECT_EQ(over.payload.size(), 16380);
    EXPECT_EQ(over.payload.right(4), U32Bytes(0));
}

TEST_F(FileTransferTest, DirListChecksTheDriveAndAnswersMissingFoldersEmpty)
{
    QDir().mkpath(Local(QStringLiteral("empty")));
    WriteFile(QStringLiteral("file.txt"), "x");
    const struct {
        QString path;
        std::uint16_t code;
        QByteArray payload;
    } cases[] = {
        {QString(), AS_ERROR, {}},
        {QStringLiteral("C:"), AS_ERROR, {}},
        {QStringLiteral("c:\\empty"), AS_ERROR, {}},
        {QStringLiteral("Q:\\"), AS_ERROR, {}},
        {QStringLiteral("\\empty"), AS_ERROR, {}},
        {QStringLiteral("C:\\missing"), kDirListReply, {}},
        {QStringLiteral("C:\\file.txt"), kDirListReply, {}},
        {QStringLiteral("C:\\empty"), kDirListReply, U32Bytes(0)},
    };
    for (const auto& c : cases) {
        const Reply reply = Request(AS_GET_DIR_LIST, Counted(c.path));
        EXPECT_EQ(reply.code, c.code) << c.path.toStdString();
        EXPECT_EQ(reply.payload, c.payload) << c.path.toStdString();
    }
    EXPECT_TRUE(NewLogLines().isEmpty());
}

// --- AS_GET_FILE_INFO, AS_GET_FILE_INFO_EX ----------------------------------------------------

TEST_F(FileTransferTest, FileInfoGivesSizeTimesAndAttributes)
{
    WriteFile(QStringLiteral("info/.data.bin"), Pattern(4321));
    SetMtime(Local(QStringLiteral("info/.data.bin")), 1600000000, 5000);
    const std::uint64_t mtime = FileTimeOf({1600000000, 5000});
    struct statx sx {};
    ASSERT_EQ(statx(AT_FDCWD, QFile::encodeName(Local(QStringLiteral("info/.data.bin"))).constData(), 0,
                    STATX_BTIME | STATX_CTIME, &sx),
              0);
    const statx_timestamp born = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime;
    const std::uint64_t created = FileTimeOf({born.tv_sec, born.tv_nsec});

    const QByteArray path = Utf16z(QStringLiteral("C:\\info\\.data.bin"));
    Reply reply = Request(AS_GET_FILE_INFO, path);
    EXPECT_EQ(reply.code, AS_GET_FILE_INFO + 1);
    EXPECT_EQ(reply.payload, U64(4321) + U64(mtime));

    reply = Request(AS_GET_FILE_INFO_EX, Utf16(QStringLiteral("C:/info/.data.bin")));  // terminator left out
    EXPECT_EQ(reply.code, AS_GET_FILE_INFO_EX + 1);
    EXPECT_EQ(reply.payload, U64(4321) + U64(mtime) + U64(created) + U32Bytes(0x20 | 0x2));

    reply = Request(AS_GET_FILE_INFO_EX, Utf16z(QStringLiteral("C:\\info")));
    EXPECT_EQ(reply.payload.size(), 28);
    EXPECT_EQ(reply.payload.left(8), U64(0));
    EXPECT_EQ(reply.payload.right(4), U32Bytes(0x10));

    for (const QString& missing : {QStringLiteral("C:\\info\\none"), QString(), QStringLiteral("Q:\\x")}) {
        EXPECT_EQ(Request(AS_GET_FILE_INFO, Utf16z(missing)).code, AS_ERROR);
        EXPECT_EQ(Request(AS_GET_FILE_INFO_EX, Utf16z(missing)).code, AS_ERROR);
    }
    EXPECT_TRUE(NewLogLines().isEmpty());
}

// --- AS_GET_FREE_SIZE, AS_GET_DRIVES ----------------------------------------------------------

TEST_F(FileTransferTest, FreeSizeIsWhatThisUserMayStillWrite)
{
    struct statvfs vfs {};
    ASSERT_EQ(statvfs(QFile::encodeName(cRoot_).constData(), &vfs), 0);
    const auto expected = static_cast<double>(vfs.f_bavail) * vfs.f_frsize;

    const Reply reply = Request(AS_GET_FREE_SIZE, Utf16z(QStringLiteral("C:\\Users\\whatever")));
    EXPECT_EQ(reply.code, AS_GET_FREE_SIZE + 1);
    ASSERT_EQ(reply.payload.size(), 8);
    ByteReader r(reply.payload);
    // Other programs write to the same volume meanwhile.
    EXPECT_NEAR(static_cast<double>(r.U64()), expected, 256.0 * 1024 * 1024);
    EXPECT_EQ(NewLogLines(), QStringList{"AS_GET_FREE_SIZE - ok"});

    for (const QString& text : {QStringLiteral("Q:\\"), QStringLiteral("C"), QStringLiteral("\\\\server")}) {
        EXPECT_EQ(Request(AS_GET_FREE_SIZE, Utf16z(text)).code, AS_ERROR);
        EXPECT_EQ(NewLogLines(), (QStringList{"AS_GET_FREE_SIZE - Error, Drive - ", text.left(2)}));
    }
}

TEST_F(FileTransferTest, DrivesAreFiveBytesEach)
{
    SetDriveTableForTesting({{'C', cRoot_, DriveType::Fixed},
                             {'D', QStringLiteral("/media/cd"), DriveType::CdRom},
                             {'E', QStringLiteral("/mnt/nas"), DriveType::Remote}});
    const Reply reply = Request(AS_GET_DRIVES, "ignored");
    EXPECT_EQ(reply.code, AS_GET_DRIVES + 1);
    EXPECT_EQ(reply.payload, QByteArray("C", 1) + U32Bytes(3) + QByteArray("D", 1) + U32Bytes(5) +
                                 QByteArray("E", 1) + U32Bytes(4));
}

// --- AS_GET_REG_VALUE -------------------------------------------------------------------------

TEST_F(FileTransferTest, RegValueSendsTheRawDataOfTheValue)
{
    home_.WriteFile(QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg"),
                    "Windows Registry Editor Version 5.00\n\n"
                    "[Software\\Apple Computer, Inc.\\Safari]\n"
                    "\"BookmarksFile\"=\"C:\\\\Users\\\\alice\\\\Bookmarks.plist\"\n"
                    "\"Count\"=dword:0000002a\n"
                    "\"Blob\"=hex:01,02,03\n"
                    "@=\"default\"\n");
    home_.WriteFile(QStringLiteral(".config/TwinLark/registry/HKEY_LOCAL_MACHINE.reg"),
                    "[SOFTWARE\\Clients\\StartMenuInternet]\n@=\"firefox.exe\"\n");
    const QString key = QStringLiteral("software\\apple computer, inc.\\safari");
    const auto request = [&](std::uint32_t root, const QString& sub, const QString& name) {
        return Request(AS_GET_REG_VALUE, U32Bytes(root) + Utf16z(sub) + Utf16z(name));
    };

    const struct {
        std::uint32_t root;
        QString key;
        QString name;
        std::uint16_t code;
        QByteArray payload;
    } cases[] = {
        {0x80000001, key, QStringLiteral("BookmarksFile"), AS_GET_REG_VALUE + 1,
         Utf16z(QStringLiteral("C:\\Users\\alice\\Bookmarks.plist"))},
        {0x80000001, key, QStringLiteral("count"), AS_GET_REG_VALUE + 1, U32Bytes(42)},
        {0x80000001, key, QStringLiteral("Blob"), AS_GET_REG_VALUE + 1, QByteArray("\x01\x02\x03")},
        {0x80000001, key, QString(), AS_GET_REG_VALUE + 1, Utf16z(QStringLiteral("default"))},
        {0x80000002, QStringLiteral("SOFTWARE\\Clients\\StartMenuInternet"), QString(), AS_GET_REG_VALUE + 1,
         Utf16z(QStringLiteral("firefox.exe"))},
        {0x80000001, key, QStringLiteral("Missing"), AS_ERROR, {}},
        {0x80000001, QStringLiteral("Software\\Nobody"), QStringLiteral("Count"), AS_ERROR, {}},
        {0x80000002, key, QStringLiteral("Count"), AS_ERROR, {}},
        {0x80000003, key, QStringLiteral("Count"), AS_ERROR, {}},
    };
    for (const auto& c : cases) {
        const Reply reply = request(c.root, c.key, c.name);
        EXPECT_EQ(reply.code, c.code) << c.name.toStdString();
        EXPECT_EQ(reply.payload, c.payload) << c.name.toStdString();
    }
    // The sub key without terminator: the value name is empty, the key's default value.
    EXPECT_EQ(Request(AS_GET_REG_VALUE, U32Bytes(0x80000001) + Utf16(key)).payload,
              Utf16z(QStringLiteral("default")));
    EXPECT_TRUE(NewLogLines().isEmpty());
}

TEST_F(FileTransferTest, RegValueLargerThanOneMessageIsRefused)
{
    QByteArray hex;
    for (int i = 0; i < 16379; ++i)
        hex += (i ? ",ab" : "ab");
    home_.WriteFile(
        QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg"),
        "[Software\\Big]\n\"fits\"=hex:" + hex.left(16378 * 3 - 1) + "\n\"over\"=hex:" + hex + "\n");
    const QByteArray key = U32Bytes(0x80000001) + Utf16z(QStringLiteral("Software\\Big"));
    const Reply fits = Request(AS_GET_REG_VALUE, key + Utf16z(QStringLiteral("fits")));
    EXPECT_EQ(fits.code, AS_GET_REG_VALUE + 1);
    EXPECT_EQ(fits.payload, QByteArray(16378, '\xab'));
    const Reply over = Request(AS_GET_REG_VALUE, key + Utf16z(QStringLiteral("over")));
    EXPECT_EQ(over.code, AS_ERROR);
    EXPECT_EQ(over.messages, 1);
}

}  // namespace
}  // namespace file_requests

namespace file_requests {
namespace {

// A write that fails on the file it just created leaves no file behind; one that fails on a
// file that was there keeps it.
TEST_F(FileTransferTest, AFailedSetFileRemovesTheFileItCreated)
{
    WriteFile(QStringLiteral("old.txt"), "old");
    {
        FileSizeLimit limit(16);
        ASSERT_TRUE(limit.ok());
        EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:\\new.txt"), 1 << 20, "x")).code, AS_ERROR);
        EXPECT_EQ(Request(AS_SET_FILE, SetFilePayload(QStringLiteral("C:\\old.txt"), 1 << 20, "x")).code, AS_ERROR);
    }
    EXPECT_FALSE(Exists(QStringLiteral("new.txt")));
    EXPECT_EQ(ReadFile(QStringLiteral("old.txt")), "old");
}

}  // namespace
}  // namespace file_requests
