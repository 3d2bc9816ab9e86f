// The Outlook automation layer over the emulated Outlook: what one property get through a
// DispatchDriver costs next to the emulation answering it directly, and GetIDs of a large
// calendar, whose time should grow in proportion to the number of items (the emulation finds
// items by position and by EntryID without a search).
#include <benchmark/benchmark.h>

#include "platform/dispatch_driver.h"
#include "stores/outlook/appointment_store.h"
#include "support/outlook/outlook_emulation.h"

namespace {

constexpr DispId kSubject = 0x37;

void PropertyGetThroughDispatchDriver(benchmark::State& state)
{
    OutlookEmulation outlook;
    outlook.SetJournalEnabled(false);
    const QString id = outlook.PlantItem(EmuFolder::Calendar, {{"Subject", VariantValue::Text("Review")}});
    outlook.Register();
    DispatchDriver app;
    app.CreateDispatch(QStringLiteral("Outlook.Application"));
    const DispatchDriver ns = app.CallObject(0x110, {VariantValue::Text(QStringLiteral("MAPI"))});
    const DispatchDriver item = ns.CallObject(0x2109, {VariantValue::Text(id)});
    for (auto _ : state) benchmark::DoNotOptimize(item.GetText(kSubject));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PropertyGetThroughDispatchDriver)->Iterations(1'000'000);

void PropertyGetThroughTheEmulationsAccessor(benchmark::State& state)
{
    OutlookEmulation outlook;
    const QString id = outlook.PlantItem(EmuFolder::Calendar, {{"Subject", VariantValue::Text("Review")}});
    for (auto _ : state) benchmark::DoNotOptimize(outlook.Value(id, kSubject));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PropertyGetThroughTheEmulationsAccessor)->Iterations(1'000'000);

void GetIdsOfAnEmulatedCalendar(benchmark::State& state)
{
    OutlookEmulation outlook;
    outlook.SetJournalEnabled(false);
    for (std::int64_t i = 0; i < state.range(0); ++i) outlook.PlantItem(EmuFolder::Calendar);
    outlook.Register();
    CAppointment14 store;
    store.Init();
    for (auto _ : state) {
        QStringList ids;
        store.GetIDs(ids);
        benchmark::DoNotOptimize(ids);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(GetIdsOfAnEmulatedCalendar)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
