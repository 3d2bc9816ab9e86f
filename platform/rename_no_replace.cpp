#include "platform/rename_no_replace.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

std::error_code LastError()
{
    return {errno, std::generic_category()};
}

}  // namespace

std::error_code RenameNoReplaceOnVolume(const QByteArray& f, const QByteArray& t)
{
    if (renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return {};
    const int error = errno;
    struct stat st {};
    if (lstat(f.constData(), &st) != 0)
        return LastError();
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP)
        return {error, std::generic_category()};

    // A file system without the no-replace rename: a hard link fails on an existing name.
    if (!S_ISDIR(st.st_mode)) {
        if (link(f.constData(), t.constData()) == 0) {
            if (unlink(f.constData()) == 0)
                return {};
            const std::error_code e = LastError();
            unlink(t.constData());
            return e;
        }
        if (errno == EEXIST)
            return LastError();
    }
    // Neither (folders, or no hard links on this file system): look, then rename.
    struct stat existing {};
    if (lstat(t.constData(), &existing) == 0)
        return std::make_error_code(std::errc::file_exists);
    return rename(f.constData(), t.constData()) == 0 ? std::error_code() : LastError();
}
