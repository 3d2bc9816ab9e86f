#pragma once
#include <QString>
#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

// A file's size, times and attributes in the form Windows gives them and the peer expects:
// attribute bits, 64-bit sizes and FILETIMEs (100-nanosecond steps since 1 January 1601, UTC).
namespace file_attribute {
inline constexpr std::uint32_t kReadOnly = 0x1;
inline constexpr std::uint32_t kHidden = 0x2;
inline constexpr std::uint32_t kDirectory = 0x10;
inline constexpr std::uint32_t kArchive = 0x20;
inline constexpr std::uint32_t kNormal = 0x80;
inline constexpr std::uint32_t kReparsePoint = 0x400;
}  // namespace file_attribute

struct FileFacts {
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;           // 0 for folders
    std::uint64_t lastWriteTime = 0;  // FILETIME of the last change of the content
    std::uint64_t creationTime = 0;   // FILETIME of the birth where the file system keeps one,
                                      // else of the last status change
};

// FILETIME of a POSIX time (0 for times before 1601) and back.
std::uint64_t FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds);
timespec UnixFromFileTime(std::uint64_t fileTime);

// The facts of the file, folder or link target at `path`. A symbolic link reports its target
// with the reparse-point bit added (a dangling link reports the link itself). Attributes:
// read-only when the owner may not write a file, hidden for names that start with a dot,
// directory for folders, archive for every other file (normal for a special file without any
// other bit). nullopt when the path cannot be examined.
std::optional<FileFacts> ReadFileFacts(const QString& path);

// The same for an entry `name` of the open folder `dirFd`.
std::optional<FileFacts> ReadFileFactsAt(int dirFd, const QString& name);

struct FolderEntry {
    QString name;
    FileFacts facts;
};

// The entries of a folder without "." and "..", sorted by name (UTF-16 code unit order), so a
// listing does not depend on the order the file system keeps. Entries that vanish while the
// folder is read are left out. nullopt when the folder cannot be opened (missing, not a
// folder, no access).
std::optional<std::vector<FolderEntry>> ListFolder(const QString& path);
