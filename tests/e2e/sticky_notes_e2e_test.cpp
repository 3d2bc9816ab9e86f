// The Sticky Notes source (notes source 0x10000, detected on Windows 7) against the built agent
// over loopback: a synchronisation that reads, adds, edits and deletes notes in the file the
// program wrote, a synchronisation without changes, a client that leaves without ending its
// synchronisation, damaged and refused files, a file that goes missing or is rewritten behind the
// agent's back, and changes that could not be written.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <utility>

#include "agent_process.h"
#include "common/byte_io.h"
#include "dispatch/item_record_codec.h"
#include "dispatch/request_codes.h"
#include "stores/base/source_flags.h"
#include "stores/sticky_notes/sticky_notes_file.h"
#include "support/file_size_limit.h"
#include "support/real_sticky_notes_file.h"
#include "test_peer.h"
#include "wire/message_header.h"

namespace {

const QString kFile = QStringLiteral(".local/share/Microsoft/Sticky Notes/StickyNotes.snt");
const QString kFirst = QStringLiteral("5C4DC702-D1E1-11E4-B") + QString(28, u'0');
const QString kSecond = QStringLiteral("BA93928B-D0B5-11E4-B") + QString(28, u'0');
const QString kBody = QStringLiteral("Win7Notes_Body");

struct ChangeLists {
    QStringList added, edited, deleted;
};

ChangeLists ReadChanges(const QByteArray& payload)
{
    ByteReader r(payload);
    ChangeLists lists;
    for (QStringList* list : {&lists.added, &lists.edited, &lists.deleted}) {
        const int count = r.U16();
        for (int i = 0; i < count; ++i) list->append(r.Utf16(96));
    }
    return lists;
}

QByteArray NoteBlob(const QString& id, const QString& rtf)
{
    ItemRecord record;
    record.Add(kBody, rtf);
    record.Add(QStringLiteral("UNICODE"), QStringLiteral("plain"));
    return EncodeItemRecord(id, record);
}

class StickyNotesE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        agent.WriteFile(kFile, RealStickyNotesFile());
        ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
        ASSERT_TRUE(Connect());
    }
    bool Connect()
    {
        peer = std::make_unique<TestPeer>();
        return peer->Connect(agent.Port()) &&
               peer->Request(AS_MACHINE_ID, tag++, utf16::Bytes(QStringLiteral("MAC-E2E")))->code == AS_MACHINE_ID + 1;
    }
    std::uint16_t Code(std::uint16_t code, const QByteArray& payload = {})
    {
        const auto reply = peer->Request(code, tag++, payload);
        return reply ? reply->code : 0;
    }
    ChangeLists Check()
    {
        const auto reply = peer->Request(AS_CHECK_NOTES, tag++, utf16::Bytes(QStringLiteral("E2E")));
        EXPECT_TRUE(reply && reply->code == AS_CHECK_NOTES + 1);
        return reply ? ReadChanges(reply->payload) : ChangeLists{};
    }
    StickyNotesFile OnDisk() const { return StickyNotesFile::Parse(agent.ReadFile(kFile)); }
    QString AddNote(const QString& rtf)
    {
        const auto added = peer->Request(AS_ADD_NOTE, tag++, NoteBlob(QString(48, u'0'), rtf).mid(96));
        EXPECT_TRUE(added && added->code == AS_ADD_NOTE + 1);
        return added ? ByteReader(added->payload).Utf16(96) : QString();
    }
    QString Folder() const { return QFileInfo(agent.Path(kFile)).absolutePath(); }

    AgentProcess agent;
    std::unique_ptr<TestPeer> peer;
    std::uint16_t tag = 1;
};

TEST_F(StickyNotesE2e, ASynchronisationReadsAndChangesTheProgramsFile)
{
    const auto sources = peer->Request(AS_GET_SOURCES, tag++);
    ASSERT_TRUE(sources);
    EXPECT_TRUE(GetU32(reinterpret_cast<const std::uint8_t*>(sources->payload.constData())) & SourceFlags::kStickyNotes);

    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    EXPECT_EQ(Check().added, (QStringList{kFirst, kSecond}));

    const auto got = peer->Request(AS_GET_NOTE, tag++, utf16::Bytes(kSecond));
    ASSERT_TRUE(got && got->code == AS_GET_NOTE + 1);
    ItemRecord record;
    QString id;
    DecodeItemRecord(AsBytes(got->payload), true, record, &id);
    EXPECT_EQ(id, kSecond);
    ASSERT_EQ(record.IndexOf(kBody), 0);
    const QByteArray secondRtf = StickyNotesFile::Parse(RealStickyNotesFile()).notes[1].rtf;
    EXPECT_EQ(std::get<QString>(record.values[0]), QString::fromLatin1(secondRtf.left(secondRtf.size() - 1)));

    const auto added = peer->Request(AS_ADD_NOTE, tag++, NoteBlob(QString(48, u'0'), QStringLiteral("{\\rtf1 added}")).mid(96));
    ASSERT_TRUE(added && added->code == AS_ADD_NOTE + 1);
    const QString addedId = ByteReader(added->payload).Utf16(96);
    EXPECT_TRUE(addedId.endsWith(QString(28, u'0')));
    ASSERT_EQ(Code(AS_SET_NOTE, NoteBlob(kFirst, QStringLiteral("{\\rtf1 edited}"))), AS_SET_NOTE + 1);
    ASSERT_EQ(Code(AS_DEL_NOTE, utf16::Bytes(kSecond)), AS_DEL_NOTE + 1);
    ASSERT_EQ(Code(AS_SAVE_NOTES_STATE), AS_SAVE_NOTES_STATE + 1);
    // A saved state describes the file: the save wrote the changes first.
    EXPECT_EQ(OnDisk().notes.size(), 2u);
    ASSERT_EQ(Code(AS_END_SYNC), AS_END_SYNC + 1);

    const StickyNotesFile file = OnDisk();
    ASSERT_EQ(file.notes.size(), 2u);
    EXPECT_EQ(file.notes[0].id, kFirst);
    EXPECT_EQ(file.notes[0].storageName, QStringLiteral("5c4dc702-d1e1-11e4-b"));
    EXPECT_EQ(file.notes[0].rtf, QByteArray("{\\rtf1 edited}") + '\0');
    EXPECT_EQ(file.notes[1].id, addedId);
    EXPECT_EQ(file.notes[1].rtf, QByteArray("{\\rtf1 added}") + '\0');
    EXPECT_EQ(file.notes[1].plainText, QStringLiteral("plain") + QChar(0));

    // A second synchronisation finds nothing changed and leaves the file's bytes alone.
    const QByteArray written = agent.ReadFile(kFile);
    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    const ChangeLists again = Check();
    EXPECT_TRUE(again.added.isEmpty() && again.edited.isEmpty() && again.deleted.isEmpty());
    ASSERT_EQ(Code(AS_END_SYNC), AS_END_SYNC + 1);
    EXPECT_EQ(agent.ReadFile(kFile), written);
}

TEST_F(StickyNotesE2e, AClientThatLeavesStillGetsItsNoteWritten)
{
    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    const auto added = peer->Request(AS_ADD_NOTE, tag++, NoteBlob(QString(48, u'0'), QStringLiteral("{\\rtf1 kept}")).mid(96));
    ASSERT_TRUE(added && added->code == AS_ADD_NOTE + 1);
    peer->Close();

    QElapsedTimer waited;
    waited.start();
    while (OnDisk().notes.size() != 3 && waited.elapsed() < AgentProcess::kDefaultTimeoutMs) QThread::msleep(50);
    const StickyNotesFile file = OnDisk();
    ASSERT_EQ(file.notes.size(), 3u);
    EXPECT_EQ(file.notes[2].rtf, QByteArray("{\\rtf1 kept}") + '\0');
    EXPECT_EQ(file.notes[0].rtf, StickyNotesFile::Parse(RealStickyNotesFile()).notes[0].rtf);
}

TEST_F(StickyNotesE2e, ASecondStartWritesTheOpenSynchronisationBackFirst)
{
    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    ASSERT_EQ(Code(AS_DEL_NOTE, utf16::Bytes(kFirst)), AS_DEL_NOTE + 1);
    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    ASSERT_EQ(OnDisk().notes.size(), 1u);
    EXPECT_EQ(Check().added, QStringList{kSecond}) << "the new synchronisation loaded the written file";
    ASSERT_EQ(Code(AS_END_SYNC), AS_END_SYNC + 1);
}

TEST_F(StickyNotesE2e, ADamagedFileIsReportedAndLeftAlone)
{
    QByteArray notCompound = RealStickyNotesFile();
    notCompound[0] = 'X';
    // The directory's last sector (7) chained back to its first (1), in the allocation table
    // that sector 0 holds.
    QByteArray directoryLoop = RealStickyNotesFile();
    PutU32(reinterpret_cast<std::uint8_t*>(directoryLoop.data()) + 512 + 4 * 7, 1);
    for (const auto& [what, damaged] : {std::pair{"not a compound file", notCompound},
                                        std::pair{"a directory in a loop", directoryLoop}}) {
        agent.WriteFile(kFile, damaged);
        ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1) << what;
        const auto reply = peer->Request(AS_CHECK_NOTES, tag++, utf16::Bytes(QStringLiteral("E2E")));
        ASSERT_TRUE(reply) << what;
        EXPECT_EQ(reply->code, AS_ERROR) << what;
        EXPECT_EQ(Code(AS_ADD_NOTE, NoteBlob(QString(48, u'0'), QStringLiteral("{\\rtf1 x}")).mid(96)), AS_ERROR) << what;
        ASSERT_EQ(Code(AS_END_SYNC), AS_END_SYNC + 1) << what;
        EXPECT_EQ(agent.ReadFile(kFile), damaged) << what;
    }
    EXPECT_TRUE(agent.Log().contains(agent.Path(kFile))) << agent.Log().toStdString();

    // The agent goes on serving: the mended file synchronises.
    agent.WriteFile(kFile, RealStickyNotesFile());
    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    EXPECT_EQ(Check().added, (QStringList{kFirst, kSecond}));
    ASSERT_EQ(Code(AS_END_SYNC), AS_END_SYNC + 1);
}

// The agent inherits a cap on the size of the files it writes, which the new file exceeds: a
// failed write that even root cannot get past.
TEST(StickyNotesE2eFailedWrite, TheEndOfTheSynchronisationReportsItAndTheOldFileStays)
{
    AgentProcess agent;
    agent.WriteFile(kFile, RealStickyNotesFile());
    std::unique_ptr<FileSizeLimit> limit = std::make_unique<FileSizeLimit>(9000);
    ASSERT_TRUE(limit->ok());
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    limit.reset();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    std::uint16_t tag = 1;
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, tag++, utf16::Bytes(QStringLiteral("MAC-E2E")))->code, AS_MACHINE_ID + 1);
    ASSERT_EQ(peer.Request(AS_START_SYNC, tag++)->code, AS_START_SYNC + 1);
    const QString large = QStringLiteral("{\\rtf1 ") + QString(6000, u'x') + QStringLiteral("}");
    ASSERT_EQ(peer.Request(AS_SET_NOTE, tag++, NoteBlob(kFirst, large))->code, AS_SET_NOTE + 1);
    // Within the synchronisation that made it, the change is still served: the file stands as
    // it was read.
    EXPECT_EQ(peer.Request(AS_SAVE_NOTES_STATE, tag++)->code, AS_ERROR);
    const auto got = peer.Request(AS_GET_NOTE, tag++, utf16::Bytes(kFirst));
    ASSERT_TRUE(got && got->code == AS_GET_NOTE + 1);
    const auto end = peer.Request(AS_END_SYNC, tag++);
    ASSERT_TRUE(end);
    EXPECT_EQ(end->code, AS_ERROR);
    EXPECT_TRUE(agent.Log().contains(QStringLiteral("cannot write ") + agent.Path(kFile))) << agent.Log().toStdString();
    EXPECT_EQ(agent.ReadFile(kFile), RealStickyNotesFile());
    EXPECT_EQ(QDir(QFileInfo(agent.Path(kFile)).absolutePath()).entryList(QDir::Files),
              QStringList{QStringLiteral("StickyNotes.snt")});

    // The next synchronisation is served nothing of a change on no disk; the change stays held.
    ASSERT_EQ(peer.Request(AS_START_SYNC, tag++)->code, AS_START_SYNC + 1);
    EXPECT_EQ(peer.Request(AS_CHECK_NOTES, tag++, utf16::Bytes(QStringLiteral("E2E")))->code, AS_ERROR);
    EXPECT_EQ(peer.Request(AS_GET_NOTE, tag++, utf16::Bytes(kFirst))->code, AS_ERROR);
    EXPECT_EQ(peer.Request(AS_END_SYNC, tag++)->code, AS_ERROR);
    EXPECT_EQ(agent.ReadFile(kFile), RealStickyNotesFile());
}

TEST_F(StickyNotesE2e, AFolderMovedAsideAtTheWriteBackKeepsTheNoteUntilItIsBack)
{
    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    ASSERT_EQ(Check().added.size(), 2);
    const QString added = AddNote(QStringLiteral("{\\rtf1 kept}"));
    const QString aside = Folder() + QStringLiteral(".aside");
    ASSERT_TRUE(QDir().rename(Folder(), aside));

    // The save fails and names the file; the notes are not served as an empty file, so a second
    // check reports no deletion.
    EXPECT_EQ(Code(AS_SAVE_NOTES_STATE), AS_ERROR);
    EXPECT_EQ(Code(AS_CHECK_NOTES, utf16::Bytes(QStringLiteral("E2E"))), AS_ERROR);
    EXPECT_EQ(Code(AS_GET_NOTE, utf16::Bytes(kFirst)), AS_ERROR);
    EXPECT_EQ(Code(AS_END_SYNC), AS_ERROR);
    EXPECT_TRUE(agent.Log().contains(agent.Path(kFile))) << agent.Log().toStdString();

    // The next synchronisation, still without the folder, is served nothing of a note on no disk.
    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    EXPECT_EQ(Code(AS_CHECK_NOTES, utf16::Bytes(QStringLiteral("E2E"))), AS_ERROR);
    EXPECT_FALSE(QFileInfo::exists(Folder()));

    // Back: the next start writes the note first, then serves the file.
    ASSERT_TRUE(QDir().rename(aside, Folder()));
    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    EXPECT_EQ(Check().added, (QStringList{kFirst, kSecond, added}));
    ASSERT_EQ(Code(AS_END_SYNC), AS_END_SYNC + 1);
    const StickyNotesFile file = OnDisk();
    ASSERT_EQ(file.notes.size(), 3u);
    EXPECT_EQ(file.notes[2].rtf, QByteArray("{\\rtf1 kept}") + '\0');
}

TEST_F(StickyNotesE2e, AFileAbsentAtTheStartIsCreatedAtTheFirstWriteBack)
{
    ASSERT_TRUE(QDir(Folder()).removeRecursively());
    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    EXPECT_TRUE(Check().added.isEmpty());
    const QString added = AddNote(QStringLiteral("{\\rtf1 first}"));
    ASSERT_EQ(Code(AS_SAVE_NOTES_STATE), AS_SAVE_NOTES_STATE + 1) << agent.Log().toStdString();
    const StickyNotesFile file = OnDisk();
    ASSERT_EQ(file.notes.size(), 1u);
    EXPECT_EQ(file.notes[0].id, added);
    ASSERT_EQ(Code(AS_END_SYNC), AS_END_SYNC + 1);
}

// A copy tool that keeps times, a restore, a coarse clock: the program's file has other bytes of
// the same length and its old modification time. The agent's loaded copy never replaces it.
TEST_F(StickyNotesE2e, ARewriteOfTheSameSizeWithItsOldTimeIsNeverOverwritten)
{
    ASSERT_EQ(Code(AS_START_SYNC), AS_START_SYNC + 1);
    ASSERT_EQ(Check().added.size(), 2);
    ASSERT_EQ(Code(AS_SET_NOTE, NoteBlob(kFirst, QStringLiteral("{\\rtf1 agent}"))), AS_SET_NOTE + 1);

    const QByteArray native = QFile::encodeName(agent.Path(kFile));
    struct stat before {};
    ASSERT_EQ(::stat(native.constData(), &before), 0);
    QByteArray rewritten = agent.ReadFile(kFile);
    const QByteArray rtf = StickyNotesFile::Parse(rewritten).notes[1].rtf;
    // A note's text begins a sector of its own: its first 40 bytes lie together in the file.
    const qsizetype at = rewritten.indexOf(rtf.left(40));
    ASSERT_GE(at, 0);
    rewritten[at + 30] = rewritten[at + 30] == 'x' ? 'y' : 'x';
    {
        QFile inPlace(agent.Path(kFile));
        ASSERT_TRUE(inPlace.open(QIODevice::ReadWrite));
        ASSERT_EQ(inPlace.write(rewritten), rewritten.size());
    }
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);

    EXPECT_EQ(Code(AS_SAVE_NOTES_STATE), AS_ERROR);
    EXPECT_EQ(Code(AS_END_SYNC), AS_END_SYNC + 1);
    EXPECT_EQ(agent.ReadFile(kFile), rewritten);
    EXPECT_TRUE(agent.Log().contains(agent.Path(kFile))) << agent.Log().toStdString();
}

// The agent holds no more of the file than a notes file can be, reads only a regular file, and
// treats any other as a damaged one: the note requests fail naming it, and it is never written.
TEST(StickyNotesE2eRefusedFile, IsReportedAndLeftAloneWithinAMemoryLimit)
{
    enum class Plant { Sparse, Fifo, DeviceLink };
    const struct {
        const char* what;
        Plant plant;
    } cases[] = {
        {"a sparse file of 3 GiB", Plant::Sparse},
        {"a FIFO", Plant::Fifo},
        {"a link to /dev/zero", Plant::DeviceLink},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AgentProcess agent;
        agent.WriteFile(kFile, {});
        const QByteArray native = QFile::encodeName(agent.Path(kFile));
        ASSERT_EQ(::unlink(native.constData()), 0);
        switch (c.plant) {
        case Plant::Sparse: {
            const int fd = ::open(native.constData(), O_CREAT | O_WRONLY, 0600);
            ASSERT_GE(fd, 0);
            EXPECT_EQ(::ftruncate(fd, off_t{3} << 30), 0);
            ::close(fd);
            break;
        }
        case Plant::Fifo:
            ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
            break;
        case Plant::DeviceLink:
            ASSERT_EQ(::symlink("/dev/zero", native.constData()), 0);
            break;
        }
        // A memory limit far below what reading the planted file whole would take.
#if defined(__SANITIZE_ADDRESS__)
        QByteArray options = qgetenv("ASAN_OPTIONS");
        if (!options.isEmpty()) options += ':';
        agent.SetEnv("ASAN_OPTIONS", options + "hard_rss_limit_mb=1024:max_allocation_size_mb=1024");
        ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
#else
        rlimit old {};
        ASSERT_EQ(::getrlimit(RLIMIT_AS, &old), 0);
        rlimit limited = old;
        limited.rlim_cur = rlim_t{2} << 30;
        ASSERT_EQ(::setrlimit(RLIMIT_AS, &limited), 0);
        const bool started = agent.Start();
        ::setrlimit(RLIMIT_AS, &old);
        ASSERT_TRUE(started) << agent.Stderr().toStdString();
#endif
        TestPeer peer;
        ASSERT_TRUE(peer.Connect(agent.Port()));
        std::uint16_t tag = 1;
        const auto code = [&](std::uint16_t request, const QByteArray& payload = {}) {
            const auto reply = peer.Request(request, tag++, payload);
            return reply ? reply->code : 0;
        };
        ASSERT_EQ(code(AS_MACHINE_ID, utf16::Bytes(QStringLiteral("MAC-E2E"))), AS_MACHINE_ID + 1);
        ASSERT_EQ(code(AS_START_SYNC), AS_START_SYNC + 1);
        EXPECT_EQ(code(AS_CHECK_NOTES, utf16::Bytes(QStringLiteral("E2E"))), AS_ERROR);
        EXPECT_EQ(code(AS_ADD_NOTE, NoteBlob(QString(48, u'0'), QStringLiteral("{\\rtf1 x}")).mid(96)), AS_ERROR);
        EXPECT_EQ(code(AS_END_SYNC), AS_END_SYNC + 1);
        EXPECT_TRUE(agent.IsRunning());
        EXPECT_TRUE(agent.Log().contains(agent.Path(kFile))) << agent.Log().toStdString();

        struct stat after {};
        ASSERT_EQ(::lstat(native.constData(), &after), 0);
        switch (c.plant) {
        case Plant::Sparse:
            EXPECT_TRUE(S_ISREG(after.st_mode) && after.st_size == off_t{3} << 30);
            break;
        case Plant::Fifo:
            EXPECT_TRUE(S_ISFIFO(after.st_mode));
            break;
        case Plant::DeviceLink:
            EXPECT_TRUE(S_ISLNK(after.st_mode));
            break;
        }
    }
}

}  // namespace
