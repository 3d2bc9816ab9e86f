// The agent's data and settings folders are not the peer's: every file request refuses them,
// directly, through a link or through "..", and leaves them as they were.
#include <sys/stat.h>
#include <unistd.h>

#include "dispatch/file_request_fixture.h"
#include "dispatch/file_transfers.h"
#include "dispatch/file_watch_manager.h"

namespace file_requests {
namespace {

class AgentFolderRequestTest : public FileRequestTest {
protected:
    AgentFolderRequestTest()
    {
        home_.WriteFile(QStringLiteral(".local/share/TwinLark/TwinLark.log"), "a line\n");
        home_.WriteFile(QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg"), kSettings);
        Link(home_.Path(QStringLiteral(".local/share/TwinLark")), Local(QStringLiteral("data")));
        Link(home_.Path(QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg")), Local(QStringLiteral("settings.reg")));
        Link(home_.Path(QStringLiteral(".local/share")), Local(QStringLiteral("share")));
    }

    static void Link(const QString& target, const QString& link)
    {
        ASSERT_EQ(symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
    }

    // Every entry of both folders (and the folders holding them) with its content and times.
    std::map<QString, QString> AgentFiles() const
    {
        std::map<QString, QString> all;
        for (const char* root : {".local", ".config"}) {
            QDirIterator it(home_.Path(QString::fromLatin1(root)),
                            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                struct stat st {};
                lstat(QFile::encodeName(path).constData(), &st);
                QFile f(path);
                const QByteArray content = S_ISREG(st.st_mode) && f.open(QIODevice::ReadOnly) ? f.readAll() : "";
                all[path] = QStringLiteral("%1 %2.%3 %4")
                                .arg(st.st_mode)
                                .arg(st.st_mtim.tv_sec)
                                .arg(st.st_mtim.tv_nsec)
                                .arg(QString::fromLatin1(content.toHex()));
            }
        }
        return all;
    }

    static constexpr const char* kSettings =
        "Windows Registry Editor Version 5.00\r\n\r\n[Software\\TwinLark]\r\n\"password\"=\"secret\"\r\n";
    // Drive D: is the home folder, so the agent's folders have peer paths of their own.
    ScopedDriveTableForTesting bothDrives_{{{'C', cRoot_, DriveType::Fixed}, {'D', home_.Root(), DriveType::Fixed}}};
};

struct Refusal {
    std::uint16_t code;
    const char* name;
    QByteArray payload;
    std::uint16_t answer;  // the reply code: AS_ERROR, or the success code with nothing done
};

TEST_F(AgentFolderRequestTest, EveryFileRequestRefusesTheAgentsOwnFolders)
{
    const QString log = QStringLiteral("D:\\.local\\share\\TwinLark\\TwinLark.log");
    const QString logByLink = QStringLiteral("C:\\data\\TwinLark.log");
    const QString settings = QStringLiteral("D:\\.config\\TwinLark\\registry\\HKEY_CURRENT_USER.reg");
    const QString settingsByLink = QStringLiteral("C:\\settings.reg");
    const QString settingsByDots = QStringLiteral("D:\\.config\\x\\..\\TwinLark\\registry\\HKEY_CURRENT_USER.reg");
    const QString dataDir = QStringLiteral("D:\\.local\\share\\TwinLark");
    const QString newInData = QStringLiteral("C:\\share\\TwinLark\\new.txt");
    WriteFile(QStringLiteral("mine.txt"), "mine");
    const QString mine = QStringLiteral("C:\\mine.txt");

    const std::vector<Refusal> cases = {
        {AS_GET_FILE, "AS_GET_FILE", Counted(log) + U64(0) + U16Bytes(4), AS_ERROR},
        {AS_GET_FILE, "AS_GET_FILE", Counted(settingsByLink) + U64(0) + U16Bytes(4), AS_ERROR},
        {AS_SET_FILE, "AS_SET_FILE", Counted(logByLink) + U64(0) + U16Bytes(6) + "forged", AS_ERROR},
        {AS_SET_FILE, "AS_SET_FILE", Counted(settingsByDots) + U64(0) + U16Bytes(1) + "x", AS_ERROR},
        {AS_SET_FILE, "AS_SET_FILE", Counted(newInData) + U64(0) + U16Bytes(1) + "x", AS_ERROR},
        {AS_GET_DIR_LIST, "AS_GET_DIR_LIST", Counted(dataDir), AS_GET_DIR_LIST + 1},
        {AS_GET_DIR_LIST, "AS_GET_DIR_LIST", Counted(QStringLiteral("C:\\data")), AS_GET_DIR_LIST + 1},
        {AS_GET_FILE_INFO, "AS_GET_FILE_INFO", Utf16z(settings), AS_ERROR},
        {AS_GET_FILE_INFO_EX, "AS_GET_FILE_INFO_EX", Utf16z(logByLink), AS_ERROR},
        {AS_CREATE_DIR, "AS_CREATE_DIR", Utf16z(dataDir + QStringLiteral("\\sub")), AS_ERROR},
        {AS_DELETE_FILE, "AS_DELETE_FILE", Utf16z(log), AS_ERROR},
        {AS_DELETE_FILE, "AS_DELETE_FILE", Utf16z(settingsByLink), AS_ERROR},
        {AS_DEL_FILE_TRASH, "AS_DEL_FILE_TRASH", Utf16z(settings), AS_ERROR},
        {AS_DEL_DIR, "AS_DEL_DIR", Utf16z(dataDir), AS_ERROR},
        // Folders that hold them go with them.
        {AS_DEL_DIR, "AS_DEL_DIR", Utf16z(QStringLiteral("D:\\.local")), AS_ERROR},
        {AS_DEL_DIR_TRASH, "AS_DEL_DIR_TRASH", Utf16z(QStringLiteral("D:\\.config")), AS_ERROR},
        {AS_DEL_DIR_TRASH, "AS_DEL_DIR_TRASH", Utf16z(QStringLiteral("C:\\share")), AS_ERROR},
        {AS_RENAME_FILE, "AS_RENAME_FILE", Utf16z(log) + Utf16z(QStringLiteral("C:\\log.txt")), AS_ERROR},
        {AS_RENAME_FILE, "AS_RENAME_FILE", Utf16z(QStringLiteral("D:\\.local\\share")) + Utf16z(QStringLiteral("C:\\moved")), AS_ERROR},
        {AS_RENAME_FILE, "AS_RENAME_FILE", Utf16z(mine) + Utf16z(newInData), AS_ERROR},
        {AS_SET_FILE_TIME, "AS_SET_FILE_TIME", Counted(settings) + U64(0) + U64(126227808000000000ULL), AS_ERROR},
        {AS_OPEN_FILE, "AS_OPEN_FILE", Utf16z(logByLink), AS_OPEN_FILE + 1},
        {AS_ADDFILEWATCH, "AS_ADDFILEWATCH", Utf16z(dataDir), AS_ADDFILEWATCH + 1},
        {AS_ADDFILEWATCH, "AS_ADDFILEWATCH", Utf16z(QStringLiteral("C:\\data")), AS_ADDFILEWATCH + 1},
        {AS_DEL_MEDIA, "AS_DEL_MEDIA", Utf16z(log), AS_ERROR},
    };
    RecordingOpener opener;
    const auto before = AgentFiles();
    const auto driveBefore = Snapshot();
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        const Reply reply = Request(c.code, c.payload);
        EXPECT_EQ(reply.code, c.answer);
        EXPECT_TRUE(reply.payload.isEmpty());
        const QStringList lines = NewLogLines();
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.first(), QString::fromLatin1(c.name) + " - refused: the path leads to the agent's own files");
        EXPECT_EQ(AgentFiles(), before);
    }
    EXPECT_EQ(Snapshot(), driveBefore);
    EXPECT_TRUE(opener.opened.isEmpty());
    EXPECT_TRUE(agent_.watches->WatchedPaths().isEmpty());
    EXPECT_FALSE(agent_.transfers->read.IsOpen());
    EXPECT_FALSE(agent_.transfers->write.IsOpen());
}

TEST_F(AgentFolderRequestTest, NeighboursOfTheAgentsFoldersStayThePeers)
{
    // A name that merely starts like the agent's folder, and the folder holding it, are served.
    home_.WriteFile(QStringLiteral(".local/share/TwinLarkOther/x.txt"), "x");
    const Reply got = Request(AS_GET_FILE, Counted(QStringLiteral("D:\\.local\\share\\TwinLarkOther\\x.txt")) + U64(0) + U16Bytes(1));
    EXPECT_EQ(got.code, AS_GET_FILE + 1);
    EXPECT_EQ(got.payload, "x");
    const Reply listing = Request(AS_GET_DIR_LIST, Counted(QStringLiteral("C:\\share")));
    EXPECT_EQ(listing.code, AS_GET_DIR_LIST + 1);
    EXPECT_TRUE(listing.payload.contains(Utf16(QStringLiteral("TwinLarkOther"))));
    EXPECT_EQ(Request(AS_SET_FILE, Counted(QStringLiteral("C:\\TwinLark\\x.txt")) + U64(0) + U16Bytes(1) + "x").code, AS_ERROR)
        << "no such folder: an ordinary failure";
    QDir().mkpath(Local(QStringLiteral("TwinLark")));
    EXPECT_EQ(Request(AS_SET_FILE, Counted(QStringLiteral("C:\\TwinLark\\x.txt")) + U64(0) + U16Bytes(1) + "x").code,
              AS_SET_FILE + 1);
}

}  // namespace
}  // namespace file_requests
