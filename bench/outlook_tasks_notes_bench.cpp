// The Outlook tasks and notes through the dispatcher, as the peer drives them: a first
// synchronisation of an emulated Outlook 14 of N tasks or N notes (first_sync.h).
#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/log_file.h"
#include "counting_reply_channel.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "first_sync.h"
#include "support/outlook/outlook_emulation.h"

namespace {

// An agent whose tasks and notes are Outlook 14's, over an emulated Outlook.
struct Outlook {
    Outlook()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
        outlook.SetJournalEnabled(false);
        agent.machineId = QStringLiteral("BENCH");
        agent.agentId = 14;
        agent.notesAgentId = 64;
    }

    QTemporaryDir home;
    OutlookEmulation outlook;
    LogFile log{home.path() + QStringLiteral("/bench.log")};
    Agent agent{log};
    Dispatcher dispatcher{agent};
    CountingReplyChannel channel;
};

FirstSyncFigures tasksFirstSync, notesFirstSync;

void BM_OutlookTasksFirstSync(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    Outlook o;
    for (int i = 0; i < items; ++i)
        o.outlook.PlantItem(EmuFolder::Tasks,
                            {{"Subject", VariantValue::Text(QStringLiteral("Task number %1").arg(i))},
                             {"Body", VariantValue::Text(QStringLiteral("What is to be done, in a line or two."))},
                             {"StartDate", VariantValue::Date(40179.0 + i % 365)},
                             {"DueDate", VariantValue::Date(40186.0 + i % 365)},
                             {"CreationTime", VariantValue::Date(40000.5)}});
    o.outlook.Register();
    MeasureFirstSync(state, o.agent, o.dispatcher, o.channel, ItemFirstSync(ItemKind::Tasks), items, tasksFirstSync);
}
BENCHMARK(BM_OutlookTasksFirstSync)->Arg(5'000)->Arg(50'000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_OutlookNotesFirstSync(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    Outlook o;
    for (int i = 0; i < items; ++i)
        o.outlook.PlantItem(EmuFolder::Notes,
                            {{"Body", VariantValue::Text(QStringLiteral("Note %1\r\nwith a second line of text").arg(i))},
                             {"CreationTime", VariantValue::Date(40000.5)}});
    o.outlook.Register();
    MeasureFirstSync(state, o.agent, o.dispatcher, o.channel, ItemFirstSync(ItemKind::Notes), items, notesFirstSync);
}
BENCHMARK(BM_OutlookNotesFirstSync)->Arg(5'000)->Arg(50'000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
