#pragma once
// The process's memory as /proc/self/status reports it, for the benchmarks that measure what a
// peer leaves behind.

#include <QByteArray>
#include <QFile>

// Kilobytes of a "VmRSS:"/"VmHWM:" line of /proc/self/status; -1 when there is none.
inline long StatusKiB(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(static_cast<qsizetype>(qstrlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}

// Resident kilobytes of the process.
inline long ResidentKiB()
{
    return StatusKiB("VmRSS:");
}
