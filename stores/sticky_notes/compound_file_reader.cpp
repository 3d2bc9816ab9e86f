// Reads a compound file's directory and streams straight from its bytes. The library that
// writes these files also reads them, but it files every directory entry into a sorted list one
// at a time, so a notes file of a few thousand notes costs the square of its size to open, and it
// walks the directory's tree by recursion, one call deeper per entry along a damaged tree's
// chain. Here each structure is read once, in time and memory bounded by the file's size, and
// the tree is walked with a stack of our own.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_io.h"
#include "common/errors.h"
#include "stores/sticky_notes/compound_file.h"

namespace {

constexpr qsizetype kHeaderSize = 512;
constexpr qsizetype kEntrySize = 128;
constexpr int kMiniSectorShift = 6;
constexpr qsizetype kMiniSectorSize = qsizetype(1) << kMiniSectorShift;
constexpr int kHeaderFatSectors = 109;
constexpr int kMaxNameBytes = 64;
// Storages nest only a level or two in the files this reads; the bound keeps a damaged
// directory from nesting without end.
constexpr int kMaxDepth = 32;

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;

constexpr std::uint8_t kStorageType = 1;
constexpr std::uint8_t kStreamType = 2;
constexpr std::uint8_t kRootType = 5;

// Header fields, by their offsets.
constexpr qsizetype kMajorVersionAt = 26;
constexpr qsizetype kSectorShiftAt = 30;
constexpr qsizetype kMiniSectorShiftAt = 32;
constexpr qsizetype kFatSectorCountAt = 44;
constexpr qsizetype kFirstDirectorySectorAt = 48;
constexpr qsizetype kMiniStreamCutoffAt = 56;
constexpr qsizetype kFirstMiniFatSectorAt = 60;
constexpr qsizetype kMiniFatSectorCountAt = 64;
constexpr qsizetype kFirstFatListSectorAt = 68;
constexpr qsizetype kFatListSectorCountAt = 72;
constexpr qsizetype kHeaderFatListAt = 76;

// Directory entry fields, by their offsets within the entry.
constexpr qsizetype kNameLengthAt = 64;
constexpr qsizetype kTypeAt = 66;
constexpr qsizetype kLeftAt = 68;
constexpr qsizetype kRightAt = 72;
constexpr qsizetype kChildAt = 76;
constexpr qsizetype kStartSectorAt = 116;
constexpr qsizetype kSizeAt = 120;

[[noreturn]] void Malformed(const std::string& what)
{
    throw MalformedData("compound file: " + what);
}

const std::uint8_t* Bytes(const char* p)
{
    return reinterpret_cast<const std::uint8_t*>(p);
}

// A run of equal sectors: the file's own (after its header) or the mini stream's. In a sound file
// each sector serves one purpose, so a sector taken a second time, by one chain running in a
// loop or by two chains crossing, marks a damaged file rather than one to read twice.
class SectorSpace {
public:
    SectorSpace() = default;
    SectorSpace(const char* first, qsizetype sectorSize, std::uint32_t count, const char* what)
        : first_(first), sectorSize_(sectorSize), count_(count), what_(what), taken_(count, false)
    {
    }
    qsizetype SectorSize() const { return sectorSize_; }
    std::uint32_t Count() const { return count_; }

    const char* Take(std::uint32_t index, const std::string& by)
    {
        if (index >= count_) Malformed(what_ + " sector " + std::to_string(index) + " lies past the end");
        if (taken_[index]) Malformed(by + " takes " + what_ + " sector " + std::to_string(index) + " a second time");
        taken_[index] = true;
        return first_ + static_cast<qsizetype>(index) * sectorSize_;
    }

private:
    const char* first_ = nullptr;
    qsizetype sectorSize_ = 0;
    std::uint32_t count_ = 0;
    std::string what_;
    std::vector<bool> taken_;
};

using AllocationTable = std::vector<std::uint32_t>;

// The bytes of the chain that starts at `start`. With a size, only the sectors that size needs
// are followed; without one, the chain is followed to its end. Either way no sector is taken
// twice, so the walk ends within the file's sectors.
QByteArray ReadChain(SectorSpace& space, const AllocationTable& table, std::uint32_t start,
                     std::optional<quint64> size, const std::string& what)
{
    QByteArray out;
    const quint64 sectorSize = static_cast<quint64>(space.SectorSize());
    if (size) {
        if (*size == 0) return out;
        out.reserve(static_cast<qsizetype>(*size));
    }
    const quint64 needed = size ? (*size + sectorSize - 1) / sectorSize : 0;
    std::uint32_t sector = start;
    for (quint64 taken = 0; size ? taken < needed : sector != kEndOfChain; ++taken) {
        if (sector >= table.size())
            Malformed(what + (sector == kEndOfChain ? " ends before its size" : " leaves the allocation table"));
        out.append(space.Take(sector, what), space.SectorSize());
        sector = table[sector];
    }
    if (size) out.truncate(static_cast<qsizetype>(*size));
    return out;
}

AllocationTable TableFrom(const QByteArray& bytes)
{
    AllocationTable table(static_cast<std::size_t>(bytes.size() / 4));
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = GetU32(Bytes(bytes.constData()) + i * 4);
    return table;
}

struct Entry {
    const char* at;

    std::uint8_t Type() const { return static_cast<std::uint8_t>(at[kTypeAt]); }
    std::uint32_t Left() const { return GetU32(Bytes(at) + kLeftAt); }
    std::uint32_t Right() const { return GetU32(Bytes(at) + kRightAt); }
    std::uint32_t Child() const { return GetU32(Bytes(at) + kChildAt); }
    std::uint32_t StartSector() const { return GetU32(Bytes(at) + kStartSectorAt); }

    // Version 3 files keep only 32 bits of a size; some writers leave garbage in the upper half.
    quint64 Size(bool wideSizes) const
    {
        const quint64 low = GetU32(Bytes(at) + kSizeAt);
        return wideSizes ? low | (static_cast<quint64>(GetU32(Bytes(at) + kSizeAt + 4)) << 32) : low;
    }

    int NameLengthBytes() const { return GetU16(Bytes(at) + kNameLengthAt); }

    // The name's length counts its closing zero unit; a zero unit before it ends the name early.
    QString Name() const
    {
        const int units = std::clamp(NameLengthBytes() / 2 - 1, 0, kMaxNameBytes / 2 - 1);
        std::vector<char16_t> name;
        for (int i = 0; i < units; ++i) {
            const char16_t unit = GetU16(Bytes(at) + 2 * i);
            if (unit == 0) break;
            name.push_back(unit);
        }
        return QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size()));
    }
};

class Reader {
public:
    explicit Reader(const QByteArray& bytes);
    CompoundEntry Root();

private:
    Entry EntryAt(std::uint32_t id) const;
    std::vector<std::uint32_t> ChildrenOf(std::uint32_t storageId);
    void ReadStorage(std::uint32_t storageId, CompoundEntry& into, int depth);
    QByteArray StreamData(const Entry& entry, const QString& name);
    SectorSpace& MiniSectors();

    QByteArray bytes_;
    bool wideSizes_ = false;
    SectorSpace sectors_;
    AllocationTable fat_;
    QByteArray directory_;
    std::uint32_t entryCount_ = 0;
    std::vector<bool> reached_;
    std::uint32_t miniStreamCutoff_ = 0;
    std::uint32_t firstMiniFatSector_ = kEndOfChain;
    std::uint32_t miniFatSectorCount_ = 0;
    QByteArray miniStream_;
    AllocationTable miniFat_;
    std::optional<SectorSpace> miniSectors_;
};

Reader::Reader(const QByteArray& bytes) : bytes_(bytes)
{
    static constexpr char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    if (bytes_.size() < kHeaderSize || !bytes_.startsWith(QByteArrayView(kSignature, 8)))
        throw MalformedData("not a compound file (no signature)");
    const std::uint8_t* header = Bytes(bytes_.constData());

    const std::uint16_t sectorShift = GetU16(header + kSectorShiftAt);
    if (sectorShift != 9 && sectorShift != 12) Malformed("unsupported sector size (shift " + std::to_string(sectorShift) + ")");
    if (GetU16(header + kMiniSectorShiftAt) != kMiniSectorShift) Malformed("unsupported mini sector size");
    wideSizes_ = GetU16(header + kMajorVersionAt) >= 4;
    const qsizetype sectorSize = qsizetype(1) << sectorShift;

    // A last sector cut short (the program that writes these files leaves such files) reads as
    // if the missing bytes were zeros: they are unused space.
    if (const qsizetype rest = bytes_.size() % sectorSize; rest != 0) bytes_.append(sectorSize - rest, '\0');
    header = Bytes(bytes_.constData());
    const qsizetype sectorsAfterHeader = bytes_.size() / sectorSize - 1;
    if (sectorsAfterHeader <= 0 || sectorsAfterHeader >= qsizetype(kEndOfChain)) Malformed("the file holds no sectors");
    sectors_ = SectorSpace(bytes_.constData() + sectorSize, sectorSize, static_cast<std::uint32_t>(sectorsAfterHeader), "file");

    // The allocation table's own sectors: the first ones listed in the header, the rest in a
    // chain of list sectors. Each is a sector of the file, so their count is bounded by it.
    const std::uint32_t fatSectorCount = GetU32(header + kFatSectorCountAt);
    if (fatSectorCount == 0 || fatSectorCount > sectors_.Count())
        Malformed("the allocation table claims " + std::to_string(fatSectorCount) + " sectors");
    std::vector<std::uint32_t> fatSectors;
    fatSectors.reserve(fatSectorCount);
    for (int i = 0; i < kHeaderFatSectors && fatSectors.size() < fatSectorCount; ++i)
        fatSectors.push_back(GetU32(header + kHeaderFatListAt + 4 * i));
    std::uint32_t listSector = GetU32(header + kFirstFatListSectorAt);
    const std::uint32_t listSectorCount = GetU32(header + kFatListSectorCountAt);
    const qsizetype perListSector = sectorSize / 4 - 1;
    for (std::uint32_t n = 0; n < listSectorCount && fatSectors.size() < fatSectorCount; ++n) {
        const std::uint8_t* list = Bytes(sectors_.Take(listSector, "the allocation table's list"));
        for (qsizetype i = 0; i < perListSector && fatSectors.size() < fatSectorCount; ++i)
            fatSectors.push_back(GetU32(list + 4 * i));
        listSector = GetU32(list + 4 * perListSector);
    }
    if (fatSectors.size() < fatSectorCount) Malformed("the allocation table's sectors are not all listed");

    fat_.reserve(static_cast<std::size_t>(fatSectorCount) * static_cast<std::size_t>(sectorSize / 4));
    for (const std::uint32_t sector : fatSectors) {
        const std::uint8_t* at = Bytes(sectors_.Take(sector, "the allocation table"));
        for (qsizetype i = 0; i < sectorSize / 4; ++i) fat_.push_back(GetU32(at + 4 * i));
    }

    directory_ = ReadChain(sectors_, fat_, GetU32(header + kFirstDirectorySectorAt), std::nullopt, "the directory");
    entryCount_ = static_cast<std::uint32_t>(directory_.size() / kEntrySize);
    if (entryCount_ == 0) Malformed("the directory is empty");
    reached_.assign(entryCount_, false);

    miniStreamCutoff_ = GetU32(header + kMiniStreamCutoffAt);
    firstMiniFatSector_ = GetU32(header + kFirstMiniFatSectorAt);
    miniFatSectorCount_ = GetU32(header + kMiniFatSectorCountAt);
}

Entry Reader::EntryAt(std::uint32_t id) const
{
    if (id >= entryCount_) Malformed("directory entry " + std::to_string(id) + " lies past the directory's end");
    return Entry{directory_.constData() + static_cast<qsizetype>(id) * kEntrySize};
}

// A storage's children form a tree through their left and right links; walked in order, with a
// stack of our own, it lists them as the file orders them. An entry reached twice would make the
// walk a loop, or one entry two, so it is refused.
std::vector<std::uint32_t> Reader::ChildrenOf(std::uint32_t storageId)
{
    std::vector<std::uint32_t> children;
    std::vector<std::uint32_t> pending;
    std::uint32_t id = EntryAt(storageId).Child();
    while (id != kNoEntry || !pending.empty()) {
        while (id != kNoEntry) {
            const Entry entry = EntryAt(id);
            if (reached_[id]) Malformed("directory entry " + std::to_string(id) + " is reached twice");
            reached_[id] = true;
            pending.push_back(id);
            id = entry.Left();
        }
        id = pending.back();
        pending.pop_back();
        children.push_back(id);
        id = EntryAt(id).Right();
    }
    return children;
}

SectorSpace& Reader::MiniSectors()
{
    if (!miniSectors_) {
        const Entry root = EntryAt(0);
        const quint64 size = root.Size(wideSizes_);
        if (size > static_cast<quint64>(bytes_.size())) Malformed("the mini stream claims more bytes than the file holds");
        // Read to the end of its last mini sector: a size that stops inside one leaves the rest of
        // it unused, as a cut-short file's last sector is.
        const quint64 wholeMiniSectors = (size + kMiniSectorSize - 1) / kMiniSectorSize * kMiniSectorSize;
        miniStream_ = ReadChain(sectors_, fat_, root.StartSector(), wholeMiniSectors, "the mini stream");
        if (miniFatSectorCount_ != 0)
            miniFat_ = TableFrom(ReadChain(sectors_, fat_, firstMiniFatSector_, std::nullopt, "the mini allocation table"));
        miniSectors_.emplace(miniStream_.constData(), kMiniSectorSize,
                             static_cast<std::uint32_t>(miniStream_.size() / kMiniSectorSize), "mini stream");
    }
    return *miniSectors_;
}

QByteArray Reader::StreamData(const Entry& entry, const QString& name)
{
    const std::string what = "stream \"" + name.toStdString() + "\"";
    const quint64 size = entry.Size(wideSizes_);
    // A stream cannot hold more than the file; a larger size is a damaged directory, and must
    // not size an allocation.
    if (size > static_cast<quint64>(bytes_.size())) Malformed(what + " claims more bytes than the file holds");
    if (size >= miniStreamCutoff_) return ReadChain(sectors_, fat_, entry.StartSector(), size, what);
    SectorSpace& miniSectors = MiniSectors();
    return ReadChain(miniSectors, miniFat_, entry.StartSector(), size, what);
}

void Reader::ReadStorage(std::uint32_t storageId, CompoundEntry& into, int depth)
{
    if (depth > kMaxDepth) Malformed("storages nested too deeply");
    const std::vector<std::uint32_t> children = ChildrenOf(storageId);
    into.children.reserve(children.size());
    for (const std::uint32_t id : children) {
        const Entry entry = EntryAt(id);
        const int nameBytes = entry.NameLengthBytes();
        if (nameBytes < 4 || nameBytes > kMaxNameBytes || nameBytes % 2 != 0)
            Malformed("directory entry " + std::to_string(id) + " gives its name " + std::to_string(nameBytes) + " bytes");
        CompoundEntry child;
        child.name = entry.Name();
        if (entry.Type() == kStorageType) {
            child.isStorage = true;
            ReadStorage(id, child, depth + 1);
        } else if (entry.Type() == kStreamType) {
            if (entry.Child() != kNoEntry) Malformed("stream \"" + child.name.toStdString() + "\" has children");
            child.data = StreamData(entry, child.name);
        } else {
            Malformed("directory entry " + std::to_string(id) + " has no kind (type " + std::to_string(entry.Type()) + ")");
        }
        into.children.push_back(std::move(child));
    }
}

CompoundEntry Reader::Root()
{
    const Entry root = EntryAt(0);
    // Some writers mark the root as a plain storage; it is the root by its place.
    if (root.Type() != kRootType && root.Type() != kStorageType) Malformed("the first directory entry is not the root");
    reached_[0] = true;
    CompoundEntry entry;
    entry.isStorage = true;
    entry.name = QStringLiteral("Root Entry");
    ReadStorage(0, entry, 0);
    return entry;
}

}  // namespace

CompoundEntry ReadCompoundFile(const QByteArray& bytes)
{
    Reader reader(bytes);
    return reader.Root();
}
