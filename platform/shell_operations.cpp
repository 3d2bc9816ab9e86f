#include "platform/shell_operations.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <atomic>
#include <cerrno>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/freedesktop_trash.h"
#include "platform/known_folders.h"
#include "platform/local_name_codec.h"
#include "platform/rename_no_replace.h"

namespace {

std::error_code LastError()
{
    return {errno, std::generic_category()};
}

QByteArray Encoded(const QString& path)
{
    return EncodeLocalPath(path);
}

// Empties the open folder `dirFd` (on volume `device`), keeping the first failure and going on.
void DeleteContents(int dirFd, dev_t device, std::error_code& failure)
{
    const int listFd = dup(dirFd);
    DIR* dir = listFd < 0 ? nullptr : fdopendir(listFd);
    if (!dir) {
        if (listFd >= 0)
            close(listFd);
        if (!failure)
            failure = LastError();
        return;
    }
    // Names first, deletions after: the listing stays well defined while entries go.
    std::vector<QByteArray> names;
    while (const dirent* e = readdir(dir)) {
        const char* n = e->d_name;
        if (!(n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))))
            names.emplace_back(n);
    }
    closedir(dir);

    for (const QByteArray& name : names) {
        struct stat st {};
        if (fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT && !failure)
                failure = LastError();
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (st.st_dev != device) {
                if (!failure)
                    failure = std::make_error_code(std::errc::device_or_resource_busy);
                continue;
            }
            const int child =
                openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) {
                if (!failure)
                    failure = LastError();
                continue;
            }
            DeleteContents(child, device, failure);
            close(child);
        }
        if (unlinkat(dirFd, name.constData(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) != 0 &&
            errno != ENOENT && !failure)
            failure = LastError();
    }
}

// Copies a regular file to a new file `to` (never replacing one), keeping its mode and times.
std::error_code CopyFileNoReplace(const QByteArray& from, const QByteArray& to)
{
    const int in = open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return LastError();
    struct stat st {};
    if (fstat(in, &st) != 0) {
        const std::error_code e = LastError();
        close(in);
        return e;
    }
    if (!S_ISREG(st.st_mode)) {
        close(in);
        return std::make_error_code(std::errc::cross_device_link);
    }
    const int out = open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        const std::error_code e = LastError();
        close(in);
        return e;
    }
    std::error_code failure;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            failure = LastError();
            break;
        }
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                failure = put < 0 ? LastError() : std::make_error_code(std::errc::io_error);
                break;
            }
            done += put;
        }
        if (failure)
            break;
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (!failure && futimens(out, times) != 0)
        failure = LastError();
    if (close(out) != 0 && !failure)
        failure = LastError();
    close(in);
    if (failure)
        unlink(to.constData());
    return failure;
}

class DesktopServicesOpener : public DesktopOpener {
public:
    bool Open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

std::atomic<DesktopOpener*> g_testOpener{nullptr};

}  // namespace

std::error_code DeletePermanently(const QString& path)
{
    const QByteArray p = Encoded(path);
    struct stat st {};
    if (path.isEmpty() || lstat(p.constData(), &st) != 0)
        return path.isEmpty() ? std::make_error_code(std::errc::no_such_file_or_directory) : LastError();
    if (!S_ISDIR(st.st_mode))
        return unlink(p.constData()) == 0 ? std::error_code() : LastError();
    // A mount point is a whole volume (or the root itself): never emptied as a folder.
    struct stat parent {};
    if (lstat(Encoded(path + QStringLiteral("/..")).constData(), &parent) != 0)
        return LastError();
    if (parent.st_dev != st.st_dev || parent.st_ino == st.st_ino)
        return std::make_error_code(std::errc::device_or_resource_busy);

    const int dirFd = open(p.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0)
        return LastError();
    struct stat opened {};
    std::error_code failure;
    // The folder that was examined must be the one opened (not swapped for a link meanwhile).
    if (fstat(dirFd, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino)
        failure = std::make_error_code(std::errc::operation_canceled);
    else
        DeleteContents(dirFd, st.st_dev, failure);
    close(dirFd);
    if (failure)
        return failure;
    return rmdir(p.constData()) == 0 ? std::error_code() : LastError();
}

std::error_code MoveToTrash(const QString& path)
{
    // The home Trash lives in $XDG_DATA_HOME, which may not exist yet.
    const QString dataHome = KnownFolderPath(KnownFolder::AppData);
    if (dataHome.isEmpty() || !QDir().mkpath(dataHome) || path.isEmpty())
        return std::make_error_code(std::errc::no_such_file_or_directory);
    QByteArray local = Encoded(path);
    if (!local.startsWith('/')) local = QFile::encodeName(QDir::currentPath()) + '/' + local;
    while (local.size() > 1 && local.endsWith('/')) local.chop(1);
    return MoveIntoTrash(local, QFile::encodeName(dataHome));
}

std::error_code RenameNoReplace(const QString& from, const QString& to)
{
    if (from.isEmpty() || to.isEmpty())
        return std::make_error_code(std::errc::no_such_file_or_directory);
    const QByteArray f = Encoded(from);
    const QByteArray t = Encoded(to);
    const std::error_code moved = RenameNoReplaceOnVolume(f, t);
    if (moved != std::errc::cross_device_link)
        return moved;

    // Another volume: a file is copied, then the original removed.
    struct stat st {};
    if (lstat(f.constData(), &st) != 0)
        return LastError();
    if (!S_ISREG(st.st_mode))
        return moved;
    if (std::error_code e = CopyFileNoReplace(f, t))
        return e;
    if (unlink(f.constData()) != 0) {
        // Keep one copy only: the original could not go, so the new one goes again.
        const std::error_code e = LastError();
        unlink(t.constData());
        return e;
    }
    return {};
}

QUrl LocalFileUrl(const QString& path)
{
    // From the name's own bytes: Qt's file URLs go through UTF-8 and would name a look-alike
    // of a name that is not UTF-8. Characters a path may hold stay as they are, as Qt leaves them.
    return QUrl::fromEncoded("file://" + Encoded(path).toPercentEncoding("/!$&'()*+,;=:@~[]"),
                             QUrl::StrictMode);
}

bool OpenWithDesktop(const QUrl& url)
{
    DesktopServicesOpener desktop;
    DesktopOpener* opener = g_testOpener.load();
    const bool opened = (opener ? opener : &desktop)->Open(url);
    if (!opened) qCWarning(lcPlatform) << "the desktop could not open" << url.toDisplayString();
    return opened;
}

void SetDesktopOpenerForTesting(DesktopOpener* opener)
{
    g_testOpener.store(opener);
}
