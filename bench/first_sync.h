#pragma once
// A peer's first synchronisation of one store, measured the same way for every store: the state
// load with nothing saved, the change check (which then reports every item as added), one Get per
// reported item through the dispatcher, then the peer leaves and the agent releases what it held.
//
// Counters: items_per_s (check and Gets together), check_ms, get_us; at the larger size of a
// benchmark "vs_small" (whole synchronisation, large against small; linear means 10 for 10 times
// the items, goal at most 15) and "get_vs_small" (one Get, goal at most 2); "rss_MiB_above_idle",
// the process's resident memory after the release against before the synchronisation (goal
// within 20 MB).

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

#include "common/byte_io.h"
#include "counting_reply_channel.h"
#include "process_memory.h"
#include "dispatch/agent.h"
#include "dispatch/bookmark_sync_state.h"
#include "dispatch/dispatcher.h"
#include "dispatch/item_kinds.h"
#include "dispatch/request_codes.h"
#include "dispatch/state_file.h"

// The requests of one store's first synchronisation.
struct FirstSyncRequests {
    std::uint16_t start = 0;  // AS_START_SYNC where the store loads its source there, else 0
    std::uint16_t load = 0;
    std::uint16_t check = 0;
    std::uint16_t get = 0;
    QByteArray checkPayload;
    bool bookmarks = false;
    ItemKind kind = ItemKind::Contacts;
};

inline FirstSyncRequests ItemFirstSync(ItemKind kind)
{
    switch (kind) {
    case ItemKind::Contacts:
        return {0, AS_LOAD_CONTACTS_STATE, AS_CHECK_CONTACTS, AS_GET_CONTACT, {}, false, kind};
    case ItemKind::Appointments:
        // No date window: every appointment is reported.
        return {0, AS_LOAD_APPOINTS_STATE, AS_CHECK_APPOINTS, AS_GET_APPOINT, QByteArray(4, '\xFF'), false, kind};
    case ItemKind::Tasks:
        return {0, AS_LOAD_TASKS_STATE, AS_CHECK_TASKS, AS_GET_TASK, QByteArray(4, '\xFF'), false, kind};
    case ItemKind::Notes:
        break;
    }
    return {0, AS_LOAD_NOTES_STATE, AS_CHECK_NOTES, AS_GET_NOTE, QByteArray("B\0", 2), false, kind};
}

inline FirstSyncRequests BookmarkFirstSync()
{
    return {0, AS_LOAD_BOOKMARKS_STATE, AS_CHECK_BOOKMARKS, AS_GET_BOOKMARK, {}, true, ItemKind::Contacts};
}

// Seconds per item and per Get of each size one benchmark ran, to compare the sizes.
struct FirstSyncSeconds {
    double perItem = 0;
    double perGet = 0;
};
using FirstSyncFigures = std::map<int, FirstSyncSeconds>;

namespace first_sync_detail {

inline double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The Get payloads of what the check reported, as the peer holds them: after a first check the
// agent's list holds every reported item.
inline std::vector<QByteArray> ReportedGets(Agent& agent, const FirstSyncRequests& r)
{
    std::vector<QByteArray> payloads;
    if (r.bookmarks) {
        const auto kind = static_cast<BrowserKind>(agent.browserId);
        for (const BookmarkCheckEntry& e : agent.bookmarks->CheckList()) {
            QByteArray payload;
            ByteWriter w(payload);
            IdOfEntry(kind, e).Write(w);
            payloads.push_back(std::move(payload));
        }
        return payloads;
    }
    for (const StateEntry& e : StateListOf(agent, r.kind).Entries()) {
        QByteArray payload(reinterpret_cast<const char*>(e.id.utf16()), e.id.size() * 2);
        payloads.push_back(payload.append(2, '\0'));
    }
    return payloads;
}

}  // namespace first_sync_detail

// Runs the benchmark's iterations; `items` is what the store holds (every one must be reported).
// `figures` keeps each size's seconds for the comparison: give each benchmark its own.
inline void MeasureFirstSync(benchmark::State& state, Agent& agent, Dispatcher& dispatcher,
                             CountingReplyChannel& channel, const FirstSyncRequests& r, int items,
                             FirstSyncFigures& figures)
{
    using first_sync_detail::SecondsSince;
    const auto send = [&](std::uint16_t code, const QByteArray& payload) {
        dispatcher.DispatchCommand(code, 1, AsBytes(payload), channel);
        return channel.lastCode == code + 1;
    };
    malloc_trim(0);
    const long idleKiB = ResidentKiB();
    double checks = 0;
    double gets = 0;
    std::int64_t runs = 0;
    std::int64_t got = 0;
    for (auto _ : state) {
        const auto checkStart = std::chrono::steady_clock::now();
        if ((r.start && !send(r.start, {})) || !send(r.load, {}) || !send(r.check, r.checkPayload)) {
            state.SkipWithError("the check failed");
            return;
        }
        checks += SecondsSince(checkStart);
        state.PauseTiming();
        const std::vector<QByteArray> requests = first_sync_detail::ReportedGets(agent, r);
        state.ResumeTiming();
        const auto getStart = std::chrono::steady_clock::now();
        for (const QByteArray& id : requests)
            if (!send(r.get, id)) {
                state.SkipWithError("a Get failed");
                return;
            }
        gets += SecondsSince(getStart);
        got += static_cast<std::int64_t>(requests.size());
        ++runs;
        dispatcher.ReleaseClientResources();
        dispatcher.ResetConnectionState();
    }
    const long afterKiB = ResidentKiB();
    if (got != runs * items) {
        state.SkipWithError("the check did not report every item");
        return;
    }
    FirstSyncSeconds& mine = figures[items];
    mine.perItem = (checks + gets) / static_cast<double>(got);
    mine.perGet = gets / static_cast<double>(got);
    state.counters["items_per_s"] = 1.0 / mine.perItem;
    state.counters["check_ms"] = checks * 1e3 / static_cast<double>(runs);
    state.counters["get_us"] = mine.perGet * 1e6;
    const auto& [small, smallSeconds] = *figures.begin();
    if (small < items) {
        state.counters["vs_small"] = mine.perItem * items / (smallSeconds.perItem * small);
        state.counters["get_vs_small"] = mine.perGet / smallSeconds.perGet;
    }
    if (idleKiB >= 0 && afterKiB >= 0)
        state.counters["rss_MiB_above_idle"] = static_cast<double>(afterKiB - idleKiB) / 1024.0;
}
