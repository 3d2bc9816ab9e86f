#include "platform/regular_file_read.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "common/errors.h"

namespace {

[[noreturn]] void Refuse(const QString& path, const QString& why)
{
    throw AgentError(QStringLiteral("cannot read \"%1\": %2").arg(path, why).toStdString());
}

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// File systems whose files are made up as they are read: their sizes mean nothing and some
// never end.
bool IsPseudoFileSystem(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::optional<RegularFileForReading> RegularFileForReading::Open(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) return std::nullopt;
        Refuse(path, Reason(error));
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        Refuse(path, Reason(error));
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        Refuse(path, QStringLiteral("not a regular file"));
    }
    if (IsPseudoFileSystem(fd)) {
        ::close(fd);
        Refuse(path, QStringLiteral("a file of a pseudo file system"));
    }
    // Reads of a regular file do not block anyway; the flag only mattered for the open.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return RegularFileForReading(fd, path, status);
}

RegularFileForReading::RegularFileForReading(int fd, const QString& path, const struct stat& status)
    : fd_(fd), path_(path), status_(status)
{
}

RegularFileForReading::RegularFileForReading(RegularFileForReading&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), status_(other.status_)
{
}

RegularFileForReading& RegularFileForReading::operator=(RegularFileForReading&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        status_ = other.status_;
    }
    return *this;
}

RegularFileForReading::~RegularFileForReading()
{
    if (fd_ >= 0) ::close(fd_);
}

qint64 RegularFileForReading::Read(char* into, qint64 length)
{
    for (;;) {
        const ssize_t n = ::read(fd_, into, static_cast<std::size_t>(length));
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        Refuse(path_, Reason(errno));
    }
}

QByteArray RegularFileForReading::ReadAll(qint64 maxBytes)
{
    QByteArray bytes;
    // The reported size is only a hint for the first allocation, never a bound.
    const qint64 hint = status_.st_size > 0 && status_.st_size <= maxBytes ? status_.st_size + 1 : 4096;
    bytes.resize(static_cast<qsizetype>(std::min<qint64>(hint, maxBytes + 1)));
    qint64 got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > maxBytes) break;
            bytes.resize(static_cast<qsizetype>(std::min<qint64>(2 * got, maxBytes + 1)));
        }
        const qint64 n = Read(bytes.data() + got, bytes.size() - got);
        if (n == 0) break;
        got += n;
    }
    if (got > maxBytes)
        Refuse(path_, QStringLiteral("larger than %1 bytes").arg(maxBytes));
    bytes.truncate(static_cast<qsizetype>(got));
    return bytes;
}

std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes)
{
    std::optional<RegularFileForReading> file = RegularFileForReading::Open(path);
    if (!file) return std::nullopt;
    return file->ReadAll(maxBytes);
}

QByteArray ReadExistingRegularFile(const QString& path, qint64 maxBytes)
{
    std::optional<QByteArray> bytes = ReadRegularFile(path, maxBytes);
    if (!bytes) Refuse(path, QStringLiteral("no such file"));
    return *std::move(bytes);
}

void RequireRegularFile(const QString& path)
{
    if (!RegularFileForReading::Open(path)) Refuse(path, QStringLiteral("no such file"));
}
