#include "stores/sticky_notes/compound_file.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "common/byte_io.h"
#include "common/errors.h"
#include "support/heap_in_use.h"
#include "support/real_sticky_notes_file.h"

namespace {

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
         "the directory takes file sector"},
        {"stream chained into the directory",
         [](FileBytes& f) { f.SetU32(f.FatEntryAt(f.U32(f.FieldOf("Big", kStart))), f.FirstDirectorySector()); },
         "stream \"Big\" takes file sector"},
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
        {"name length past the name field", [](FileBytes& f) { f.SetU16(f.FieldOf("small", 64), 66); }, "gives its name 66 bytes"},
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

// A file laid out by hand, in the shapes the writer used above never makes: 4096-byte sectors
// (version 4, whose sizes are 64 bits) and an allocation table of more sectors than the header
// lists, the rest listed in a list sector. It holds a stream "s" of 5000 bytes in the file's own
// sectors and a stream "m" of 3 bytes in the mini stream.
QByteArray HandBuiltFile(int sectorShift, std::uint32_t fatSectors, std::uint32_t sizeUpperHalf = 0)
{
    const qsizetype sectorSize = qsizetype(1) << sectorShift;
    const std::uint32_t entriesPerSector = static_cast<std::uint32_t>(sectorSize / 4);
    const std::uint32_t dataSectors = static_cast<std::uint32_t>((5000 + sectorSize - 1) / sectorSize);
    const std::uint32_t directory = dataSectors, mini = dataSectors + 1, miniFat = dataSectors + 2;
    const std::uint32_t firstFat = dataSectors + 3;
    const std::uint32_t listSectors = fatSectors > 109 ? 1 : 0;
    const std::uint32_t list = firstFat + fatSectors;
    const std::uint32_t sectors = list + listSectors;

    QByteArray bytes((sectors + 1) * sectorSize, '\0');
    auto* b = reinterpret_cast<std::uint8_t*>(bytes.data());
    const auto sector = [&](std::uint32_t n) { return b + (qsizetype(n) + 1) * sectorSize; };
    memcpy(b, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    PutU16(b + 24, 0x3E);
    PutU16(b + 26, sectorShift == 12 ? 4 : 3);
    PutU16(b + 28, 0xFFFE);
    PutU16(b + 30, static_cast<std::uint16_t>(sectorShift));
    PutU16(b + 32, 6);
    PutU32(b + 40, sectorShift == 12 ? 1 : 0);
    PutU32(b + 44, fatSectors);
    PutU32(b + 48, directory);
    PutU32(b + 56, 4096);
    PutU32(b + 60, miniFat);
    PutU32(b + 64, 1);
    PutU32(b + 68, listSectors ? list : kEndOfChain);
    PutU32(b + 72, listSectors);
    for (std::uint32_t i = 0; i < 109; ++i) PutU32(b + 76 + 4 * i, i < fatSectors ? firstFat + i : 0xFFFFFFFF);
    if (listSectors) {
        for (std::uint32_t i = 0; i + 1 < entriesPerSector; ++i)
            PutU32(sector(list) + 4 * i, 109 + i < fatSectors ? firstFat + 109 + i : 0xFFFFFFFF);
        PutU32(sector(list) + 4 * (entriesPerSector - 1), kEndOfChain);
    }

    std::vector<std::uint32_t> fat(std::size_t{fatSectors} * entriesPerSector, 0xFFFFFFFF);
    for (std::uint32_t i = 0; i < dataSectors; ++i) fat[i] = i + 1 < dataSectors ? i + 1 : kEndOfChain;
    fat[directory] = fat[mini] = fat[miniFat] = kEndOfChain;
    for (std::uint32_t i = 0; i < fatSectors; ++i) fat[firstFat + i] = 0xFFFFFFFD;
    if (listSectors) fat[list] = 0xFFFFFFFC;
    for (std::size_t i = 0; i < fat.size(); ++i)
        PutU32(sector(firstFat + static_cast<std::uint32_t>(i / entriesPerSector)) + 4 * (i % entriesPerSector), fat[i]);

    for (int i = 0; i < 5000; ++i) sector(0)[i] = static_cast<std::uint8_t>(i * 7);
    memcpy(sector(mini), "abc", 3);
    PutU32(sector(miniFat), kEndOfChain);
    for (std::uint32_t i = 1; i < entriesPerSector; ++i) PutU32(sector(miniFat) + 4 * i, 0xFFFFFFFF);

    const auto entry = [&](std::uint32_t id, const QString& name, std::uint8_t type, std::uint32_t right,
                           std::uint32_t child, std::uint32_t start, std::uint32_t size) {
        std::uint8_t* e = sector(directory) + 128 * id;
        for (int i = 0; i < name.size(); ++i) PutU16(e + 2 * i, name[i].unicode());
        PutU16(e + 64, static_cast<std::uint16_t>(2 * (name.size() + 1)));
        e[66] = type;
        PutU32(e + kLeft, 0xFFFFFFFF);
        PutU32(e + kRight, right);
        PutU32(e + kChild, child);
        PutU32(e + kStart, start);
        PutU32(e + kSize, size);
    };
    entry(0, QStringLiteral("Root Entry"), 5, 0xFFFFFFFF, 1, mini, 64);
    entry(1, QStringLiteral("m"), 2, 2, 0xFFFFFFFF, 0, 3);
    entry(2, QStringLiteral("s"), 2, 0xFFFFFFFF, 0xFFFFFFFF, 0, 5000);
    PutU32(sector(directory) + 128 * 2 + kSize + 4, sizeUpperHalf);
    return bytes;
}

TEST(CompoundFileTest, ReadsLargeSectorsAndTablesListedPastTheHeader)
{
    QByteArray s(5000, '\0');
    for (int i = 0; i < s.size(); ++i) s[i] = static_cast<char>(i * 7);
    for (const auto& [shift, fatSectors] : {std::pair{9, 1u}, std::pair{9, 110u}, std::pair{12, 1u}, std::pair{12, 110u}}) {
        SCOPED_TRACE(std::to_string(1 << shift) + "-byte sectors, " + std::to_string(fatSectors) + " table sectors");
        const CompoundEntry root = ReadCompoundFile(HandBuiltFile(shift, fatSectors));
        ASSERT_EQ(root.children.size(), 2u);
        EXPECT_EQ(root.children[0].name, QStringLiteral("m"));
        EXPECT_EQ(root.children[0].data, "abc");
        EXPECT_EQ(root.children[1].data, s);
    }
    // Version 4 sizes are 64 bits: an upper half set is a size, and larger than the file.
    EXPECT_THROW(ReadCompoundFile(HandBuiltFile(12, 1, 1)), MalformedData);
    EXPECT_EQ(ChildOrFail(ReadCompoundFile(HandBuiltFile(9, 1, 1)), QStringLiteral("s")).data, s);
    // A table whose header counts more sectors than its lists hold.
    QByteArray unlisted = HandBuiltFile(9, 110);
    PutU32(reinterpret_cast<std::uint8_t*>(unlisted.data()) + 72, 0);
    EXPECT_THROW(ReadCompoundFile(unlisted), MalformedData);
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
    const std::size_t before = HeapInUse();
    for (int i = 0; i < 200; ++i) EXPECT_THROW(WriteCompoundFile(refused), AgentError);
    EXPECT_LT(HeapInUse(), before + 1024 * 1024);
}

}  // namespace
