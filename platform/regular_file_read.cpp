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

using Outcome = BoundedFileRead::Outcome;

// File systems whose files are made up by the kernel as they are read: their sizes mean nothing
// and some never end.
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
    case BPF_FS_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
        return true;
    default:
        return false;
    }
}

// The one place a file is opened for these reads: the descriptor when it is a regular file of an
// ordinary file system, else the outcome that says why not.
struct Opened {
    int fd = -1;
    struct stat status {};
    Outcome outcome = Outcome::Read;
    int error = 0;
};

Opened OpenRegular(const QString& path, RegularFileForReading::Links links)
{
    Opened o;
    int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (links == RegularFileForReading::Links::Refuse) flags |= O_NOFOLLOW;
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    o.fd = ::open(QFile::encodeName(path).constData(), flags);
    if (o.fd < 0) {
        o.error = errno;
        o.outcome = o.error == ENOENT ? Outcome::Missing : Outcome::Unreadable;
        return o;
    }
    if (::fstat(o.fd, &o.status) != 0) {
        o.error = errno;
        o.outcome = Outcome::Unreadable;
    } else if (!S_ISREG(o.status.st_mode)) {
        o.outcome = Outcome::NotRegular;
    } else if (IsPseudoFileSystem(o.fd)) {
        o.outcome = Outcome::PseudoFileSystem;
    }
    if (o.outcome != Outcome::Read) {
        ::close(o.fd);
        o.fd = -1;
        return o;
    }
    // Reads of a regular file do not block anyway; the flag only mattered for the open.
    const int open = ::fcntl(o.fd, F_GETFL);
    if (open >= 0) ::fcntl(o.fd, F_SETFL, open & ~O_NONBLOCK);
    return o;
}

// The rest of the file, never more than `maxBytes` + 1 bytes whatever size it reports: Read,
// TooLarge, or Unreadable with errno in `error`.
Outcome ReadUpTo(int fd, const struct stat& status, qint64 maxBytes, QByteArray& bytes, int& error)
{
    maxBytes = std::max<qint64>(maxBytes, 0);
    if (status.st_size > maxBytes) return Outcome::TooLarge;
    // The reported size is only a hint for the first allocation, never a bound.
    const qint64 hint = status.st_size > 0 ? status.st_size + 1 : 4096;
    bytes.resize(static_cast<qsizetype>(std::min<qint64>(hint, maxBytes + 1)));
    qint64 got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > maxBytes) break;
            bytes.resize(static_cast<qsizetype>(std::min<qint64>(2 * got, maxBytes + 1)));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, static_cast<std::size_t>(bytes.size() - got));
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            bytes.clear();
            return Outcome::Unreadable;
        }
        if (n == 0) break;
        got += n;
    }
    if (got > maxBytes) {
        bytes.clear();
        return Outcome::TooLarge;
    }
    bytes.truncate(static_cast<qsizetype>(got));
    return Outcome::Read;
}

[[noreturn]] void Refuse(const QString& path, const std::string& why)
{
    throw AgentError(QStringLiteral("cannot read \"%1\": %2").arg(path, QString::fromStdString(why)).toStdString());
}

// What is wrong with a file that was there ("\"x\" is not a regular file"), or why it could not be read.
[[noreturn]] void Refuse(const QString& path, Outcome outcome, int error, qint64 maxBytes)
{
    const std::string why = BoundedFileRead{outcome, {}, error}.Reason(maxBytes);
    if (outcome == Outcome::Missing || outcome == Outcome::Unreadable) Refuse(path, why);
    throw AgentError(QStringLiteral("\"%1\" is %2").arg(path, QString::fromStdString(why)).toStdString());
}

}  // namespace

std::string BoundedFileRead::Reason(qint64 maxBytes) const
{
    switch (outcome) {
    case Outcome::Read:
        return "read";
    case Outcome::Missing:
        return "no such file";
    case Outcome::NotRegular:
        return "not a regular file";
    case Outcome::PseudoFileSystem:
        return "a file of a pseudo file system";
    case Outcome::TooLarge:
        return "larger than " + std::to_string(maxBytes) + " bytes";
    case Outcome::Unreadable:
        break;
    }
    return std::strerror(error);
}

std::optional<RegularFileForReading> RegularFileForReading::Open(const QString& path, Links links)
{
    const Opened o = OpenRegular(path, links);
    if (o.outcome == Outcome::Missing) return std::nullopt;
    if (o.outcome != Outcome::Read) Refuse(path, o.outcome, o.error, 0);
    return RegularFileForReading(o.fd, path, o.status);
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
        Refuse(path_, std::strerror(errno));
    }
}

qint64 RegularFileForReading::ReadAt(qint64 offset, char* into, qint64 length)
{
    for (;;) {
        const ssize_t n = ::pread(fd_, into, static_cast<std::size_t>(length), static_cast<off_t>(offset));
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        Refuse(path_, std::strerror(errno));
    }
}

QByteArray RegularFileForReading::ReadAll(qint64 maxBytes)
{
    QByteArray bytes;
    int error = 0;
    const Outcome outcome = ReadUpTo(fd_, status_, maxBytes, bytes, error);
    if (outcome != Outcome::Read) Refuse(path_, outcome, error, maxBytes);
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
    if (!bytes) Refuse(path, Outcome::Missing, 0, maxBytes);
    return *std::move(bytes);
}

BoundedFileRead ReadBoundedRegularFile(const QString& path, qint64 maxBytes)
{
    BoundedFileRead result;
    const Opened o = OpenRegular(path, RegularFileForReading::Links::Follow);
    result.outcome = o.outcome;
    result.error = o.error;
    if (o.outcome != Outcome::Read) return result;
    result.status = o.status;
    result.outcome = ReadUpTo(o.fd, o.status, maxBytes, result.bytes, result.error);
    ::close(o.fd);
    return result;
}

void RequireRegularFile(const QString& path)
{
    if (!RegularFileForReading::Open(path)) Refuse(path, Outcome::Missing, 0, 0);
}
