#include "stores/sticky_notes/win7_sticky_notes.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "common/byte_io.h"
#include "common/crc32.h"
#include "common/errors.h"
#include "support/file_size_limit.h"
#include "support/permissions_bind_root.h"
#include "support/temp_home.h"

namespace {

const QString kFile = QStringLiteral(".local/share/Microsoft/Sticky Notes/StickyNotes.snt");
const QString kFirst = QStringLiteral("5C4DC702-D1E1-11E4-B") + QString(28, u'0');
const QString kSecond = QStringLiteral("BA93928B-D0B5-11E4-B") + QString(28, u'0');

QByteArray RealFile()
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/sticky-notes/StickyNotes.snt"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

ItemRecord Body(const QString& rtf)
{
    ItemRecord record;
    record.Add(CWin7_StikyNotes::kBodyField, rtf);
    return record;
}

QString BodyOf(CWin7_StikyNotes& store, const QString& id)
{
    ItemRecord record;
    store.Get(id, record);
    EXPECT_EQ(record.FieldCount(), 1);
    return record.Empty() ? QString() : std::get<QString>(record.values[0]);
}

QStringList Ids(CWin7_StikyNotes& store)
{
    QStringList ids;
    store.GetIDs(ids);
    return ids;
}

QByteArray MetafileOf(const QByteArray& bytes)
{
    return ReadCompoundFile(bytes).Child(QStringLiteral("Metafile"))->data;
}

// The 20-unit id at an offset of the "Metafile".
QString IdAt(const QByteArray& metafile, qsizetype offset)
{
    return utf16::FromBytesUpToZero(AsBytes(metafile.mid(offset, 40)));
}

// A stream read straight through libgsf, names compared exactly as the library does.
std::optional<QByteArray> GsfStream(const QByteArray& file, const char* storage, const char* stream)
{
    GsfInput* input = gsf_input_memory_new(reinterpret_cast<const guint8*>(file.constData()), file.size(), FALSE);
    GsfInfile* root = gsf_infile_msole_new(input, nullptr);
    std::optional<QByteArray> result;
    if (root) {
        GsfInput* dir = gsf_infile_child_by_name(root, storage);
        GsfInput* data = dir ? gsf_infile_child_by_name(GSF_INFILE(dir), stream) : nullptr;
        if (data) {
            QByteArray bytes(static_cast<qsizetype>(gsf_input_size(data)), '\0');
            if (bytes.isEmpty() || gsf_input_read(data, bytes.size(), reinterpret_cast<guint8*>(bytes.data())))
                result = bytes;
            g_object_unref(data);
        }
        if (dir) g_object_unref(dir);
        g_object_unref(root);
    }
    g_object_unref(input);
    return result;
}

class Win7StickyNotesTest : public ::testing::Test {
protected:
    QString Path() const { return home.Path(kFile); }
    void Plant(const QByteArray& bytes) const { home.WriteFile(kFile, bytes); }
    QByteArray OnDisk() const { return home.ReadFile(kFile).value_or(QByteArray()); }
    CWin7_StikyNotes& Opened()
    {
        store = std::make_unique<CWin7_StikyNotes>([this](const QString& line) { log.append(line); });
        store->Open();
        return *store;
    }

    TempHome home;
    QStringList log;
    std::unique_ptr<CWin7_StikyNotes> store;
};

TEST_F(Win7StickyNotesTest, ServesTheNotesOfTheRealFile)
{
    Plant(RealFile());
    CWin7_StikyNotes& notes = Opened();
    EXPECT_EQ(Ids(notes), (QStringList{kFirst, kSecond}));

    const StickyNotesFile file = StickyNotesFile::Parse(RealFile());
    for (int i = 0; i < 2; ++i) {
        const QByteArray rtf = file.notes[static_cast<std::size_t>(i)].rtf;
        EXPECT_EQ(BodyOf(notes, file.notes[static_cast<std::size_t>(i)].id), QString::fromLatin1(rtf.left(rtf.size() - 1)));
        EXPECT_EQ(notes.IDtoCRC32(file.notes[static_cast<std::size_t>(i)].id), Crc32(rtf));
    }
    EXPECT_TRUE(BodyOf(notes, kFirst).endsWith(QStringLiteral("}\r\n")));

    // Identifiers no note has: reading or editing one fails, deleting one has nothing to do.
    const QString unknown = QStringLiteral("5C4DC702-D1E1-11E4-C") + QString(28, u'0');
    ItemRecord record;
    EXPECT_THROW(notes.Get(unknown, record), AgentError);
    ItemRecord edit = Body(QStringLiteral("x"));
    EXPECT_THROW(notes.Edit(edit, unknown), AgentError);
    EXPECT_THROW(notes.Get(kFirst.toLower(), record), AgentError);
    EXPECT_EQ(notes.IDtoCRC32(unknown), 0u);
    notes.Delete(unknown);
    EXPECT_EQ(Ids(notes).size(), 2);
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(Win7StickyNotesTest, CloseAfterOneEditRewritesOnlyWhatChanged)
{
    const QByteArray original = RealFile();
    Plant(original);
    CWin7_StikyNotes& notes = Opened();
    ItemRecord edit = Body(QStringLiteral("{\\rtf1\\ansi Caf\u00e9\\par}"));
    notes.Edit(edit, kSecond);
    // Kept as the program keeps it: UTF-8 here, ended by a NUL.
    const QByteArray stored = QByteArray("{\\rtf1\\ansi Caf\xc3\xa9\\par}") + '\0';
    EXPECT_EQ(notes.IDtoCRC32(kSecond), Crc32(stored));
    EXPECT_EQ(OnDisk(), original);  // nothing is written before Close
    notes.Close();

    const QByteArray written = OnDisk();
    ASSERT_NE(written, original);
    // Straight through libgsf: the storages keep their lower-case names.
    EXPECT_EQ(GsfStream(written, "ba93928b-d0b5-11e4-b", "0"), stored);
    for (const char* stream : {"0", "1", "3"})
        EXPECT_EQ(GsfStream(written, "5c4dc702-d1e1-11e4-b", stream), GsfStream(original, "5c4dc702-d1e1-11e4-b", stream))
            << stream;
    EXPECT_EQ(GsfStream(written, "ba93928b-d0b5-11e4-b", "3"), GsfStream(original, "ba93928b-d0b5-11e4-b", "3"));

    const QByteArray metafile = MetafileOf(written);
    const QByteArray oldMetafile = MetafileOf(original);
    EXPECT_EQ(metafile.size(), oldMetafile.size());
    EXPECT_EQ(metafile.left(110), oldMetafile.left(110));  // the count is still 2
    EXPECT_EQ(IdAt(metafile, 110 + 142), QStringLiteral("5c4dc702-d1e1-11e4-b"));
    EXPECT_EQ(IdAt(metafile, 110 + 100), QStringLiteral("ba93928b-d0b5-11e4-b"));
    EXPECT_EQ(IdAt(metafile, 294 + 142), QStringLiteral("ba93928b-d0b5-11e4-b"));
    EXPECT_EQ(metafile.mid(294 + 100, 4), QByteArray(4, '\0'));  // the fixed bytes after the last note
    EXPECT_EQ(metafile.mid(114, 96), oldMetafile.mid(114, 96));
    EXPECT_EQ(metafile.mid(298, 96), oldMetafile.mid(298, 96));

    // Through the store's own reader.
    CWin7_StikyNotes& again = Opened();
    EXPECT_EQ(Ids(again), (QStringList{kFirst, kSecond}));
    EXPECT_EQ(BodyOf(again, kSecond), QStringLiteral("{\\rtf1\\ansi Caf\u00e9\\par}"));
    EXPECT_EQ(again.IDtoCRC32(kFirst), Crc32(StickyNotesFile::Parse(original).notes[0].rtf));
}

TEST_F(Win7StickyNotesTest, WithoutAFileTheFirstNoteCreatesIt)
{
    CWin7_StikyNotes& notes = Opened();
    EXPECT_TRUE(Ids(notes).isEmpty());
    notes.Close();
    EXPECT_FALSE(QFileInfo::exists(Path()));  // nothing changed, nothing written
    EXPECT_TRUE(log.isEmpty());

    Opened();
    ItemRecord record = Body(QStringLiteral("{\\rtf1 first}"));
    record.Add(CWin7_StikyNotes::kPlainTextField, QStringLiteral("first"));
    QString id;
    store->Add(record, id);
    ASSERT_EQ(id.size(), 48);
    EXPECT_TRUE(id.endsWith(QString(28, u'0')));
    EXPECT_EQ(id, id.toUpper());
    EXPECT_EQ(id.left(20).count(u'-'), 3);
    EXPECT_EQ(BodyOf(*store, id), QStringLiteral("{\\rtf1 first}"));
    store->Close();

    const QByteArray written = OnDisk();
    const QByteArray metafile = MetafileOf(written);
    ASSERT_EQ(metafile.size(), 110 + 184);
    EXPECT_EQ(GetU32(reinterpret_cast<const std::uint8_t*>(metafile.constData()) + 28), 1000u);
    EXPECT_EQ(metafile.mid(110 + 100, 42).toHex(),
              "0000000040000000000000000000000080f8ffffb03ebf04a0f8ffff00340000000000009019280680fa");
    EXPECT_EQ(IdAt(metafile, 110 + 142), id.left(20));
    EXPECT_EQ(GsfStream(written, id.left(20).toUtf8().constData(), "0"), (QByteArray("{\\rtf1 first}") + '\0'));
    EXPECT_EQ(GsfStream(written, id.left(20).toUtf8().constData(), "3"), QByteArray("f\0i\0r\0s\0t\0\0\0", 12));
    EXPECT_EQ(QFileInfo(Path()).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
}

TEST_F(Win7StickyNotesTest, DeletingTheMiddleNoteRelinksTheChain)
{
    CWin7_StikyNotes& notes = Opened();
    QStringList ids;
    for (int i = 0; i < 3; ++i) {
        ItemRecord record = Body(QStringLiteral("{\\rtf1 note %1}").arg(i));
        QString id;
        notes.Add(record, id);
        ids.append(id);
    }
    notes.Delete(ids[1]);
    EXPECT_EQ(Ids(notes), (QStringList{ids[0], ids[2]}));
    notes.Close();

    const QByteArray metafile = MetafileOf(OnDisk());
    ASSERT_EQ(metafile.size(), 110 + 2 * 184);
    EXPECT_EQ(IdAt(metafile, 110 + 100), ids[2].left(20));
    EXPECT_EQ(IdAt(metafile, 294 + 142), ids[2].left(20));
    EXPECT_EQ(Ids(Opened()), (QStringList{ids[0], ids[2]}));
}

// Every look-up by identifier must reach the note that carries it after notes before it went,
// and none after a delete-all or once a reload replaced the notes.
TEST_F(Win7StickyNotesTest, EachIdentifierReachesItsOwnNoteThroughDeletesAndReloads)
{
    Plant(RealFile());
    CWin7_StikyNotes& notes = Opened();
    QStringList ids{kFirst, kSecond};
    for (int i = 2; i < 6; ++i) {
        ItemRecord record = Body(QStringLiteral("{\\rtf1 note %1}").arg(i));
        QString id;
        notes.Add(record, id);
        ids.append(id);
    }
    const QString realSecond = BodyOf(notes, kSecond);
    notes.Delete(kFirst);
    notes.Delete(ids[3]);
    ItemRecord edit = Body(QStringLiteral("{\\rtf1 edited}"));
    notes.Edit(edit, ids[4]);
    EXPECT_EQ(Ids(notes), (QStringList{kSecond, ids[2], ids[4], ids[5]}));
    EXPECT_EQ(BodyOf(notes, kSecond), realSecond);
    EXPECT_EQ(BodyOf(notes, ids[2]), QStringLiteral("{\\rtf1 note 2}"));
    EXPECT_EQ(BodyOf(notes, ids[4]), QStringLiteral("{\\rtf1 edited}"));
    EXPECT_EQ(BodyOf(notes, ids[5]), QStringLiteral("{\\rtf1 note 5}"));
    EXPECT_EQ(notes.IDtoCRC32(ids[5]), Crc32(QByteArray("{\\rtf1 note 5}") + '\0'));
    ItemRecord record;
    for (const QString& gone : {kFirst, ids[3]}) {
        EXPECT_THROW(notes.Get(gone, record), AgentError);
        EXPECT_EQ(notes.IDtoCRC32(gone), 0u);
    }

    // A reload serves what the file holds, not what the session held.
    notes.Open();
    EXPECT_FALSE(BodyOf(notes, kFirst).isEmpty());
    EXPECT_EQ(Ids(notes), (QStringList{kFirst, kSecond}));
    EXPECT_THROW(notes.Get(ids[2], record), AgentError);

    notes.DeleteAll();
    EXPECT_THROW(notes.Get(kSecond, record), AgentError);
    QString again;
    ItemRecord fresh = Body(QStringLiteral("{\\rtf1 again}"));
    notes.Add(fresh, again);
    EXPECT_EQ(BodyOf(notes, again), QStringLiteral("{\\rtf1 again}"));
    EXPECT_EQ(Ids(notes), QStringList{again});
}

TEST_F(Win7StickyNotesTest, ChecksumFollowsTheWholeRtfAndOnlyIt)
{
    CWin7_StikyNotes& notes = Opened();
    // Two long notes that differ only after 64 KiB.
    const QString common = QStringLiteral("{\\rtf1 ") + QString(70000, u'a');
    ItemRecord first = Body(common + QStringLiteral("b}"));
    ItemRecord second = Body(common + QStringLiteral("c}"));
    QString a, b;
    notes.Add(first, a);
    notes.Add(second, b);
    EXPECT_NE(notes.IDtoCRC32(a), notes.IDtoCRC32(b));
    EXPECT_EQ(notes.IDtoCRC32(a), Crc32((common + QStringLiteral("b}")).toUtf8() + '\0'));

    const std::uint32_t before = notes.IDtoCRC32(a);
    ItemRecord plainOnly;
    const QString plain = QString(49, u'p') + QStringLiteral("\r\nrest");
    plainOnly.Add(CWin7_StikyNotes::kPlainTextField, plain);
    notes.Edit(plainOnly, a);
    EXPECT_EQ(notes.IDtoCRC32(a), before);
    notes.Close();
    // The program's preview: the first 50 units (here cut between CR and LF) and a zero unit.
    EXPECT_EQ(StickyNotesFile::Parse(OnDisk()).notes[0].plainText, plain.left(50) + QChar(0));
}

TEST_F(Win7StickyNotesTest, ASessionWithoutChangesLeavesTheFileAlone)
{
    Plant(RealFile());
    const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-3);
    {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    CWin7_StikyNotes& notes = Opened();
    ItemRecord record;
    notes.Get(kFirst, record);
    notes.IDtoCRC32(kSecond);
    notes.Delete(QString(48, u'0'));
    notes.Close();
    EXPECT_EQ(OnDisk(), RealFile());
    EXPECT_EQ(QFileInfo(Path()).lastModified().toUTC().toSecsSinceEpoch(), old.toSecsSinceEpoch());
}

TEST_F(Win7StickyNotesTest, DamagedFilesServeNothingAndAreNeverWritten)
{
    const auto withRoot = [&](const std::function<void(CompoundEntry&)>& change) {
        CompoundEntry root = ReadCompoundFile(RealFile());
        change(root);
        return WriteCompoundFile(root);
    };
    const auto drop = [](CompoundEntry& parent, const QString& name) {
        std::erase_if(parent.children, [&](const CompoundEntry& e) { return SameEntryName(e.name, name); });
    };
    struct Case {
        const char* what;
        std::function<void()> plant;
        const char* reason;
    } cases[] = {
        {"a folder", [&] { QDir().mkpath(Path()); }, "not a regular file"},
        {"not a compound file", [&] { Plant("{\\rtf1 not a compound file}"); }, "not a compound file"},
        {"no Metafile", [&] { Plant(withRoot([&](CompoundEntry& r) { drop(r, QStringLiteral("Metafile")); })); }, "Metafile"},
        {"count beyond the stream",
         [&] {
             Plant(withRoot([&](CompoundEntry& r) {
                 auto& metafile = const_cast<CompoundEntry*>(r.Child(QStringLiteral("Metafile")))->data;
                 PutU32(reinterpret_cast<std::uint8_t*>(metafile.data()) + 44, 5);
             }));
         },
         "lists 5 notes"},
        {"a note without stream 3",
         [&] {
             Plant(withRoot([&](CompoundEntry& r) {
                 drop(const_cast<CompoundEntry&>(*r.Child(QStringLiteral("ba93928b-d0b5-11e4-b"))), QStringLiteral("3"));
             }));
         },
         "no stream \"3\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Path()).removeRecursively();
        QFile::remove(Path());
        log.clear();
        c.plant();
        const QByteArray before = OnDisk();

        CWin7_StikyNotes& notes = Opened();
        ASSERT_EQ(log.size(), 1);
        EXPECT_TRUE(log[0].contains(Path())) << log[0].toStdString();
        EXPECT_TRUE(log[0].contains(QString::fromUtf8(c.reason))) << log[0].toStdString();

        QStringList ids;
        ItemRecord record = Body(QStringLiteral("{\\rtf1 x}"));
        QString id;
        ItemRecord got;
        try {
            notes.GetIDs(ids);
            ADD_FAILURE() << "GetIDs answered";
        } catch (const AgentError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_THROW(notes.Add(record, id), AgentError);
        EXPECT_THROW(notes.Edit(record, kFirst), AgentError);
        EXPECT_THROW(notes.Get(kFirst, got), AgentError);
        EXPECT_THROW(notes.IDtoCRC32(kFirst), AgentError);
        EXPECT_THROW(notes.Delete(kFirst), AgentError);
        EXPECT_THROW(notes.DeleteAll(), AgentError);
        EXPECT_NO_THROW(notes.Close());
        EXPECT_EQ(OnDisk(), before);
    }
    QDir(Path()).removeRecursively();
    // A file cut after its last used byte is not damaged.
    QByteArray cut = RealFile();
    while (cut.endsWith('\0')) cut.chop(1);
    Plant(cut);
    log.clear();
    EXPECT_EQ(Ids(Opened()), (QStringList{kFirst, kSecond}));
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(Win7StickyNotesTest, AFailedWriteLeavesTheOldFileAndIsReported)
{
    const QString folder = QFileInfo(Path()).absolutePath();
    const auto editThenFailToClose = [&](const std::function<void()>& whileClosing) {
        Plant(RealFile());
        CWin7_StikyNotes& notes = Opened();
        ItemRecord edit = Body(QStringLiteral("{\\rtf1 lost}"));
        notes.Edit(edit, kFirst);
        whileClosing();
        EXPECT_EQ(OnDisk(), RealFile());
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("StickyNotes.snt")});
    };
    editThenFailToClose([&] {
        FileSizeLimit limit(4096);  // the new file is larger
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(store->Close(), AgentError);
    });
    editThenFailToClose([&] {
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        PermissionsBindRoot bound;  // root too meets the folder's permissions
        EXPECT_THROW(store->Close(), AgentError);
        ::chmod(QFile::encodeName(folder).constData(), 0755);
    });
}

}  // namespace
