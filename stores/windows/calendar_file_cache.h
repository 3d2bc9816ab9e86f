#pragma once
#include <QHash>
#include <QString>
#include <cstdint>
#include <memory>

#include "stores/windows/ics_calendar.h"

// Calendar files as last read, so that a change check, which asks for every event's checksum
// one by one, reads each file once. A file is read anew when its size, inode or modification
// time (to the nanosecond) differs from the last read, and after the store's own writes
// (Forget).
class CalendarFileCache {
public:
    // The file's layout; nullptr when it does not exist. Throws AgentError when it exists but
    // cannot be read.
    std::shared_ptr<const IcsCalendar> Read(const QString& path);
    void Forget(const QString& path);
    void Clear() { files_.clear(); }

private:
    struct Entry {
        std::int64_t size = 0;
        std::uint64_t inode = 0;
        std::uint64_t device = 0;
        std::int64_t mtimeNs = 0;
        std::shared_ptr<const IcsCalendar> calendar;
    };
    QHash<QString, Entry> files_;
};
