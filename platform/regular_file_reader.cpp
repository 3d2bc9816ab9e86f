#include "platform/regular_file_reader.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include <QFile>

#include "common/errors.h"

namespace {

std::string Text(const QString& s)
{
    return s.left(300).toStdString();
}

[[noreturn]] void Refuse(const QString& path, const std::string& why)
{
    throw AgentError("cannot read " + Text(path) + ": " + why);
}

class Descriptor {
public:
    explicit Descriptor(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC))
    {
        if (fd_ < 0) Refuse(path, ::strerror(errno));
        struct stat st;
        if (::fstat(fd_, &st) != 0) Refuse(path, ::strerror(errno));
        if (!S_ISREG(st.st_mode)) Refuse(path, "not a regular file");
    }
    ~Descriptor() { ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace

QByteArray ReadRegularFile(const QString& path, qint64 maxBytes)
{
    const Descriptor file(path);
    // The reported size is no bound (pseudo files report 0, a growing file more): read in
    // pieces up to one byte past the cap.
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 room = maxBytes + 1 - bytes.size();
        if (room <= 0) Refuse(path, "longer than " + std::to_string(maxBytes) + " bytes");
        const ssize_t n = ::read(file.Fd(), buffer, static_cast<size_t>(std::min<qint64>(room, sizeof buffer)));
        if (n < 0) {
            if (errno == EINTR) continue;
            Refuse(path, ::strerror(errno));
        }
        if (n == 0) break;
        bytes.append(buffer, n);
    }
    if (bytes.size() > maxBytes) Refuse(path, "longer than " + std::to_string(maxBytes) + " bytes");
    return bytes;
}

void RequireRegularFile(const QString& path)
{
    const Descriptor file(path);
}
