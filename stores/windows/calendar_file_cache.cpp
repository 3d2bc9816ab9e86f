#include "stores/windows/calendar_file_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "common/errors.h"

namespace {

[[noreturn]] void CannotRead(const QString& path, int error)
{
    throw AgentError("cannot read calendar file " + path.toStdString() + ": " + std::strerror(error));
}

std::int64_t MtimeNs(const struct stat& st)
{
    return std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
}

std::int64_t NowMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1'000'000;
}

}  // namespace

std::shared_ptr<const IcsCalendar> CalendarFileCache::Read(const QString& path, Freshness freshness)
{
    const std::int64_t now = NowMs();
    // A file read before is only looked at: one call, no opening.
    auto found = files_.find(path);
    if (found != files_.end()) {
        if (freshness == Freshness::Recent && now - found->checkedMs < kRecentMs) return found->calendar;
        struct stat st {};
        if (::lstat(found->native.constData(), &st) == 0 && found->size == st.st_size &&
            found->inode == st.st_ino && found->device == st.st_dev && found->mtimeNs == MtimeNs(st)) {
            found->checkedMs = now;
            return found->calendar;
        }
    }
    const QByteArray native = QFile::encodeName(path);
    // Opened without waiting, and read only once the descriptor is known to be a regular file: a
    // FIFO or a device of a calendar's name would otherwise hold the agent at the open or the read.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
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
    const std::int64_t mtimeNs = MtimeNs(st);
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw AgentError("calendar file " + path.toStdString() + " is not a regular file");
    }
    // No calendar is this large; a file that claims or grows past it (a planted one, a file that
    // keeps growing) is refused before it can fill the agent's memory.
    constexpr qsizetype kMaxCalendarBytes = 256 * 1024 * 1024;
    const auto refuseTooLarge = [&] {
        ::close(fd);
        throw AgentError("calendar file " + path.toStdString() + " is larger than " +
                         std::to_string(kMaxCalendarBytes) + " bytes");
    };
    if (st.st_size > kMaxCalendarBytes) refuseTooLarge();
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(st.st_size));
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size()) {  // the file grew meanwhile
            if (got > kMaxCalendarBytes) refuseTooLarge();
            bytes.resize(std::min<qsizetype>(bytes.size() + 65536, kMaxCalendarBytes + 1));
        }
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
    Entry entry{st.st_size,
                st.st_ino,
                st.st_dev,
                mtimeNs,
                native,
                now,
                std::make_shared<const IcsCalendar>(std::move(bytes))};
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

void CalendarFileCache::Retain(const QStringList& paths)
{
    for (auto it = files_.begin(); it != files_.end();)
        it = paths.contains(it.key()) ? std::next(it) : files_.erase(it);
}
