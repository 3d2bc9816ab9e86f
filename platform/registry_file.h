#pragma once
// The text form of one emulated registry root, in the registry editor's export syntax:
//
//   Windows Registry Editor Version 5.00
//
//   [SOFTWARE\Ostrel Software\TwinLark2]
//   "port"=dword:00006af9
//   "password"="a \"quoted\" C:\\path"
//   "blob"=hex:01,02,03      (long data goes on over lines ending in a backslash)
//   "expand"=hex(2):25,00,00,00
//   @="default value"
//
// Sections name a key below the root; a section that repeats the root's own name
// ("[HKEY_CURRENT_USER\SOFTWARE\...]") is read the same way. Reading never fails: a line that
// cannot be understood is skipped for lookups but kept as written, so rewriting the file after
// a change loses nothing a user or another program put there. A line that names a value of a key
// but whose data cannot be read makes that value unreadable rather than missing: a password
// mistyped by hand must not pass for no password.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <vector>

// The registry's numeric value types; the numbers are the ones stored and sent on the wire.
// Types without a name here are kept and served by their number.
enum class RegistryType : std::uint32_t {
    None = 0,
    String = 1,
    ExpandString = 2,
    Binary = 3,
    Dword = 4,
    MultiString = 7,
    Qword = 11,
};

// A value as the registry holds it: its type and its raw data bytes (a string is UTF-16LE
// with its terminator, a DWORD four little-endian bytes).
struct RegistryValue {
    RegistryType type = RegistryType::None;
    QByteArray data;
    bool operator==(const RegistryValue&) const = default;
};

// Key paths are split at backslashes; empty components (leading, trailing or doubled
// backslashes) are dropped. The empty path is the root itself.
QStringList SplitRegistryPath(const QString& path);

class RegistryDocument {
public:
    // `rootName` is the root's own name ("HKEY_CURRENT_USER"), accepted as a section prefix.
    static RegistryDocument Parse(const QByteArray& bytes, const QString& rootName);
    // UTF-8 text with the editor's header line, one section per key.
    QByteArray Serialize() const;

    // A key exists when it has a section, when a deeper key exists below it, or when it is the
    // root. Names compare without case.
    bool HasKey(const QStringList& path) const;
    // Adds an empty section unless the key already has one.
    void AddKey(const QStringList& path);

    // nullptr when the key or the value is missing or unreadable; the empty name is the key's
    // default value.
    const RegistryValue* FindValue(const QStringList& path, const QString& name) const;
    // True when the key has a line for the value whose data cannot be read, even where another
    // line of that name could: which of them the writer meant is unknown.
    bool IsUnreadable(const QStringList& path, const QString& name) const;
    // Adds the key's section when needed; replaces a value of the same name (any case), an
    // unreadable one included.
    void SetValue(const QStringList& path, const QString& name, const RegistryValue& value);
    // True when a value was removed, an unreadable one included.
    bool RemoveValue(const QStringList& path, const QString& name);

private:
    struct Entry {
        bool parsed = false;
        bool unreadable = false;  // a value line of a key whose data could not be read
        QString name;             // parsed and unreadable entries
        RegistryValue value;      // parsed entries
        QString raw;              // lines kept as written: comments and what could not be read
        bool Names(const QString& other) const
        {
            return (parsed || unreadable) && name.compare(other, Qt::CaseInsensitive) == 0;
        }
    };
    struct Section {
        bool usable = false;  // false: another root, a deletion mark or a broken header
        QString header;       // the whole line of an unusable section, kept as written
        QStringList path;     // usable sections
        std::vector<Entry> entries;
    };

    Section* FindSection(const QStringList& path);
    const Section* FindSection(const QStringList& path) const;
    Section& SectionFor(const QStringList& path);

    QString rootName_;
    std::vector<QString> preamble_;  // kept lines before the first section
    std::deque<Section> sections_;   // a deque keeps a section in place while others are added
};
