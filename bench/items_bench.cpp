// A change check of many items through the dispatcher, as the peer sends it: the time should grow
// in proportion to the number of items, and the check's memory stay well below the items' size
// times a small factor. The store holds N items; the saved state knows three quarters of them
// (two thirds of those unchanged, one third edited since) and N/10 items deleted since.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "common/outlook_store.h"
#include "core/log_file.h"
#include "counting_reply_channel.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_codes.h"
#include "process_memory.h"
#include "dispatch/state_file.h"
#include "stores/catalog/store_set.h"

namespace {

// Identifiers and checksums only: what a change check asks of a store. The checksum is worked out
// from the identifier itself, so that the figures are the agent's own and not the store's.
class ChecksumStore : public COutlook {
public:
    void Add(ItemRecord&, QString&) override {}
    void Edit(ItemRecord&, const QString&) override {}
    void Delete(const QString&) override {}
    void DeleteAll() override {}
    void Get(const QString&, ItemRecord&) override {}
    void GetIDs(QStringList& ids) override { ids.append(order); }
    std::uint32_t IDtoCRC32(const QString& id) override
    {
        return ChecksumOf(id.left(32).toUInt(nullptr, 16));
    }
    static std::uint32_t ChecksumOf(std::uint32_t number) { return number * 2654435761u; }

    QStringList order;
};

QString IdOf(int i)
{
    return QStringLiteral("%1").arg(i, 32, 16, QLatin1Char('0')).toUpper() +
           QStringLiteral("0000000000000000");
}

// Resets the process's peak resident size to its current size.
bool ResetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

void BM_ContactsChangeCheck(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));

    LogFile log(home.path() + QStringLiteral("/bench.log"));
    Agent agent(log);
    agent.machineId = QStringLiteral("BENCH");
    agent.agentId = 2;
    auto owned = std::make_unique<ChecksumStore>();
    ChecksumStore& store = *owned;
    agent.stores->Replace(ItemKind::Contacts, 2, std::move(owned));
    Dispatcher dispatcher(agent);

    std::vector<StateEntry> saved;
    const int known = items / 4 * 3;
    for (int i = 0; i < items; ++i) {
        const QString id = IdOf(i);
        const std::uint32_t crc = ChecksumStore::ChecksumOf(static_cast<std::uint32_t>(i));
        store.order.append(id);
        if (i < known) saved.push_back({id, i % 3 == 2 ? crc ^ 1 : crc});  // a third of the known ones edited
    }
    for (int i = 0; i < items / 10; ++i) saved.push_back({IdOf(items + i), 7});
    QFile file(StateFilePath(StateFileKind::Contacts, agent.machineId, {}));
    if (!file.open(QIODevice::WriteOnly) || file.write(EncodeStateRecords(saved)) < 0) {
        state.SkipWithError("cannot write the state file");
        return;
    }
    file.close();

    CountingReplyChannel channel;
    // Memory that the set-up freed would otherwise stay resident and hide the check's own growth.
    malloc_trim(0);
    const bool peakResets = ResetPeak();
    const long idleKiB = StatusKiB("VmRSS:");
    for (auto _ : state) {
        dispatcher.DispatchCommand(AS_CHECK_CONTACTS, 1, {}, channel);
        if (channel.lastCode != AS_CHECK_CONTACTS + 1) {
            state.SkipWithError("the check failed");
            return;
        }
    }
    const long peakKiB = peakResets ? StatusKiB("VmHWM:") : -1;
    state.counters["items"] = items;
    state.counters["reply_MiB"] = static_cast<double>(channel.bytes) / state.iterations() / (1 << 20);
    if (peakKiB >= 0 && idleKiB >= 0)
        state.counters["peak_MiB_above_idle"] = static_cast<double>(peakKiB - idleKiB) / 1024.0;
    state.SetItemsProcessed(state.iterations() * items);
}
BENCHMARK(BM_ContactsChangeCheck)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
