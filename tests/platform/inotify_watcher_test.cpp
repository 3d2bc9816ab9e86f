// Where a folder watch's tree ends: at the watched folder's volume, and never inside a pseudo
// file system.
#include "platform/inotify_watcher.h"

#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(InotifyWatcherTreeTest, FoldersOfAnotherDeviceOrOfAPseudoFileSystemAreNotWalked)
{
    constexpr std::int64_t kExt4 = 0xEF53;
    struct Case {
        const char* what;
        std::uint64_t watchedDevice;
        std::int64_t watchedType;
        std::uint64_t folderDevice;
        bool walked;
    };
    const Case cases[] = {
        {"same volume", 0x801, kExt4, 0x801, true},
        {"same volume on tmpfs", 0x2a, TMPFS_MAGIC, 0x2a, true},
        {"another volume mounted below", 0x801, kExt4, 0x802, false},
        {"/proc below a drive root", 0x801, kExt4, 0x5, false},
        {"a watch inside /proc", 0x5, PROC_SUPER_MAGIC, 0x5, false},
        {"a watch inside /sys", 0x16, SYSFS_MAGIC, 0x16, false},
        {"a watch inside a cgroup tree", 0x1a, CGROUP2_SUPER_MAGIC, 0x1a, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsFolderWalked(c.watchedDevice, c.watchedType, c.folderDevice), c.walked) << c.what;

    struct statfs fs;
    if (::statfs("/proc", &fs) == 0) {
        EXPECT_TRUE(IsPseudoFileSystem(fs.f_type));
    }
    EXPECT_FALSE(IsPseudoFileSystem(TMPFS_MAGIC));
}

class CollectingSink : public FolderChangeSink {
public:
    void OnChanges(FolderChangeBatch batch) override
    {
        std::lock_guard lock(mutex_);
        changed_.insert(changed_.end(), batch.changedFolders.begin(), batch.changedFolders.end());
    }
    void OnProblem(WatchProblem) override {}
    bool Saw(const QString& folder)
    {
        std::lock_guard lock(mutex_);
        return std::find(changed_.begin(), changed_.end(), folder) != changed_.end();
    }

private:
    std::mutex mutex_;
    std::vector<QString> changed_;
};

// Needs the right to mount (root in the build sandbox); skipped elsewhere.
TEST(InotifyWatcherTreeTest, AWatchStopsAtAVolumeMountedBelowIt)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("mnt")));
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("own")));
    const QByteArray mountPoint = QFile::encodeName(root.path() + QStringLiteral("/mnt"));
    if (::mount("none", mountPoint.constData(), "tmpfs", 0, nullptr) != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{mountPoint};
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("mnt/sub")));

    CollectingSink sink;
    InotifyWatcher watcher(root.path(), sink);
    ASSERT_TRUE(watcher.WaitUntilReady(10s));

    QFile inside(root.path() + QStringLiteral("/mnt/sub/file"));
    ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
    inside.close();
    // Events of one watcher arrive in order: once the later write in "own" is seen, a watch
    // on the mounted volume would have reported its write too.
    QFile fence(root.path() + QStringLiteral("/own/fence"));
    ASSERT_TRUE(fence.open(QIODevice::WriteOnly));
    fence.close();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!sink.Saw(QStringLiteral("own")) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    watcher.Stop();

    ASSERT_TRUE(sink.Saw(QStringLiteral("own")));
    EXPECT_FALSE(sink.Saw(QStringLiteral("mnt/sub")));
    EXPECT_FALSE(sink.Saw(QStringLiteral("mnt")));
}

}  // namespace

namespace {

class ProblemSink : public FolderChangeSink {
public:
    void OnChanges(FolderChangeBatch batch) override
    {
        std::lock_guard lock(mutex);
        changed.insert(changed.end(), batch.changedFolders.begin(), batch.changedFolders.end());
    }
    void OnProblem(WatchProblem p) override
    {
        std::lock_guard lock(mutex);
        problems.push_back(p);
    }
    std::mutex mutex;
    std::vector<QString> changed;
    std::vector<WatchProblem> problems;
};

TEST(InotifyWatcherShareTest, TheAgentKeepsToItsShareOfTheUsersWatches)
{
    QTemporaryDir root;
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("f%1/g").arg(i)));
    SetInotifyWatchShareForTesting(4);
    ProblemSink sink;
    {
        InotifyWatcher watcher(root.path(), sink);
        ASSERT_TRUE(watcher.WaitUntilReady(5s));
        EXPECT_LE(InotifyWatchesHeld(), 4);
        EXPECT_GT(InotifyWatchesHeld(), 0);
        // A second watch finds the share used up too.
        ProblemSink other;
        InotifyWatcher second(root.path(), other);
        ASSERT_TRUE(second.WaitUntilReady(5s));
        EXPECT_LE(InotifyWatchesHeld(), 4);
        second.Stop();
        watcher.Stop();
        std::lock_guard lock(sink.mutex);
        ASSERT_EQ(sink.problems.size(), 1u);
        EXPECT_EQ(sink.problems[0], WatchProblem::ShareUsedUp);
        EXPECT_NE(std::find(sink.changed.begin(), sink.changed.end(), QString()), sink.changed.end());
    }
    EXPECT_EQ(InotifyWatchesHeld(), 0);
    SetInotifyWatchShareForTesting(-1);
    EXPECT_GE(InotifyWatchShare(), 1);
}

}  // namespace
