#include "common/bookmark_checksums.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "common/crc32.h"
#include "common/errors.h"

std::uint32_t Crc32OfText(const QString& text)
{
    return Crc32OfUtf16(text);
}

std::uint32_t Crc32OfInt(std::uint32_t value)
{
    std::uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return Crc32(bytes, sizeof bytes);
}

std::uint32_t Crc32OfFile(const QString& path)
{
    const std::string name = path.toStdString();
    // Opened without blocking and its type checked on the descriptor: a FIFO or device that
    // took a favourite's name must fail the request, not stall the agent.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw AgentError("cannot open " + name + ": " + ::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) throw AgentError("cannot read " + name + ": not a regular file");
    // In pieces, so a large file never needs its size in memory.
    std::uint32_t crc = 0;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw AgentError("cannot read " + name + ": " + ::strerror(errno));
        }
        if (n == 0) break;
        crc = Crc32Update(crc, buffer, static_cast<std::size_t>(n));
    }
    return crc;
}

std::uint32_t BookmarkCrc32(const QString& path, const QString& name, const QString& url)
{
    std::uint32_t crc = Crc32Update(0, path.utf16(), static_cast<std::size_t>(path.size()) * 2);
    crc = Crc32Update(crc, name.utf16(), static_cast<std::size_t>(name.size()) * 2);
    return Crc32Update(crc, url.utf16(), static_cast<std::size_t>(url.size()) * 2);
}

FavoriteId FavoriteIdOfPath(const QString& path)
{
    return {Crc32OfText(path), Crc32OfInt(static_cast<std::uint32_t>(path.size()))};
}
