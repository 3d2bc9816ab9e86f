#include "stores/sticky_notes/sticky_notes_file.h"

#include <QHash>
#include <array>

#include "common/byte_io.h"
#include "common/errors.h"
#include "common/item_id.h"

namespace {

const QString kMetafileName = QStringLiteral("Metafile");
const QString kVersionName = QStringLiteral("Version");
const QString kRtfStream = QStringLiteral("0");
const QString kStream1 = QStringLiteral("1");
const QString kPlainTextStream = QStringLiteral("3");

constexpr qsizetype kHeaderSize = 110;
constexpr qsizetype kEntrySize = 184;
constexpr qsizetype kCountOffset = 44;
constexpr qsizetype kMetadataOffset = 4;
constexpr qsizetype kMetadataSize = 96;
constexpr qsizetype kNextIdOffset = 100;
constexpr qsizetype kOwnIdOffset = 142;
constexpr int kIdUnits = 20;
constexpr qsizetype kPreviewUnits = 50;
constexpr std::uint32_t kEntryMark = 44;

// What the last entry carries in place of a next id: the bytes the program leaves there.
constexpr std::array<std::uint8_t, 42> kLastNextId = {
    0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x80, 0xF8, 0xFF, 0xFF, 0xB0, 0x3E, 0xBF, 0x04, 0xA0, 0xF8, 0xFF, 0xFF,
    0x00, 0x34, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x90, 0x19, 0x28, 0x06, 0x80, 0xFA};

QByteArray NewHeader()
{
    QByteArray header;
    ByteWriter w(header);
    w.U32(44);
    w.U32(0);
    w.U32(5);
    w.Zeros(16);
    w.U32(1000);
    w.U32(100);
    w.Zeros(8);
    w.I32(0);  // the count
    w.Zeros(50);
    w.U32(1);
    w.U32(1);
    w.U32(0);
    return header;
}

QByteArray NewStream1()
{
    QByteArray bytes;
    ByteWriter w(bytes);
    w.U32(0x00042011);
    w.U32(0);
    w.U16(0);
    return bytes;
}

QByteArray NewMetadata(const QDateTime& createdUtc)
{
    const QDateTime utc = createdUtc.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    QByteArray metadata;
    ByteWriter w(metadata);
    w.U32(0);            // entry offset 4
    w.U32(1);            // 8
    w.U32(0);            // 12
    w.U32(0);            // 16
    w.U32(0xFFFFFFFF);   // 20
    w.U32(0xFFFFFFFF);   // 24
    w.U32(100);          // 28: the window's place and size
    w.U32(100);          // 32
    w.U32(280);          // 36
    w.U32(265);          // 40
    w.U16(static_cast<std::uint16_t>(date.year()));  // 44: the creation time
    w.U16(static_cast<std::uint16_t>(date.month()));
    w.U16(static_cast<std::uint16_t>(date.dayOfWeek() % 7));
    w.U16(static_cast<std::uint16_t>(date.day()));
    w.U16(static_cast<std::uint16_t>(time.hour()));
    w.U16(static_cast<std::uint16_t>(time.minute()));
    w.U16(static_cast<std::uint16_t>(time.second()));
    w.U16(static_cast<std::uint16_t>(time.msec()));
    w.U32(1);            // 60
    w.U32(0x7762506A);   // 64
    w.U32(0);            // 68
    w.U32(0);            // 72
    w.U32(2);            // 76
    w.U32(0);            // 80
    w.U32(0);            // 84
    w.U32(1);            // 88
    w.U32(1);            // 92
    w.U32(0);            // 96
    return metadata;
}

QString Utf16Text(const QByteArray& bytes)
{
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    for (qsizetype i = 0; i < units; ++i) text[i] = QChar(GetU16(p + 2 * i));
    return text;
}

[[noreturn]] void Damaged(const QString& reason)
{
    throw MalformedData(reason.toStdString());
}

}  // namespace

QString StickyNoteItemId(const QString& nativeId)
{
    return PadItemId(nativeId.toUpper());
}

StickyNotesFile StickyNotesFile::Empty()
{
    StickyNotesFile file;
    file.header = NewHeader();
    return file;
}

QByteArray StickyNotesFile::RtfStream(const QByteArray& rtf)
{
    return rtf + '\0';
}

QString StickyNotesFile::PreviewStream(const QString& plainText)
{
    return plainText.left(kPreviewUnits) + QChar(0);
}

StickyNoteRecord StickyNotesFile::NewNote(const QString& nativeId, const QDateTime& createdUtc)
{
    StickyNoteRecord note;
    note.metadata = NewMetadata(createdUtc);
    note.id = StickyNoteItemId(nativeId);
    note.metafileId = nativeId;
    note.storageName = nativeId;
    note.stream1 = NewStream1();
    return note;
}

StickyNotesFile StickyNotesFile::Parse(const QByteArray& bytes)
{
    const CompoundEntry root = ReadCompoundFile(bytes);

    // One pass over the root's children serves every note's look-up, however many there are.
    QHash<QString, qsizetype> rootIndex;
    for (qsizetype i = 0; i < static_cast<qsizetype>(root.children.size()); ++i)
        rootIndex.insert(EntryNameKey(root.children[static_cast<std::size_t>(i)].name), i);
    std::vector<bool> known(root.children.size(), false);
    const auto find = [&](const QString& name) -> qsizetype { return rootIndex.value(EntryNameKey(name), -1); };

    const qsizetype metafileIndex = find(kMetafileName);
    if (metafileIndex < 0 || root.children[static_cast<std::size_t>(metafileIndex)].isStorage)
        Damaged(QStringLiteral("it has no \"Metafile\" stream"));
    known[static_cast<std::size_t>(metafileIndex)] = true;
    if (const qsizetype version = find(kVersionName); version >= 0) known[static_cast<std::size_t>(version)] = true;

    const QByteArray& metafile = root.children[static_cast<std::size_t>(metafileIndex)].data;
    if (metafile.size() < kHeaderSize)
        Damaged(QStringLiteral("its \"Metafile\" has %1 bytes, fewer than its header's 110").arg(metafile.size()));
    const auto* meta = reinterpret_cast<const std::uint8_t*>(metafile.constData());
    const std::int32_t count = static_cast<std::int32_t>(GetU32(meta + kCountOffset));
    const qsizetype entries = std::max<std::int32_t>(count, 0);
    if (entries > (metafile.size() - kHeaderSize) / kEntrySize)
        Damaged(QStringLiteral("its \"Metafile\" lists %1 notes but holds entries for %2")
                    .arg(entries)
                    .arg((metafile.size() - kHeaderSize) / kEntrySize));

    StickyNotesFile file;
    file.header = metafile.left(kHeaderSize);
    file.notes.reserve(static_cast<std::size_t>(entries));
    for (qsizetype i = 0; i < entries; ++i) {
        const qsizetype at = kHeaderSize + kEntrySize * i;
        StickyNoteRecord note;
        note.metadata = metafile.mid(at + kMetadataOffset, kMetadataSize);
        note.metafileId = utf16::FromBytesUpToZero(ByteView(meta + at + kOwnIdOffset, 2 * kIdUnits));
        note.id = StickyNoteItemId(note.metafileId);

        const qsizetype storageIndex = note.metafileId.isEmpty() ? -1 : find(note.metafileId);
        if (storageIndex < 0 || !root.children[static_cast<std::size_t>(storageIndex)].isStorage)
            Damaged(QStringLiteral("note %1 (\"%2\") has no storage").arg(i + 1).arg(note.metafileId));
        if (known[static_cast<std::size_t>(storageIndex)])
            Damaged(QStringLiteral("note \"%1\" is listed twice").arg(note.metafileId));
        known[static_cast<std::size_t>(storageIndex)] = true;
        const CompoundEntry& storage = root.children[static_cast<std::size_t>(storageIndex)];
        note.storageName = storage.name;

        const CompoundEntry* rtf = storage.Child(kRtfStream);
        const CompoundEntry* plain = storage.Child(kPlainTextStream);
        if (!rtf || rtf->isStorage) Damaged(QStringLiteral("note \"%1\" has no stream \"0\"").arg(note.metafileId));
        if (!plain || plain->isStorage) Damaged(QStringLiteral("note \"%1\" has no stream \"3\"").arg(note.metafileId));
        note.rtf = rtf->data;
        note.plainText = Utf16Text(plain->data);
        const CompoundEntry* stream1 = storage.Child(kStream1);
        note.stream1 = stream1 && !stream1->isStorage ? stream1->data : NewStream1();
        for (const CompoundEntry& child : storage.children)
            if (&child != rtf && &child != plain && &child != stream1) note.otherEntries.push_back(child);
        file.notes.push_back(std::move(note));
    }
    for (std::size_t i = 0; i < root.children.size(); ++i)
        if (!known[i]) file.otherRootEntries.push_back(root.children[i]);
    return file;
}

QByteArray StickyNotesFile::Serialize() const
{
    QByteArray metafile = header.size() == kHeaderSize ? header : NewHeader();
    PutU32(reinterpret_cast<std::uint8_t*>(metafile.data()) + kCountOffset, static_cast<std::uint32_t>(notes.size()));
    ByteWriter w(metafile);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const StickyNoteRecord& note = notes[i];
        w.U32(kEntryMark);
        w.Bytes(note.metadata.leftJustified(kMetadataSize, '\0', true));
        if (i + 1 < notes.size()) {
            w.Utf16Fixed(notes[i + 1].metafileId, kIdUnits + 1);
        } else {
            w.Bytes(ByteView(kLastNextId));
        }
        w.Utf16Fixed(note.metafileId, kIdUnits);
        w.U16(0);
    }

    CompoundEntry root = CompoundEntry::Storage(QStringLiteral("Root Entry"));
    root.children.reserve(notes.size() + otherRootEntries.size() + 2);
    QByteArray version;
    ByteWriter(version).U32(2);
    root.children.push_back(CompoundEntry::Stream(kVersionName, version));
    root.children.push_back(CompoundEntry::Stream(kMetafileName, metafile));
    for (const StickyNoteRecord& note : notes) {
        CompoundEntry storage = CompoundEntry::Storage(note.storageName);
        storage.children.reserve(3 + note.otherEntries.size());
        storage.children.push_back(CompoundEntry::Stream(kRtfStream, note.rtf));
        storage.children.push_back(CompoundEntry::Stream(kStream1, note.stream1));
        storage.children.push_back(CompoundEntry::Stream(kPlainTextStream, utf16::Bytes(note.plainText)));
        storage.children.insert(storage.children.end(), note.otherEntries.begin(), note.otherEntries.end());
        root.children.push_back(std::move(storage));
    }
    root.children.insert(root.children.end(), otherRootEntries.begin(), otherRootEntries.end());
    return WriteCompoundFile(root);
}
