#include "platform/replace_user_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/errors.h"
#include "platform/atomic_file.h"

namespace {

// What stands at the path before it is rewritten. The link leads into another folder, so that
// a write through it is seen to land there.
enum class Before { Nothing, File, LinkToFile, DanglingLink };

class ReplaceUserFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(Folder()));
        ASSERT_TRUE(QDir().mkpath(Elsewhere()));
    }
    QString Folder() const { return dir_.path() + QStringLiteral("/folder"); }
    QString Elsewhere() const { return dir_.path() + QStringLiteral("/elsewhere"); }
    QString Path() const { return Folder() + QStringLiteral("/Bookmarks"); }
    QString Target() const { return Elsewhere() + QStringLiteral("/Bookmarks"); }

    void Put(const QString& path, const QByteArray& content, mode_t mode)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    }
    void Prepare(Before before, mode_t mode)
    {
        if (before == Before::File) Put(Path(), "old", mode);
        if (before == Before::LinkToFile) Put(Target(), "old", mode);
        if (before == Before::LinkToFile || before == Before::DanglingLink) {
            ASSERT_TRUE(QFile::link(Target(), Path()));
        }
    }
    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static mode_t Mode(const QString& path)
    {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    QStringList Leftovers() const
    {
        QStringList names;
        for (const QString& folder : {Folder(), Elsewhere()})
            names += QDir(folder).entryList({QStringLiteral("*.tmp-*")},
                                            QDir::AllEntries | QDir::Hidden | QDir::System);
        return names;
    }

    QTemporaryDir dir_;
};

TEST_F(ReplaceUserFileTest, FollowsOrReplacesTheLinkAndKeepsTheMode)
{
    const struct {
        const char* what;
        Before before;
        LinkAtPath link;
        mode_t modeBefore;
        mode_t modeIfNew;
        bool pathStaysLink;  // else the path holds a regular file with the new content
        mode_t modeAfter;    // of the file that holds the new content
    } cases[] = {
        {"new file, write through", Before::Nothing, LinkAtPath::WriteThrough, 0, 0600, false, 0600},
        {"new file, replace", Before::Nothing, LinkAtPath::Replace, 0, 0640, false, 0640},
        {"file, write through", Before::File, LinkAtPath::WriteThrough, 0604, 0600, false, 0604},
        {"file, replace", Before::File, LinkAtPath::Replace, 0604, 0600, false, 0604},
        {"link, write through", Before::LinkToFile, LinkAtPath::WriteThrough, 0640, 0600, true, 0640},
        {"link, replace", Before::LinkToFile, LinkAtPath::Replace, 0640, 0600, false, 0640},
        {"dangling, write through", Before::DanglingLink, LinkAtPath::WriteThrough, 0, 0600, false, 0600},
        {"dangling, replace", Before::DanglingLink, LinkAtPath::Replace, 0, 0644, false, 0644},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(Path());
        QFile::remove(Target());
        Prepare(c.before, c.modeBefore);

        ReplaceUserFile(Path(), "new", c.link, c.modeIfNew);

        EXPECT_EQ(QFileInfo(Path()).isSymLink(), c.pathStaysLink);
        const QString holder = c.pathStaysLink ? Target() : Path();
        EXPECT_EQ(Read(holder), "new");
        EXPECT_EQ(Mode(holder), c.modeAfter);
        // A link that was replaced leaves the file it led to as it was.
        if (c.before == Before::LinkToFile && !c.pathStaysLink) {
            EXPECT_EQ(Read(Target()), "old");
        }
        EXPECT_EQ(Leftovers(), QStringList());
    }
}

TEST_F(ReplaceUserFileTest, AFailedWriteLeavesNoTemporaryFile)
{
    for (const LinkAtPath link : {LinkAtPath::WriteThrough, LinkAtPath::Replace}) {
        SCOPED_TRACE(link == LinkAtPath::WriteThrough ? "write through" : "replace");
        QFile::remove(Path());
        QFile::remove(Target());
        Prepare(Before::LinkToFile, 0600);
        QString renamedOver;
        {
            // A folder takes the name just before the temporary file would: the rename fails.
            ScopedAtomicWriteHook hook([&](const QString& path) {
                renamedOver = path;
                QFile::remove(path);
                QDir().mkpath(path + QStringLiteral("/inside"));
            });
            EXPECT_THROW(ReplaceUserFile(Path(), "new", link, 0600), AgentError);
        }
        EXPECT_EQ(renamedOver,
                  link == LinkAtPath::WriteThrough ? QFileInfo(Target()).canonicalFilePath() : Path());
        EXPECT_EQ(Leftovers(), QStringList());
        QDir(renamedOver).removeRecursively();
    }
}

}  // namespace
