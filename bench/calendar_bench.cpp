// An appointments change check over Windows Calendar files, as the dispatcher runs it: create
// the folders, build the index, list the identifiers, then one checksum per identifier. The
// events lie in five files, as the store writes them. Each run starts with a fresh store, so the
// files are read from scratch; the warm run repeats the check with the files unchanged.
//
// Goals: 10,000 events cost at most 15 times 1,000 events, and a check costs at most 3 times
// reading and unfolding the same files' lines ("check_to_bare", measured in the same iterations).
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <ctime>
#include <map>
#include <memory>

#include "dispatch_session.h"
#include "first_sync.h"
#include "stores/catalog/store_set.h"
#include "stores/windows_calendar/appointment_win_vista.h"
#include "stores/windows_calendar/ics_calendar.h"
#include "stores/windows_calendar/ics_lines.h"
#include "stores/windows_calendar/vevent.h"

namespace {

constexpr int kFiles = 5;

QString UidOf(int i)
{
    return QStringLiteral("%1-0000-4000-8000-%2")
        .arg(i, 8, 16, QLatin1Char('0'))
        .arg(i, 12, 16, QLatin1Char('0'))
        .toUpper();
}

QByteArray EventsFile(int first, int count)
{
    QString text = IcsFileHeader();
    for (int i = first; i < first + count; ++i) {
        VEventRecord r;
        r.Uid = UidOf(i);
        r.DtStamp = QStringLiteral("20090110T101700Z");
        r.DtStart = QStringLiteral("200902%1T100000").arg(1 + i % 28, 2, 10, QLatin1Char('0'));
        r.DtEnd = QStringLiteral("200902%1T113000").arg(1 + i % 28, 2, 10, QLatin1Char('0'));
        r.Summary = QStringLiteral("Meeting number %1 with the regional sales team").arg(i);
        r.Location = QStringLiteral("Besprechungsraum Süd");
        r.Description = QStringLiteral("Agenda:\\n1. Zahlen\\n2. Ziele\\n3. Planung für das nächste Quartal");
        if (i % 10 == 0) r.FreqPart = QStringLiteral("WEEKLY");
        if (i % 2 == 0) {
            r.HasAlarm = 1;
            r.AlarmAction = QStringLiteral("DISPLAY");
            r.AlarmDescription = QStringLiteral("Reminder");
            r.AlarmTrigger = QStringLiteral("20090201T084500Z");
            r.AlarmUid = UidOf(i + 1'000'000);
        }
        QStringList lines;
        WriteVEvent(lines, r);
        text += lines.join(QString());
    }
    text += QStringLiteral("END:VCALENDAR\n");
    return text.toUtf8().replace("\n", "\r\n");
}

// One folder of calendar files per event count, made once.
const QString& CalendarFolder(int events)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> folders;
    auto& dir = folders[events];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        const int perFile = events / kFiles;
        for (int f = 0; f < kFiles; ++f) {
            QFile file(dir->path() + QStringLiteral("/Calendar %1.ics").arg(f));
            file.open(QIODevice::WriteOnly);
            file.write(EventsFile(f * perFile, perFile));
        }
    }
    static QString path;
    path = dir->path();
    return path;
}

std::size_t RunCheck(CAppointmentWinVista& store)
{
    store.CreateCalendarFolders();
    store.LoadCalendarIndex();
    QStringList ids;
    store.GetIDs(ids);
    std::uint32_t sum = 0;
    for (const QString& id : ids) sum += store.IDtoCRC32(id);
    benchmark::DoNotOptimize(sum);
    return static_cast<std::size_t>(ids.size());
}

// What any reader must do: read every file and unfold its lines into texts.
std::size_t ReadAndUnfold(const QString& folder)
{
    std::size_t lines = 0;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.ics")}, QDir::Files)) {
        QFile file(folder + u'/' + name);
        file.open(QIODevice::ReadOnly);
        lines += static_cast<std::size_t>(IcsLines(file.readAll()).Texts().size());
    }
    benchmark::DoNotOptimize(lines);
    return lines;
}

// The thread's processor time: the machine's other load shows less in it than in wall time.
double CpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void BM_CalendarChangeCheck(benchmark::State& state)
{
    const int events = static_cast<int>(state.range(0));
    const QString folder = CalendarFolder(events);
    double check = 0, bare = 0;
    for (auto _ : state) {
        const double t0 = CpuSeconds();
        {
            CAppointmentWinVista store(folder, {});
            if (RunCheck(store) != static_cast<std::size_t>(events)) state.SkipWithError("wrong event count");
        }
        const double t1 = CpuSeconds();
        ReadAndUnfold(folder);
        const double t2 = CpuSeconds();
        check += t1 - t0;
        bare += t2 - t1;
    }
    state.counters["check_ms"] = check * 1000 / static_cast<double>(state.iterations());
    state.counters["bare_read_ms"] = bare * 1000 / static_cast<double>(state.iterations());
    state.counters["check_to_bare"] = check / bare;
    state.SetItemsProcessed(state.iterations() * events);
}
BENCHMARK(BM_CalendarChangeCheck)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(30);

// Both sizes within each iteration, so that both meet the same machine load. Each store is
// destroyed within its own measurement: forgetting what was read is part of the cost.
void BM_CalendarChangeCheckScaling(benchmark::State& state)
{
    const QString small = CalendarFolder(1000);
    const QString large = CalendarFolder(10000);
    double smallSeconds = 0, largeSeconds = 0;
    for (auto _ : state) {
        const double t0 = CpuSeconds();
        {
            CAppointmentWinVista a(small, {});
            RunCheck(a);
        }
        const double t1 = CpuSeconds();
        {
            CAppointmentWinVista b(large, {});
            RunCheck(b);
        }
        const double t2 = CpuSeconds();
        smallSeconds += t1 - t0;
        largeSeconds += t2 - t1;
    }
    state.counters["ten_thousand_to_thousand"] = largeSeconds / smallSeconds;
}
BENCHMARK(BM_CalendarChangeCheckScaling)->Unit(benchmark::kMillisecond)->Iterations(20);

// A second check with the files unchanged: every file is only looked at, not read.
void BM_CalendarChangeCheckWarm(benchmark::State& state)
{
    const int events = static_cast<int>(state.range(0));
    CAppointmentWinVista store(CalendarFolder(events), {});
    RunCheck(store);
    for (auto _ : state) RunCheck(store);
    state.SetItemsProcessed(state.iterations() * events);
}
BENCHMARK(BM_CalendarChangeCheckWarm)->Arg(10000)->Unit(benchmark::kMillisecond);

FirstSyncFigures firstSync;

void BM_CalendarFirstSync(benchmark::State& state)
{
    const int events = static_cast<int>(state.range(0));
    const QString folder = CalendarFolder(events);
    QTemporaryDir home;
    UseHome(home.path());
    DispatchSession s;
    s.agent.agentId = 1;
    s.agent.stores->Replace(ItemKind::Appointments, 1, std::make_unique<CAppointmentWinVista>(folder, CAppointmentWinVista::LogSink{}));
    MeasureFirstSync(state, s.agent, s.dispatcher, s.channel, ItemFirstSync(ItemKind::Appointments), events,
                     firstSync);
}
BENCHMARK(BM_CalendarFirstSync)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
