#pragma once
#include <sys/stat.h>

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

// Reading a file that another program or a peer may have put in place of the one expected: a
// FIFO would block the agent forever, a device or a file of /proc or /sys can be endless or
// report a size it does not hold. Only a regular file on an ordinary file system is read; it is
// opened without blocking, its type is checked on the descriptor (so nothing can be swapped in
// between), and no more is read than the caller's limit allows, whatever size the system reports.

// Why a file was or was not read, for callers that treat a damaged file (left out) apart from one
// that could not be read (an error).
struct BoundedFileRead {
    enum class Outcome {
        Read,              // `bytes` holds the whole file
        Missing,           // nothing has that name (a dangling link included)
        NotRegular,        // a folder, FIFO, socket or device (or, where links are not followed, a link)
        PseudoFileSystem,  // a file of procfs, sysfs or a kin of theirs
        TooLarge,          // more than the cap
        Unreadable,        // open or read failed; `error` holds errno
    };
    Outcome outcome = Outcome::Unreadable;
    QByteArray bytes;
    int error = 0;
    struct stat status {};  // what the descriptor told, where the file was opened

    bool Ok() const { return outcome == Outcome::Read; }
    // Why the file was not read, for a log line ("not a regular file", "larger than 1024 bytes").
    std::string Reason(qint64 maxBytes) const;
};

class RegularFileForReading {
public:
    enum class Links { Follow, Refuse };

    // Opens `path` for reading. Returns no file when nothing is there (ENOENT). Throws AgentError
    // naming the path and the reason for anything that cannot be opened or is not a regular file
    // on an ordinary file system (with Links::Refuse, a link is refused too).
    static std::optional<RegularFileForReading> Open(const QString& path, Links links = Links::Follow);

    RegularFileForReading(RegularFileForReading&& other) noexcept;
    RegularFileForReading& operator=(RegularFileForReading&& other) noexcept;
    RegularFileForReading(const RegularFileForReading&) = delete;
    RegularFileForReading& operator=(const RegularFileForReading&) = delete;
    ~RegularFileForReading();

    // What the descriptor told when the file was opened.
    const struct stat& Status() const { return status_; }
    // Reads up to `length` bytes; 0 at the end. Throws AgentError naming the path when the read fails.
    qint64 Read(char* into, qint64 length);
    // Reads up to `length` bytes from `offset`, whatever the position of Read; 0 at or past the
    // end. Throws AgentError naming the path when the read fails.
    qint64 ReadAt(qint64 offset, char* into, qint64 length);
    // The rest of the file when it holds at most `maxBytes`; throws AgentError naming the path
    // when it holds more (at most `maxBytes` + 1 bytes are ever read) or cannot be read.
    QByteArray ReadAll(qint64 maxBytes);

private:
    RegularFileForReading(int fd, const QString& path, const struct stat& status);

    int fd_ = -1;
    QString path_;
    struct stat status_ {};
};

// The whole regular file at `path` when it holds at most `maxBytes`; none when it does not exist.
// Throws AgentError as RegularFileForReading does.
std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes);

// The same for a file that must be there: a missing one throws AgentError too.
QByteArray ReadExistingRegularFile(const QString& path, qint64 maxBytes);

// The same, never throwing: the outcome says what was read or why nothing was.
BoundedFileRead ReadBoundedRegularFile(const QString& path, qint64 maxBytes);

// Throws AgentError unless `path` opens as a regular file on an ordinary file system (a missing
// one is refused too). For files another library opens by name (an SQLite database), checked
// just before it does.
void RequireRegularFile(const QString& path);
