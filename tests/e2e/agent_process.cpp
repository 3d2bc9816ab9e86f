#include "agent_process.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <string>
#include <vector>

#include "common/byte_io.h"
#include "platform/registry_file.h"

extern char** environ;

namespace {

const QStringList kSettingsKey = {QStringLiteral("SOFTWARE"), QStringLiteral("Ostrel Software"),
                                  QStringLiteral("TwinLark2")};
const QString kRegistryFile = QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg");

// Waits a little without busy-looping, between two looks at a condition.
void Tick()
{
    ::poll(nullptr, 0, 10);
}

// The inodes of the sockets the process holds (links "socket:[inode]" in /proc/<pid>/fd).
QSet<QString> SocketInodes(pid_t pid)
{
    QSet<QString> inodes;
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fdDir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QByteArray path = (fdDir + QLatin1Char('/') + fd).toUtf8();
        char target[256];
        const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
        if (n <= 0) continue;
        const QByteArray link(target, static_cast<qsizetype>(n));
        if (link.startsWith("socket:[") && link.endsWith(']'))
            inodes.insert(QString::fromLatin1(link.mid(8).chopped(1)));
    }
    return inodes;
}

// Whether one of `inodes` listens on `port` (IPv4 table of the kernel).
bool ListensOn(const QSet<QString>& inodes, std::uint16_t port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) return false;
    const QByteArray all = table.readAll();
    for (const QByteArray& line : all.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        // sl local rem st tx:rx tr:when retr uid timeout inode
        if (f.size() < 10 || f[3] != "0A") continue;
        const QList<QByteArray> local = f[1].split(':');
        if (local.size() == 2 && local[1].toUInt(nullptr, 16) == port &&
            inodes.contains(QString::fromLatin1(f[9])))
            return true;
    }
    return false;
}

}  // namespace

std::uint16_t FindFreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

AgentProcess::AgentProcess()
{
    QDir home(home_.path());
    home.mkpath(QStringLiteral(".config"));
    home.mkpath(QStringLiteral(".local/share"));
    home.mkpath(QStringLiteral(".cache"));
    home.mkpath(QStringLiteral("tmp"));
    home.mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(Path(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    SetEnv("HOME", home_.path().toUtf8());
    SetEnv("XDG_CONFIG_HOME", Path(QStringLiteral(".config")).toUtf8());
    SetEnv("XDG_DATA_HOME", Path(QStringLiteral(".local/share")).toUtf8());
    SetEnv("XDG_CACHE_HOME", Path(QStringLiteral(".cache")).toUtf8());
    SetEnv("XDG_RUNTIME_DIR", Path(QStringLiteral("runtime")).toUtf8());
    SetEnv("TMPDIR", Path(QStringLiteral("tmp")).toUtf8());
    SetEnv("QT_QPA_PLATFORM", "offscreen");
    UnsetEnv("DISPLAY");
    UnsetEnv("WAYLAND_DISPLAY");
    UnsetEnv("FAKE_DNSSD_LOG");
    UnsetEnv("FAKE_DNSSD_RESULT");
#ifdef TWINLARK_FAKE_DNSSD_LIBRARY
    SetEnv("TWINLARK_DNSSD_LIBRARY", TWINLARK_FAKE_DNSSD_LIBRARY);
#endif
    SetPort(FindFreePort());
}

AgentProcess::~AgentProcess()
{
    if (pid_ > 0 && !exitCode_) {
        Signal(SIGTERM);
        if (!WaitForExit(kDefaultTimeoutMs)) {
            Signal(SIGKILL);
            WaitForExit(kDefaultTimeoutMs);
        }
    }
}

QString AgentProcess::Path(const QString& relative) const
{
    return home_.filePath(relative);
}

QString AgentProcess::DataDir() const
{
    return Path(QStringLiteral(".local/share/TwinLark"));
}

void AgentProcess::WriteFile(const QString& relative, const QByteArray& bytes)
{
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

QByteArray AgentProcess::ReadFile(const QString& relative) const
{
    QFile f(Path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void AgentProcess::WriteRegistry(const QString& name, std::uint32_t type, const QByteArray& data)
{
    RegistryDocument doc =
        RegistryDocument::Parse(ReadFile(kRegistryFile), QStringLiteral("HKEY_CURRENT_USER"));
    doc.SetValue(kSettingsKey, name, RegistryValue{static_cast<RegistryType>(type), data});
    WriteFile(kRegistryFile, doc.Serialize());
}

void AgentProcess::SetDword(const QString& name, std::uint32_t value)
{
    QByteArray data(4, '\0');
    PutU32(reinterpret_cast<std::uint8_t*>(data.data()), value);
    WriteRegistry(name, static_cast<std::uint32_t>(RegistryType::Dword), data);
}

void AgentProcess::SetString(const QString& name, const QString& value)
{
    WriteRegistry(name, static_cast<std::uint32_t>(RegistryType::String),
                  utf16::Bytes(value) + QByteArray(2, '\0'));
}

void AgentProcess::SetPort(std::uint16_t port)
{
    port_ = port;
    SetDword(QStringLiteral("port"), port);
}

std::optional<std::uint32_t> AgentProcess::ReadDword(const QString& name) const
{
    const RegistryDocument doc =
        RegistryDocument::Parse(ReadFile(kRegistryFile), QStringLiteral("HKEY_CURRENT_USER"));
    const RegistryValue* value = doc.FindValue(kSettingsKey, name);
    if (!value || value->type != RegistryType::Dword || value->data.size() != 4) return std::nullopt;
    return GetU32(reinterpret_cast<const std::uint8_t*>(value->data.constData()));
}

void AgentProcess::WriteIpList(const QStringList& entries)
{
    QByteArray text;
    for (const QString& e : entries) text += e.toUtf8() + "\r\n";
    WriteFile(QStringLiteral(".local/share/TwinLark/iplist.dat"), text);
}

void AgentProcess::SetEnv(const QByteArray& name, const QByteArray& value)
{
    envChanges_[name] = value;
}

void AgentProcess::UnsetEnv(const QByteArray& name)
{
    envChanges_[name] = std::nullopt;
}

void AgentProcess::UseEmulatedOutlook(const QByteArray& seed)
{
    binary_ = TWINLARK_OUTLOOK_EMULATED_BINARY;
    if (seed.isEmpty()) {
        UnsetEnv("TWINLARK_OUTLOOK_SEED");
    } else {
        WriteFile(QStringLiteral("outlook-seed.json"), seed);
        SetEnv("TWINLARK_OUTLOOK_SEED", Path(QStringLiteral("outlook-seed.json")).toLocal8Bit());
    }
    SetEnv("TWINLARK_OUTLOOK_STATE", OutlookStatePath().toLocal8Bit());
}

QString AgentProcess::OutlookStatePath() const
{
    return Path(QStringLiteral("outlook-state.json"));
}

QByteArray AgentProcess::OutlookState() const
{
    return ReadFile(QStringLiteral("outlook-state.json"));
}

bool AgentProcess::Launch()
{
    if (pid_ > 0) return false;
    // Everything the child needs is prepared before fork: after it only exec-safe calls run.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const QByteArray name = QByteArray::fromStdString(entry.substr(0, entry.find('=')));
        if (!envChanges_.contains(name)) env.push_back(entry);
    }
    for (auto it = envChanges_.cbegin(); it != envChanges_.cend(); ++it)
        if (it.value()) env.push_back((it.key() + '=' + *it.value()).toStdString());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string binary = binary_;
    std::vector<char*> argv = {binary.data(), nullptr};
    const std::string out = Path(QStringLiteral("agent-stdout.txt")).toStdString();
    const std::string err = Path(QStringLiteral("agent-stderr.txt")).toStdString();
    const std::string cwd = home_.path().toStdString();

    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o >= 0) ::dup2(o, STDOUT_FILENO);
        if (e >= 0) ::dup2(e, STDERR_FILENO);
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        ::execve(binary.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    pid_ = pid;
    exitCode_.reset();
    return true;
}

bool AgentProcess::Start(int timeoutMs)
{
    return Launch() && WaitUntilListening(port_, timeoutMs);
}

bool AgentProcess::IsRunning()
{
    if (pid_ <= 0 || exitCode_) return false;
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return done == 0;
}

bool AgentProcess::WaitUntilListening(std::uint16_t port, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!IsRunning()) return false;
        if (ListensOn(SocketInodes(pid_), port)) return true;
        Tick();
    }
    return false;
}

void AgentProcess::Signal(int signal)
{
    if (pid_ > 0 && !exitCode_) ::kill(pid_, signal);
}

std::optional<int> AgentProcess::WaitForExit(int timeoutMs)
{
    if (pid_ <= 0) return std::nullopt;
    QDeadlineTimer deadline(timeoutMs);
    while (IsRunning()) {
        if (deadline.hasExpired()) return std::nullopt;
        Tick();
    }
    return exitCode_;
}

bool AgentProcess::WaitForLog(const QString& text, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!Log().contains(text)) {
        if (deadline.hasExpired()) return false;
        Tick();
    }
    return true;
}

QString AgentProcess::Log() const
{
    return QString::fromUtf8(ReadFile(QStringLiteral(".local/share/TwinLark/TwinLark.log")));
}

QByteArray AgentProcess::SocketLog() const
{
    return ReadFile(QStringLiteral(".local/share/TwinLark/logSocket.log"));
}

QString AgentProcess::Stderr() const
{
    return QString::fromUtf8(ReadFile(QStringLiteral("agent-stderr.txt")));
}
