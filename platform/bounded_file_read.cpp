#include "platform/bounded_file_read.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

// File systems whose files are made up by the kernel when read: their sizes are no sizes and
// some never end.
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

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

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

BoundedFileRead ReadBoundedRegularFile(const QString& path, qint64 maxBytes)
{
    BoundedFileRead result;
    const auto fail = [&result](BoundedFileRead::Outcome outcome, int error = 0) {
        result.outcome = outcome;
        result.error = error;
        result.bytes.clear();
        return result;
    };
    const Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return fail(errno == ENOENT ? BoundedFileRead::Outcome::Missing : BoundedFileRead::Outcome::Unreadable, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail(BoundedFileRead::Outcome::Unreadable, errno);
    if (!S_ISREG(st.st_mode)) return fail(BoundedFileRead::Outcome::NotRegular);
    if (IsPseudoFileSystem(fd.get())) return fail(BoundedFileRead::Outcome::PseudoFileSystem);
    if (maxBytes < 0) maxBytes = 0;
    if (st.st_size > maxBytes) return fail(BoundedFileRead::Outcome::TooLarge);

    // The reported size only sizes the first buffer; the cap bounds what is read.
    const qint64 limit = maxBytes + 1;
    qint64 capacity = st.st_size > 0 ? st.st_size + 1 : qMin<qint64>(limit, 64 * 1024);
    result.bytes.resize(static_cast<qsizetype>(capacity));
    qint64 have = 0;
    for (;;) {
        if (have == capacity) {
            if (capacity >= limit) break;
            capacity = qMin(limit, capacity * 2);
            result.bytes.resize(static_cast<qsizetype>(capacity));
        }
        const ssize_t n = ::read(fd.get(), result.bytes.data() + have, static_cast<std::size_t>(capacity - have));
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(BoundedFileRead::Outcome::Unreadable, errno);
        }
        have += n;
    }
    if (have > maxBytes) return fail(BoundedFileRead::Outcome::TooLarge);
    result.bytes.resize(static_cast<qsizetype>(have));
    result.outcome = BoundedFileRead::Outcome::Read;
    return result;
}
