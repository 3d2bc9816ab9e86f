#pragma once
#include <QString>
#include <cstdint>
#include <span>

#include "common/byte_io.h"

// One of the files the peer reads or writes in pieces, kept open between requests. It is
// either closed with no path, or open with the peer's path text that opened it (compared
// exactly with later requests' paths).
class TransferFile {
public:
    enum class Direction { Read, Write };

    explicit TransferFile(Direction direction) : direction_(direction) {}
    ~TransferFile() { Close(); }
    TransferFile(const TransferFile&) = delete;
    TransferFile& operator=(const TransferFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // The open file did not exist before Open made it.
    bool Created() const { return created_; }
    // Removes a file that Open made and closes it: a write that failed must not leave an empty
    // or partial file behind that the peer never asked to keep.
    void RemoveCreated();
    // The peer's path that opened the file; empty exactly while it is closed.
    const QString& Path() const { return path_; }

    // Closes what is open, then opens the regular file `localPath` under the peer's
    // `peerPath`: for reading it must exist; for writing an existing file is opened without
    // being emptied, a missing one is created. False (and closed, no path) on failure.
    bool Open(const QString& peerPath, const QString& localPath);
    void Close();

    // Whether the open file is `localPath` or lies below it.
    bool Holds(const QString& localPath) const;

    // Reads from `offset` until `buffer` is full or the file ends; bytes past the end are left
    // as they are. False when the file is closed or the read fails.
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer);
    // Writes all of `data` at `offset`; the rest of the file keeps its bytes. False when the
    // file is closed or the write fails (a part may then have been written).
    bool WriteAt(std::uint64_t offset, ByteView data);

private:
    Direction direction_;
    int fd_ = -1;
    bool created_ = false;
    QString path_;
    QString localPath_;
};

// The read and the write transfer file of the file requests.
class FileTransfers {
public:
    TransferFile read{TransferFile::Direction::Read};
    TransferFile write{TransferFile::Direction::Write};

    // Closes both files and forgets their paths.
    void CloseAll()
    {
        write.Close();
        read.Close();
    }
    // Whether either open file is `localPath` or lies below it.
    bool EitherHolds(const QString& localPath) const
    {
        return read.Holds(localPath) || write.Holds(localPath);
    }
};
