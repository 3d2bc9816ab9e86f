#include "platform/atomic_file.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/errors.h"

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

}  // namespace

void WriteFileAtomically(const QString& path, const QByteArray& content, mode_t mode)
{
    const QFileInfo info(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    QByteArray tmpl = QFile::encodeName(info.absoluteFilePath()) + ".tmp-XXXXXX";
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        throw AgentError(Why(path, "create temporary"));
    auto fail = [&](const char* step) {
        std::string why = Why(path, step);
        ::close(fd);
        ::unlink(tmpl.constData());
        throw AgentError(why);
    };
    if (::fchmod(fd, mode) != 0)
        fail("chmod");
    const char* p = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("write");
        }
        p += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        fail("fsync");
    if (::close(fd) != 0) {
        std::string why = Why(path, "close");
        ::unlink(tmpl.constData());
        throw AgentError(why);
    }
    if (::rename(tmpl.constData(), QFile::encodeName(info.absoluteFilePath()).constData()) != 0) {
        std::string why = Why(path, "rename");
        ::unlink(tmpl.constData());
        throw AgentError(why);
    }
    SyncFolder(folder);
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
