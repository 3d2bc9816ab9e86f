// The bookmark change check over large Favorites folders, through the dispatcher as the peer
// drives it: every favourite file is listed and read, the state file loaded and compared.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>

#include "dispatch/bookmark_sync_state.h"
#include "dispatch_session.h"
#include "first_sync.h"

namespace {

constexpr int kPerFolder = 50;

// Homes with `count` favourites, 50 to a folder.
HomesByCount homes([](const QString& home, int count) {
    const QString favorites = home + QStringLiteral("/Favorites");
    for (int i = 0; i < count; ++i) {
        const QString folder =
            favorites + QStringLiteral("/Folder %1").arg(i / kPerFolder, 4, 10, QLatin1Char('0'));
        if (i % kPerFolder == 0) QDir().mkpath(folder);
        QFile f(folder + QStringLiteral("/Site number %1.url").arg(i));
        if (!f.open(QIODevice::WriteOnly)) std::abort();
        f.write("[InternetShortcut]\r\nURL=http://www.example.org/some/page/" + QByteArray::number(i) +
                ".html\r\nIDList=\r\nIconIndex=1\r\n");
    }
});

struct Session : DispatchSession {
    explicit Session(int count)
    {
        UseHome(homes.Home(count));
        agent.browserId = 0;
    }
};

// The usual check: the state was saved at the last synchronisation and nothing changed since.
void BM_CheckBookmarks_Unchanged(benchmark::State& state)
{
    Session s(static_cast<int>(state.range(0)));
    s.Send(AS_CHECK_BOOKMARKS);
    s.Send(AS_SAVE_BOOKMARKS_STATE);
    for (auto _ : state) s.Send(AS_CHECK_BOOKMARKS);
    if (s.channel.lastBytes != 6) state.SkipWithError("unexpected changes");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CheckBookmarks_Unchanged)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The first check for a new peer: every favourite is reported added.
void BM_CheckBookmarks_AllAdded(benchmark::State& state)
{
    Session s(static_cast<int>(state.range(0)));
    s.Send(AS_CHECK_BOOKMARKS, QByteArray("n\0e\0w\0", 6));
    for (auto _ : state) s.Send(AS_CHECK_BOOKMARKS, QByteArray("n\0e\0w\0", 6));
    if (s.channel.lastBytes != 6 + 8 * state.range(0)) state.SkipWithError("unexpected report");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CheckBookmarks_AllAdded)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

FirstSyncFigures firstSync;

void BM_InternetExplorerFirstSync(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    Session s(count);
    MeasureFirstSync(state, s.agent, s.dispatcher, s.channel, BookmarkFirstSync(), count, firstSync);
}
BENCHMARK(BM_InternetExplorerFirstSync)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
