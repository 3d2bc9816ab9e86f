#pragma once
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// What one watcher saw since its last report. Paths are relative to the watched folder, with
// '/' between local names; "" is the watched folder itself.
struct FolderChangeBatch {
    std::vector<QString> changedFolders;  // something inside was added, removed, modified or renamed
    std::vector<QString> removedPaths;    // files and folders that are gone
    std::vector<std::pair<QString, QString>> renamedFolders;  // old path, new path

    bool Empty() const { return changedFolders.empty() && removedPaths.empty() && renamedFolders.empty(); }
    std::size_t Size() const { return changedFolders.size() + removedPaths.size() + renamedFolders.size(); }
};

// Why changes may have been missed; the watched folder is then reported as changed.
enum class WatchProblem {
    EventsLost,    // the kernel's event queue overflowed
    OutOfWatches,  // no more inotify watches could be added (fs.inotify.max_user_watches)
    ShareUsedUp,   // the agent's watches together reached their share of the user's watches
    NoInstance,    // no inotify instance could be created (fs.inotify.max_user_instances, open files)
};

// Receives a watcher's reports. Called on the watcher's own thread; implementations take
// their own lock and must not call back into the watcher.
class FolderChangeSink {
public:
    virtual ~FolderChangeSink() = default;
    virtual void OnChanges(FolderChangeBatch batch) = 0;
    virtual void OnProblem(WatchProblem problem) = 0;
};

// Watches one folder and everything below it with inotify, on a thread of its own.
//
// Every subfolder gets its own inotify watch; folders that appear later are watched as they
// appear, and what they already hold by then is reported, so nothing created in between is
// missed. A rename reported by the kernel as a pair of events (matched by their cookie) is one
// rename; half a pair is a removal (moved out of the tree) or an addition (moved in).
//
// The thread ends when it is stopped, when the folder cannot be watched at all, or when the
// watched folder itself is deleted, moved or unmounted.
class InotifyWatcher {
public:
    // Starts the thread at once. Throws AgentError when the stop signal or the thread cannot
    // be created. `sink` must outlive the watcher.
    InotifyWatcher(QString localRoot, FolderChangeSink& sink);
    // Stops and joins the thread.
    ~InotifyWatcher();
    InotifyWatcher(const InotifyWatcher&) = delete;
    InotifyWatcher& operator=(const InotifyWatcher&) = delete;

    // Asks the thread to end, without waiting; safe to call more than once and from any thread.
    void RequestStop();
    // Asks the thread to end and waits until it has ended; after it, the sink is not called again.
    void Stop();
    // The thread has ended (stopped, or on its own).
    bool Finished() const { return finished_.load(); }
    // Waits until the existing folders are all watched (or the thread has ended), at most `limit`.
    bool WaitUntilReady(std::chrono::milliseconds limit);

private:
    class Worker;
    void Run();
    void SetReady();

    const QString localRoot_;
    FolderChangeSink& sink_;
    int stopFd_ = -1;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> finished_{false};
    std::mutex readyMutex_;
    std::condition_variable readyChanged_;
    bool ready_ = false;
    std::thread thread_;
};

// Whether a folder below a watched folder is watched and walked. A watch's tree ends at the
// watched folder's volume: a folder on another device is a mount point (another drive of the
// path map, /proc, /sys ...), and a pseudo file system (proc, sysfs, cgroup ...) is never
// walked, so that a watch on a drive root cannot use up the user's inotify watches.
bool IsFolderWalked(std::uint64_t watchedDevice, std::int64_t watchedFileSystemType,
                    std::uint64_t folderDevice);
// proc, sysfs, devpts, cgroup and the other kernel-made file systems (statfs f_type).
bool IsPseudoFileSystem(std::int64_t fileSystemType);

// The most inotify watches all of the agent's watchers hold together: a quarter of the
// user's fs.inotify.max_user_watches, so that the user's other programs keep the rest.
long InotifyWatchShare();
// The watches the agent's watchers hold now.
long InotifyWatchesHeld();
// Sets the share (tests); a negative value returns to the system's.
void SetInotifyWatchShareForTesting(long share);

// Replaces inotify_init1 for tests (nullptr returns to the system's), so that a watch can be
// made to find no inotify instance.
void SetInotifyInitForTesting(int (*init)(int flags));
