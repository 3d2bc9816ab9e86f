#include "stores/windows/calendar_file_cache.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/errors.h"

namespace {

[[noreturn]] void CannotRead(const QString& path, int error)
{
    throw AgentError("cannot read calendar file " + path.toStdString() + ": " + std::strerror(error));
}

}  // namespace

std::shared_ptr<const IcsCalendar> CalendarFileCache::Read(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ENOENT) {
            files_.remove(path);
            return nullptr;
        }
        CannotRead(path, errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        CannotRead(path, error);
    }
    const std::int64_t mtimeNs = std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
    auto found = files_.find(path);
    if (found != files_.end() && found->size == st.st_size && found->inode == st.st_ino &&
        found->device == st.st_dev && found->mtimeNs == mtimeNs) {
        ::close(fd);
        return found->calendar;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw AgentError("calendar file " + path.toStdString() + " is not a regular file");
    }
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(st.st_size));
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size()) bytes.resize(bytes.size() + 65536);  // the file grew meanwhile
        const ssize_t n = ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            CannotRead(path, error);
        }
        if (n == 0) break;
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
    Entry entry{st.st_size, st.st_ino, st.st_dev, mtimeNs, std::make_shared<const IcsCalendar>(std::move(bytes))};
    // A file that changed while it was read is not remembered: its next read sees the new state.
    if (got != st.st_size) {
        files_.remove(path);
        return entry.calendar;
    }
    files_.insert(path, entry);
    return entry.calendar;
}

void CalendarFileCache::Forget(const QString& path)
{
    files_.remove(path);
}
