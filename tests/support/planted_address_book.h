#pragma once
// The address book as a user or another program leaves it: the machine's mark that one is
// installed, planted in the emulated registry file, and a book file filled through SQLite alone.

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <utility>
#include <vector>

class TempHome;
struct sqlite3;

// The line under the key "SOFTWARE\Microsoft\WAB\DLLPath" that says an address book is installed.
inline constexpr char kWabDllPathLine[] = R"(@="C:\\Program Files\\Common Files\\System\\wab32.dll")";
// Writes HKEY_LOCAL_MACHINE.reg holding the key with that one line.
void PlantWabInstalled(const TempHome& home, const QByteArray& valueLine = kWabDllPathLine);
// "<home>/.local/share/TwinLark/AddressBook.wab".
QString AddressBookFileIn(const TempHome& home);

// A book file written through SQLite, with the book's own tables. Values are stored as given:
// a QString as TEXT, a QByteArray as BLOB, a qlonglong as INTEGER.
class SqlBook {
public:
    explicit SqlBook(const QString& path);
    ~SqlBook();
    SqlBook(const SqlBook&) = delete;
    SqlBook& operator=(const SqlBook&) = delete;

    using Props = std::vector<std::pair<std::uint32_t, QVariant>>;
    // Multi-valued properties are given once per value, in order.
    std::int64_t AddContact(const Props& props);
    std::int64_t AddList(const QString& name, const std::vector<std::int64_t>& members);
    void Exec(const char* sql);
    sqlite3* Handle() const { return db_; }

private:
    std::int64_t AddEntry(int objectType, const Props& props);
    sqlite3* db_ = nullptr;
};

// The 48-unit identifier the store gives the entry with that number.
QString WabItemIdOf(std::int64_t row);
