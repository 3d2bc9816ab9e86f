#include "platform/inotify_watcher.h"
#include "platform/local_name_codec.h"

#include <dirent.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <system_error>
#include <unordered_map>

#include "common/errors.h"

namespace {

// Names, removals, content and time changes. Attribute events are taken because they carry
// last-write time changes (touch, copies keeping times); a permission change then merely
// reports its folder once more.
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM |
                                     IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_EXCL_UNLINK;

// One buffer per worker, allocated once and reused for every read.
constexpr std::size_t kBufferBytes = 61440;

// The second half of a rename normally follows at once; when a read ends between the two
// halves, this is how long the first half waits before it counts as moved out of the tree.
constexpr int kRenamePartnerWaitMs = 50;

// A worker hands over what it collected at least this often while a storm keeps it reading.
constexpr std::size_t kDeliverEvery = 4096;

std::atomic<int (*)(int)> g_inotifyInitForTesting{nullptr};

QByteArray JoinRel(const QByteArray& dir, const QByteArray& name)
{
    return dir.isEmpty() ? name : dir + '/' + name;
}

QByteArray ParentRel(const QByteArray& rel)
{
    const qsizetype slash = rel.lastIndexOf('/');
    return slash < 0 ? QByteArray() : rel.left(slash);
}

bool IsSameOrBelow(const QByteArray& rel, const QByteArray& dir)
{
    if (dir.isEmpty()) return true;
    return rel == dir || (rel.size() > dir.size() && rel.startsWith(dir) && rel[dir.size()] == '/');
}

// The inotify watches are the user's, shared with every other program (file managers,
// editors, indexers): all the agent's watchers together keep to a share of them.
std::atomic<long> g_watchesHeld{0};
std::atomic<long> g_watchShare{-1};

long WatchShare()
{
    long share = g_watchShare.load();
    if (share >= 0) return share;
    long limit = 8192;
    QFile f(QStringLiteral("/proc/sys/fs/inotify/max_user_watches"));
    if (f.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const long read = f.readAll().trimmed().toLong(&ok);
        if (ok && read > 0) limit = read;
    }
    share = std::max(1L, limit / 4);
    long unset = -1;
    g_watchShare.compare_exchange_strong(unset, share);
    return g_watchShare.load();
}

}  // namespace

long InotifyWatchShare() { return WatchShare(); }
long InotifyWatchesHeld() { return g_watchesHeld.load(); }
void SetInotifyWatchShareForTesting(long share) { g_watchShare.store(share); }

// The state of one watcher's thread: its inotify instance, the folder of every watch
// descriptor and the first half of a rename that waits for its partner.
class InotifyWatcher::Worker {
public:
    explicit Worker(InotifyWatcher& owner) : owner_(owner), root_(EncodeLocalPath(owner.localRoot_)) {}
    ~Worker()
    {
        if (fd_ >= 0) ::close(fd_);
        g_watchesHeld -= static_cast<long>(folders_.size());
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void Run();

private:
    bool Stopping() const { return owner_.stopRequested_.load(); }
    QByteArray LocalPath(const QByteArray& rel) const { return rel.isEmpty() ? root_ : root_ + '/' + rel; }

    bool AddWatch(const QByteArray& rel);
    std::uint64_t DeviceOf(const QByteArray& rel) const;
    void AddTree(const QByteArray& rel, bool reportContents);
    void DropWatchesBelow(const QByteArray& rel);
    void MoveWatchesBelow(const QByteArray& from, const QByteArray& to);
    bool ReadEvents(std::vector<std::uint64_t>& buffer);
    void Handle(const inotify_event& event, const char* name);
    void EventsLost();
    void FlushPendingMove();

    void Changed(const QByteArray& rel);
    void Removed(const QByteArray& rel) { batch_.removedPaths.push_back(DecodeLocalPath(rel)); }
    void Renamed(const QByteArray& from, const QByteArray& to)
    {
        batch_.renamedFolders.emplace_back(DecodeLocalPath(from), DecodeLocalPath(to));
    }
    void Deliver();

    InotifyWatcher& owner_;
    const QByteArray root_;
    int fd_ = -1;
    int rootWd_ = -1;
    bool rootGone_ = false;
    bool outOfWatchesReported_ = false;
    std::uint64_t rootDevice_ = 0;
    std::int64_t rootFileSystemType_ = 0;
    std::unordered_map<int, QByteArray> folders_;

    struct PendingMove {
        std::uint32_t cookie;
        QByteArray rel;
        bool isDir;
    };
    std::optional<PendingMove> pending_;
    FolderChangeBatch batch_;
};

void InotifyWatcher::Worker::Run()
{
    const auto init = g_inotifyInitForTesting.load();
    fd_ = init ? init(IN_NONBLOCK | IN_CLOEXEC) : ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        // The folder may well be there, but nothing below it will ever be reported: the peer
        // is told to rescan it once, and why.
        owner_.sink_.OnProblem(WatchProblem::NoInstance);
        Changed(QByteArray());
        Deliver();
        return;
    }
    if (!AddWatch(QByteArray())) {
        // A folder that cannot be watched reports nothing; running out of watches already told so.
        Deliver();
        return;
    }
    struct stat rootStat;
    struct statfs rootFs;
    if (::stat(root_.constData(), &rootStat) == 0) rootDevice_ = rootStat.st_dev;
    if (::statfs(root_.constData(), &rootFs) == 0) rootFileSystemType_ = rootFs.f_type;
    AddTree(QByteArray(), false);
    Deliver();
    owner_.SetReady();

    std::vector<std::uint64_t> buffer(kBufferBytes / sizeof(std::uint64_t));
    while (!Stopping() && !rootGone_) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {owner_.stopFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, pending_ ? kRenamePartnerWaitMs : -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (Stopping()) break;
        if (ready == 0) {
            FlushPendingMove();
            Deliver();
            continue;
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) break;
        if ((fds[0].revents & POLLIN) && !ReadEvents(buffer)) break;
        Deliver();
    }
    // Whatever was seen before the stop still counts.
    FlushPendingMove();
    Deliver();
}

// Reads until the queue is empty. False when the inotify instance failed.
bool InotifyWatcher::Worker::ReadEvents(std::vector<std::uint64_t>& buffer)
{
    auto* bytes = reinterpret_cast<char*>(buffer.data());
    const std::size_t capacity = buffer.size() * sizeof(std::uint64_t);
    while (!Stopping()) {
        const ssize_t got = ::read(fd_, bytes, capacity);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        if (got == 0) return true;
        // Walk only the bytes the read delivered; a record that does not fit ends the walk.
        std::size_t offset = 0;
        const auto delivered = static_cast<std::size_t>(got);
        while (offset + sizeof(inotify_event) <= delivered) {
            inotify_event event;
            std::memcpy(&event, bytes + offset, sizeof event);
            const std::size_t recordBytes = sizeof(inotify_event) + event.len;
            if (recordBytes > delivered - offset) break;
            const char* name = bytes + offset + sizeof(inotify_event);
            Handle(event, event.len ? name : nullptr);
            offset += recordBytes;
        }
        if (batch_.Size() >= kDeliverEvery) Deliver();
    }
    return true;
}

void InotifyWatcher::Worker::Handle(const inotify_event& event, const char* name)
{
    if (event.mask & IN_Q_OVERFLOW) {
        EventsLost();
        return;
    }
    const auto it = folders_.find(event.wd);
    if (it == folders_.end()) return;  // a watch already forgotten (its folder went away or left the tree)
    if (event.mask & IN_IGNORED) {
        if (event.wd == rootWd_) rootGone_ = true;
        folders_.erase(it);
        --g_watchesHeld;
        return;
    }
    if (event.wd == rootWd_ && (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))) {
        rootGone_ = true;
        return;
    }
    // Events about a watched folder itself arrive once more, named, from its parent's watch.
    const QByteArray leaf =
        name ? QByteArray(name, static_cast<qsizetype>(::strnlen(name, event.len))) : QByteArray();
    if (leaf.isEmpty()) return;

    const QByteArray dir = it->second;
    const QByteArray rel = JoinRel(dir, leaf);
    const bool isDir = event.mask & IN_ISDIR;

    if (pending_ && !((event.mask & IN_MOVED_TO) && event.cookie == pending_->cookie)) FlushPendingMove();

    if (event.mask & IN_CREATE) {
        Changed(dir);
        if (isDir) AddTree(rel, true);
    } else if (event.mask & IN_DELETE) {
        Changed(dir);
        Removed(rel);
    } else if (event.mask & IN_MOVED_FROM) {
        pending_ = PendingMove{event.cookie, rel, isDir};
    } else if (event.mask & IN_MOVED_TO) {
        if (pending_) {
            const QByteArray from = pending_->rel;
            pending_.reset();
            Changed(dir);
            if (ParentRel(from) != dir) Changed(ParentRel(from));
            if (isDir) {
                Renamed(from, rel);
                MoveWatchesBelow(from, rel);
            }
        } else {
            // Moved in from outside the tree: as good as created here.
            Changed(dir);
            if (isDir) AddTree(rel, true);
        }
    } else if (event.mask & (IN_MODIFY | IN_ATTRIB)) {
        Changed(dir);
    }
}

// The first half of a rename whose partner never came: the item left the watched tree.
void InotifyWatcher::Worker::FlushPendingMove()
{
    if (!pending_) return;
    const PendingMove move = std::move(*pending_);
    pending_.reset();
    Changed(ParentRel(move.rel));
    Removed(move.rel);
    if (move.isDir) DropWatchesBelow(move.rel);
}

// The kernel dropped events: report the whole folder and watch whatever folders appeared
// meanwhile (a folder that already has a watch keeps it, under its present name).
void InotifyWatcher::Worker::EventsLost()
{
    owner_.sink_.OnProblem(WatchProblem::EventsLost);
    FlushPendingMove();
    Changed(QByteArray());
    AddTree(QByteArray(), false);
}

bool InotifyWatcher::Worker::AddWatch(const QByteArray& rel)
{
    // The watched folder itself may be reached through a link; folders below it are not followed.
    const std::uint32_t mask = kWatchMask | IN_ONLYDIR | (rel.isEmpty() ? 0 : IN_DONT_FOLLOW);
    const auto outOfWatches = [&](WatchProblem problem) {
        if (!outOfWatchesReported_) {
            outOfWatchesReported_ = true;
            owner_.sink_.OnProblem(problem);
        }
        Changed(QByteArray());
        return false;
    };
    if (g_watchesHeld.fetch_add(1) >= WatchShare()) {
        --g_watchesHeld;
        return outOfWatches(WatchProblem::ShareUsedUp);
    }
    const int wd = ::inotify_add_watch(fd_, LocalPath(rel).constData(), mask);
    if (wd < 0) {
        --g_watchesHeld;
        if (errno == ENOSPC) return outOfWatches(WatchProblem::OutOfWatches);
        return false;
    }
    // The kernel hands out the same descriptor again for a folder already watched.
    if (!folders_.emplace(wd, rel).second) {
        --g_watchesHeld;
        folders_[wd] = rel;
    }
    if (rel.isEmpty()) rootWd_ = wd;
    return true;
}

// The device of a folder (not followed when it is a link); the watched folder's own device
// when it cannot be told, so that the listing decides as before.
std::uint64_t InotifyWatcher::Worker::DeviceOf(const QByteArray& rel) const
{
    if (rel.isEmpty()) return rootDevice_;
    struct stat st;
    return ::lstat(LocalPath(rel).constData(), &st) == 0 ? st.st_dev : rootDevice_;
}

// Watches `rel` and every folder below it. With `reportContents`, every folder that already
// holds something is reported as changed: it was filled before its watch existed.
void InotifyWatcher::Worker::AddTree(const QByteArray& rel, bool reportContents)
{
    std::vector<QByteArray> todo{rel};
    while (!todo.empty() && !Stopping()) {
        const QByteArray current = std::move(todo.back());
        todo.pop_back();
        if (!IsFolderWalked(rootDevice_, rootFileSystemType_, DeviceOf(current))) continue;
        // The watch comes before the listing, so nothing created in between is missed.
        if (!current.isEmpty() && !AddWatch(current)) continue;
        DIR* dir = ::opendir(LocalPath(current).constData());
        if (!dir) continue;
        bool holdsSomething = false;
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            holdsSomething = true;
            const QByteArray child = JoinRel(current, QByteArray(entry->d_name));
            bool isDir = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st;
                isDir = ::lstat(LocalPath(child).constData(), &st) == 0 && S_ISDIR(st.st_mode);
            }
            if (isDir) todo.push_back(child);
        }
        ::closedir(dir);
        if (reportContents && holdsSomething) Changed(current);
        if (batch_.Size() >= kDeliverEvery) Deliver();
    }
}

void InotifyWatcher::Worker::DropWatchesBelow(const QByteArray& rel)
{
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (it->first != rootWd_ && IsSameOrBelow(it->second, rel)) {
            ::inotify_rm_watch(fd_, it->first);
            it = folders_.erase(it);
            --g_watchesHeld;
        } else {
            ++it;
        }
    }
}

void InotifyWatcher::Worker::MoveWatchesBelow(const QByteArray& from, const QByteArray& to)
{
    for (auto& [wd, path] : folders_) {
        if (wd != rootWd_ && IsSameOrBelow(path, from)) path = to + path.mid(from.size());
    }
}

void InotifyWatcher::Worker::Changed(const QByteArray& rel)
{
    QString folder = DecodeLocalPath(rel);
    // Events come in runs from one folder; the manager collapses the rest.
    if (!batch_.changedFolders.empty() && batch_.changedFolders.back() == folder) return;
    batch_.changedFolders.push_back(std::move(folder));
}

void InotifyWatcher::Worker::Deliver()
{
    if (batch_.Empty()) return;
    FolderChangeBatch out = std::move(batch_);
    batch_ = FolderChangeBatch();
    owner_.sink_.OnChanges(std::move(out));
}

InotifyWatcher::InotifyWatcher(QString localRoot, FolderChangeSink& sink)
    : localRoot_(std::move(localRoot)), sink_(sink)
{
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0)
        throw AgentError(std::string("cannot create the stop signal of a folder watch: ") +
                         std::strerror(errno));
    try {
        thread_ = std::thread(&InotifyWatcher::Run, this);
    } catch (const std::system_error& e) {
        ::close(stopFd_);
        throw AgentError(std::string("cannot start the thread of a folder watch: ") + e.what());
    }
}

InotifyWatcher::~InotifyWatcher()
{
    Stop();
    ::close(stopFd_);
}

void InotifyWatcher::RequestStop()
{
    if (stopRequested_.exchange(true)) return;
    const std::uint64_t one = 1;
    // A full counter (impossible with one write) would still leave the poll readable.
    (void)!::write(stopFd_, &one, sizeof one);
}

void InotifyWatcher::Stop()
{
    RequestStop();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool InotifyWatcher::WaitUntilReady(std::chrono::milliseconds limit)
{
    std::unique_lock lock(readyMutex_);
    return readyChanged_.wait_for(lock, limit, [this] { return ready_; });
}

void InotifyWatcher::SetReady()
{
    {
        std::lock_guard lock(readyMutex_);
        ready_ = true;
    }
    readyChanged_.notify_all();
}

void InotifyWatcher::Run()
{
    try {
        Worker worker(*this);
        worker.Run();
    } catch (...) {
        // Nothing may leave the thread; a worker that failed (memory) simply ends.
    }
    finished_.store(true);
    SetReady();
}

bool IsPseudoFileSystem(std::int64_t fileSystemType)
{
    switch (static_cast<std::uint32_t>(fileSystemType)) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEVPTS_SUPER_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
        case SELINUX_MAGIC:
        case SMACK_MAGIC:
        case BPF_FS_MAGIC:
        case PSTOREFS_MAGIC:
        case EFIVARFS_MAGIC:
        case HUGETLBFS_MAGIC:
        case 0x19800202:  // mqueue
        case BINFMTFS_MAGIC:
        case AUTOFS_SUPER_MAGIC:
        case NSFS_MAGIC:
        case 0x62656570:  // configfs
        case 0x65735543:  // fusectl
            return true;
        default:
            return false;
    }
}

bool IsFolderWalked(std::uint64_t watchedDevice, std::int64_t watchedFileSystemType,
                    std::uint64_t folderDevice)
{
    return !IsPseudoFileSystem(watchedFileSystemType) && folderDevice == watchedDevice;
}

void SetInotifyInitForTesting(int (*init)(int flags))
{
    g_inotifyInitForTesting.store(init);
}
