#include "stores/windows_calendar/calendar_file_cache.h"

#include <sys/stat.h>

#include <QFile>
#include <ctime>
#include <optional>

#include "platform/loaded_file_identity.h"
#include "platform/regular_file_read.h"

namespace {

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

constexpr qint64 kMaxCalendarBytes = 256 * 1024 * 1024;

// Whether the file still holds the bytes the calendar was read from. The digest of the cached
// bytes is taken only here, before a rewrite: a change check never pays for it.
bool SameBytes(const QString& path, const struct stat& st, const IcsCalendar& calendar)
{
    const LoadedFileIdentity loaded = LoadedFileIdentity::OfStatus(st, ContentDigest::Of(calendar.Lines().Bytes()));
    return loaded.Compare(path, kMaxCalendarBytes) == LoadedFileIdentity::Now::AsLoaded;
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
            found->inode == st.st_ino && found->device == st.st_dev && found->mtimeNs == MtimeNs(st) &&
            (freshness != Freshness::Verified || SameBytes(path, st, *found->calendar))) {
            found->checkedMs = now;
            return found->calendar;
        }
    }
    const QByteArray native = QFile::encodeName(path);
    // Read only once the descriptor is known to be a regular file (a FIFO or a device of a
    // calendar's name would hold the agent), never through a link, and never more than any
    // calendar holds, whatever size the file claims or grows to meanwhile.
    std::optional<RegularFileForReading> file = RegularFileForReading::Open(path, RegularFileForReading::Links::Refuse);
    if (!file) {
        files_.remove(path);
        return nullptr;
    }
    const struct stat st = file->Status();
    const std::int64_t mtimeNs = MtimeNs(st);
    QByteArray bytes = file->ReadAll(kMaxCalendarBytes);
    const qint64 got = bytes.size();
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
