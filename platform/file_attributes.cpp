#include "platform/file_attributes.h"
#include "platform/local_name_codec.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>

namespace {

// Seconds from 1 January 1601 to 1 January 1970.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;

std::uint64_t FileTimeOf(const statx_timestamp& t)
{
    return FileTimeFromUnix(t.tv_sec, t.tv_nsec);
}

FileFacts FactsOf(const struct statx& target, bool isLink, const QString& name)
{
    using namespace file_attribute;
    FileFacts facts;
    const bool isDir = S_ISDIR(target.stx_mode);
    if (isDir)
        facts.attributes |= kDirectory;
    else if (S_ISREG(target.stx_mode))
        facts.attributes |= kArchive;
    if (!isDir && !(target.stx_mode & S_IWUSR))
        facts.attributes |= kReadOnly;
    if (name.startsWith(QLatin1Char('.')) && name != QLatin1String(".") && name != QLatin1String(".."))
        facts.attributes |= kHidden;
    if (isLink)
        facts.attributes |= kReparsePoint;
    if (facts.attributes == 0)
        facts.attributes = kNormal;
    facts.size = S_ISREG(target.stx_mode) ? target.stx_size : 0;
    facts.lastWriteTime = FileTimeOf(target.stx_mtime);
    facts.creationTime = FileTimeOf((target.stx_mask & STATX_BTIME) ? target.stx_btime : target.stx_ctime);
    return facts;
}

std::optional<FileFacts> FactsAt(int dirFd, const QByteArray& encodedPath, const QString& name)
{
    constexpr unsigned kMask = STATX_BASIC_STATS | STATX_BTIME;
    struct statx own {};
    if (statx(dirFd, encodedPath.constData(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kMask, &own) != 0)
        return std::nullopt;
    if (!S_ISLNK(own.stx_mode))
        return FactsOf(own, false, name);
    struct statx target {};
    if (statx(dirFd, encodedPath.constData(), AT_NO_AUTOMOUNT, kMask, &target) != 0)
        return FactsOf(own, true, name);
    return FactsOf(target, true, name);
}

QString LastComponent(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

}  // namespace

std::uint64_t FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds)
{
    if (seconds < -kEpochDifference)
        return 0;
    return static_cast<std::uint64_t>(seconds + kEpochDifference) * kTicksPerSecond + nanoseconds / 100;
}

timespec UnixFromFileTime(std::uint64_t fileTime)
{
    timespec t{};
    t.tv_sec = static_cast<time_t>(static_cast<std::int64_t>(fileTime / kTicksPerSecond) - kEpochDifference);
    t.tv_nsec = static_cast<long>(fileTime % kTicksPerSecond) * 100;
    return t;
}

std::optional<FileFacts> ReadFileFacts(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    return FactsAt(AT_FDCWD, EncodeLocalPath(path), LastComponent(path));
}

std::optional<FileFacts> ReadFileFactsAt(int dirFd, const QString& name)
{
    return FactsAt(dirFd, EncodeLocalPath(name), name);
}

std::optional<std::vector<FolderEntry>> ListFolder(const QString& path)
{
    const int fd = open(EncodeLocalPath(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return std::nullopt;
    }
    std::vector<FolderEntry> entries;
    while (const dirent* e = readdir(dir)) {
        const char* raw = e->d_name;
        if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0')))
            continue;
        const QString name = DecodeLocalPath(raw);
        if (auto facts = FactsAt(fd, QByteArray(raw), name))
            entries.push_back(FolderEntry{name, *facts});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}
