#include "dispatch/file_watch_manager.h"

#include <QStringView>
#include <algorithm>
#include <limits>

#include "common/byte_io.h"
#include "common/errors.h"
#include "platform/path_map.h"

namespace {

// A path longer than this cannot be given its u16 byte count on the wire.
constexpr qsizetype kMaxPathUnits = std::numeric_limits<std::uint16_t>::max() / 2;

constexpr int kMaxLogMessages = 100;

std::size_t EncodedSize(const QString& path)
{
    return 2 + 2 * static_cast<std::size_t>(path.size());
}

// C:\Data holds C:\Data\x but not C:\Data2.
bool IsSameOrInside(const QString& path, const QString& watched)
{
    if (!path.startsWith(watched)) return false;
    if (path.size() == watched.size()) return true;
    const auto isSeparator = [](QChar c) { return c == QLatin1Char('\\') || c == QLatin1Char('/'); };
    return (!watched.isEmpty() && isSeparator(watched.back())) || isSeparator(path[watched.size()]);
}

// The peer form of a path below the watched folder `root`: root + '\' + the relative path,
// with each local name as the peer sees it. As the peer's own platform forms them, a root
// ending in '\' (a drive) gives a doubled separator.
QString PeerPathBelow(const QString& root, const QString& rel)
{
    QString path = root;
    for (const QString& name : rel.split(QLatin1Char('/')))
        path += QLatin1Char('\\') + PeerNameOfLocalName(name);
    return path;
}

QString PeerFolder(const QString& root, const QString& rel)
{
    return rel.isEmpty() ? root : PeerPathBelow(root, rel);
}

void WritePaths(ByteWriter& w, const std::vector<QString>& paths, std::size_t count)
{
    if (count > std::numeric_limits<std::uint16_t>::max())
        throw AgentError("a change list of " + std::to_string(count) + " entries does not fit its count");
    w.U16(static_cast<std::uint16_t>(count));
    for (const QString& path : paths) {
        QString wire = path;
        wire.replace(QLatin1Char('\\'), QLatin1Char('/'));
        w.CountedUtf16(wire);
    }
}

}  // namespace

bool CodeUnitLess::operator()(const QString& a, const QString& b) const
{
    const QStringView av(a), bv(b);
    return std::lexicographical_compare(av.begin(), av.end(), bv.begin(), bv.end(),
                                        [](QChar x, QChar y) { return x.unicode() < y.unicode(); });
}

std::size_t CollectFileChanges(const FileChanges& changes)
{
    std::size_t size = 6;
    for (const auto* list : {&changes.removedPaths, &changes.changedFolders, &changes.renamedFolders})
        for (const QString& path : *list) size += EncodedSize(path);
    return size;
}

QByteArray EncodeFileChangeList(const FileChanges& changes)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(CollectFileChanges(changes)));
    ByteWriter w(out);
    WritePaths(w, changes.removedPaths, changes.removedPaths.size());
    WritePaths(w, changes.changedFolders, changes.changedFolders.size());
    WritePaths(w, changes.renamedFolders, changes.renamedFolders.size() / 2);
    return out;
}

// One watch: the peer's path, and the worker that reports into the manager's lists.
struct FileWatchManager::Watch : FolderChangeSink {
    Watch(FileWatchManager& manager, QString path) : manager(manager), path(std::move(path)) {}

    void OnChanges(FolderChangeBatch batch) override { manager.AddChanges(path, std::move(batch)); }
    void OnProblem(WatchProblem problem) override
    {
        switch (problem) {
            case WatchProblem::EventsLost:
                manager.AddLogMessage(
                    QStringLiteral("folder watch %1: changes were lost (event queue overflow), "
                                   "the folder is reported as changed")
                        .arg(path));
                break;
            case WatchProblem::OutOfWatches:
                manager.AddLogMessage(
                    QStringLiteral("folder watch %1: no more inotify watches "
                                   "(fs.inotify.max_user_watches), the folder is reported as changed")
                        .arg(path));
                break;
            case WatchProblem::ShareUsedUp:
                manager.AddLogMessage(
                    QStringLiteral("folder watch %1: the agent holds its share of the user's inotify "
                                   "watches (%2), the folder is reported as changed")
                        .arg(path)
                        .arg(InotifyWatchShare()));
                break;
            case WatchProblem::NoInstance:
                manager.AddLogMessage(
                    QStringLiteral("folder watch %1: no inotify instance could be created "
                                   "(fs.inotify.max_user_instances or open files), the folder is "
                                   "reported as changed and not watched")
                        .arg(path));
                break;
        }
    }

    FileWatchManager& manager;
    const QString path;
    // Last, so that it is stopped and joined before the rest of the watch goes.
    std::unique_ptr<InotifyWatcher> watcher;
};

FileWatchManager::FileWatchManager() : FileWatchManager(PeerToLocalPath) {}

FileWatchManager::FileWatchManager(PathResolver resolver, FileWatchLimits limits)
    : resolver_(std::move(resolver)), limits_(limits)
{
}

FileWatchManager::~FileWatchManager()
{
    StopAllFileWatches();
}

bool FileWatchManager::AddFileWatch(const QString& path)
{
    std::vector<std::unique_ptr<Watch>> ended;
    QStringList watched;
    {
        std::lock_guard lock(mutex_);
        for (auto it = watches_.begin(); it != watches_.end();) {
            if ((*it)->watcher->Finished()) {
                ended.push_back(std::move(*it));
                it = watches_.erase(it);
            } else {
                watched << (*it)->path;
                ++it;
            }
        }
    }
    ended.clear();  // their threads have ended: the joins return at once

    for (const QString& w : watched)
        if (IsSameOrInside(path, w)) return false;

    QString local;
    try {
        local = resolver_(path);
    } catch (const AgentError&) {
        // On no drive: like a folder that cannot be opened, the watch reports nothing.
    }
    auto watch = std::make_unique<Watch>(*this, path);
    watch->watcher = std::make_unique<InotifyWatcher>(local, *watch);
    InotifyWatcher* watcher = watch->watcher.get();
    {
        std::lock_guard lock(mutex_);
        watches_.push_back(std::move(watch));
    }
    // Only this thread stops watches, so the watcher stays alive while it is waited for.
    watcher->WaitUntilReady(std::chrono::milliseconds(kReadyWaitMs));
    return true;
}

int FileWatchManager::DelFileWatch(const QString& path)
{
    std::vector<std::unique_ptr<Watch>> stopped;
    {
        std::lock_guard lock(mutex_);
        for (auto i = watches_.size(); i-- > 0;) {
            if (watches_[i]->path == path) {
                watches_[i]->watcher->RequestStop();
                stopped.push_back(std::move(watches_[i]));
                watches_.erase(watches_.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
    const int count = static_cast<int>(stopped.size());
    stopped.clear();  // joins each worker, outside the lock the workers need to finish
    return count;
}

void FileWatchManager::StopAllFileWatches()
{
    std::vector<std::unique_ptr<Watch>> stopped;
    {
        std::lock_guard lock(mutex_);
        while (!watches_.empty()) {
            watches_.back()->watcher->RequestStop();
            stopped.push_back(std::move(watches_.back()));
            watches_.pop_back();
        }
    }
    stopped.clear();
}

QStringList FileWatchManager::WatchedPaths() const
{
    std::lock_guard lock(mutex_);
    QStringList paths;
    for (const auto& watch : watches_) paths << watch->path;
    return paths;
}

bool FileWatchManager::HasChanges() const
{
    std::lock_guard lock(mutex_);
    return !removedPaths_.empty() || !changedFolders_.empty() || !renamedFolders_.empty();
}

FileChanges FileWatchManager::TakeChanges()
{
    std::set<QString, CodeUnitLess> removed, changed;
    FileChanges out;
    {
        std::lock_guard lock(mutex_);
        removed.swap(removedPaths_);
        changed.swap(changedFolders_);
        out.renamedFolders.swap(renamedFolders_);
        listBytes_ = 0;
    }
    out.removedPaths.assign(std::make_move_iterator(removed.begin()), std::make_move_iterator(removed.end()));
    out.changedFolders.assign(std::make_move_iterator(changed.begin()),
                              std::make_move_iterator(changed.end()));
    return out;
}

QStringList FileWatchManager::TakeLogMessages()
{
    std::lock_guard lock(mutex_);
    QStringList messages;
    messages.swap(logMessages_);
    if (droppedLogMessages_ > 0)
        messages << QStringLiteral("folder watch: %1 more messages dropped").arg(droppedLogMessages_);
    droppedLogMessages_ = 0;
    return messages;
}

void FileWatchManager::AddLogMessage(QString message)
{
    std::lock_guard lock(mutex_);
    if (logMessages_.size() < kMaxLogMessages)
        logMessages_ << std::move(message);
    else
        ++droppedLogMessages_;
}

void FileWatchManager::AddChanges(const QString& root, FolderChangeBatch batch)
{
    // Peer forms are made before the lock is taken.
    bool tooLong = false;
    const auto peer = [&](const QString& rel, bool folder) {
        QString path = folder ? PeerFolder(root, rel) : PeerPathBelow(root, rel);
        if (path.size() > kMaxPathUnits) {
            tooLong = true;
            return QString();
        }
        return path;
    };
    std::vector<QString> changed, removed, renamed;
    changed.reserve(batch.changedFolders.size());
    for (const QString& rel : batch.changedFolders)
        if (QString p = peer(rel, true); !p.isEmpty()) changed.push_back(std::move(p));
    for (const QString& rel : batch.removedPaths)
        if (QString p = peer(rel, false); !p.isEmpty()) removed.push_back(std::move(p));
    for (const auto& [from, to] : batch.renamedFolders) {
        QString a = peer(from, false), b = peer(to, false);
        if (!a.isEmpty() && !b.isEmpty()) {
            renamed.push_back(std::move(a));
            renamed.push_back(std::move(b));
        }
    }
    // A path the wire cannot carry is reported through the watched folder.
    if (tooLong) changed.push_back(root);

    std::lock_guard lock(mutex_);
    for (QString& p : changed) InsertCounted(changedFolders_, std::move(p));
    for (QString& p : removed) InsertCounted(removedPaths_, std::move(p));
    for (QString& p : renamed) {
        listBytes_ += EncodedSize(p);
        renamedFolders_.push_back(std::move(p));
    }
    if (changedFolders_.size() > limits_.maxListEntries || removedPaths_.size() > limits_.maxListEntries ||
        renamedFolders_.size() / 2 > limits_.maxListEntries || listBytes_ > limits_.maxListBytes)
        ReplaceListsByWatchedFolders(root);
}

bool FileWatchManager::InsertCounted(std::set<QString, CodeUnitLess>& list, QString path)
{
    const std::size_t size = EncodedSize(path);
    if (!list.insert(std::move(path)).second) return false;
    listBytes_ += size;
    return true;
}

void FileWatchManager::ReplaceListsByWatchedFolders(const QString& root)
{
    removedPaths_.clear();
    changedFolders_.clear();
    renamedFolders_.clear();
    listBytes_ = 0;
    for (const auto& watch : watches_) InsertCounted(changedFolders_, watch->path);
    InsertCounted(changedFolders_, root);
    if (logMessages_.size() < kMaxLogMessages)
        logMessages_ << QStringLiteral(
            "folder watch: more changes than one reply can list, "
            "the watched folders are reported as changed");
    else
        ++droppedLogMessages_;
}
