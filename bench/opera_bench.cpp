// Opera's hotlists through the dispatcher as the peer drives them: the change checks of
// bookmarks, contacts and notes over files of 5,000 and 50,000 items (loaded once at the start of
// the synchronisation, as the agent does), and the reading of notes files of 2 MB and 20 MB with
// long lines.
//
// Goals: the 50,000-item checks cost at most 15 times the 5,000-item ones, and so does the
// 20 MB read against the 2 MB one.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <vector>

#include "dispatch/request_codes.h"
#include "dispatch_session.h"
#include "stores/apps/opera_notes.h"

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

}  // namespace
