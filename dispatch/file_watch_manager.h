#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/inotify_watcher.h"

// Orders texts by their UTF-16 code units, the order the change lists are sent in.
struct CodeUnitLess {
    bool operator()(const QString& a, const QString& b) const;
};

// The collected changes as the peer receives them: paths in peer form ('\' separators).
struct FileChanges {
    std::vector<QString> removedPaths;    // ascending by code units, no repeats
    std::vector<QString> changedFolders;  // ascending by code units, no repeats
    std::vector<QString> renamedFolders;  // pairs: old, new; in the order they happened

    bool Empty() const { return removedPaths.empty() && changedFolders.empty() && renamedFolders.empty(); }
};

// Size in bytes of the reply that lists `changes` (three u16 counts, then per path a u16 byte
// count and its UTF-16 units).
std::size_t CollectFileChanges(const FileChanges& changes);
// The reply's payload: removed paths, changed folders, renamed pairs, every '\' sent as '/'.
QByteArray EncodeFileChangeList(const FileChanges& changes);

// How much the change lists may hold before they are replaced by the watched folders.
struct FileWatchLimits {
    // What one u16 count can hold.
    std::size_t maxListEntries = 65535;
    // The encoded lists together.
    std::size_t maxListBytes = 8 * 1024 * 1024;
};

// The folders the peer watches and the changes seen below them since the peer last asked.
//
// One worker thread per watch (an InotifyWatcher) adds to the change lists; the request
// handlers run on the user-interface thread. One lock guards the watch list, the change lists
// and the messages waiting for the log; it is never held while a worker is waited for.
//
// The change lists are sets, so a folder changed a thousand times is held once. Should a list
// grow past what one reply can count (65535 entries) or past a byte budget, the lists are
// replaced by the watched folders themselves: the peer then rescans them whole.
class FileWatchManager {
public:
    // Turns the peer's path into the local folder to watch; throws when there is none.
    using PathResolver = std::function<QString(const QString& peerPath)>;

    // How long adding a watch waits for the existing subfolders to be watched.
    static constexpr int kReadyWaitMs = 2000;

    // Watches the local folders of peer paths (the path map).
    FileWatchManager();
    explicit FileWatchManager(PathResolver resolver, FileWatchLimits limits = {});
    // Stops every watch.
    ~FileWatchManager();
    FileWatchManager(const FileWatchManager&) = delete;
    FileWatchManager& operator=(const FileWatchManager&) = delete;

    // Starts watching the peer's folder `path`, unless it is a watched folder or lies inside one
    // (compared at a separator: C:\Data2 is not inside C:\Data). Watches whose worker has ended
    // (their folder was deleted) are dropped first, so they never block watching again.
    // A folder that cannot be watched is accepted and reports nothing (but when no inotify
    // instance is left, it is reported once as changed and the log says why). Returns false
    // when refused.
    // Throws AgentError when the watch's thread cannot be started (nothing is registered then).
    bool AddFileWatch(const QString& path);
    // Stops every watch of exactly this path; returns how many there were.
    int DelFileWatch(const QString& path);
    // Stops every watch, the last first. The collected changes stay until they are fetched.
    void StopAllFileWatches();

    // The watched paths as the peer sent them, in the order added.
    QStringList WatchedPaths() const;
    // Whether any change waits to be fetched.
    bool HasChanges() const;
    // Takes the collected changes, leaving the lists empty.
    FileChanges TakeChanges();
    // The messages the workers left for the log (written by the user-interface thread only).
    QStringList TakeLogMessages();

private:
    struct Watch;
    friend struct Watch;

    void AddChanges(const QString& root, FolderChangeBatch batch);
    void AddLogMessage(QString message);
    // Under the lock.
    bool InsertCounted(std::set<QString, CodeUnitLess>& list, QString path);
    void ReplaceListsByWatchedFolders(const QString& root);

    const PathResolver resolver_;
    const FileWatchLimits limits_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Watch>> watches_;
    std::set<QString, CodeUnitLess> removedPaths_;
    std::set<QString, CodeUnitLess> changedFolders_;
    std::vector<QString> renamedFolders_;
    std::size_t listBytes_ = 0;
    QStringList logMessages_;
    int droppedLogMessages_ = 0;
};
