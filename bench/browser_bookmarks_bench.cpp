// The bookmark change check of Chrome and Firefox through the dispatcher, over 5,000 and 50,000
// bookmarks, 50 to a folder. The "/50000" runs should cost at most 15 times the "/5000" runs
// (the check asks a checksum per bookmark, so a store that searches its whole tree per
// checksum shows as quadratic). The *VsBare runs print check_to_bare: a whole check of 50,000
// against the least the data costs to read (Chrome: parsing the file alone; Firefox: one
// SELECT of the same rows), at most 3.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "common/byte_io.h"
#include "dispatch/bookmark_id.h"
#include "dispatch/bookmark_sync_state.h"
#include "dispatch_session.h"
#include "first_sync.h"
#include "stores/chrome/chrome.h"
#include "stores/chrome/chrome_bookmarks_json.h"
#include "stores/firefox/firefox.h"
#include "stores/firefox/places_values.h"
#include "stores/catalog/store_set.h"

namespace {

constexpr int kPerFolder = 50;

QTemporaryDir& Scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// A Bookmarks file as Chrome writes it (indented), the bookmarks in "Other bookmarks".
const QString& ChromeFile(int count)
{
    static std::map<int, QString> files;
    QString& path = files[count];
    if (!path.isEmpty()) return path;
    ChromeJson other = {{"children", ChromeJson::array()},
                        {"date_added", "13300000000000000"},
                        {"id", "2"},
                        {"name", "Other bookmarks"},
                        {"type", "folder"}};
    std::int64_t date = 13300000000000001;
    for (int i = 0; i < count; ++i) {
        if (i % kPerFolder == 0)
            other["children"].push_back({{"children", ChromeJson::array()},
                                         {"date_added", std::to_string(date++)},
                                         {"id", std::to_string(10 + i)},
                                         {"name", "Folder " + std::to_string(i / kPerFolder)},
                                         {"type", "folder"}});
        other["children"].back()["children"].push_back(
            {{"date_added", std::to_string(date++)},
             {"guid", "00000000-0000-4000-8000-" + std::to_string(100000000000 + i)},
             {"id", std::to_string(100000 + i)},
             {"name", "Site number " + std::to_string(i)},
             {"type", "url"},
             {"url", "http://www.example.org/some/page/" + std::to_string(i) + ".html"}});
    }
    ChromeJson doc = {
        {"checksum", ""},
        {"roots",
         {{"bookmark_bar",
           {{"children", ChromeJson::array()}, {"id", "1"}, {"name", "Bar"}, {"type", "folder"}}},
          {"other", other},
          {"synced",
           {{"children", ChromeJson::array()}, {"id", "3"}, {"name", "Mobile"}, {"type", "folder"}}}}},
        {"version", 1}};
    UpdateChromeBookmarksChecksum(doc);
    path = Scratch().filePath(QStringLiteral("Bookmarks-%1").arg(count));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) std::abort();
    f.write(QByteArray::fromStdString(doc.dump(3)));
    return path;
}

void Exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
}

// A places database of the current schema, the bookmarks in folders of the bookmarks menu.
const QString& PlacesFile(int count)
{
    static std::map<int, QString> files;
    QString& path = files[count];
    if (!path.isEmpty()) return path;
    path = Scratch().filePath(QStringLiteral("places-%1.sqlite").arg(count));
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) std::abort();
    Exec(db,
         "CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent "
         "INTEGER, position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT, dateAdded "
         "INTEGER, "
         "lastModified INTEGER, guid TEXT, syncStatus INTEGER NOT NULL DEFAULT 0, syncChangeCounter INTEGER "
         "NOT "
         "NULL DEFAULT 1);"
         "CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position);"
         "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host "
         "LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER "
         "DEFAULT 0 "
         "NOT NULL, frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER, guid TEXT, foreign_count "
         "INTEGER DEFAULT 0 NOT NULL, url_hash INTEGER DEFAULT 0 NOT NULL);"
         "CREATE INDEX moz_places_url_hashindex ON moz_places (url_hash);"
         "INSERT INTO moz_bookmarks (id, type, parent, position, title, guid) VALUES (1, 2, 0, 0, '', "
         "'root________'), (2, 2, 1, 0, 'menu', 'menu________'), (3, 2, 1, 1, 'toolbar', 'toolbar_____');"
         "BEGIN;");
    sqlite3_stmt* place = nullptr;
    sqlite3_stmt* row = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO moz_places (url, guid, url_hash, foreign_count) VALUES (?, ?, ?, 1)",
                       -1, &place, nullptr);
    sqlite3_prepare_v2(
        db, "INSERT INTO moz_bookmarks (type, fk, parent, position, title, guid) VALUES (?, ?, ?, ?, ?, ?)",
        -1, &row, nullptr);
    auto insertRow = [&](int type, sqlite3_int64 fk, sqlite3_int64 parent, int position,
                         const QByteArray& title) {
        sqlite3_bind_int(row, 1, type);
        if (fk)
            sqlite3_bind_int64(row, 2, fk);
        else
            sqlite3_bind_null(row, 2);
        sqlite3_bind_int64(row, 3, parent);
        sqlite3_bind_int(row, 4, position);
        sqlite3_bind_text(row, 5, title.constData(), int(title.size()), SQLITE_TRANSIENT);
        const QByteArray guid = NewPlacesGuid().toLatin1();
        sqlite3_bind_text(row, 6, guid.constData(), int(guid.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(row) != SQLITE_DONE) std::abort();
        sqlite3_reset(row);
        sqlite3_clear_bindings(row);
        return sqlite3_last_insert_rowid(db);
    };
    sqlite3_int64 folder = 0;
    for (int i = 0; i < count; ++i) {
        if (i % kPerFolder == 0)
            folder = insertRow(2, 0, 2, i / kPerFolder, "Folder " + QByteArray::number(i / kPerFolder));
        const QString url = QStringLiteral("http://www.example.org/some/page/%1.html").arg(i);
        const QByteArray utf8 = url.toUtf8();
        const QByteArray guid = NewPlacesGuid().toLatin1();
        sqlite3_bind_text(place, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(place, 2, guid.constData(), int(guid.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(place, 3, PlacesUrlHash(url));
        if (sqlite3_step(place) != SQLITE_DONE) std::abort();
        sqlite3_reset(place);
        insertRow(1, sqlite3_last_insert_rowid(db), folder, i % kPerFolder,
                  "Site number " + QByteArray::number(i));
    }
    sqlite3_finalize(place);
    sqlite3_finalize(row);
    Exec(db, "COMMIT");
    sqlite3_close(db);
    return path;
}

struct Session : DispatchSession {
    Session(BrowserKind kind, int count)
    {
        UseHome(Scratch().filePath(QStringLiteral("home")));
        agent.browserId = static_cast<std::uint32_t>(kind);
        if (kind == BrowserKind::Chrome) {
            agent.stores->Replace(kind, std::make_unique<CChrome>(ChromeFile(count)));
        } else {
            auto firefox = std::make_unique<CFirefox>(PlacesFile(count));
            firefox->AtSyncStart();
            this->firefox = firefox.get();
            agent.stores->Replace(kind, std::move(firefox));
        }
    }
    CFirefox* firefox = nullptr;
};

// The usual check: the state was saved at the last synchronisation and nothing changed since.
void CheckUnchanged(benchmark::State& state, BrowserKind kind)
{
    Session s(kind, static_cast<int>(state.range(0)));
    s.Send(AS_CHECK_BOOKMARKS);
    s.Send(AS_SAVE_BOOKMARKS_STATE);
    for (auto _ : state) s.Send(AS_CHECK_BOOKMARKS);
    if (s.channel.lastBytes != 6) state.SkipWithError("unexpected changes");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The identifiers of the bookmarks, as the peer holds them after its check.
std::vector<QByteArray> ChromeIdPayloads(int count)
{
    std::vector<QByteArray> ids;
    for (const UrlFileEntry& e : CChrome(ChromeFile(count)).GetIDs()) {
        QByteArray payload;
        ByteWriter w(payload);
        BookmarkId::FromValue(e.key.toULongLong()).Write(w);
        ids.push_back(payload);
    }
    return ids;
}

// One Get after the check, as a peer's first synchronisation asks them: the "/50000" run should
// cost at most twice the "/5000" run (a Get that reads the whole file grows with it).
void BM_ChromeGetBookmark(benchmark::State& state)
{
    Session s(BrowserKind::Chrome, static_cast<int>(state.range(0)));
    const std::vector<QByteArray> ids = ChromeIdPayloads(static_cast<int>(state.range(0)));
    s.Send(AS_CHECK_BOOKMARKS);
    std::size_t next = 0;
    for (auto _ : state) {
        s.Send(AS_GET_BOOKMARK, ids[next]);
        next = (next + 7919) % ids.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChromeGetBookmark)->Arg(5000)->Arg(50000)->Unit(benchmark::kMicrosecond);

// A first synchronisation: the check, then a Get of every bookmark. The "/50000" run should cost
// at most 15 times the "/5000" run.
void BM_ChromeCheckThenGetEach(benchmark::State& state)
{
    Session s(BrowserKind::Chrome, static_cast<int>(state.range(0)));
    const std::vector<QByteArray> ids = ChromeIdPayloads(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        s.Send(AS_CHECK_BOOKMARKS);
        for (const QByteArray& id : ids) s.Send(AS_GET_BOOKMARK, id);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ChromeCheckThenGetEach)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_ChromeCheckBookmarks(benchmark::State& state)
{
    CheckUnchanged(state, BrowserKind::Chrome);
}
BENCHMARK(BM_ChromeCheckBookmarks)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

// Firefox keeps its tree while the database does not change, so the check after a start of the
// synchronisation (database just opened) is the one that reads it.
void BM_FirefoxCheckBookmarks(benchmark::State& state)
{
    CheckUnchanged(state, BrowserKind::Firefox);
}
BENCHMARK(BM_FirefoxCheckBookmarks)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_FirefoxCheckBookmarksAfterOpen(benchmark::State& state)
{
    Session s(BrowserKind::Firefox, static_cast<int>(state.range(0)));
    s.Send(AS_CHECK_BOOKMARKS);
    s.Send(AS_SAVE_BOOKMARKS_STATE);
    for (auto _ : state) {
        state.PauseTiming();
        s.firefox->AtSyncStart();
        state.ResumeTiming();
        s.Send(AS_CHECK_BOOKMARKS);
    }
    if (s.channel.lastBytes != 6) state.SkipWithError("unexpected changes");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FirefoxCheckBookmarksAfterOpen)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

std::size_t ParseChromeFileAlone(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) std::abort();
    const QByteArray bytes = f.readAll();
    return ChromeJson::parse(bytes.constBegin(), bytes.constEnd()).size();
}

std::size_t SelectPlacesRowsAlone(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        std::abort();
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT b.id, b.type, b.parent, b.title, p.url, p.hidden, b.fk FROM moz_bookmarks b "
                       "LEFT JOIN moz_places p ON p.id = b.fk",
                       -1, &s, nullptr);
    std::size_t bytes = 0;
    while (sqlite3_step(s) == SQLITE_ROW)
        for (int column = 0; column < 7; ++column) {
            sqlite3_column_text(s, column);
            bytes += static_cast<std::size_t>(sqlite3_column_bytes(s, column));
        }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return bytes;
}

// Both in turn within each iteration, so that both meet the same machine load.
void CheckVsBare(benchmark::State& state, BrowserKind kind)
{
    constexpr int kCount = 50000;
    Session s(kind, kCount);
    s.Send(AS_CHECK_BOOKMARKS);
    s.Send(AS_SAVE_BOOKMARKS_STATE);
    double checkSeconds = 0;
    double bareSeconds = 0;
    for (auto _ : state) {
        if (s.firefox) s.firefox->AtSyncStart();
        const auto t0 = std::chrono::steady_clock::now();
        s.Send(AS_CHECK_BOOKMARKS);
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(kind == BrowserKind::Chrome ? ParseChromeFileAlone(ChromeFile(kCount))
                                                             : SelectPlacesRowsAlone(PlacesFile(kCount)));
        const auto t2 = std::chrono::steady_clock::now();
        checkSeconds += std::chrono::duration<double>(t1 - t0).count();
        bareSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    if (s.channel.lastBytes != 6) state.SkipWithError("unexpected changes");
    state.counters["check_ms"] = 1000 * checkSeconds / static_cast<double>(state.iterations());
    state.counters["bare_ms"] = 1000 * bareSeconds / static_cast<double>(state.iterations());
    state.counters["check_to_bare"] = checkSeconds / bareSeconds;
}

void BM_ChromeCheckVsBare(benchmark::State& state)
{
    CheckVsBare(state, BrowserKind::Chrome);
}
BENCHMARK(BM_ChromeCheckVsBare)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_FirefoxCheckAfterOpenVsBare(benchmark::State& state)
{
    CheckVsBare(state, BrowserKind::Firefox);
}
BENCHMARK(BM_FirefoxCheckAfterOpenVsBare)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

namespace {

// What the data alone costs at each size, to tell the stores' growth from the library's.
void BM_ChromeParseAlone(benchmark::State& state)
{
    const QString& file = ChromeFile(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ParseChromeFileAlone(file));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ChromeParseAlone)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_FirefoxSelectAlone(benchmark::State& state)
{
    const QString& file = PlacesFile(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(SelectPlacesRowsAlone(file));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FirefoxSelectAlone)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

FirstSyncFigures chromeFirstSync, firefoxFirstSync;

void BM_ChromeFirstSync(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    Session s(BrowserKind::Chrome, count);
    // Framed by the start of the synchronisation as the peer frames it: the store keeps its
    // index from there to the end, which releases it.
    FirstSyncRequests requests = BookmarkFirstSync();
    requests.start = AS_START_SYNC;
    MeasureFirstSync(state, s.agent, s.dispatcher, s.channel, requests, count, chromeFirstSync);
}
BENCHMARK(BM_ChromeFirstSync)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_FirefoxFirstSync(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    Session s(BrowserKind::Firefox, count);
    MeasureFirstSync(state, s.agent, s.dispatcher, s.channel, BookmarkFirstSync(), count, firefoxFirstSync);
}
BENCHMARK(BM_FirefoxFirstSync)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

namespace {

// A file of imported bookmarks: pairs that share a date, the pairs on consecutive dates, so that
// every twin's nearest free number is far from its own date. Each pair stands in one folder of
// 50, with Chrome's node ids ascending in document order.
const QString& ChromeTwinFile(int pairs)
{
    static std::map<int, QString> files;
    QString& path = files[pairs];
    if (!path.isEmpty()) return path;
    ChromeJson other = {{"children", ChromeJson::array()},
                        {"date_added", "13200000000000000"},
                        {"id", "2"},
                        {"name", "Other bookmarks"},
                        {"type", "folder"}};
    const std::int64_t first = 13300000000000000;
    int id = 10;
    for (int i = 0; i < 2 * pairs; ++i) {
        if (i % kPerFolder == 0)
            other["children"].push_back({{"children", ChromeJson::array()},
                                         {"date_added", "13250000000000000"},
                                         {"id", std::to_string(id++)},
                                         {"name", "Imported " + std::to_string(i / kPerFolder)},
                                         {"type", "folder"}});
        other["children"].back()["children"].push_back(
            {{"date_added", std::to_string(first + i / 2)},
             {"id", std::to_string(id++)},
             {"name", "Site number " + std::to_string(i)},
             {"type", "url"},
             {"url", "http://www.example.org/some/page/" + std::to_string(i) + ".html"}});
    }
    ChromeJson doc = {{"checksum", ""},
                      {"roots",
                       {{"bookmark_bar", {{"children", ChromeJson::array()}, {"id", "1"}, {"name", "Bar"}, {"type", "folder"}}},
                        {"other", other},
                        {"synced", {{"children", ChromeJson::array()}, {"id", "3"}, {"name", "Mobile"}, {"type", "folder"}}}}},
                      {"version", 1}};
    UpdateChromeBookmarksChecksum(doc);
    path = Scratch().filePath(QStringLiteral("Bookmarks-twins-%1").arg(pairs));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) std::abort();
    f.write(QByteArray::fromStdString(doc.dump(3)));
    return path;
}

// Reading a file of twins and choosing each its own number, as every check and Get does while a
// running Chrome writes the shared dates back; nothing is written. The "/60000" run should cost
// about six times the "/10000" run, as reading the file does.
void BM_ChromeTwinDates(benchmark::State& state)
{
    const QString& file = ChromeTwinFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CChrome store(file);
        benchmark::DoNotOptimize(store.IDtoCRC32(QStringLiteral("1")));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_ChromeTwinDates)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
