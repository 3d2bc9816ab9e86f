#pragma once
// The agent's settings: values of HKCU "SOFTWARE\Ostrel Software\TwinLark2" in the emulated
// registry, the autostart value, the IP list file and the version line. A missing key or
// value means the default, never an error.

#include <QString>
#include <QStringList>
#include <cstdint>

inline constexpr int kDefaultPort = 27385;
inline constexpr std::uint32_t kDefaultLangId = 1033;

// Opens the settings key, creating it when missing; true when it exists afterwards.
bool CreateSettingsKey();

// "port" (REG_DWORD), 27385 when the key or value is missing or of another type.
int ReadPort();
// Stores "port", creating the key when missing.
bool WritePort(int port);
// "port" as the port field shows it: the stored number, or 27385 when missing or mistyped;
// empty when the key cannot be opened (the field is then left alone).
QString PortText();

// "password" (REG_SZ), empty when missing or unreadable (what the password field shows).
QString ReadPassword();

// The stored password as the login needs it. "No password stored" lets every admitted peer in;
// a password that could not be read (settings file unreadable, value of another type or
// malformed) must not: it lets no peer in without a login that cannot succeed.
struct StoredPassword {
    enum class State { None, Set, Unreadable };
    State state = State::None;
    QString text;  // Set: the password
    QString why;   // Unreadable: what went wrong
};
StoredPassword ReadStoredPassword();

// The stored password for requests that come often (every request of a peer that has not
// logged in): the settings file is read again only when it is another file or its size,
// modification or change time differ from the last read. Without a file to compare it reads
// every time, so "unreadable" is never remembered past the problem. File times are coarse (a
// clock tick): a file changed within the second before the read could change again unseen
// under the same stamp, so such a read is not kept.
class StoredPasswordCache {
public:
    StoredPassword Current();

private:
    struct Stamp {
        QString path;
        std::uint64_t device = 0, inode = 0;
        std::int64_t size = 0;
        std::int64_t modified = 0, changed = 0;  // nanoseconds
        bool operator==(const Stamp&) const = default;
    };
    bool known_ = false;  // the stamp of the last read can be trusted
    Stamp stamp_;
    StoredPassword value_;
};
bool WritePassword(const QString& password);

// "Access mode" (REG_DWORD), 0 when missing or mistyped; any stored value is returned as it is.
std::uint32_t ReadAccessMode();
bool WriteAccessMode(std::uint32_t mode);

// "trayMessage" (REG_DWORD, 0 or 1), 0 when missing.
bool ReadTrayMessage();
bool WriteTrayMessage(bool notify);

// The low 16 bits of "langID", 1033 when missing.
std::uint32_t ReadLangId();

// "firstRun": returns the value (0 when missing) and deletes it when it exists as a REG_DWORD.
std::uint32_t ReadFirstRun();

// "browserID", "AgentID", "notesAgentID": raw access; their interpretation lives with the
// source detection. `found` tells whether the value exists as a REG_DWORD.
std::uint32_t ReadSettingsDword(const QString& valueName, std::uint32_t fallback, bool* found = nullptr);
bool WriteBrowserId(std::uint32_t browserKind);
bool WriteAgentValue(const QString& valueName, std::uint32_t value);

// The Run value "TwinLark2" (and the XDG autostart entry that makes it work at log-in).
bool ReadAutostart();
void SetAutostart(bool enabled);

// "<data folder>/iplist.dat": one address per line; an empty line is an empty entry.
QStringList LoadIpList();
bool SaveIpList(const QStringList& entries);

// "Version 2.1 Build a.b.c.d" from the agent's compiled-in version.
QString GetVersionLine();
// "a.b.c.d", the product version as AS_LOGIN answers it.
QString GetProductVersionText();
