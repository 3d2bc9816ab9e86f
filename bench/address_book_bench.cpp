// A change check of the address-book store as the peer's AS_CHECK_CONTACTS makes it: open the
// book (its twenty lists read into the group list), list every contact, and work out each one's
// checksum from all its fields and its groups. The cost should grow in proportion to the number
// of contacts (the 50,000 run at most 15 times the 5,000 run: "vs_5000") and stay within three
// times the cost of reading the same properties with one bare SELECT ("vs_bare_select").
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <ctime>
#include <functional>
#include <map>

#include "dispatch_session.h"
#include "first_sync.h"
#include "platform/address_book/wab_schema.h"
#include "stores/catalog/store_set.h"
#include "stores/address_book/wab_contact_store.h"

namespace {

constexpr int kLists = 20;

// A home of its own for each size: the registry value that says a book is installed, and a book
// of `contacts` contacts spread over twenty lists, written through SQLite.
class BookHome {
public:
    explicit BookHome(int contacts)
    {
        const QString root = dir_.path();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
            saved_[name] = qgetenv(name);
        qputenv("HOME", root.toUtf8());
        qputenv("XDG_CONFIG_HOME", (root + "/.config").toUtf8());
        qputenv("XDG_DATA_HOME", (root + "/.local/share").toUtf8());
        qputenv("XDG_CACHE_HOME", (root + "/.cache").toUtf8());
        qputenv("XDG_RUNTIME_DIR", root.toUtf8());
        QDir().mkpath(root + "/.config/TwinLark/registry");
        QDir().mkpath(root + "/.local/share/TwinLark");
        QFile reg(root + "/.config/TwinLark/registry/HKEY_LOCAL_MACHINE.reg");
        reg.open(QIODevice::WriteOnly);
        reg.write("Windows Registry Editor Version 5.00\r\n\r\n[SOFTWARE\\Microsoft\\WAB\\DLLPath]\r\n"
                  "@=\"C:\\\\Program Files\\\\Common Files\\\\System\\\\wab32.dll\"\r\n");
        reg.close();
        bookPath_ = root + "/.local/share/TwinLark/AddressBook.wab";
        Fill(contacts);
    }
    ~BookHome()
    {
        for (const auto& [name, value] : saved_) qputenv(name.c_str(), value);
    }
    const QString& BookPath() const { return bookPath_; }

private:
    void Fill(int contacts)
    {
        sqlite3* db = nullptr;
        sqlite3_open(bookPath_.toUtf8().constData(), &db);
        sqlite3_exec(db, wab::kAddressBookSchema, nullptr, nullptr, nullptr);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* entry = nullptr;
        sqlite3_stmt* prop = nullptr;
        sqlite3_stmt* member = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO entries(object_type) VALUES(?1)", -1, &entry, nullptr);
        sqlite3_prepare_v2(db, "INSERT INTO props VALUES(?1, ?2, ?3, ?4)", -1, &prop, nullptr);
        sqlite3_prepare_v2(db, "INSERT INTO members VALUES(?1, ?2, ?3)", -1, &member, nullptr);
        auto addEntry = [&](int type) {
            sqlite3_bind_int(entry, 1, type);
            sqlite3_step(entry);
            sqlite3_reset(entry);
            return sqlite3_last_insert_rowid(db);
        };
        auto addText = [&](sqlite3_int64 row, std::uint32_t tag, int seq, const QByteArray& text) {
            sqlite3_bind_int64(prop, 1, row);
            sqlite3_bind_int64(prop, 2, tag);
            sqlite3_bind_int(prop, 3, seq);
            sqlite3_bind_text(prop, 4, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
            sqlite3_step(prop);
            sqlite3_reset(prop);
        };
        std::vector<sqlite3_int64> rows;
        for (int i = 0; i < contacts; ++i) {
            const sqlite3_int64 row = addEntry(6);
            rows.push_back(row);
            const QByteArray n = QByteArray::number(i);
            addText(row, 0x3A06001F, 0, "Given" + n);
            addText(row, 0x3A11001F, 0, "Surname" + n);
            addText(row, 0x3001001F, 0, "Given" + n + " Surname" + n);
            addText(row, 0x3A5D001F, 0, n + " Long Street");
            addText(row, 0x3A59001F, 0, "Springfield");
            addText(row, 0x3A5B001F, 0, "12345");
            addText(row, 0x3A09001F, 0, "+1 555 " + n);
            addText(row, 0x3A1C001F, 0, "+1 555 9" + n);
            addText(row, 0x3A16001F, 0, "Company " + n);
            addText(row, 0x3004001F, 0, "A note about contact " + n + " that runs over a line or two.");
            addText(row, 0x3A56101F, 0, "given" + n + "@example.org");
            addText(row, 0x3A56101F, 1, "g" + n + "@work.example.com");
            sqlite3_bind_int64(prop, 1, row);
            sqlite3_bind_int64(prop, 2, 0x3A420040);
            sqlite3_bind_int(prop, 3, 0);
            sqlite3_bind_int64(prop, 4, 118497600000000000LL + i * 864000000000LL);
            sqlite3_step(prop);
            sqlite3_reset(prop);
        }
        for (int l = 0; l < kLists; ++l) {
            const sqlite3_int64 list = addEntry(8);
            addText(list, 0x3001001F, 0, "List " + QByteArray::number(l));
            int seq = 0;
            for (std::size_t i = static_cast<std::size_t>(l); i < rows.size(); i += kLists) {
                sqlite3_bind_int64(member, 1, list);
                sqlite3_bind_int(member, 2, seq++);
                sqlite3_bind_int64(member, 3, rows[i]);
                sqlite3_step(member);
                sqlite3_reset(member);
            }
        }
        sqlite3_finalize(entry);
        sqlite3_finalize(prop);
        sqlite3_finalize(member);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    QTemporaryDir dir_;
    QString bookPath_;
    std::map<std::string, QByteArray> saved_;
};

// Reads every property of every contact with one SELECT, touching each value as the store must.
std::int64_t BareSelect(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT p.entry, p.tag, p.seq, p.value FROM props p JOIN entries e ON e.id = p.entry "
                       "WHERE e.object_type = 6 ORDER BY p.entry, p.tag, p.seq",
                       -1, &st, nullptr);
    std::int64_t bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        bytes += sqlite3_column_int64(st, 0) + sqlite3_column_int64(st, 1) + sqlite3_column_int64(st, 2);
        if (sqlite3_column_type(st, 3) == SQLITE_TEXT) {
            benchmark::DoNotOptimize(sqlite3_column_text16(st, 3));
            bytes += sqlite3_column_bytes16(st, 3);
        } else {
            bytes += sqlite3_column_int64(st, 3);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return bytes;
}

// The thread's processor time for the work: the machine may be busy with other things.
double SecondsOf(const std::function<void()>& work)
{
    auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    const double start = now();
    work();
    return now() - start;
}

std::map<int, double> checkSeconds;

void BM_AddressBookChangeCheck(benchmark::State& state)
{
    const int contacts = static_cast<int>(state.range(0));
    BookHome home(contacts);
    ContactsXp::CContactWinXP store;
    double total = 0;
    std::int64_t runs = 0;
    for (auto _ : state) {
        total += SecondsOf([&] {
            store.Open();
            QStringList ids;
            store.GetIDs(ids);
            std::uint32_t sum = 0;
            for (const QString& id : ids) sum += store.IDtoCRC32(id);
            benchmark::DoNotOptimize(sum);
            store.Close();
        });
        ++runs;
    }
    const double perCheck = total / static_cast<double>(runs);
    checkSeconds[contacts] = perCheck;

    double bare = 1e9;
    for (int i = 0; i < 5; ++i) bare = std::min(bare, SecondsOf([&] { benchmark::DoNotOptimize(BareSelect(home.BookPath())); }));
    state.counters["vs_bare_select"] = perCheck / bare;
    state.counters["us_per_contact"] = perCheck * 1e6 / contacts;
    if (contacts != 5000 && checkSeconds.count(5000)) state.counters["vs_5000"] = perCheck / checkSeconds[5000];
}

BENCHMARK(BM_AddressBookChangeCheck)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

FirstSyncFigures firstSync;

void BM_AddressBookFirstSync(benchmark::State& state)
{
    const int contacts = static_cast<int>(state.range(0));
    BookHome home(contacts);
    DispatchSession s;
    s.agent.agentId = 0;
    s.agent.stores->Replace(ItemKind::Contacts, 0, std::make_unique<ContactsXp::CContactWinXP>());
    MeasureFirstSync(state, s.agent, s.dispatcher, s.channel, ItemFirstSync(ItemKind::Contacts), contacts,
                     firstSync);
}
BENCHMARK(BM_AddressBookFirstSync)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
