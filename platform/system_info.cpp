#include "platform/system_info.h"

#include <pwd.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <vector>

QString ComputerName()
{
    char name[257] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return QString::fromLocal8Bit(name);
}

QString UserName()
{
    const uid_t uid = geteuid();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_name)
        return QString::fromLocal8Bit(result->pw_name);
    const QByteArray env = qgetenv("USER");
    return QString::fromLocal8Bit(env);
}

std::optional<std::uint32_t> SystemVolumeSerial()
{
    struct statvfs st{};
    if (statvfs("/", &st) != 0)
        return std::nullopt;
    const auto fsid = static_cast<std::uint64_t>(st.f_fsid);
    return static_cast<std::uint32_t>(fsid ^ (fsid >> 32));
}
