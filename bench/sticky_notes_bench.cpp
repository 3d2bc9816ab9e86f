// Loading and writing back the Sticky Notes file with 50 and 500 notes of about 1 KB of RTF.
// The "/500" runs should cost at most 15 times the "/50" runs, and BM_StickyNotesOpenVsLibgsf
// prints how a whole Open compares with reading every stream through libgsf alone
// (open_to_libgsf, at most 3).
#include <benchmark/benchmark.h>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <vector>

#include "dispatch_session.h"
#include "first_sync.h"
#include "stores/catalog/store_set.h"
#include "stores/sticky_notes/sticky_notes_file.h"
#include "stores/sticky_notes/win7_sticky_notes.h"

namespace {

QString NativeId(int i)
{
    return QStringLiteral("%1-d1e1-11e4-b").arg(i, 8, 16, QLatin1Char('0'));
}

// A notes file written by the store's own writer, in a folder that lives as long as it does.
class NotesFile {
public:
    explicit NotesFile(int notes)
    {
        StickyNotesFile file = StickyNotesFile::Empty();
        const QDateTime created = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < notes; ++i) {
            StickyNoteRecord note = StickyNotesFile::NewNote(NativeId(i), created);
            note.rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Segoe Print;}}\\fs22 " +
                       QByteArray(900, static_cast<char>('a' + i % 26)) + "\\par\r\n}\r\n" + QByteArray(1, '\0');
            note.plainText = QString(50, QChar(u'a' + i % 26)) + QChar(0);
            file.notes.push_back(std::move(note));
        }
        bytes = file.Serialize();
        path = dir.filePath(QStringLiteral("StickyNotes.snt"));
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) abort();
    }
    QTemporaryDir dir;
    QString path;
    QByteArray bytes;
};

// What the store's Open cannot do with less: the file read, and every stream read through libgsf.
std::size_t ReadEveryStreamWithLibgsf(const QString& path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) abort();
    const QByteArray bytes = in.readAll();
    GsfInput* input = gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.constData()), bytes.size(), FALSE);
    GsfInfile* root = gsf_infile_msole_new(input, nullptr);
    std::size_t total = 0;
    std::vector<guint8> buffer;
    const auto walk = [&](auto&& self, GsfInfile* storage) -> void {
        for (int i = 0; i < gsf_infile_num_children(storage); ++i) {
            GsfInput* child = gsf_infile_child_by_index(storage, i);
            if (gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
                self(self, GSF_INFILE(child));
            } else {
                buffer.resize(static_cast<std::size_t>(gsf_input_size(child)));
                if (!buffer.empty()) gsf_input_read(child, buffer.size(), buffer.data());
                total += buffer.size();
            }
            g_object_unref(child);
        }
    };
    walk(walk, root);
    g_object_unref(root);
    g_object_unref(input);
    return total;
}

void BM_StickyNotesOpen(benchmark::State& state)
{
    const NotesFile file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CWin7_StikyNotes notes({}, file.path);
        notes.Open();
        benchmark::DoNotOptimize(&notes);
    }
    state.SetBytesProcessed(state.iterations() * file.bytes.size());
}
BENCHMARK(BM_StickyNotesOpen)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_StickyNotesCloseAfterOneEdit(benchmark::State& state)
{
    const NotesFile file(static_cast<int>(state.range(0)));
    const QString middle = StickyNoteItemId(NativeId(static_cast<int>(state.range(0)) / 2));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CWin7_StikyNotes notes({}, file.path);
        notes.Open();
        ItemRecord edit;
        edit.Add(CWin7_StikyNotes::kBodyField, QStringLiteral("{\\rtf1 edit %1}").arg(++round));
        notes.Edit(edit, middle);
        state.ResumeTiming();
        notes.Close();
    }
}
BENCHMARK(BM_StickyNotesCloseAfterOneEdit)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_StickyNotesOpenVsLibgsf(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const NotesFile file(static_cast<int>(state.range(0)));
    Clock::duration open{}, bare{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        CWin7_StikyNotes notes({}, file.path);
        notes.Open();
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(ReadEveryStreamWithLibgsf(file.path));
        const auto t2 = Clock::now();
        open += t1 - t0;
        bare += t2 - t1;
    }
    state.counters["open_to_libgsf"] = std::chrono::duration<double>(open).count() /
                                       std::chrono::duration<double>(bare).count();
}
BENCHMARK(BM_StickyNotesOpenVsLibgsf)->Arg(500)->Unit(benchmark::kMillisecond);

FirstSyncFigures firstSync;

void BM_StickyNotesFirstSync(benchmark::State& state)
{
    const int notes = static_cast<int>(state.range(0));
    const NotesFile file(notes);
    UseHome(file.dir.path());
    DispatchSession s;
    s.agent.notesAgentId = 0x10000;
    // A store for each synchronisation, opened at its start, as the agent makes this one.
    s.agent.stores->SetSessionFactory(ItemKind::Notes, 0x10000, [&file] {
        return std::make_unique<CWin7_StikyNotes>(CWin7_StikyNotes::LogSink{}, file.path);
    });
    FirstSyncRequests requests = ItemFirstSync(ItemKind::Notes);
    requests.start = AS_START_SYNC;
    MeasureFirstSync(state, s.agent, s.dispatcher, s.channel, requests, notes, firstSync);
}
BENCHMARK(BM_StickyNotesFirstSync)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
