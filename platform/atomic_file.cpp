#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>

#include "common/errors.h"
#include "platform/shell_operations.h"

namespace {

std::string Why(const QString& path, const char* step)
{
    return std::string("cannot write ") + path.toStdString() + " (" + step + "): " + std::strerror(errno);
}

void SyncFolder(const QByteArray& folder)
{
    int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A temporary file of ours: "<name>.tmp-" and mkostemp's six characters.
bool IsLeftoverName(const char* name)
{
    const std::size_t n = std::strlen(name);
    if (n <= 11 || std::strncmp(name + n - 11, ".tmp-", 5) != 0) return false;
    for (std::size_t i = n - 6; i < n; ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

// Folders whose leftovers this run has already removed: the first write into a folder looks,
// later ones need not list it again.
std::mutex g_cleanedMutex;
std::set<QByteArray> g_cleaned;

}  // namespace

int RemoveLeftoverTemporaryFiles(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    DIR* dir = ::opendir(path.constData());
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsLeftoverName(entry->d_name)) continue;
        struct stat st {};
        // Only regular files of this user, never through a link.
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

namespace {

std::function<void(const QString&)>& BeforeNameHook()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

// A complete, flushed temporary file beside `info`'s path holding `content`; its path.
QByteArray WriteTemporaryFile(const QFileInfo& info, const QString& path, const QByteArray& content,
                              mode_t mode)
{
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    {
        // A crash in the middle of an earlier write left its temporary file; it goes now.
        std::lock_guard lock(g_cleanedMutex);
        if (g_cleaned.insert(folder).second) RemoveLeftoverTemporaryFiles(info.absolutePath());
    }
    QByteArray tmpl = QFile::encodeName(info.absoluteFilePath()) + ".tmp-XXXXXX";
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) throw AgentError(Why(path, "create temporary"));
    auto fail = [&](const char* step) {
        std::string why = Why(path, step);
        ::close(fd);
        ::unlink(tmpl.constData());
        throw AgentError(why);
    };
    if (::fchmod(fd, mode) != 0) fail("chmod");
    const char* p = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("write");
        }
        p += n;
        left -= n;
    }
    if (::fsync(fd) != 0) fail("fsync");
    if (::close(fd) != 0) {
        std::string why = Why(path, "close");
        ::unlink(tmpl.constData());
        throw AgentError(why);
    }
    if (const auto& hook = BeforeNameHook()) hook(info.absoluteFilePath());
    return tmpl;
}

}  // namespace

void WriteFileAtomically(const QString& path, const QByteArray& content, mode_t mode)
{
    const QFileInfo info(path);
    const QByteArray tmp = WriteTemporaryFile(info, path, content, mode);
    if (::rename(tmp.constData(), QFile::encodeName(info.absoluteFilePath()).constData()) != 0) {
        std::string why = Why(path, "rename");
        ::unlink(tmp.constData());
        throw AgentError(why);
    }
    SyncFolder(QFile::encodeName(info.absolutePath()));
}

bool WriteNewFileAtomically(const QString& path, const QByteArray& content, mode_t mode)
{
    const QFileInfo info(path);
    const QByteArray tmp = WriteTemporaryFile(info, path, content, mode);
    const std::error_code error = RenameNoReplace(QFile::decodeName(tmp), info.absoluteFilePath());
    if (error) {
        ::unlink(tmp.constData());
        if (error == std::errc::file_exists) return false;
        throw AgentError("cannot write " + path.toStdString() + " (rename): " + error.message());
    }
    SyncFolder(QFile::encodeName(info.absolutePath()));
    return true;
}

ScopedAtomicWriteHook::ScopedAtomicWriteHook(std::function<void(const QString& path)> hook)
{
    BeforeNameHook() = std::move(hook);
}

ScopedAtomicWriteHook::~ScopedAtomicWriteHook()
{
    BeforeNameHook() = nullptr;
}

bool TryWriteFileAtomically(const QString& path, const QByteArray& content, mode_t mode)
{
    try {
        WriteFileAtomically(path, content, mode);
        return true;
    } catch (const AgentError&) {
        return false;
    }
}
