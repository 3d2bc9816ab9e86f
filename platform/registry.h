#pragma once
// The emulated registry: the current user's and the machine's root keys, each kept in one text
// file in the registry editor's export syntax (see platform/registry_file.h):
//   $XDG_CONFIG_HOME/TwinLark/registry/HKEY_CURRENT_USER.reg
//   $XDG_CONFIG_HOME/TwinLark/registry/HKEY_LOCAL_MACHINE.reg
// Users, tests and other programs plant values by editing these files, so every read reads the
// file anew and every change rewrites the whole file (atomically, mode 0600). Key and value
// names compare without case. A value of another type than the one asked for reads as missing.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "platform/registry_file.h"

enum class RegistryRoot { CurrentUser, LocalMachine };

// The root for one of the platform's predefined root handles as a peer sends them
// (0x80000001 the current user, 0x80000002 the machine); nothing for any other number.
std::optional<RegistryRoot> RegistryRootFromHandle(std::uint32_t handle);
// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
QString RegistryRootName(RegistryRoot root);
// The file that holds the root; empty when the configuration folder cannot be determined.
QString RegistryFilePath(RegistryRoot root);

// One value read with the difference between "not there" and "could not be read": a file that
// exists but cannot be read, or a line for the value whose data cannot be read, must not pass
// for a missing value (a stored password would then count as none).
struct RegistryRead {
    enum class Status { Found, Missing, Unreadable };
    Status status = Status::Missing;
    RegistryValue value;
    QString why;  // Unreadable: the file and the reason
};
RegistryRead ReadRegistryValue(RegistryRoot root, const QString& keyPath, const QString& name);

class RegistryKey {
public:
    // The key at `path` below `root` ("SOFTWARE\Ostrel Software\TwinLark2"; the empty path is the
    // root). Without `create`, nothing when the key does not exist; with it, a missing key is
    // created (kept as an empty section) and nothing is returned only when the file cannot be
    // written.
    static std::optional<RegistryKey> Open(RegistryRoot root, const QString& path, bool create = false);
    static bool KeyExists(RegistryRoot root, const QString& path);

    RegistryRoot Root() const { return root_; }
    QString Path() const { return path_.join(u'\\'); }

    // The empty name is the key's default value ("@" in the file).
    std::optional<RegistryValue> ReadValue(const QString& name) const;
    // A REG_DWORD of exactly four bytes.
    std::optional<std::uint32_t> ReadDword(const QString& name) const;
    // A REG_SZ, up to its first zero unit.
    std::optional<QString> ReadString(const QString& name) const;
    // A REG_BINARY.
    std::optional<QByteArray> ReadBinary(const QString& name) const;
    // True when the value exists, of any type.
    bool Exists(const QString& name) const;

    // Writers report false when the file cannot be read (it is then left alone) or written.
    bool WriteValue(const QString& name, const RegistryValue& value);
    bool WriteDword(const QString& name, std::uint32_t value);
    // Stored with its terminator, as the platform stores a REG_SZ.
    bool WriteString(const QString& name, const QString& value);
    bool WriteBinary(const QString& name, const QByteArray& value);
    // True when the value existed and the file was rewritten without it.
    bool DeleteValue(const QString& name);

private:
    RegistryKey(RegistryRoot root, QStringList path) : root_(root), path_(std::move(path)) {}
    RegistryRoot root_;
    QStringList path_;
};
