#include "core/settings.h"

#include <sys/stat.h>
#include <time.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <optional>

#include "common/byte_io.h"
#include "common/errors.h"
#include "core/diagnostics.h"
#include "platform/atomic_file.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/xdg_autostart.h"
#include "version.h"

namespace {

const QString kSettingsKey = QStringLiteral("SOFTWARE\\Ostrel Software\\TwinLark2");
const QString kRunKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString kRunValue = QStringLiteral("TwinLark2");
const QString kIpListName = QStringLiteral("iplist.dat");

// The Run value is read into a buffer of the platform's path limit: 259 characters and the
// terminator. A longer value does not read as text.
constexpr qsizetype kRunValueMaxBytes = 260 * 2;

std::optional<RegistryKey> SettingsKey(bool create = false)
{
    return RegistryKey::Open(RegistryRoot::CurrentUser, kSettingsKey, create);
}

std::optional<std::uint32_t> ReadDwordValue(const QString& name)
{
    std::optional<RegistryKey> key = SettingsKey();
    return key ? key->ReadDword(name) : std::nullopt;
}

// Writers other than the port's do not create the key: without it the value is not stored.
bool WriteDwordValue(const QString& name, std::uint32_t value)
{
    std::optional<RegistryKey> key = SettingsKey();
    return key && key->WriteDword(name, value);
}

QString AgentProgramPath()
{
    if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

std::optional<QString> IpListPath()
{
    try {
        return AgentDataDir() + u'/' + kIpListName;
    } catch (const AgentError&) {
        return std::nullopt;
    }
}

// The list is UTF-8; a list left in an 8-bit code page by an older version still loads.
QString DecodeIpList(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

}  // namespace

bool CreateSettingsKey()
{
    return SettingsKey(true).has_value();
}

int ReadPort()
{
    return static_cast<int>(ReadDwordValue(QStringLiteral("port")).value_or(kDefaultPort));
}

bool WritePort(int port)
{
    std::optional<RegistryKey> key = SettingsKey(true);
    return key && key->WriteDword(QStringLiteral("port"), static_cast<std::uint32_t>(port));
}

QString PortText()
{
    std::optional<RegistryKey> key = SettingsKey();
    if (!key) return {};
    const std::optional<std::uint32_t> port = key->ReadDword(QStringLiteral("port"));
    return QString::number(port ? static_cast<int>(*port) : kDefaultPort);
}

QString ReadPassword()
{
    const StoredPassword stored = ReadStoredPassword();
    return stored.state == StoredPassword::State::Set ? stored.text : QString();
}

StoredPassword ReadStoredPassword()
{
    StoredPassword stored;
    const RegistryRead read =
        ReadRegistryValue(RegistryRoot::CurrentUser, kSettingsKey, QStringLiteral("password"));
    if (read.status == RegistryRead::Status::Missing) return stored;
    stored.state = StoredPassword::State::Unreadable;
    if (read.status == RegistryRead::Status::Unreadable) {
        stored.why = QStringLiteral("the settings cannot be read (") + read.why + QLatin1Char(')');
        return stored;
    }
    if (read.value.type != RegistryType::String) {
        stored.why = QStringLiteral("the password is stored as another type than text");
        return stored;
    }
    if (read.value.data.size() % 2 != 0) {
        stored.why = QStringLiteral("the stored password is malformed");
        return stored;
    }
    stored.text = utf16::FromBytesUpToZero(AsBytes(read.value.data));
    stored.state = stored.text.isEmpty() ? StoredPassword::State::None : StoredPassword::State::Set;
    return stored;
}

StoredPassword StoredPasswordCache::Current()
{
    const QString path = RegistryFilePath(RegistryRoot::CurrentUser);
    struct stat st {};
    // Stamped before the read: a change during the read shows as another stamp next time.
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0) {
        known_ = false;
        return ReadStoredPassword();
    }
    Stamp now;
    now.path = path;
    now.device = st.st_dev;
    now.inode = st.st_ino;
    now.size = st.st_size;
    now.modified = std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
    now.changed = std::int64_t{st.st_ctim.tv_sec} * 1'000'000'000 + st.st_ctim.tv_nsec;
    if (known_ && now == stamp_)
        return value_;
    timespec readAt {};
    clock_gettime(CLOCK_REALTIME, &readAt);
    value_ = ReadStoredPassword();
    stamp_ = now;
    constexpr std::int64_t kTimeGrainNs = 1'000'000'000;
    const std::int64_t readAtNs = std::int64_t{readAt.tv_sec} * 1'000'000'000 + readAt.tv_nsec;
    known_ = now.modified < readAtNs - kTimeGrainNs && now.changed < readAtNs - kTimeGrainNs;
    return value_;
}

bool WritePassword(const QString& password)
{
    std::optional<RegistryKey> key = SettingsKey();
    return key && key->WriteString(QStringLiteral("password"), password);
}

std::uint32_t ReadAccessMode()
{
    return ReadDwordValue(QStringLiteral("Access mode")).value_or(0);
}

bool WriteAccessMode(std::uint32_t mode)
{
    return WriteDwordValue(QStringLiteral("Access mode"), mode);
}

bool ReadTrayMessage()
{
    return ReadDwordValue(QStringLiteral("trayMessage")).value_or(0) != 0;
}

bool WriteTrayMessage(bool notify)
{
    return WriteDwordValue(QStringLiteral("trayMessage"), notify ? 1 : 0);
}

std::uint32_t ReadLangId()
{
    return ReadDwordValue(QStringLiteral("langID")).value_or(kDefaultLangId) & 0xFFFF;
}

std::uint32_t ReadFirstRun()
{
    std::optional<RegistryKey> key = SettingsKey();
    if (!key) return 0;
    const std::optional<std::uint32_t> value = key->ReadDword(QStringLiteral("firstRun"));
    if (!value) return 0;
    key->DeleteValue(QStringLiteral("firstRun"));
    return *value;
}

std::uint32_t ReadSettingsDword(const QString& valueName, std::uint32_t fallback, bool* found)
{
    const std::optional<std::uint32_t> value = ReadDwordValue(valueName);
    if (found) *found = value.has_value();
    return value.value_or(fallback);
}

bool WriteBrowserId(std::uint32_t browserKind)
{
    return WriteDwordValue(QStringLiteral("browserID"), browserKind);
}

bool WriteAgentValue(const QString& valueName, std::uint32_t value)
{
    return WriteDwordValue(valueName, value);
}

bool ReadAutostart()
{
    std::optional<RegistryKey> run = RegistryKey::Open(RegistryRoot::CurrentUser, kRunKey);
    if (!run) return false;
    const std::optional<RegistryValue> value = run->ReadValue(kRunValue);
    return value && value->type == RegistryType::String && value->data.size() <= kRunValueMaxBytes;
}

void SetAutostart(bool enabled)
{
    // The Run key always exists on the platform the value comes from; here a fresh home has no
    // such key yet, so switching autostart on creates it.
    std::optional<RegistryKey> run = RegistryKey::Open(RegistryRoot::CurrentUser, kRunKey, enabled);
    if (enabled) {
        const QString program = AgentProgramPath();
        if (run) run->WriteString(kRunValue, program);
        WriteXdgAutostart(kRunValue, QStringLiteral("TwinLark"), program);
    } else {
        if (run) run->DeleteValue(kRunValue);
        RemoveXdgAutostart(kRunValue);
    }
}

QStringList LoadIpList()
{
    const std::optional<QString> path = IpListPath();
    if (!path) return {};
    QFile file(*path);
    if (!file.exists()) {
        TryWriteFileAtomically(*path, {}, 0600);
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcCore) << "address list" << *path << "not read:" << file.errorString();
        return {};
    }
    const QString text = DecodeIpList(file.readAll());
    if (text.isEmpty()) return {};
    QStringList lines = text.split(u'\n');
    if (lines.last().isEmpty()) lines.removeLast();  // the line end of the last entry
    for (QString& line : lines) {
        if (line.endsWith(u'\r')) line.chop(1);
    }
    return lines;
}

bool SaveIpList(const QStringList& entries)
{
    const std::optional<QString> path = IpListPath();
    if (!path) return false;
    // A list that exists but could not be read was never loaded: writing ours over it would
    // replace the user's addresses with an empty list.
    if (QFile file(*path); file.exists() && !file.open(QIODevice::ReadOnly)) {
        qCWarning(lcCore) << "address list" << *path
                          << "not replaced, it cannot be read:" << file.errorString();
        return false;
    }
    QString text;
    for (const QString& entry : entries) text += entry + QStringLiteral("\r\n");
    return TryWriteFileAtomically(*path, text.toUtf8(), 0600);
}

QString GetVersionLine()
{
    return QStringLiteral("Version 2.1 Build ") + GetProductVersionText();
}

QString GetProductVersionText()
{
    return QString::asprintf("%d.%d.%d.%d", TWINLARK_VERSION_MAJOR, TWINLARK_VERSION_MINOR,
                             TWINLARK_VERSION_PATCH, TWINLARK_VERSION_TWEAK);
}
