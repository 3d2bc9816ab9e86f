#include "stores/sticky_notes/compound_file.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <malloc.h>
#include <algorithm>
#include <functional>
#include <string>

#include "common/byte_io.h"
#include "common/errors.h"
#include "support/real_sticky_notes_file.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of bytes handed out and not yet freed (its public interface; g++
// ships the runtime without the header).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Heap bytes in use now; the sanitizer's own count where it replaces the allocator.
std::size_t LiveHeapBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

TEST(CompoundFileTest, ReadsTheRealFileWholeAndCutShort)
{
    const QByteArray whole = RealStickyNotesFile();
    const QByteArray cut = CutAfterLastNonZeroByte(whole);
    ASSERT_EQ(cut.size(), 5326);
    for (const QByteArray& bytes : {whole, cut}) {
        const CompoundEntry root = ReadCompoundFile(bytes);
        ASSERT_EQ(root.children.size(), 4u);
        EXPECT_EQ(ChildOrFail(root, QStringLiteral("Version")).data, QByteArray("\x02\0\0\0", 4));
        EXPECT_EQ(ChildOrFail(root, QStringLiteral("Metafile")).data.size(), 478);
        // Names are found in any case and keep the case the file spells them in.
        const CompoundEntry& note = ChildOrFail(root, QStringLiteral("5C4DC702-D1E1-11E4-B"));
        EXPECT_TRUE(note.isStorage);
        EXPECT_EQ(note.name, QStringLiteral("5c4dc702-d1e1-11e4-b"));
        EXPECT_EQ(ChildOrFail(note, QStringLiteral("0")).data.size(), 655);
        EXPECT_EQ(ChildOrFail(note, QStringLiteral("1")).data, QByteArray("\x11\x20\x04\0\0\0\0\0\0\0", 10));
        EXPECT_EQ(ChildOrFail(note, QStringLiteral("3")).data.size(), 102);
        EXPECT_EQ(ChildOrFail(root, QStringLiteral("METAFILE")).name, QStringLiteral("Metafile"));
    }
}

TEST(CompoundFileTest, WrittenTreesReadBackAsTheyWere)
{
    QByteArray big(70000, '\0');
    for (int i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    CompoundEntry root = CompoundEntry::Storage(QStringLiteral("Root Entry"));
    root.children.push_back(CompoundEntry::Stream(QStringLiteral("empty"), {}));
    root.children.push_back(CompoundEntry::Stream(QStringLiteral("Big"), big));
    root.children.push_back(CompoundEntry::Storage(
        QStringLiteral("outer"),
        {CompoundEntry::Stream(QStringLiteral("small"), "abc"),
         CompoundEntry::Storage(QStringLiteral("Inner \u00e9"), {CompoundEntry::Stream(QStringLiteral("x"), "y")})}));

    const CompoundEntry back = ReadCompoundFile(WriteCompoundFile(root));
    ASSERT_EQ(back.children.size(), 3u);
    EXPECT_TRUE(ChildOrFail(back, QStringLiteral("empty")).data.isEmpty());
    EXPECT_EQ(ChildOrFail(back, QStringLiteral("big")).data, big);
    const CompoundEntry& outer = ChildOrFail(back, QStringLiteral("outer"));
    EXPECT_EQ(ChildOrFail(outer, QStringLiteral("small")).data, "abc");
    const CompoundEntry& inner = ChildOrFail(outer, QStringLiteral("INNER \u00c9"));
    EXPECT_EQ(inner.name, QStringLiteral("Inner \u00e9"));
    EXPECT_EQ(ChildOrFail(inner, QStringLiteral("x")).data, "y");
}

TEST(CompoundFileTest, RefusesWhatItCannotReadOrWrite)
{
    EXPECT_THROW(ReadCompoundFile(QByteArray()), MalformedData);
    EXPECT_THROW(ReadCompoundFile(QByteArray(2048, 'x')), MalformedData);
    // The signature and nothing else.
    EXPECT_THROW(ReadCompoundFile(RealStickyNotesFile().left(600)), MalformedData);

    for (const QString& name : {QString(), QStringLiteral("a/b"), QStringLiteral("x!"), QString(32, u'n')}) {
        CompoundEntry root = CompoundEntry::Storage(QStringLiteral("Root Entry"), {CompoundEntry::Stream(name, "x")});
        EXPECT_THROW(WriteCompoundFile(root), AgentError) << name.toStdString();
    }
    CompoundEntry twice = CompoundEntry::Storage(
        QStringLiteral("Root Entry"),
        {CompoundEntry::Stream(QStringLiteral("Same"), "1"), CompoundEntry::Stream(QStringLiteral("SAME"), "2")});
    EXPECT_THROW(WriteCompoundFile(twice), AgentError);
}

// A small file as the writer lays it out (512-byte sectors, one allocation-table sector), with
// the fields of its header, table and directory that the cases below damage.
class FileBytes {
public:
    explicit FileBytes(QByteArray bytes) : bytes_(std::move(bytes)) {}
    const QByteArray& bytes() const { return bytes_; }
    char* bytes_data() { return bytes_.data(); }

    std::uint32_t U32(qsizetype at) const { return GetU32(reinterpret_cast<const std::uint8_t*>(bytes_.constData()) + at); }
    void SetU32(qsizetype at, std::uint32_t value) { PutU32(reinterpret_cast<std::uint8_t*>(bytes_.data()) + at, value); }
    void SetU16(qsizetype at, std::uint16_t value) { PutU16(reinterpret_cast<std::uint8_t*>(bytes_.data()) + at, value); }

    static qsizetype SectorAt(std::uint32_t sector) { return (static_cast<qsizetype>(sector) + 1) * 512; }
    qsizetype FatEntryAt(std::uint32_t sector) const { return SectorAt(U32(76)) + 4 * static_cast<qsizetype>(sector); }
    std::uint32_t NextSector(std::uint32_t sector) const { return U32(FatEntryAt(sector)); }
    std::uint32_t FirstDirectorySector() const { return U32(48); }

    qsizetype EntryAt(std::uint32_t id) const
    {
        std::uint32_t sector = FirstDirectorySector();
        for (std::uint32_t i = 0; i < id / 4; ++i) sector = NextSector(sector);
        return SectorAt(sector) + 128 * static_cast<qsizetype>(id % 4);
    }
    std::uint32_t EntryNamed(const char* name) const
    {
        for (std::uint32_t id = 0; id < 1000; ++id) {
            const qsizetype at = EntryAt(id);
            const int units = GetU16(reinterpret_cast<const std::uint8_t*>(bytes_.constData()) + at + 64) / 2 - 1;
            if (units >= 0 && QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes_.constData() + at), units) == QLatin1String(name))
                return id;
        }
        throw std::runtime_error(std::string("no entry named ") + name);
    }
    qsizetype FieldOf(const char* name, qsizetype offset) const { return EntryAt(EntryNamed(name)) + offset; }

private:
    QByteArray bytes_;
};

constexpr qsizetype kType = 66, kLeft = 68, kRight = 72, kChild = 76, kStart = 116, kSize = 120;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;

QByteArray SampleBig()
{
    QByteArray big(70000, '\0');
    for (int i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    return big;
}

// One stream in the file's own sectors, one in the mini stream, a storage holding a stream.
FileBytes SampleFile()
{
    return FileBytes(WriteCompoundFile(CompoundEntry::Storage(
        QStringLiteral("Root Entry"),
        {CompoundEntry::Stream(QStringLiteral("Big"), SampleBig()), CompoundEntry::Stream(QStringLiteral("small"), "abc"),
         CompoundEntry::Storage(QStringLiteral("outer"), {CompoundEntry::Stream(QStringLiteral("x"), "y")})})));
}

// Damaged tables, chains and directories: each is refused with its reason, never read past its
// end, looped over or sized from.
TEST(CompoundFileTest, RefusesDamagedStructuresWithTheirReason)
{
    struct Case {
        const char* what;
        std::function<void(FileBytes&)> damage;
        const char* reason;
    } cases[] = {
        {"no signature", [](FileBytes& f) { f.SetU32(0, 0); }, "not a compound file"},
        {"sector size", [](FileBytes& f) { f.SetU16(30, 10); }, "sector size"},
        {"table sector count", [](FileBytes& f) { f.SetU32(44, 0xFFFFFFFF); }, "allocation table claims 4294967295"},
        {"table sector past the end", [](FileBytes& f) { f.SetU32(76, 0x00FFFFFF); }, "past the end"},
        {"directory chain in a loop",
         [](FileBytes& f) {
             std::uint32_t last = f.FirstDirectorySector();
             while (f.NextSector(last) != kEndOfChain) last = f.NextSector(last);
             f.SetU32(f.FatEntryAt(last), f.FirstDirectorySector());
         },
         "directory runs in a loop"},
        {"stream larger than the file", [](FileBytes& f) { f.SetU32(f.FieldOf("Big", kSize), 0x7FFFFFFF); }, "claims more bytes"},
        {"chain shorter than its stream",
         [](FileBytes& f) { f.SetU32(f.FatEntryAt(f.U32(f.FieldOf("Big", kStart))), kEndOfChain); }, "ends before its size"},
        {"mini stream sector out of range", [](FileBytes& f) { f.SetU32(f.FieldOf("small", kStart), 100000); },
         "leaves the allocation table"},
        {"entry its own sibling",
         [](FileBytes& f) { f.SetU32(f.FieldOf("small", kLeft), f.EntryNamed("small")); }, "reached twice"},
        {"entry in two storages",
         [](FileBytes& f) { f.SetU32(f.FieldOf("x", kRight), f.EntryNamed("outer")); }, "reached twice"},
        {"child past the directory", [](FileBytes& f) { f.SetU32(f.FieldOf("outer", kChild), 100000); },
         "past the directory's end"},
        {"entry of no kind", [](FileBytes& f) { f.bytes_data()[f.FieldOf("small", kType)] = 0; }, "has no kind"},
        {"stream with children", [](FileBytes& f) { f.SetU32(f.FieldOf("small", kChild), f.EntryNamed("x")); },
         "has children"},
        {"root not first", [](FileBytes& f) { f.bytes_data()[f.EntryAt(0) + kType] = 2; }, "not the root"},
    };
    for (const Case& c : cases) {
        FileBytes file = SampleFile();
        c.damage(file);
        try {
            ReadCompoundFile(file.bytes());
            ADD_FAILURE() << c.what << ": read without complaint";
        } catch (const MalformedData& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << c.what << ": " << e.what();
        }
    }
}

// What writers leave that is not quite the format, and that reads as they meant it.
TEST(CompoundFileTest, ReadsWhatWritersLeaveSlightlyOff)
{
    FileBytes rootAsStorage = SampleFile();
    rootAsStorage.bytes_data()[rootAsStorage.EntryAt(0) + kType] = 1;
    // A version 3 file's sizes are 32 bits; the upper half may hold anything.
    FileBytes upperSizeHalfSet = SampleFile();
    upperSizeHalfSet.SetU32(upperSizeHalfSet.FieldOf("Big", kSize + 4), 0xDEADBEEF);
    upperSizeHalfSet.SetU32(upperSizeHalfSet.FieldOf("small", kSize + 4), 1);
    for (const FileBytes& file : {rootAsStorage, upperSizeHalfSet}) {
        const CompoundEntry root = ReadCompoundFile(file.bytes());
        EXPECT_EQ(ChildOrFail(root, QStringLiteral("Big")).data, SampleBig());
        EXPECT_EQ(ChildOrFail(root, QStringLiteral("small")).data, "abc");
        EXPECT_EQ(ChildOrFail(ChildOrFail(root, QStringLiteral("outer")), QStringLiteral("x")).data, "y");
    }
}

TEST(CompoundFileTest, StoragesNestUpToThirtyTwoDeep)
{
    const auto nested = [](int depth) {
        CompoundEntry inner = CompoundEntry::Stream(QStringLiteral("leaf"), "deepest");
        for (int level = depth; level >= 1; --level)
            inner = CompoundEntry::Storage(QStringLiteral("level %1").arg(level), {std::move(inner)});
        return WriteCompoundFile(CompoundEntry::Storage(QStringLiteral("Root Entry"), {std::move(inner)}));
    };
    const CompoundEntry* entry = nullptr;
    const CompoundEntry root = ReadCompoundFile(nested(32));
    entry = &root;
    for (int level = 1; level <= 32; ++level) entry = &ChildOrFail(*entry, QStringLiteral("level %1").arg(level));
    EXPECT_EQ(ChildOrFail(*entry, QStringLiteral("leaf")).data, "deepest");
    EXPECT_THROW(ReadCompoundFile(nested(33)), MalformedData);
}

// Thousands of entries in one storage: all read, in the format's order (shorter names first, then
// by their upper-case units), which is the order the library that wrote them uses too.
TEST(CompoundFileTest, ListsAStoragesManyEntriesInTheFormatsOrder)
{
    CompoundEntry root = CompoundEntry::Storage(QStringLiteral("Root Entry"));
    QStringList names;
    for (int i = 0; i < 5000; ++i) {
        names << QStringLiteral("note-%1").arg((i * 7919) % 5000, 0, 36);
        root.children.push_back(CompoundEntry::Stream(names.back(), QByteArray::number(i)));
    }
    const CompoundEntry back = ReadCompoundFile(WriteCompoundFile(root));
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.size() != b.size() ? a.size() < b.size() : a.toUpper() < b.toUpper();
    });
    QStringList read;
    for (const CompoundEntry& child : back.children) read << child.name;
    EXPECT_EQ(read, names);
}

// A tree the format cannot hold is refused before the library is handed any of it: an output the
// library was given and then dropped unfinished is never freed, and a notes file that cannot be
// written back would lose memory at every synchronisation that tried.
TEST(CompoundFileTest, ARefusedWriteKeepsNoMemory)
{
    const CompoundEntry refused = CompoundEntry::Storage(
        QStringLiteral("Root Entry"),
        {CompoundEntry::Stream(QStringLiteral("Big"), SampleBig()),
         CompoundEntry::Storage(QStringLiteral("note"), {CompoundEntry::Stream(QStringLiteral("0"), "a"),
                                                          CompoundEntry::Stream(QStringLiteral("0"), "b")})});
    EXPECT_THROW(WriteCompoundFile(refused), AgentError);
    const std::size_t before = LiveHeapBytes();
    for (int i = 0; i < 200; ++i) EXPECT_THROW(WriteCompoundFile(refused), AgentError);
    EXPECT_LT(LiveHeapBytes(), before + 1024 * 1024);
}

}  // namespace
