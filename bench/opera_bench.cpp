// Opera's hotlists through the dispatcher as the peer drives them: the change checks of
// bookmarks, contacts and notes over files of 5,000 and 50,000 items (loaded once at the start of
// the synchronisation, as the agent does), the same checks with the file's load at the start of
// the synchronisation, which a peer pays each time, beside a minimal parse of the same file, and
// the reading of notes files of 2 MB and 20 MB with long lines.
//
// Goals: the 50,000-item checks cost at most 15 times the 5,000-item ones, and so does the
// 20 MB read against the 2 MB one; a load with its check costs at most 3 times the minimal parse
// of the same file.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "common/crc32.h"
#include "dispatch/bookmark_id.h"
#include "dispatch/request_codes.h"
#include "dispatch_session.h"
#include "first_sync.h"
#include "stores/opera/opera_bookmarks.h"
#include "stores/opera/opera_notes.h"

namespace {

const QByteArray kHeader = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";

// Items in folders of 100, as Opera writes them (LF line ends).
QByteArray Hotlist(int count, const char* startLine, const std::function<QByteArray(int)>& keys)
{
    QByteArray file = kHeader;
    for (int i = 0; i < count; ++i) {
        if (i % 100 == 0) {
            if (i) file += "\n-\n\n";
            file += "#FOLDER\n\tID=" + QByteArray::number(1'000'000 + i) + "\n\tNAME=Folder " +
                    QByteArray::number(i / 100) +
                    "\n\tUNIQUEID=" + QByteArray::number(i).rightJustified(32, 'F') + "\n\n";
        }
        file += QByteArray(startLine) + "\n\tID=" + QByteArray::number(i + 1) + "\n" + keys(i) + "\n";
    }
    return file + "\n-\n\n";
}

QByteArray Bookmark(int i)
{
    return "\tNAME=Site number " + QByteArray::number(i) + "\n\tURL=http://www.example.org/some/page/" +
           QByteArray::number(i) +
           ".html\n\tCREATED=1323241257\n\tUNIQUEID=" + QByteArray::number(i).rightJustified(32, '0') + "\n";
}

QByteArray Contact(int i)
{
    return "\tNAME=Person Number" + QByteArray::number(i) +
           " Example\n\tCREATED=" + QByteArray::number(1400000000 + i) + "\n\tMAIL=person" +
           QByteArray::number(i) + "@example.invalid\n\tPHONE=+49 30 " + QByteArray::number(i) +
           "\n\tICON=Contact0\n";
}

QByteArray Note(int i)
{
    return "\tNAME=Note " + QByteArray::number(i) +
           "\x02\x02with a second line and some more text\n\tURL=http://example.org/" +
           QByteArray::number(i) +
           "\n\tCREATED=1450000000\n\tUNIQUEID=" + QByteArray::number(i).rightJustified(32, 'A') + "\n";
}

// Homes with Opera's profile and the three files of `count` items.
HomesByCount homes([](const QString& home, int count) {
    const QString opera = home + QStringLiteral("/.opera");
    QDir().mkpath(opera + QStringLiteral("/mail"));
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(opera + QLatin1Char('/') + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) std::abort();
    };
    write(QStringLiteral("operaprefs.ini"), "[User Prefs]\nNewest Used Version=12.16\n");
    write(QStringLiteral("mail/accounts.ini"), "[Accounts]\nCount=1\n");
    write(QStringLiteral("bookmarks.adr"), Hotlist(count, "#URL", Bookmark));
    write(QStringLiteral("contacts.adr"), Hotlist(count, "#CONTACT", Contact));
    write(QStringLiteral("notes.adr"), Hotlist(count, "#NOTE", Note));
});

struct Session : DispatchSession {
    explicit Session(int count)
    {
        UseHome(homes.Home(count));
        agent.agentId = 7;
        agent.notesAgentId = 0x4000;
        agent.browserId = 2;
        Send(AS_START_SYNC);
    }
};

enum class Kind { Bookmarks, Contacts, Notes };

struct KindRequests {
    const char* file;
    std::uint16_t check;
    std::uint16_t save;
    QByteArray payload;
};

KindRequests RequestsOf(Kind kind)
{
    switch (kind) {
    case Kind::Bookmarks:
        return {"bookmarks.adr", AS_CHECK_BOOKMARKS, AS_SAVE_BOOKMARKS_STATE, QByteArray(2, '\0')};
    case Kind::Contacts:
        return {"contacts.adr", AS_CHECK_CONTACTS, AS_SAVE_CONTACTS_STATE, {}};
    case Kind::Notes:
        break;
    }
    return {"notes.adr", AS_CHECK_NOTES, AS_SAVE_NOTES_STATE, QByteArray("B\0", 2)};
}

// A synchronisation of one kind only, so that its start loads that one file.
struct OneKindSession : DispatchSession {
    OneKindSession(int count, Kind kind)
    {
        UseHome(homes.Home(count));
        agent.agentId = kind == Kind::Contacts ? 7 : 0xFFFFFFFF;
        agent.notesAgentId = kind == Kind::Notes ? 0x4000 : 0xFFFFFFFF;
        agent.browserId = kind == Kind::Bookmarks ? 2 : 0xFFFFFFFF;
    }
};

// The usual check: the state was saved at the last synchronisation and nothing changed since.
void CheckUnchanged(benchmark::State& state, std::uint16_t check, std::uint16_t save,
                    const QByteArray& payload)
{
    Session s(static_cast<int>(state.range(0)));
    s.Send(check, payload);
    s.Send(save);
    for (auto _ : state) s.Send(check, payload);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_OperaCheckBookmarks(benchmark::State& state)
{
    CheckUnchanged(state, AS_CHECK_BOOKMARKS, AS_SAVE_BOOKMARKS_STATE, QByteArray(2, '\0'));
}
BENCHMARK(BM_OperaCheckBookmarks)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_OperaCheckContacts(benchmark::State& state)
{
    CheckUnchanged(state, AS_CHECK_CONTACTS, AS_SAVE_CONTACTS_STATE, {});
}
BENCHMARK(BM_OperaCheckContacts)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_OperaCheckNotes(benchmark::State& state)
{
    CheckUnchanged(state, AS_CHECK_NOTES, AS_SAVE_NOTES_STATE, QByteArray("B\0", 2));
}
BENCHMARK(BM_OperaCheckNotes)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The start of a synchronisation, which loads the file, its change check (the state saved at the
// last synchronisation, nothing changed since) and its end.
void LoadAndCheck(benchmark::State& state, Kind kind)
{
    const KindRequests r = RequestsOf(kind);
    OneKindSession s(static_cast<int>(state.range(0)), kind);
    s.Send(AS_START_SYNC);
    s.Send(r.check, r.payload);
    s.Send(r.save);
    s.Send(AS_END_SYNC);
    for (auto _ : state) {
        s.Send(AS_START_SYNC);
        s.Send(r.check, r.payload);
        s.Send(AS_END_SYNC);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// What any reader of the file must do at least: read it, split it into lines, take each
// KEY=value, convert the value to UTF-16 and take its checksum.
void MinimalParse(benchmark::State& state, Kind kind)
{
    const QString path = homes.Home(static_cast<int>(state.range(0))) + QStringLiteral("/.opera/") +
                         QString::fromLatin1(RequestsOf(kind).file);
    for (auto _ : state) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) std::abort();
        const QByteArray bytes = f.readAll();
        std::uint32_t sum = 0;
        const char* at = bytes.constData();
        const char* const end = at + bytes.size();
        while (at < end) {
            const char* eol = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            if (!eol) eol = end;
            QByteArrayView line(at, eol - at);
            if (line.endsWith('\r')) line.chop(1);
            if (const qsizetype eq = line.indexOf('='); eq >= 0)
                sum ^= Crc32OfUtf16(QString::fromUtf8(line.sliced(eq + 1)));
            at = eol + 1;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_OperaLoadAndCheckBookmarks(benchmark::State& state) { LoadAndCheck(state, Kind::Bookmarks); }
void BM_OperaMinimalParseBookmarks(benchmark::State& state) { MinimalParse(state, Kind::Bookmarks); }
void BM_OperaLoadAndCheckContacts(benchmark::State& state) { LoadAndCheck(state, Kind::Contacts); }
void BM_OperaMinimalParseContacts(benchmark::State& state) { MinimalParse(state, Kind::Contacts); }
void BM_OperaLoadAndCheckNotes(benchmark::State& state) { LoadAndCheck(state, Kind::Notes); }
void BM_OperaMinimalParseNotes(benchmark::State& state) { MinimalParse(state, Kind::Notes); }
BENCHMARK(BM_OperaLoadAndCheckBookmarks)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OperaMinimalParseBookmarks)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OperaLoadAndCheckContacts)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OperaMinimalParseContacts)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OperaLoadAndCheckNotes)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OperaMinimalParseNotes)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

// One Get after another through the items of the file, as a peer's first synchronisation reads
// them: a Get must not cost the size of the file (goal: at 50,000 items at most twice its cost at
// 5,000).
QByteArray GetPayload(Kind kind, int i)
{
    const auto padded = [](const QByteArray& value) {
        QByteArray utf16;
        for (const char c : value.leftJustified(48, '0')) utf16 += QByteArray(1, c) + '\0';
        return utf16 + QByteArray(2, '\0');
    };
    switch (kind) {
    case Kind::Bookmarks: {
        const QString id = COperaBookmarks::OperaBookmarkId(QString::number(i).rightJustified(32, QLatin1Char('0')));
        QByteArray out;
        ByteWriter w(out);
        BookmarkId::FromValue(static_cast<std::uint64_t>(id.toLongLong())).Write(w);
        return out;
    }
    case Kind::Contacts:
        return padded(QByteArray::number(1400000000 + i));
    case Kind::Notes:
        break;
    }
    return padded(QByteArray::number(i).rightJustified(32, 'A'));
}

void GetEach(benchmark::State& state, Kind kind, std::uint16_t get)
{
    const int count = static_cast<int>(state.range(0));
    OneKindSession s(count, kind);
    s.Send(AS_START_SYNC);
    std::vector<QByteArray> payloads;
    for (int i = 0; i < count; ++i) payloads.push_back(GetPayload(kind, i));
    s.Send(get, payloads[0]);
    std::size_t next = 0;
    for (auto _ : state) {
        s.Send(get, payloads[next]);
        if (++next == payloads.size()) next = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_OperaGetBookmark(benchmark::State& state) { GetEach(state, Kind::Bookmarks, AS_GET_BOOKMARK); }
void BM_OperaGetContact(benchmark::State& state) { GetEach(state, Kind::Contacts, AS_GET_CONTACT); }
void BM_OperaGetNote(benchmark::State& state) { GetEach(state, Kind::Notes, AS_GET_NOTE); }
BENCHMARK(BM_OperaGetBookmark)->Arg(5000)->Arg(50000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OperaGetContact)->Arg(5000)->Arg(50000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OperaGetNote)->Arg(5000)->Arg(50000)->Unit(benchmark::kMicrosecond);

// Notes files of about 2 and 20 MB whose notes hold lines of 20 to 60 KB, as real ones do.
void BM_OperaOpenNotes(benchmark::State& state)
{
    const int megabytes = static_cast<int>(state.range(0));
    static std::map<int, std::unique_ptr<QTemporaryDir>> dirs;
    auto& dir = dirs[megabytes];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        QByteArray file = kHeader;
        for (int i = 0; file.size() < megabytes * 1024 * 1024; ++i)
            file += "#NOTE\n\tID=" + QByteArray::number(i + 1) +
                    "\n\tNAME=" + QByteArray(20'000 + (i % 5) * 10'000, 'x') + "\x02\x02" +
                    "end\n\tUNIQUEID=" + QByteArray::number(i).rightJustified(32, '0') + "\n\n";
        QFile f(dir->path() + QStringLiteral("/notes.adr"));
        if (!f.open(QIODevice::WriteOnly) || f.write(file) != file.size()) std::abort();
    }
    COperaNotes notes(dir->path() + QStringLiteral("/notes.adr"));
    // The agent opens the notes file once per synchronisation, not thousands of times in a row:
    // with `cold` the processor's caches are filled with other data before each open, so the
    // small file is not measured from the cache while the large one cannot fit it.
    const bool cold = state.range(1) != 0;
    static std::vector<char> evict(64 * 1024 * 1024);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            for (std::size_t i = 0; i < evict.size(); i += 64) evict[i] = static_cast<char>(evict[i] + 1);
            benchmark::ClobberMemory();
            state.ResumeTiming();
        }
        notes.Open();
        QStringList ids;
        notes.GetIDs(ids);
        benchmark::DoNotOptimize(ids.size());
    }
    state.SetBytesProcessed(state.iterations() * megabytes * 1024 * 1024);
}
BENCHMARK(BM_OperaOpenNotes)
    ->ArgNames({"MB", "cold"})
    ->Args({2, 0})
    ->Args({20, 0})
    ->Args({2, 1})
    ->Args({20, 1})
    ->Unit(benchmark::kMillisecond);

// The file is loaded at the start of the synchronisation, so the start is measured with the check.
void OperaFirstSync(benchmark::State& state, Kind kind, FirstSyncRequests requests, FirstSyncFigures& figures)
{
    const int count = static_cast<int>(state.range(0));
    OneKindSession s(count, kind);
    requests.start = AS_START_SYNC;
    requests.checkPayload = RequestsOf(kind).payload;
    MeasureFirstSync(state, s.agent, s.dispatcher, s.channel, requests, count, figures);
}

FirstSyncFigures bookmarksFirstSync, contactsFirstSync, notesFirstSync;
void BM_OperaBookmarksFirstSync(benchmark::State& state)
{
    OperaFirstSync(state, Kind::Bookmarks, BookmarkFirstSync(), bookmarksFirstSync);
}
void BM_OperaContactsFirstSync(benchmark::State& state)
{
    OperaFirstSync(state, Kind::Contacts, ItemFirstSync(ItemKind::Contacts), contactsFirstSync);
}
void BM_OperaNotesFirstSync(benchmark::State& state)
{
    OperaFirstSync(state, Kind::Notes, ItemFirstSync(ItemKind::Notes), notesFirstSync);
}
BENCHMARK(BM_OperaBookmarksFirstSync)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OperaContactsFirstSync)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OperaNotesFirstSync)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
