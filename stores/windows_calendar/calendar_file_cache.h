#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "stores/windows_calendar/ics_calendar.h"

// Calendar files as last read, so that a change check, which asks for every event's checksum
// one by one, reads each file once. A file is read anew when its size, inode or modification
// time (to the nanosecond) differs from the last read, and after the store's own writes
// (Forget).
//
// Looking at a file costs a system call, which is most of what a checksum costs; so a read that
// changes nothing may take a file as it was found less than kRecentMs ago, which is no different
// from having been served that much earlier. What is about to be rewritten is always looked at,
// and its bytes compared too (Verified): a restore or a copy tool can put other bytes of the same
// size in place and give them the old time, and an edit spliced into the old bytes would write
// over them.
class CalendarFileCache {
public:
    enum class Freshness { Exact, Recent, Verified };
    static constexpr std::int64_t kRecentMs = 100;

    // The file's layout; nullptr when it does not exist. Throws AgentError when it exists but
    // cannot be read.
    std::shared_ptr<const IcsCalendar> Read(const QString& path, Freshness freshness = Freshness::Exact);
    void Forget(const QString& path);
    // Forgets every file but these (the calendar files there are now).
    void Retain(const QStringList& paths);
    // Forgets every file, and gives back the memory they held.
    void Clear() { files_ = {}; }

private:
    struct Entry {
        std::int64_t size = 0;
        std::uint64_t inode = 0;
        std::uint64_t device = 0;
        std::int64_t mtimeNs = 0;
        QByteArray native;           // the path as the system takes it
        std::int64_t checkedMs = 0;  // when the file was last looked at (monotonic clock)
        std::shared_ptr<const IcsCalendar> calendar;
    };
    QHash<QString, Entry> files_;
};
