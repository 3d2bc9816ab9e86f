#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/errors.h"
#include "support/file_size_limit.h"

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    QByteArray Read(const QString& name) const
    {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList Entries() const
    {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }
    QTemporaryDir dir_;
};

TEST_F(AtomicFileTest, CreatesAndReplacesWithoutLeftovers)
{
    WriteFileAtomically(Path("f"), "first content");
    EXPECT_EQ(Read("f"), "first content");
    WriteFileAtomically(Path("f"), QByteArray());
    EXPECT_EQ(Read("f"), QByteArray());
    const QByteArray big(3 << 20, 'b');
    WriteFileAtomically(Path("f"), big);
    EXPECT_EQ(Read("f"), big);
    EXPECT_EQ(Entries(), QStringList{"f"});
}

TEST_F(AtomicFileTest, AppliesTheMode)
{
    WriteFileAtomically(Path("secret"), "x", 0600);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Path("secret")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    WriteFileAtomically(Path("secret"), "y");
    ASSERT_EQ(::stat(QFile::encodeName(Path("secret")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(AtomicFileTest, FailureLeavesTheOldStateAndNoTemporaryFile)
{
    ASSERT_TRUE(QDir().mkdir(Path("in-the-way")));
    EXPECT_THROW(WriteFileAtomically(Path("in-the-way"), "data"), AgentError);
    EXPECT_TRUE(QFileInfo(Path("in-the-way")).isDir());
    EXPECT_FALSE(TryWriteFileAtomically(Path("in-the-way"), "data"));
    EXPECT_FALSE(TryWriteFileAtomically(Path("missing/folder/f"), "data"));
    EXPECT_EQ(Entries(), QStringList{"in-the-way"});
}

TEST_F(AtomicFileTest, FailedWriteKeepsTheOldFile)
{
    WriteFileAtomically(Path("f"), "old");
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(WriteFileAtomically(Path("f"), QByteArray(64 * 1024, 'n')), AgentError);
    }
    EXPECT_EQ(Read("f"), "old");
    EXPECT_EQ(Entries(), QStringList{"f"});
}

TEST_F(AtomicFileTest, ReadOnlyFolderKeepsTheOldFile)
{
    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    WriteFileAtomically(Path("f"), "old");
    ASSERT_TRUE(QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    EXPECT_THROW(WriteFileAtomically(Path("f"), "new"), AgentError);
    QFile::setPermissions(dir_.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(Read("f"), "old");
    EXPECT_EQ(Entries(), QStringList{"f"});
}

}  // namespace

namespace {

// A write killed before its rename leaves "<name>.tmp-XXXXXX"; the next write into that folder
// (the first of the run) removes such files, and nothing else.
TEST(AtomicFileLeftoversTest, TheFirstWriteIntoAFolderRemovesLeftoverTemporaryFiles)
{
    QTemporaryDir dir;
    const auto plant = [&](const char* name) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("half");
    };
    plant("Bookmarks.tmp-a1B2c3");
    plant("contacts.adr.tmp-ZZZZZZ");
    plant("keep.tmp-short");
    plant("keep.txt");
    QFile::link(dir.filePath(QStringLiteral("keep.txt")), dir.filePath(QStringLiteral("link.tmp-000000")));
    WriteFileAtomically(dir.filePath(QStringLiteral("new.txt")), "new");
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::System, QDir::Name);
    EXPECT_EQ(left, (QStringList{"keep.tmp-short", "keep.txt", "link.tmp-000000", "new.txt"}));
}

}  // namespace
