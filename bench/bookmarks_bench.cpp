// The bookmark change check over large Favorites folders, through the dispatcher as the peer
// drives it: every favourite file is listed and read, the state file loaded and compared.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/bookmark_sync_state.h"
#include "dispatch/dispatcher.h"
#include "wire/reply_channel.h"

namespace {

constexpr int kPerFolder = 50;

class DiscardingChannel : public ReplyChannel {
public:
    bool SendMessage(std::uint16_t code, std::uint16_t, ByteView payload) override
    {
        lastCode = code;
        lastBytes = payload.size();
        return true;
    }
    bool SendLongReply(std::uint16_t code, std::uint16_t, QByteArray payload) override
    {
        lastCode = code;
        lastBytes = static_cast<std::size_t>(payload.size());
        return true;
    }
    bool SendRaw(ByteView) override { return true; }
    std::uint16_t lastCode = 0;
    std::size_t lastBytes = 0;
};

// A home with `count` favourites, 50 to a folder, made once per size.
const QString& HomeWithFavorites(int count)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> homes;
    static std::map<int, QString> paths;
    auto& dir = homes[count];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        const QString favorites = dir->path() + QStringLiteral("/Favorites");
        for (int i = 0; i < count; ++i) {
            const QString folder =
                favorites + QStringLiteral("/Folder %1").arg(i / kPerFolder, 4, 10, QLatin1Char('0'));
            if (i % kPerFolder == 0) QDir().mkpath(folder);
            QFile f(folder + QStringLiteral("/Site number %1.url").arg(i));
            if (!f.open(QIODevice::WriteOnly)) std::abort();
            f.write("[InternetShortcut]\r\nURL=http://www.example.org/some/page/" + QByteArray::number(i) +
                    ".html\r\nIDList=\r\nIconIndex=1\r\n");
        }
        paths[count] = dir->path();
    }
    return paths[count];
}

struct Session {
    explicit Session(int count)
    {
        const QString& home = HomeWithFavorites(count);
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
        agent.machineId = QStringLiteral("BENCH");
        agent.browserId = 0;
    }
    void Send(std::uint16_t code, const QByteArray& payload = {})
    {
        dispatcher.DispatchCommand(code, 1, AsBytes(payload), channel);
        if (channel.lastCode != code + 1) std::abort();
    }
    LogFile log{QString()};
    Agent agent{log};
    Dispatcher dispatcher{agent};
    DiscardingChannel channel;
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
    if (s.channel.lastBytes != 6 + 8 * static_cast<std::size_t>(state.range(0)))
        state.SkipWithError("unexpected report");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CheckBookmarks_AllAdded)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace
