// The Outlook calendar through the dispatcher, as the peer drives it: a change check, and a full
// read (one AS_GET_APPOINT per appointment) of an emulated Outlook 14 calendar of N appointments,
// a fifth of them recurring. Both should grow in proportion to N: the 100,000 run should cost at
// most 15 times the 10,000 run.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "core/log_file.h"
#include "counting_reply_channel.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_codes.h"
#include "first_sync.h"
#include "support/outlook/outlook_emulation.h"
#include "wire/message_header.h"

namespace {

// An agent whose selected calendar is Outlook 14 over an emulated Outlook of N appointments.
struct Calendar {
    Calendar()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        qputenv("TZ", "Europe/Berlin");
        outlook.SetJournalEnabled(false);
        outlook.SetClock(40344.5);
        agent.machineId = QStringLiteral("BENCH");
        agent.agentId = 14;
    }
    // Plants the appointments in pieces, each checked and saved as a peer would have, so that
    // the measured checks compare with a saved state (a reply lists at most 65,535 of each kind).
    bool PlantSynchronised(int items)
    {
        outlook.Register();
        for (int i = 0; i < items; ++i) {
            Plant(i);
            if ((i + 1) % 50'000 != 0 && i + 1 != items) continue;
            if (!Check()) return false;
            dispatcher.DispatchCommand(AS_SAVE_APPOINTS_STATE, 1, {}, channel);
            if (channel.lastCode != AS_SAVE_APPOINTS_STATE + 1) return false;
        }
        return true;
    }
    void Plant(int i)
    {
        const double start = 40179.0 + i % 365 + (i % 24) / 24.0;
        const QString id = outlook.PlantItem(
            EmuFolder::Calendar, {{"Subject", VariantValue::Text(QStringLiteral("Appointment %1").arg(i))},
                                  {"Location", VariantValue::Text(QStringLiteral("Room %1").arg(i % 40))},
                                  {"Body", VariantValue::Text(QStringLiteral("Agenda of the meeting"))},
                                  {"Start", VariantValue::Date(start)},
                                  {"End", VariantValue::Date(start + 1.0 / 24)},
                                  {"Duration", VariantValue::I4(60)},
                                  {"CreationTime", VariantValue::Date(40000.5)},
                                  {"LastModificationTime", VariantValue::Date(40001.5)}});
        // A fifth recur.
        if (i % 5 == 0)
            outlook.PlantPattern(id, {{"RecurrenceType", VariantValue::I4(1)}, {"DayOfWeekMask", VariantValue::I4(2)}});
        ids.append(id);
    }
    bool Check()
    {
        QByteArray window(4, '\xFF');
        dispatcher.DispatchCommand(AS_CHECK_APPOINTS, 1, AsBytes(window), channel);
        return channel.lastCode == AS_CHECK_APPOINTS + 1;
    }

    QTemporaryDir home;
    OutlookEmulation outlook;
    QStringList ids;
    LogFile log{home.path() + QStringLiteral("/bench.log")};
    Agent agent{log};
    Dispatcher dispatcher{agent};
    CountingReplyChannel channel;
};

void BM_AppointmentsChangeCheck(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    Calendar calendar;
    if (!calendar.PlantSynchronised(items)) {
        state.SkipWithError("setting up failed");
        return;
    }
    for (auto _ : state)
        if (!calendar.Check()) {
            state.SkipWithError("the check failed");
            return;
        }
    state.counters["items"] = items;
    state.SetItemsProcessed(state.iterations() * items);
}
BENCHMARK(BM_AppointmentsChangeCheck)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_AppointmentsFullRead(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    Calendar calendar;
    if (!calendar.PlantSynchronised(items)) {
        state.SkipWithError("setting up failed");
        return;
    }
    std::vector<QByteArray> requests;
    for (const QString& id : calendar.ids) {
        QByteArray payload(reinterpret_cast<const char*>(id.utf16()), id.size() * 2);
        payload.append(2, '\0');
        requests.push_back(payload);
    }
    for (auto _ : state) {
        calendar.channel.bytes = 0;
        for (const QByteArray& payload : requests) {
            calendar.dispatcher.DispatchCommand(AS_GET_APPOINT, 2, AsBytes(payload), calendar.channel);
            if (calendar.channel.lastCode != AS_GET_APPOINT + 1) {
                state.SkipWithError("a read failed");
                return;
            }
        }
    }
    state.counters["items"] = items;
    state.counters["reply_MiB"] = static_cast<double>(calendar.channel.bytes) / (1 << 20);
    state.SetItemsProcessed(state.iterations() * items);
}
BENCHMARK(BM_AppointmentsFullRead)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

FirstSyncFigures firstSync;

// A reply lists at most 65,535 added items, so the larger size stays below it.
void BM_OutlookAppointmentsFirstSync(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    Calendar calendar;
    calendar.outlook.Register();
    for (int i = 0; i < items; ++i) calendar.Plant(i);
    MeasureFirstSync(state, calendar.agent, calendar.dispatcher, calendar.channel,
                     ItemFirstSync(ItemKind::Appointments), items, firstSync);
}
BENCHMARK(BM_OutlookAppointmentsFirstSync)->Arg(5'000)->Arg(50'000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
