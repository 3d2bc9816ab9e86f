#pragma once
#include <sys/types.h>

#include <QString>
#include <cstdint>

// A file as a store read it: whether it was there, which file it was (device and inode, through
// any link at the path), its size and its modification time. A store that writes its loaded copy
// back compares it with the file as it is then, so that a file the user's program wrote meanwhile
// is never overwritten with an older copy.
struct LoadedFileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;

    // The file at `path` now, following links; a path where nothing is (a dangling link
    // included) gives one that does not exist.
    static LoadedFileIdentity Of(const QString& path);
    friend bool operator==(const LoadedFileIdentity&, const LoadedFileIdentity&) = default;
};
