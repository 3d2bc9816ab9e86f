#include "platform/shell_operations.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/temp_home.h"

namespace {

void WriteFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(content), content.size());
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Exists(const QString& path)
{
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0;
}

void Symlink(const QString& target, const QString& link)
{
    ASSERT_EQ(symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
}

class ShellOperationsTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(ShellOperationsTest, PermanentDeleteRemovesTreesButNeverFollowsLinks)
{
    // Outside the tree: what the links inside point at must survive.
    QDir(dir_.path()).mkpath(QStringLiteral("outside/sub"));
    WriteFile(Path("outside/keep.txt"), "keep");
    WriteFile(Path("outside/sub/keep2.txt"), "keep");

    QDir(dir_.path()).mkpath(QStringLiteral("tree/a/b/c"));
    WriteFile(Path("tree/top.txt"), "1");
    WriteFile(Path("tree/a/b/c/deep.txt"), "2");
    WriteFile(Path("tree/a/.hidden"), "3");
    Symlink(Path("outside"), Path("tree/a/to-outside-dir"));
    Symlink(Path("outside/keep.txt"), Path("tree/to-outside-file"));
    Symlink(Path("nowhere"), Path("tree/dangling"));
    chmod(QFile::encodeName(Path("tree/top.txt")).constData(), 0444);

    EXPECT_FALSE(DeletePermanently(Path("tree")));
    EXPECT_FALSE(Exists(Path("tree")));
    EXPECT_EQ(ReadFile(Path("outside/keep.txt")), "keep");
    EXPECT_EQ(ReadFile(Path("outside/sub/keep2.txt")), "keep");

    // A link named directly is removed as a link.
    Symlink(Path("outside"), Path("link-to-dir"));
    EXPECT_FALSE(DeletePermanently(Path("link-to-dir")));
    EXPECT_FALSE(Exists(Path("link-to-dir")));
    EXPECT_TRUE(QFileInfo::exists(Path("outside/sub/keep2.txt")));

    WriteFile(Path("single.txt"), "x");
    EXPECT_FALSE(DeletePermanently(Path("single.txt")));
    EXPECT_FALSE(Exists(Path("single.txt")));

    // Mount points (the root included) are whole volumes, not folders to empty.
    EXPECT_EQ(DeletePermanently(QStringLiteral("/")), std::errc::device_or_resource_busy);
    EXPECT_EQ(DeletePermanently(QStringLiteral("/proc")), std::errc::device_or_resource_busy);

    EXPECT_EQ(DeletePermanently(Path("missing")), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(DeletePermanently(QString()));
}

TEST_F(ShellOperationsTest, RenameNeverReplacesAnExistingTarget)
{
    WriteFile(Path("old.txt"), "old");
    WriteFile(Path("taken.txt"), "taken");
    EXPECT_EQ(RenameNoReplace(Path("old.txt"), Path("taken.txt")), std::errc::file_exists);
    EXPECT_EQ(ReadFile(Path("old.txt")), "old");
    EXPECT_EQ(ReadFile(Path("taken.txt")), "taken");

    // An empty folder is no exception (a plain rename would replace it).
    QDir(dir_.path()).mkdir(QStringLiteral("folder"));
    QDir(dir_.path()).mkdir(QStringLiteral("empty"));
    WriteFile(Path("folder/inside.txt"), "in");
    EXPECT_EQ(RenameNoReplace(Path("folder"), Path("empty")), std::errc::file_exists);
    EXPECT_EQ(ReadFile(Path("folder/inside.txt")), "in");

    EXPECT_FALSE(RenameNoReplace(Path("old.txt"), Path("new.txt")));
    EXPECT_EQ(ReadFile(Path("new.txt")), "old");
    EXPECT_FALSE(Exists(Path("old.txt")));
    EXPECT_FALSE(RenameNoReplace(Path("folder"), Path("empty/moved")));
    EXPECT_EQ(ReadFile(Path("empty/moved/inside.txt")), "in");

    EXPECT_EQ(RenameNoReplace(Path("missing"), Path("other")), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(RenameNoReplace(Path("new.txt"), Path("no-such-folder/x")));
    EXPECT_EQ(ReadFile(Path("new.txt")), "old");
}

TEST_F(ShellOperationsTest, RenameMovesFilesButNotFoldersToAnotherVolume)
{
    QTemporaryDir other(QStringLiteral("/dev/shm/twinlark-rename-XXXXXX"));
    struct stat here {
    }, there{};
    if (!other.isValid() || stat(QFile::encodeName(dir_.path()).constData(), &here) != 0 ||
        stat(QFile::encodeName(other.path()).constData(), &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second volume at /dev/shm";

    WriteFile(Path("file.bin"), QByteArray(3 << 20, 'z'));
    const timespec times[2] = {{0, UTIME_OMIT}, {978307200, 0}};
    utimensat(AT_FDCWD, QFile::encodeName(Path("file.bin")).constData(), times, 0);
    WriteFile(other.filePath(QStringLiteral("taken")), "t");

    EXPECT_EQ(RenameNoReplace(Path("file.bin"), other.filePath(QStringLiteral("taken"))),
              std::errc::file_exists);
    EXPECT_EQ(ReadFile(other.filePath(QStringLiteral("taken"))), "t");

    EXPECT_FALSE(RenameNoReplace(Path("file.bin"), other.filePath(QStringLiteral("file.bin"))));
    EXPECT_FALSE(Exists(Path("file.bin")));
    EXPECT_EQ(ReadFile(other.filePath(QStringLiteral("file.bin"))), QByteArray(3 << 20, 'z'));
    EXPECT_EQ(QFileInfo(other.filePath(QStringLiteral("file.bin"))).lastModified().toSecsSinceEpoch(),
              978307200);

    QDir(dir_.path()).mkdir(QStringLiteral("folder"));
    EXPECT_EQ(RenameNoReplace(Path("folder"), other.filePath(QStringLiteral("folder"))),
              std::errc::cross_device_link);
    EXPECT_TRUE(QFileInfo(Path("folder")).isDir());
}

// Items of one name meet in the Trash: each keeps its own file and its own record of where it
// came from, the later ones numbered before their extension.
TEST(TrashTest, ItemsOfOneNameEachKeepTheirFileAndRecord)
{
    TempHome home;
    const struct {
        const char* from;
        const char* trashed;
    } cases[] = {
        {"a/report.txt", "report.txt"}, {"b/report.txt", "report.2.txt"}, {"c/report.txt", "report.3.txt"},
        {"a/notes", "notes"},           {"b/notes", "notes.2"},           {"a/.profile", ".profile"},
        {"b/.profile", ".profile.2"},
    };
    for (const auto& c : cases) {
        const QString from = QString::fromLatin1(c.from);
        home.WriteFile(from, c.from);
        ASSERT_FALSE(MoveToTrash(home.Path(from))) << c.from;
        EXPECT_FALSE(home.Exists(from)) << c.from;
        const QString trashed = QString::fromLatin1(c.trashed);
        EXPECT_EQ(home.ReadFile(QStringLiteral(".local/share/Trash/files/") + trashed), QByteArray(c.from));
        const QByteArray record =
            home.ReadFile(QStringLiteral(".local/share/Trash/info/") + trashed + QStringLiteral(".trashinfo"))
                .value_or(QByteArray());
        EXPECT_TRUE(record.startsWith(
            "[Trash Info]\nPath=" + QFile::encodeName(home.Path(from)).toPercentEncoding("/") +
            "\nDeletionDate="))
            << record.constData();
    }
    EXPECT_EQ(MoveToTrash(home.Path(QStringLiteral("a/report.txt"))), std::errc::no_such_file_or_directory);
}

class RecordingOpener : public DesktopOpener {
public:
    bool Open(const QUrl& url) override
    {
        opened.append(url);
        return true;
    }
    QList<QUrl> opened;
};

TEST(DesktopOpenerTest, TheInstalledOpenerReceivesTheUrl)
{
    RecordingOpener opener;
    SetDesktopOpenerForTesting(&opener);
    EXPECT_TRUE(OpenWithDesktop(QUrl::fromLocalFile(QStringLiteral("/tmp/a b;rm -rf ~.txt"))));
    SetDesktopOpenerForTesting(nullptr);
    ASSERT_EQ(opener.opened.size(), 1);
    EXPECT_EQ(opener.opened[0].toLocalFile(), QStringLiteral("/tmp/a b;rm -rf ~.txt"));
}

}  // namespace
