#include "dispatch/file_transfers.h"
#include "platform/local_name_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <limits>

namespace {

// Opens without blocking (a FIFO would wait for its other end) and keeps only regular files:
// folders, devices and pipes are no files to transfer.
int OpenRegularFile(const QByteArray& path, int flags, mode_t mode = 0)
{
    const int fd = open(path.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool FitsOffset(std::uint64_t offset, std::size_t size)
{
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    return offset <= kMax && size <= kMax - offset;
}

}  // namespace

bool TransferFile::Open(const QString& peerPath, const QString& localPath)
{
    Close();
    if (peerPath.isEmpty() || localPath.isEmpty())
        return false;
    const QByteArray local = EncodeLocalPath(localPath);
    int fd = -1;
    if (direction_ == Direction::Read) {
        fd = OpenRegularFile(local, O_RDONLY);
    } else {
        fd = OpenRegularFile(local, O_WRONLY);
        // Only a missing file is created, and never over one that appeared meanwhile.
        if (fd < 0 && errno == ENOENT) {
            fd = OpenRegularFile(local, O_WRONLY | O_CREAT | O_EXCL, 0666);
            created_ = fd >= 0;
        }
    }
    if (fd < 0)
        return false;
    fd_ = fd;
    path_ = peerPath;
    localPath_ = QDir::cleanPath(localPath);
    return true;
}

void TransferFile::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    created_ = false;
    path_.clear();
    localPath_.clear();
}

void TransferFile::RemoveCreated()
{
    if (fd_ >= 0 && created_) (void)unlink(EncodeLocalPath(localPath_).constData());
    Close();
}

bool TransferFile::Holds(const QString& localPath) const
{
    if (fd_ < 0 || localPath.isEmpty())
        return false;
    const QString clean = QDir::cleanPath(localPath);
    return localPath_ == clean || localPath_.startsWith(clean == QLatin1String("/") ? clean : clean + u'/');
}

bool TransferFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer)
{
    if (fd_ < 0 || !FitsOffset(offset, buffer.size()))
        return false;
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got =
            pread(fd_, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool TransferFile::WriteAt(std::uint64_t offset, ByteView data)
{
    if (fd_ < 0 || !FitsOffset(offset, data.size()))
        return false;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put =
            pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}
