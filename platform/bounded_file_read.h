#pragma once
// Reading a file that other programs or a peer may have put where a data file is expected: a FIFO
// would hold the agent until a writer comes, a device or a file of /proc or /sys can be endless
// and reports a size that says nothing (/proc/self/pagemap says 0). Only a regular file on an
// ordinary file system is read: it is opened without blocking, its type is taken from the
// descriptor (nothing can be swapped in after the check), and at most the cap plus one byte is
// read, whatever size the system reports.

#include <QByteArray>
#include <QString>
#include <string>

struct BoundedFileRead {
    enum class Outcome {
        Read,              // `bytes` holds the whole file
        Missing,           // nothing has that name (a dangling link included)
        NotRegular,        // a folder, FIFO, socket or device
        PseudoFileSystem,  // a file of procfs, sysfs or a kin of theirs
        TooLarge,          // more than the cap
        Unreadable,        // open or read failed; `error` holds errno
    };
    Outcome outcome = Outcome::Unreadable;
    QByteArray bytes;
    int error = 0;

    bool Ok() const { return outcome == Outcome::Read; }
    // Why the file was not read, for a log line ("not a regular file", "larger than 1024 bytes").
    std::string Reason(qint64 maxBytes) const;
};

// The whole file at `path` (links followed) when it is a regular file of at most `maxBytes`.
BoundedFileRead ReadBoundedRegularFile(const QString& path, qint64 maxBytes);
