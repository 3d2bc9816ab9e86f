// The Outlook contacts through the dispatcher, as the peer drives them: a change check of an
// emulated Outlook 14 contacts folder of N contacts, a tenth of them with a 20 KiB picture. It
// should grow in proportion to N: the 50,000 run should cost at most 15 times the 5,000 run.
// The same folders without pictures show the share the picture files take.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include "counting_reply_channel.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_codes.h"
#include "first_sync.h"
#include "support/outlook/outlook_emulation.h"
#include "wire/message_header.h"

namespace {

// An agent whose selected contacts are Outlook 14's, over an emulated Outlook of N contacts
// that a peer has synchronised already.
struct Contacts {
    explicit Contacts(bool pictures) : pictures_(pictures)
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
        outlook.SetJournalEnabled(false);
        agent.machineId = QStringLiteral("BENCH");
        agent.agentId = 14;
    }
    bool PlantSynchronised(int items)
    {
        Plant(items);
        if (!Check()) return false;
        dispatcher.DispatchCommand(AS_SAVE_CONTACTS_STATE, 1, {}, channel);
        return channel.lastCode == AS_SAVE_CONTACTS_STATE + 1;
    }
    void Plant(int items)
    {
        outlook.Register();
        const QByteArray picture(20 * 1024, 'p');
        for (int i = 0; i < items; ++i) {
            const QString id = outlook.PlantItem(
                EmuFolder::Contacts, {{"FirstName", VariantValue::Text(QStringLiteral("First%1").arg(i))},
                                      {"LastName", VariantValue::Text(QStringLiteral("Last%1").arg(i))},
                                      {"FullName", VariantValue::Text(QStringLiteral("First%1 Last%1").arg(i))},
                                      {"Email1Address", VariantValue::Text(QStringLiteral("p%1@example.org").arg(i))},
                                      {"MobileTelephoneNumber", VariantValue::Text(QStringLiteral("+49 170 %1").arg(i))},
                                      {"HomeAddressCity", VariantValue::Text(QStringLiteral("Town %1").arg(i % 100))},
                                      {"Birthday", VariantValue::Date(30000.0 + i % 10000)},
                                      {"CreationTime", VariantValue::Date(40000.5)}});
            if (pictures_ && i % 10 == 0) outlook.PlantAttachment(id, picture, true);
        }
    }
    bool Check()
    {
        dispatcher.DispatchCommand(AS_CHECK_CONTACTS, 1, {}, channel);
        return channel.lastCode == AS_CHECK_CONTACTS + 1;
    }

    bool pictures_;
    QTemporaryDir home;
    OutlookEmulation outlook;
    LogFile log{home.path() + QStringLiteral("/bench.log")};
    Agent agent{log};
    Dispatcher dispatcher{agent};
    CountingReplyChannel channel;
};

void BM_ContactsChangeCheck(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    Contacts contacts(state.range(1) != 0);
    if (!contacts.PlantSynchronised(items)) {
        state.SkipWithError("setting up failed");
        return;
    }
    for (auto _ : state)
        if (!contacts.Check()) {
            state.SkipWithError("the check failed");
            return;
        }
    state.SetLabel(state.range(1) != 0 ? "a tenth with pictures" : "no pictures");
    state.SetItemsProcessed(state.iterations() * items);
}
BENCHMARK(BM_ContactsChangeCheck)
    ->ArgNames({"contacts", "pictures"})
    ->Args({5'000, 1})
    ->Args({50'000, 1})
    ->Args({5'000, 0})
    ->Args({50'000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

FirstSyncFigures firstSync;

// A tenth with pictures, as above.
void BM_OutlookContactsFirstSync(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    Contacts contacts(true);
    contacts.Plant(items);
    MeasureFirstSync(state, contacts.agent, contacts.dispatcher, contacts.channel, ItemFirstSync(ItemKind::Contacts),
                     items, firstSync);
}
BENCHMARK(BM_OutlookContactsFirstSync)->Arg(5'000)->Arg(50'000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
