#include "platform/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <mutex>
#include <sys/stat.h>

#include "common/byte_io.h"
#include "platform/atomic_file.h"
#include "platform/known_folders.h"

namespace {

constexpr std::uint32_t kCurrentUserHandle = 0x80000001;
constexpr std::uint32_t kLocalMachineHandle = 0x80000002;

// Changes read, modify and rewrite a whole file; within the agent they must not interleave.
std::mutex& FileMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Nothing when the file exists but cannot be read: a change must then not replace it.
// The root's document; nothing (and the reason in `why`) when its file exists but cannot be read
// whole, or no file can be named.
std::optional<RegistryDocument> Load(RegistryRoot root, QString* why = nullptr)
{
    const QString path = RegistryFilePath(root);
    if (path.isEmpty()) {
        if (why) *why = QStringLiteral("the configuration folder cannot be found");
        return std::nullopt;
    }
    QFile file(path);
    if (!file.exists())
        return RegistryDocument::Parse({}, RegistryRootName(root));
    if (!file.open(QIODevice::ReadOnly)) {
        if (why) *why = path + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (why) *why = path + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    return RegistryDocument::Parse(bytes, RegistryRootName(root));
}

bool Store(RegistryRoot root, const RegistryDocument& doc)
{
    const QString path = RegistryFilePath(root);
    if (path.isEmpty())
        return false;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder))
            return false;
        // The files hold passwords; the folder is the user's alone.
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    }
    return TryWriteFileAtomically(path, doc.Serialize(), 0600);
}

// A name that would break its line in the file cannot be stored.
bool Storable(const QString& text)
{
    return !text.contains(u'\n') && !text.contains(u'\r');
}

}  // namespace

std::optional<RegistryRoot> RegistryRootFromHandle(std::uint32_t handle)
{
    if (handle == kCurrentUserHandle)
        return RegistryRoot::CurrentUser;
    if (handle == kLocalMachineHandle)
        return RegistryRoot::LocalMachine;
    return std::nullopt;
}

QString RegistryRootName(RegistryRoot root)
{
    return root == RegistryRoot::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER")
                                             : QStringLiteral("HKEY_LOCAL_MACHINE");
}

QString RegistryFilePath(RegistryRoot root)
{
    const QString config = KnownFolderPath(KnownFolder::Config);
    if (config.isEmpty())
        return {};
    return config + QStringLiteral("/TwinLark/registry/") + RegistryRootName(root) + QStringLiteral(".reg");
}

std::optional<RegistryKey> RegistryKey::Open(RegistryRoot root, const QString& path, bool create)
{
    const QStringList parts = SplitRegistryPath(path);
    std::lock_guard lock(FileMutex());
    std::optional<RegistryDocument> doc = Load(root);
    if (!doc)
        return std::nullopt;
    if (!doc->HasKey(parts)) {
        if (!create || !Storable(path))
            return std::nullopt;
        doc->AddKey(parts);
        if (!Store(root, *doc))
            return std::nullopt;
    }
    return RegistryKey(root, parts);
}

RegistryRead ReadRegistryValue(RegistryRoot root, const QString& keyPath, const QString& name)
{
    std::lock_guard lock(FileMutex());
    RegistryRead read;
    std::optional<RegistryDocument> doc = Load(root, &read.why);
    if (!doc) {
        read.status = RegistryRead::Status::Unreadable;
        return read;
    }
    const QStringList path = SplitRegistryPath(keyPath);
    if (doc->IsUnreadable(path, name)) {
        read.status = RegistryRead::Status::Unreadable;
        read.why = RegistryFilePath(root) + QStringLiteral(": the value \"") + name +
                   QStringLiteral("\" is written in a form that cannot be read");
        return read;
    }
    const RegistryValue* value = doc->FindValue(path, name);
    if (!value) {
        read.status = RegistryRead::Status::Missing;
        return read;
    }
    read.status = RegistryRead::Status::Found;
    read.value = *value;
    return read;
}

bool RegistryKey::KeyExists(RegistryRoot root, const QString& path)
{
    return Open(root, path).has_value();
}

std::optional<RegistryValue> RegistryKey::ReadValue(const QString& name) const
{
    std::lock_guard lock(FileMutex());
    std::optional<RegistryDocument> doc = Load(root_);
    if (!doc)
        return std::nullopt;
    if (const RegistryValue* value = doc->FindValue(path_, name))
        return *value;
    return std::nullopt;
}

std::optional<std::uint32_t> RegistryKey::ReadDword(const QString& name) const
{
    std::optional<RegistryValue> value = ReadValue(name);
    if (!value || value->type != RegistryType::Dword || value->data.size() != 4)
        return std::nullopt;
    return GetU32(reinterpret_cast<const std::uint8_t*>(value->data.constData()));
}

std::optional<QString> RegistryKey::ReadString(const QString& name) const
{
    std::optional<RegistryValue> value = ReadValue(name);
    if (!value || value->type != RegistryType::String)
        return std::nullopt;
    return utf16::FromBytesUpToZero(AsBytes(value->data));
}

std::optional<QByteArray> RegistryKey::ReadBinary(const QString& name) const
{
    std::optional<RegistryValue> value = ReadValue(name);
    if (!value || value->type != RegistryType::Binary)
        return std::nullopt;
    return value->data;
}

bool RegistryKey::Exists(const QString& name) const
{
    return ReadValue(name).has_value();
}

bool RegistryKey::WriteValue(const QString& name, const RegistryValue& value)
{
    if (!Storable(name))
        return false;
    std::lock_guard lock(FileMutex());
    std::optional<RegistryDocument> doc = Load(root_);
    if (!doc)
        return false;
    doc->SetValue(path_, name, value);
    return Store(root_, *doc);
}

bool RegistryKey::WriteDword(const QString& name, std::uint32_t value)
{
    QByteArray data(4, '\0');
    PutU32(reinterpret_cast<std::uint8_t*>(data.data()), value);
    return WriteValue(name, {RegistryType::Dword, data});
}

bool RegistryKey::WriteString(const QString& name, const QString& value)
{
    return WriteValue(name, {RegistryType::String, utf16::Bytes(value) + QByteArray(2, '\0')});
}

bool RegistryKey::WriteBinary(const QString& name, const QByteArray& value)
{
    return WriteValue(name, {RegistryType::Binary, value});
}

bool RegistryKey::DeleteValue(const QString& name)
{
    std::lock_guard lock(FileMutex());
    std::optional<RegistryDocument> doc = Load(root_);
    if (!doc || !doc->RemoveValue(path_, name))
        return false;
    return Store(root_, *doc);
}
