#include "platform/freedesktop_trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <cerrno>
#include <optional>

#include "platform/rename_no_replace.h"

namespace {

// Enough for every sensible clash; past it something is wrong with the Trash itself.
constexpr int kMaxNameAttempts = 10000;

std::error_code LastError()
{
    return {errno, std::generic_category()};
}

QByteArray Join(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray Parent(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// A folder of this user's that is no link, made (private) when missing.
bool OwnFolder(const QByteArray& path)
{
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (lstat(path.constData(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
        errno = EACCES;
        return false;
    }
    return true;
}

bool TrashFolders(const QByteArray& trash)
{
    return OwnFolder(trash) && OwnFolder(Join(trash, "files")) && OwnFolder(Join(trash, "info"));
}

// Where the volume holding `folder` is mounted: its topmost folder on the same device.
QByteArray VolumeTop(QByteArray folder, dev_t device)
{
    while (folder != "/") {
        const QByteArray up = Parent(folder);
        struct stat st {};
        if (stat(up.constData(), &st) != 0 || st.st_dev != device) break;
        folder = up;
    }
    return folder;
}

// The volume's Trash for this user. The shared .Trash counts only as a sticky real folder:
// otherwise any user could have planted it (or a link) to catch what others delete.
std::optional<QByteArray> VolumeTrash(const QByteArray& top)
{
    const QByteArray uid = QByteArray::number(getuid());
    const QByteArray shared = Join(top, ".Trash");
    struct stat st {};
    if (lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray own = Join(shared, uid);
        if (TrashFolders(own)) return own;
    }
    const QByteArray own = Join(top, ".Trash-" + uid);
    if (TrashFolders(own)) return own;
    return std::nullopt;
}

// The name in the Trash for the `attempt`-th try: the item's own, then numbered before the
// extension so the file keeps its type.
QByteArray TrashedName(const QByteArray& base, int attempt)
{
    if (attempt == 0) return base;
    const qsizetype dot = base.lastIndexOf('.');
    const QByteArray number = '.' + QByteArray::number(attempt + 1);
    return dot > 0 ? base.left(dot) + number + base.mid(dot) : base + number;
}

bool WriteAll(int fd, const QByteArray& data)
{
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t put = write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += put;
    }
    return true;
}

}  // namespace

std::error_code MoveIntoTrash(const QByteArray& path, const QByteArray& dataHome)
{
    const QByteArray base = path.mid(path.lastIndexOf('/') + 1);
    if (!path.startsWith('/') || base.isEmpty() || base == "." || base == "..")
        return std::make_error_code(std::errc::invalid_argument);
    struct stat item {};
    if (lstat(path.constData(), &item) != 0) return LastError();
    struct stat folder {};
    if (stat(Parent(path).constData(), &folder) != 0) return LastError();
    if (folder.st_dev != item.st_dev)  // a mount point: a whole volume, not one item
        return std::make_error_code(std::errc::device_or_resource_busy);

    QByteArray trash;
    QByteArray recorded;  // the record's Path: absolute in the home Trash, from the top elsewhere
    struct stat home {};
    if (stat(dataHome.constData(), &home) == 0 && home.st_dev == item.st_dev) {
        trash = Join(dataHome, "Trash");
        recorded = path;
        if (!TrashFolders(trash)) return LastError();
    } else {
        const QByteArray top = VolumeTop(Parent(path), item.st_dev);
        const std::optional<QByteArray> volumeTrash = VolumeTrash(top);
        if (!volumeTrash) return std::make_error_code(std::errc::cross_device_link);
        trash = *volumeTrash;
        recorded = path.mid(top == "/" ? 1 : top.size() + 1);
    }

    const QByteArray record =
        "[Trash Info]\nPath=" + recorded.toPercentEncoding("/") + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + '\n';
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        const QByteArray name = TrashedName(base, attempt);
        const QByteArray info = Join(Join(trash, "info"), name + ".trashinfo");
        const QByteArray target = Join(Join(trash, "files"), name);
        // The record claims the name; one left without its file (or a file without its
        // record) still makes the name taken.
        const int fd = open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return LastError();
        }
        const bool written = WriteAll(fd, record);
        const std::error_code writeError = written ? std::error_code() : LastError();
        if (close(fd) != 0 || !written) {
            const std::error_code e = writeError ? writeError : LastError();
            unlink(info.constData());
            return e;
        }
        const std::error_code moved = RenameNoReplaceOnVolume(path, target);
        if (!moved) return {};
        unlink(info.constData());
        if (moved != std::errc::file_exists && moved != std::errc::directory_not_empty) return moved;
    }
    return std::make_error_code(std::errc::file_exists);
}
