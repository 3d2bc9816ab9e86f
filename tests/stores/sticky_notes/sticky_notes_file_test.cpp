#include "stores/sticky_notes/sticky_notes_file.h"

#include <gtest/gtest.h>

#include "common/byte_io.h"
#include "common/errors.h"
#include "stores/sticky_notes/compound_file.h"
#include "support/golden_files.h"
#include "support/real_sticky_notes_file.h"

namespace {

TEST(StickyNotesFileTest, ReadsTheRealFile)
{
    for (const QByteArray& bytes : {RealStickyNotesFile(), CutAfterLastNonZeroByte(RealStickyNotesFile())}) {
        const StickyNotesFile file = StickyNotesFile::Parse(bytes);
        ASSERT_EQ(file.notes.size(), 2u);
        EXPECT_EQ(file.notes[0].id, QStringLiteral("5C4DC702-D1E1-11E4-B") + QString(28, u'0'));
        EXPECT_EQ(file.notes[1].id, QStringLiteral("BA93928B-D0B5-11E4-B") + QString(28, u'0'));
        EXPECT_EQ(file.notes[0].metafileId, QStringLiteral("5c4dc702-d1e1-11e4-b"));
        EXPECT_EQ(file.notes[1].storageName, QStringLiteral("ba93928b-d0b5-11e4-b"));
        EXPECT_EQ(file.notes[0].rtf.size(), 655);
        EXPECT_TRUE(file.notes[0].rtf.startsWith("{\\rtf1"));
        EXPECT_TRUE(file.notes[0].rtf.endsWith(QByteArray("}\r\n\0", 4)));
        EXPECT_EQ(file.notes[1].rtf.size(), 634);
        EXPECT_EQ(file.notes[0].plainText,
                  QStringLiteral("Augemented Reality\r\nvirtual reality\r\n  & \r\nandroid") + QChar(0));
        EXPECT_EQ(file.notes[0].metadata.size(), 96);
        EXPECT_EQ(GetU32(reinterpret_cast<const std::uint8_t*>(file.header.constData()) + 28), 1086u);
        EXPECT_TRUE(file.otherRootEntries.empty());
        EXPECT_TRUE(file.notes[0].otherEntries.empty());
    }
}

TEST(StickyNotesFileTest, RewriteKeepsWhatTheProgramWroteAndRebuildsTheChain)
{
    const QByteArray original = RealStickyNotesFile();
    StickyNotesFile file = StickyNotesFile::Parse(original);
    file.notes[1].rtf = "{\\rtf1 changed}";
    file.notes[1].otherEntries.push_back(CompoundEntry::Stream(QStringLiteral("7"), "extra"));
    file.otherRootEntries.push_back(CompoundEntry::Storage(
        QStringLiteral("orphan-note"), {CompoundEntry::Stream(QStringLiteral("0"), "kept")}));
    file.notes.push_back(StickyNotesFile::NewNote(QStringLiteral("ABCDEF01-2345-6789-A"),
                                                  QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15, 16), Qt::UTC)));

    const QByteArray written = file.Serialize();
    const CompoundEntry root = ReadCompoundFile(written);
    const QByteArray metafile = ChildOrFail(root, QStringLiteral("Metafile")).data;
    const QByteArray oldMetafile = ChildOrFail(ReadCompoundFile(original), QStringLiteral("Metafile")).data;
    ASSERT_EQ(metafile.size(), 110 + 3 * 184);
    const auto* m = reinterpret_cast<const std::uint8_t*>(metafile.constData());
    // Header: only the count changed.
    EXPECT_EQ(GetU32(m + 44), 3u);
    EXPECT_EQ(metafile.left(44), oldMetafile.left(44));
    EXPECT_EQ(metafile.mid(48, 62), oldMetafile.mid(48, 62));
    // Entries: their own ids as spelled, each next id the following entry's id.
    const auto idAt = [&](qsizetype offset) { return utf16::FromBytesUpToZero(AsBytes(metafile.mid(offset, 40))); };
    EXPECT_EQ(idAt(110 + 142), QStringLiteral("5c4dc702-d1e1-11e4-b"));
    EXPECT_EQ(idAt(110 + 100), QStringLiteral("ba93928b-d0b5-11e4-b"));
    EXPECT_EQ(idAt(294 + 100), QStringLiteral("ABCDEF01-2345-6789-A"));
    EXPECT_EQ(GetU16(m + 294 + 140), 0u);  // the next id's closing zero unit
    EXPECT_EQ(metafile.mid(110 + 4, 96), oldMetafile.mid(110 + 4, 96));
    EXPECT_EQ(metafile.mid(478 + 100, 42).toHex(),
              "00000000400000000000000000000000" "80f8ffffb03ebf04a0f8ffff0034000000000000" "90192806" "80fa");
    // A new note's metadata: its creation time in UTC at entry offset 44.
    EXPECT_EQ(GetU16(m + 478 + 44), 2024u);
    EXPECT_EQ(GetU16(m + 478 + 46), 2u);
    EXPECT_EQ(GetU16(m + 478 + 48), 4u);  // Thursday
    EXPECT_EQ(GetU16(m + 478 + 56), 15u);
    EXPECT_EQ(GetU32(m + 478 + 64), 0x7762506Au);

    const StickyNotesFile back = StickyNotesFile::Parse(written);
    ASSERT_EQ(back.notes.size(), 3u);
    EXPECT_EQ(back.notes[0].rtf, file.notes[0].rtf);
    EXPECT_EQ(back.notes[0].plainText, file.notes[0].plainText);
    EXPECT_EQ(back.notes[1].rtf, "{\\rtf1 changed}");
    EXPECT_EQ(back.notes[1].storageName, QStringLiteral("ba93928b-d0b5-11e4-b"));
    ASSERT_EQ(back.notes[1].otherEntries.size(), 1u);
    EXPECT_EQ(back.notes[1].otherEntries[0].data, "extra");
    EXPECT_EQ(back.notes[2].stream1, QByteArray("\x11\x20\x04\0\0\0\0\0\0\0", 10));
    ASSERT_EQ(back.otherRootEntries.size(), 1u);
    EXPECT_EQ(back.otherRootEntries[0].name, QStringLiteral("orphan-note"));
    EXPECT_EQ(ChildOrFail(root, QStringLiteral("Version")).data, QByteArray("\x02\0\0\0", 4));
}

// What a file holds, as text: the golden form of the real files.
QByteArray Dump(const StickyNotesFile& file)
{
    QByteArray out;
    const auto entries = [&](const std::vector<CompoundEntry>& list, const QByteArray& indent, auto&& self) -> void {
        for (const CompoundEntry& e : list) {
            out += indent + (e.isStorage ? "storage " : "stream ") + e.name.toUtf8();
            if (!e.isStorage) out += " " + e.data.toHex();
            out += "\n";
            self(e.children, indent + "  ", self);
        }
    };
    out += "header " + file.header.toHex() + "\n";
    for (const StickyNoteRecord& note : file.notes) {
        out += "note " + note.id.toUtf8() + "\n";
        out += "  metafile id " + note.metafileId.toUtf8() + "\n";
        out += "  storage " + note.storageName.toUtf8() + "\n";
        out += "  metadata " + note.metadata.toHex() + "\n";
        out += "  rtf (" + QByteArray::number(note.rtf.size()) + " bytes)\n" + note.rtf.toPercentEncoding(" {}\\;") + "\n";
        out += "  plain text (" + QByteArray::number(note.plainText.size()) + " units) " +
               note.plainText.toUtf8().toPercentEncoding(" ") + "\n";
        out += "  stream 1 " + note.stream1.toHex() + "\n";
        entries(note.otherEntries, "  ", entries);
    }
    entries(file.otherRootEntries, "", entries);
    return out;
}

// Each real file reads as its expected dump, and reads the same after the agent rewrote it.
class StickyNotesGolden : public ::testing::TestWithParam<GoldenCase> {};
TEST_P(StickyNotesGolden, ReadsAsExpectedAndTheSameAfterARewrite)
{
    const StickyNotesFile file = StickyNotesFile::Parse(GetParam().Input());
    ExpectGolden(GetParam(), Dump(file));
    EXPECT_EQ(Dump(StickyNotesFile::Parse(file.Serialize())), Dump(file));
}
INSTANTIATE_TEST_SUITE_P(Files, StickyNotesGolden, ::testing::ValuesIn(GoldenCases("sticky-notes", ".snt")),
                         GoldenCaseName);

// Damaged files: the reason names what is wrong.
TEST(StickyNotesFileTest, DamagedFilesAreRefusedWithTheirReason)
{
    const StickyNotesFile real = StickyNotesFile::Parse(RealStickyNotesFile());
    const auto withRoot = [&](const std::function<void(CompoundEntry&)>& change) {
        CompoundEntry root = ReadCompoundFile(real.Serialize());
        change(root);
        return WriteCompoundFile(root);
    };
    const auto removeChild = [](CompoundEntry& parent, const QString& name) {
        std::erase_if(parent.children, [&](const CompoundEntry& e) { return SameEntryName(e.name, name); });
    };
    const auto metafileOf = [](CompoundEntry& root) -> QByteArray& {
        return const_cast<CompoundEntry*>(root.Child(QStringLiteral("Metafile")))->data;
    };
    struct Case {
        const char* what;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"not a compound file", QByteArray("{\\rtf1 plain text}"), "not a compound file"},
        {"no Metafile", withRoot([&](CompoundEntry& r) { removeChild(r, QStringLiteral("Metafile")); }), "Metafile"},
        {"short Metafile", withRoot([&](CompoundEntry& r) { metafileOf(r).truncate(60); }), "fewer than"},
        {"count beyond the stream", withRoot([&](CompoundEntry& r) { PutU32(reinterpret_cast<std::uint8_t*>(metafileOf(r).data()) + 44, 3); }), "lists 3 notes"},
        {"huge count", withRoot([&](CompoundEntry& r) { PutU32(reinterpret_cast<std::uint8_t*>(metafileOf(r).data()) + 44, 0x7FFFFFFF); }), "lists 2147483647"},
        {"no storage", withRoot([&](CompoundEntry& r) { removeChild(r, QStringLiteral("ba93928b-d0b5-11e4-b")); }), "has no storage"},
        {"no stream 3", withRoot([&](CompoundEntry& r) {
             removeChild(const_cast<CompoundEntry&>(*r.Child(QStringLiteral("5c4dc702-d1e1-11e4-b"))), QStringLiteral("3"));
         }), "no stream \"3\""},
        {"no stream 0", withRoot([&](CompoundEntry& r) {
             removeChild(const_cast<CompoundEntry&>(*r.Child(QStringLiteral("ba93928b-d0b5-11e4-b"))), QStringLiteral("0"));
         }), "no stream \"0\""},
    };
    for (const Case& c : cases) {
        try {
            StickyNotesFile::Parse(c.bytes);
            ADD_FAILURE() << c.what << ": read without complaint";
        } catch (const MalformedData& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << c.what << ": " << e.what();
        }
    }
    // A count of 0 or below lists no note, and a note without stream "1" gets the program's.
    const StickyNotesFile none = StickyNotesFile::Parse(
        withRoot([&](CompoundEntry& r) { PutU32(reinterpret_cast<std::uint8_t*>(metafileOf(r).data()) + 44, 0xFFFFFFFF); }));
    EXPECT_TRUE(none.notes.empty());
    const StickyNotesFile noStream1 = StickyNotesFile::Parse(withRoot([&](CompoundEntry& r) {
        removeChild(const_cast<CompoundEntry&>(*r.Child(QStringLiteral("ba93928b-d0b5-11e4-b"))), QStringLiteral("1"));
    }));
    EXPECT_EQ(noStream1.notes[1].stream1, QByteArray("\x11\x20\x04\0\0\0\0\0\0\0", 10));
}

}  // namespace
