#include "platform/file_attributes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace file_attribute;

constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

void WriteFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(content), content.size());
}

void SetMtime(const QString& path, std::int64_t seconds, long nanoseconds)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(FileTime, ConvertsBothWays)
{
    EXPECT_EQ(FileTimeFromUnix(0, 0), kUnixEpochAsFileTime);
    EXPECT_EQ(FileTimeFromUnix(1, 500), kUnixEpochAsFileTime + 10000005);
    EXPECT_EQ(FileTimeFromUnix(-11644473600LL, 0), 0u);
    EXPECT_EQ(FileTimeFromUnix(-11644473601LL, 0), 0u);  // before 1601: the smallest FILETIME

    const timespec t = UnixFromFileTime(kUnixEpochAsFileTime + 12345678901234ULL);
    EXPECT_EQ(t.tv_sec, 1234567);
    EXPECT_EQ(t.tv_nsec, 8901234 * 100);
    const timespec old = UnixFromFileTime(0);
    EXPECT_EQ(old.tv_sec, -11644473600LL);
    EXPECT_EQ(FileTimeFromUnix(old.tv_sec, static_cast<std::uint32_t>(old.tv_nsec)), 0u);
}

class FileFactsTest : public ::testing::Test {
protected:
    QString Path(const char* name) const { return dir_.filePath(QString::fromUtf8(name)); }
    QTemporaryDir dir_;
};

TEST_F(FileFactsTest, AttributesFollowTheKindNameAndMode)
{
    WriteFile(Path("plain.txt"), "12345");
    WriteFile(Path(".hidden"), "x");
    WriteFile(Path("locked.txt"), "x");
    ASSERT_EQ(chmod(QFile::encodeName(Path("locked.txt")).constData(), 0444), 0);
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder")));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral(".config")));
    ASSERT_EQ(symlink("plain.txt", QFile::encodeName(Path("link")).constData()), 0);
    ASSERT_EQ(symlink("folder", QFile::encodeName(Path("dirlink")).constData()), 0);
    ASSERT_EQ(symlink("nowhere", QFile::encodeName(Path("dangling")).constData()), 0);
    ASSERT_EQ(mkfifo(QFile::encodeName(Path("pipe")).constData(), 0644), 0);

    const struct {
        const char* name;
        std::uint32_t attributes;
        std::uint64_t size;
    } cases[] = {
        {"plain.txt", kArchive, 5},
        {".hidden", kArchive | kHidden, 1},
        {"locked.txt", kArchive | kReadOnly, 1},
        {"folder", kDirectory, 0},
        {".config", kDirectory | kHidden, 0},
        {"link", kArchive | kReparsePoint, 5},
        {"dirlink", kDirectory | kReparsePoint, 0},
        {"dangling", kReparsePoint, 0},
        {"pipe", kNormal, 0},
    };
    for (const auto& c : cases) {
        const std::optional<FileFacts> facts = ReadFileFacts(Path(c.name));
        ASSERT_TRUE(facts.has_value()) << c.name;
        EXPECT_EQ(facts->attributes, c.attributes) << c.name;
        EXPECT_EQ(facts->size, c.size) << c.name;
    }
    EXPECT_FALSE(ReadFileFacts(Path("missing")).has_value());
    EXPECT_FALSE(ReadFileFacts(QString()).has_value());
}

TEST_F(FileFactsTest, LastWriteIsTheModificationTimeAndCreationIsNot)
{
    WriteFile(Path("a.txt"), "x");
    SetMtime(Path("a.txt"), 978307200, 123456789);  // 1 January 2001
    const std::optional<FileFacts> facts = ReadFileFacts(Path("a.txt"));
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->lastWriteTime, FileTimeFromUnix(978307200, 123456700));
    // Birth or status-change time: both are "now", whatever the modification time says.
    EXPECT_GT(facts->creationTime, FileTimeFromUnix(time(nullptr) - 3600, 0));
}

TEST_F(FileFactsTest, ListingIsSortedWithoutDotEntries)
{
    for (const char* name : {"b", "a", "B", ".x", "c d", "\xc3\xa4"})
        WriteFile(Path(name), "x");
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("A")));
    const auto entries = ListFolder(dir_.path());
    ASSERT_TRUE(entries.has_value());
    QStringList names;
    for (const FolderEntry& e : *entries)
        names << e.name;
    EXPECT_EQ(names, (QStringList{".x", "A", "B", "a", "b", "c d", QString::fromUtf8("\xc3\xa4")}));
    EXPECT_EQ(entries->at(1).facts.attributes, kDirectory);

    EXPECT_FALSE(ListFolder(Path("missing")).has_value());
    EXPECT_FALSE(ListFolder(Path("b")).has_value());
    const auto empty = ListFolder((QDir(dir_.path()).mkdir("empty"), Path("empty")));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
}

}  // namespace
