#include "platform/confined_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/errors.h"

namespace {

class ConfinedFolderTest : public ::testing::Test {
protected:
    QString Path(const QString& relative) const { return dir_.path() + QLatin1Char('/') + relative; }
    void Write(const QString& relative, const QByteArray& bytes) const
    {
        QFile f(Path(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << relative.toStdString();
        f.write(bytes);
    }

    QTemporaryDir dir_;
    ConfinedFolder root_{Path(QStringLiteral("root"))};
};

TEST_F(ConfinedFolderTest, APeersPathThatCouldLeaveTheRootIsRefused)
{
    for (const char* path : {"..", "a/../../b", "a/..", "./a", "a/./b", "/etc", "\\etc", "C:/Windows", "c:",
                             "a//b", "a\\\\b"}) {
        EXPECT_THROW(ConfinedFolder::SplitRelativePath(QString::fromUtf8(path)), AgentError) << path;
    }
    EXPECT_THROW(ConfinedFolder::SplitRelativePath(QStringLiteral("a") + QChar(0) + QStringLiteral("b")),
                 AgentError);
    EXPECT_THROW(root_.Resolve({QStringLiteral("a/b")}), AgentError) << "one name per part";
    EXPECT_THROW(root_.Resolve({QStringLiteral("..")}), AgentError);

    EXPECT_EQ(ConfinedFolder::SplitRelativePath(QStringLiteral("Work\\Tools/")),
              (QStringList{"Work", "Tools"}));
    EXPECT_EQ(ConfinedFolder::SplitRelativePath(QString()), QStringList{});
    EXPECT_EQ(root_.Resolve({"Work", "a..b"}), Path("root/Work/a..b"));
}

TEST_F(ConfinedFolderTest, AKeyOutsideTheRootIsRefused)
{
    for (const QString& key : {Path("elsewhere.url"), Path("root"), Path("root/"), Path("rootless/x"),
                               Path("root/../elsewhere.url"), Path("root/a//b"), QStringLiteral("x")}) {
        EXPECT_THROW(root_.NamesOf(key), AgentError) << key.toStdString();
    }
    EXPECT_EQ(root_.NamesOf(Path("root/a/b.url")), (QStringList{"a", "b.url"}));
}

TEST_F(ConfinedFolderTest, ALinkOutOfTheRootIsRefusedOneWithinIsNot)
{
    ASSERT_TRUE(QDir().mkpath(Path("root/inside")));
    ASSERT_TRUE(QDir().mkpath(Path("elsewhere")));
    Write("elsewhere/secret.url", "keep");
    ASSERT_TRUE(QFile::link(Path("elsewhere"), Path("root/out")));
    ASSERT_TRUE(QFile::link(Path("elsewhere/secret.url"), Path("root/file.url")));
    ASSERT_TRUE(QFile::link(Path("root/inside"), Path("root/alias")));

    EXPECT_THROW(root_.Resolve({"out"}), AgentError);
    EXPECT_THROW(root_.Resolve({"out", "secret.url"}), AgentError);
    EXPECT_THROW(root_.Resolve({"out", "new", "deeper"}), AgentError);
    EXPECT_THROW(root_.NamesOf(Path("root/file.url")), AgentError) << "a file that is a link out";
    EXPECT_THROW(root_.MakeFolders({"out", "new"}), AgentError);
    EXPECT_FALSE(QFile::exists(Path("elsewhere/new")));
    EXPECT_EQ(root_.Resolve({"alias", "x"}), Path("root/alias/x"));

    // The root itself may be reached through a link.
    ASSERT_TRUE(QFile::link(Path("root"), Path("rootlink")));
    const ConfinedFolder linked(Path("rootlink"));
    EXPECT_EQ(linked.Resolve({"inside"}), Path("rootlink/inside"));
    EXPECT_THROW(linked.Resolve({"out"}), AgentError);
}

TEST_F(ConfinedFolderTest, ANewFileTakesTheFirstFreeNumberedName)
{
    const QString folder = root_.MakeFolders({"Work"});
    EXPECT_EQ(folder, Path("root/Work"));
    EXPECT_EQ(ConfinedFolder::FreeFileName(folder, "Site", ".url"), Path("root/Work/Site.url"));
    Write("root/Work/Site.url", "one");
    ASSERT_TRUE(QDir().mkpath(Path("root/Work/Site (1).url")));
    ASSERT_TRUE(QFile::link(Path("nowhere"), Path("root/Work/Site (2).url")));  // dangling
    const QString free = ConfinedFolder::FreeFileName(folder, "Site", ".url");
    EXPECT_EQ(free, Path("root/Work/Site (3).url"));

    ConfinedFolder::WriteNewFile(free, "three");
    EXPECT_THROW(ConfinedFolder::WriteNewFile(free, "again"), AgentError) << "never replaces";
    QFile f(free);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "three");
}

TEST_F(ConfinedFolderTest, ReplacingAFileKeepsItsPermissions)
{
    root_.MakeFolders({});
    Write("root/Bookmarks", "old");
    ASSERT_EQ(::chmod(QFile::encodeName(Path("root/Bookmarks")).constData(), 0600), 0);
    ConfinedFolder::ReplaceFile(Path("root/Bookmarks"), "new");
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(Path("root/Bookmarks")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "a file only its owner may read stays so";
    QFile f(Path("root/Bookmarks"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "new");

    ConfinedFolder::ReplaceFile(Path("root/Fresh"), "x", 0640);
    ASSERT_EQ(::stat(QFile::encodeName(Path("root/Fresh")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

}  // namespace
