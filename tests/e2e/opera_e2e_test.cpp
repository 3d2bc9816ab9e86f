// Opera's bookmarks, contacts and notes against the built agent over loopback: one
// synchronisation reads, edits, adds and deletes in the hotlist files Opera wrote, and the files
// hold the changes afterwards and everything else as it was; a hotlist that goes missing or is
// rewritten behind the agent's back, and one that is not there yet.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>

#include "agent_process.h"
#include "common/byte_io.h"
#include "dispatch/bookmark_id.h"
#include "dispatch/bookmark_record_codec.h"
#include "dispatch/item_record_codec.h"
#include "dispatch/request_codes.h"
#include "stores/base/source_flags.h"
#include "test_peer.h"
#include "wire/message_header.h"

namespace {

constexpr int kIdBytes = 96;

QByteArray Real(const char* name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/opera-hotlist/") + QString::fromLatin1(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

struct Report {
    QStringList added, edited, deleted;
};

Report ItemReport(const QByteArray& payload)
{
    Report r;
    ByteReader in(payload);
    for (QStringList* list : {&r.added, &r.edited, &r.deleted}) {
        const int n = in.U16();
        for (int i = 0; i < n; ++i) list->append(in.Utf16(kIdBytes));
    }
    return r;
}

std::vector<BookmarkId> BookmarkSection(ByteReader& in)
{
    std::vector<BookmarkId> ids;
    const int n = in.U16();
    for (int i = 0; i < n; ++i) ids.push_back(BookmarkId::Read(in));
    return ids;
}

class OperaE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        agent.WriteFile(QStringLiteral(".opera/operaprefs.ini"),
                        "Opera Preferences version 2.1\n\n[User Prefs]\nNewest Used Version=12.16.1860\n");
        agent.WriteFile(QStringLiteral(".opera/mail/accounts.ini"), "[Accounts]\nCount=1\n");
        agent.WriteFile(QStringLiteral(".opera/bookmarks.adr"), Real("bookmarks-default-opera11.adr"));
        agent.WriteFile(QStringLiteral(".opera/contacts.adr"), Real("contacts-opera12-linux-anonymised.adr"));
        agent.WriteFile(QStringLiteral(".opera/notes.adr"), Real("notes-opera12-linux-masked-excerpt.adr"));
        ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
        ASSERT_TRUE(peer.Connect(agent.Port()));
        ASSERT_EQ(Ask(AS_MACHINE_ID, utf16::Bytes(QStringLiteral("MAC-OPERA")))->code, AS_MACHINE_ID + 1);
    }
    std::optional<WireMessage> Ask(std::uint16_t code, const QByteArray& payload = {})
    {
        return peer.LongRequest(code, tag++, payload);
    }
    ItemRecord Read(std::uint16_t code, const QString& id)
    {
        const auto reply = Ask(code, utf16::Bytes(id));
        EXPECT_TRUE(reply && reply->code == code + 1);
        ItemRecord record;
        if (reply) DecodeItemRecord(AsBytes(reply->payload), true, record, nullptr);
        return record;
    }

    // Chooses Opera's notes alone.
    void ChooseNotes()
    {
        QByteArray chosen;
        ByteWriter(chosen).U32(SourceFlags::kOperaNotes);
        ASSERT_EQ(Ask(AS_SET_SOURCES, chosen)->code, AS_SET_SOURCES + 1);
    }
    std::uint16_t CheckNotesCode() { return Ask(AS_CHECK_NOTES, utf16::Bytes(QStringLiteral("E2E")))->code; }
    QStringList CheckNotes()
    {
        const auto reply = Ask(AS_CHECK_NOTES, utf16::Bytes(QStringLiteral("E2E")));
        EXPECT_EQ(reply->code, AS_CHECK_NOTES + 1) << agent.Log().toStdString();
        return reply->code == AS_CHECK_NOTES + 1 ? ItemReport(reply->payload).added : QStringList();
    }
    std::uint16_t AddNote(const QString& body)
    {
        ItemRecord note;
        note.Add(QStringLiteral("Body"), body);
        return Ask(AS_ADD_NOTE, EncodeItemRecord(QString(), note).mid(kIdBytes))->code;
    }

    AgentProcess agent;
    TestPeer peer;
    std::uint16_t tag = 1;
};

QString Field(const ItemRecord& record, const char* name)
{
    const int at = static_cast<int>(record.names.lastIndexOf(QString::fromLatin1(name)));
    return at < 0 ? QStringLiteral("<none>") : std::get<QString>(record.values[static_cast<std::size_t>(at)]);
}

TEST_F(OperaE2e, ASynchronisationChangesTheHotlistFilesOperaWrote)
{
    const auto offered = Ask(AS_GET_AVAILABLE_SOURCES);
    ASSERT_TRUE(offered);
    const std::uint32_t flags = GetU32(reinterpret_cast<const std::uint8_t*>(offered->payload.constData()));
    const std::uint32_t opera = SourceFlags::kOpera | SourceFlags::kOperaContacts | SourceFlags::kOperaNotes;
    EXPECT_EQ(flags & opera, opera);
    QByteArray chosen;
    ByteWriter(chosen).U32(opera);
    ASSERT_EQ(Ask(AS_SET_SOURCES, chosen)->code, AS_SET_SOURCES + 1);
    ASSERT_EQ(Ask(AS_START_SYNC)->code, AS_START_SYNC + 1) << agent.Log().toStdString();

    // Contacts: 76 with their own identifiers; read, edit, add, delete.
    auto reply = Ask(AS_CHECK_CONTACTS);
    ASSERT_EQ(reply->code, AS_CHECK_CONTACTS + 1) << agent.Log().toStdString();
    const QStringList contacts = ItemReport(reply->payload).added;
    ASSERT_EQ(contacts.size(), 76);
    const ItemRecord first = Read(AS_GET_CONTACT, contacts[0]);
    EXPECT_EQ(Field(first, "Email1Address"), QStringLiteral("contact01@example.invalid"));
    ItemRecord edit;
    edit.Add(QStringLiteral("HomeTelephoneNumber"), QStringLiteral("+49 30 555"));
    ASSERT_EQ(Ask(AS_SET_CONTACT, EncodeItemRecord(contacts[1], edit))->code, AS_SET_CONTACT + 1);
    ItemRecord fresh;
    fresh.Add(QStringLiteral("FirstName"), QStringLiteral("Neu"));
    fresh.Add(QStringLiteral("LastName"), QStringLiteral("Kontakt"));
    fresh.Add(QStringLiteral("Email1Address"), QStringLiteral("neu@example.invalid"));
    reply = Ask(AS_ADD_CONTACT, EncodeItemRecord(QString(), fresh).mid(kIdBytes));
    ASSERT_EQ(reply->code, AS_ADD_CONTACT + 1) << agent.Log().toStdString();
    ASSERT_EQ(Ask(AS_DEL_CONTACT, utf16::Bytes(contacts[2]))->code, AS_DEL_CONTACT + 1);
    ASSERT_EQ(Ask(AS_SAVE_CONTACTS_STATE)->code, AS_SAVE_CONTACTS_STATE + 1);

    // Notes: edit one inside a folder, add one, delete one.
    reply = Ask(AS_CHECK_NOTES, utf16::Bytes(QStringLiteral("E2E")));
    ASSERT_EQ(reply->code, AS_CHECK_NOTES + 1) << agent.Log().toStdString();
    const QStringList notes = ItemReport(reply->payload).added;
    ASSERT_GT(notes.size(), 100);
    ItemRecord noteEdit;
    noteEdit.Add(QStringLiteral("Body"), QStringLiteral("edited note\nsecond line"));
    ASSERT_EQ(Ask(AS_SET_NOTE, EncodeItemRecord(notes[40], noteEdit))->code, AS_SET_NOTE + 1);
    ItemRecord noteAdd;
    noteAdd.Add(QStringLiteral("Body"), QStringLiteral("added note"));
    ASSERT_EQ(Ask(AS_ADD_NOTE, EncodeItemRecord(QString(), noteAdd).mid(kIdBytes))->code, AS_ADD_NOTE + 1);
    ASSERT_EQ(Ask(AS_DEL_NOTE, utf16::Bytes(notes[41]))->code, AS_DEL_NOTE + 1);
    EXPECT_EQ(Field(Read(AS_GET_NOTE, notes[40]), "Subject"), QStringLiteral("edited note"));
    ASSERT_EQ(Ask(AS_SAVE_NOTES_STATE)->code, AS_SAVE_NOTES_STATE + 1);

    // Bookmarks: the default file's bookmarks, one added into a new folder, one edited, one deleted.
    reply = Ask(AS_CHECK_BOOKMARKS, QByteArray(2, '\0'));
    ASSERT_EQ(reply->code, AS_CHECK_BOOKMARKS + 1) << agent.Log().toStdString();
    ByteReader sections(reply->payload);
    const std::vector<BookmarkId> bookmarks = BookmarkSection(sections);
    ASSERT_GE(bookmarks.size(), 3u);
    QByteArray add;
    ByteWriter addWriter(add);
    EncodeBookmarkFields({"Synced/Work", "Manual", "http://docs.example.org/"}, addWriter);
    reply = Ask(AS_ADD_BOOKMARK, add);
    ASSERT_EQ(reply->code, AS_ADD_BOOKMARK + 1) << agent.Log().toStdString();
    const QByteArray added = reply->payload;
    reply = Ask(AS_GET_BOOKMARK, added);
    ASSERT_EQ(reply->code, AS_GET_BOOKMARK + 1) << agent.Log().toStdString();
    EXPECT_EQ(reply->payload.left(8), added);
    ByteReader got(reply->payload);
    got.Skip(8);
    EXPECT_EQ(DecodeBookmarkFields(got),
              (BookmarkRecord{"Synced/Work", "Manual", "http://docs.example.org/"}));
    QByteArray set;
    ByteWriter setWriter(set);
    bookmarks[0].Write(setWriter);
    EncodeBookmarkFields({"Opera", "Renamed", "http://renamed.example.org/"}, setWriter);
    ASSERT_EQ(Ask(AS_SET_BOOKMARK, set)->code, AS_SET_BOOKMARK + 1) << agent.Log().toStdString();
    QByteArray del;
    ByteWriter delWriter(del);
    bookmarks[1].Write(delWriter);
    ASSERT_EQ(Ask(AS_DEL_BOOKMARK, del)->code, AS_DEL_BOOKMARK + 1) << agent.Log().toStdString();
    ASSERT_EQ(Ask(AS_SAVE_BOOKMARKS_STATE)->code, AS_SAVE_BOOKMARKS_STATE + 1);

    // A saved state describes the files: the save of each state wrote its hotlist first.
    EXPECT_NE(agent.ReadFile(QStringLiteral(".opera/notes.adr")),
              Real("notes-opera12-linux-masked-excerpt.adr"));
    EXPECT_TRUE(agent.ReadFile(QStringLiteral(".opera/bookmarks.adr")).contains("\tNAME=Renamed\n"));
    ASSERT_EQ(Ask(AS_END_SYNC)->code, AS_END_SYNC + 1) << agent.Log().toStdString();

    const QByteArray contactsFile = agent.ReadFile(QStringLiteral(".opera/contacts.adr"));
    EXPECT_TRUE(contactsFile.contains("\tPHONE=+49 30 555\n"));
    EXPECT_TRUE(contactsFile.contains("\tNAME=Neu Kontakt\n"));
    EXPECT_FALSE(contactsFile.contains("NAME=contact03@example.invalid\n"));
    EXPECT_EQ(contactsFile.count("#CONTACT\n"), 76);
    const QByteArray notesFile = agent.ReadFile(QStringLiteral(".opera/notes.adr"));
    EXPECT_TRUE(notesFile.contains("\tNAME=edited note\x02\x02second line\n"));
    EXPECT_TRUE(notesFile.contains("\tNAME=added note\n"));
    EXPECT_EQ(notesFile.count("\n#NOTE\n"),
              Real("notes-opera12-linux-masked-excerpt.adr").count("\n#NOTE\n"));
    const QByteArray bookmarksFile = agent.ReadFile(QStringLiteral(".opera/bookmarks.adr"));
    EXPECT_TRUE(bookmarksFile.contains("\tNAME=Renamed\n\tURL=http://renamed.example.org/\n"));
    EXPECT_TRUE(bookmarksFile.contains("\tNAME=Synced\n"));
    EXPECT_TRUE(bookmarksFile.contains("\tNAME=Manual\n\tURL=http://docs.example.org/\n"));
    EXPECT_TRUE(bookmarksFile.contains("PARTNERID=opera-operafolder"));  // keys the store does not know stay

    // The next synchronisation finds nothing changed and writes nothing.
    ASSERT_EQ(Ask(AS_START_SYNC)->code, AS_START_SYNC + 1);
    reply = Ask(AS_CHECK_CONTACTS);
    ASSERT_EQ(reply->code, AS_CHECK_CONTACTS + 1);
    const Report again = ItemReport(reply->payload);
    EXPECT_TRUE(again.added.isEmpty() && again.edited.isEmpty() && again.deleted.isEmpty());
    reply = Ask(AS_CHECK_NOTES, utf16::Bytes(QStringLiteral("E2E")));
    ASSERT_EQ(reply->code, AS_CHECK_NOTES + 1);
    const Report notesAgain = ItemReport(reply->payload);
    EXPECT_TRUE(notesAgain.added.isEmpty() && notesAgain.edited.isEmpty() && notesAgain.deleted.isEmpty());
    reply = Ask(AS_CHECK_BOOKMARKS, QByteArray(2, '\0'));
    ASSERT_EQ(reply->code, AS_CHECK_BOOKMARKS + 1);
    EXPECT_EQ(reply->payload, QByteArray(6, '\0'));
    ASSERT_EQ(Ask(AS_END_SYNC)->code, AS_END_SYNC + 1);
    EXPECT_EQ(agent.ReadFile(QStringLiteral(".opera/notes.adr")), notesFile);
    EXPECT_EQ(agent.ReadFile(QStringLiteral(".opera/contacts.adr")), contactsFile);
    EXPECT_EQ(agent.ReadFile(QStringLiteral(".opera/bookmarks.adr")), bookmarksFile);
}

TEST_F(OperaE2e, ABrokenFileFailsTheStartAndKeepsItsBytes)
{
    const QByteArray broken =
        Real("notes-opera12-linux-masked-excerpt.adr") + "#NOTE\n\tNAME=runs to the end";
    agent.WriteFile(QStringLiteral(".opera/notes.adr"), broken);
    QByteArray chosen;
    ByteWriter(chosen).U32(SourceFlags::kOperaNotes);
    ASSERT_EQ(Ask(AS_SET_SOURCES, chosen)->code, AS_SET_SOURCES + 1);
    EXPECT_EQ(Ask(AS_START_SYNC)->code, AS_ERROR);
    EXPECT_EQ(Ask(AS_CHECK_NOTES, utf16::Bytes(QStringLiteral("E2E")))->code, AS_ERROR);
    Ask(AS_END_SYNC);
    EXPECT_EQ(agent.ReadFile(QStringLiteral(".opera/notes.adr")), broken);
    EXPECT_TRUE(agent.Log().contains(QStringLiteral("notes.adr"))) << agent.Log().toStdString();
}

TEST_F(OperaE2e, AProfileFolderMovedAsideAtTheWriteBackKeepsTheNoteUntilItIsBack)
{
    ChooseNotes();
    ASSERT_EQ(Ask(AS_START_SYNC)->code, AS_START_SYNC + 1);
    const qsizetype notes = CheckNotes().size();
    ASSERT_GT(notes, 0);
    ASSERT_EQ(AddNote(QStringLiteral("kept note")), AS_ADD_NOTE + 1);
    const QString profile = agent.Path(QStringLiteral(".opera"));
    ASSERT_TRUE(QDir().rename(profile, profile + QStringLiteral(".aside")));

    // The save fails naming the file; the hotlist is not served as an empty one, so a second
    // check reports no deletion.
    EXPECT_EQ(Ask(AS_SAVE_NOTES_STATE)->code, AS_ERROR);
    EXPECT_EQ(CheckNotesCode(), AS_ERROR);
    EXPECT_EQ(Ask(AS_END_SYNC)->code, AS_ERROR);
    EXPECT_TRUE(agent.Log().contains(agent.Path(QStringLiteral(".opera/notes.adr")))) << agent.Log().toStdString();

    // The next synchronisation, still without the folder, is served nothing of a note on no disk.
    Ask(AS_START_SYNC);
    EXPECT_EQ(CheckNotesCode(), AS_ERROR);
    EXPECT_FALSE(QFileInfo::exists(profile));
    Ask(AS_END_SYNC);

    // Back: the next start writes the note first, then serves the file.
    ASSERT_TRUE(QDir().rename(profile + QStringLiteral(".aside"), profile));
    ASSERT_EQ(Ask(AS_START_SYNC)->code, AS_START_SYNC + 1) << agent.Log().toStdString();
    EXPECT_TRUE(agent.ReadFile(QStringLiteral(".opera/notes.adr")).contains("\tNAME=kept note\n"));
    EXPECT_EQ(CheckNotes().size(), notes + 1);
    ASSERT_EQ(Ask(AS_END_SYNC)->code, AS_END_SYNC + 1);
}

TEST_F(OperaE2e, ANotesFileAbsentAtTheStartIsCreatedAtTheFirstWriteBack)
{
    ASSERT_TRUE(QFile::remove(agent.Path(QStringLiteral(".opera/notes.adr"))));
    ChooseNotes();
    ASSERT_EQ(Ask(AS_START_SYNC)->code, AS_START_SYNC + 1);
    EXPECT_TRUE(CheckNotes().isEmpty());
    ASSERT_EQ(AddNote(QStringLiteral("first note")), AS_ADD_NOTE + 1);
    ASSERT_EQ(Ask(AS_SAVE_NOTES_STATE)->code, AS_SAVE_NOTES_STATE + 1) << agent.Log().toStdString();
    EXPECT_TRUE(agent.ReadFile(QStringLiteral(".opera/notes.adr")).contains("\tNAME=first note\r\n"));
    ASSERT_EQ(Ask(AS_END_SYNC)->code, AS_END_SYNC + 1);
}

// A copy tool that keeps times, a restore, a coarse clock: Opera's file has other bytes of the
// same length and its old modification time. The agent's loaded copy never replaces it, and the
// session goes on with the user's file.
TEST_F(OperaE2e, ARewriteOfTheSameSizeWithItsOldTimeIsNeverOverwritten)
{
    ChooseNotes();
    ASSERT_EQ(Ask(AS_START_SYNC)->code, AS_START_SYNC + 1);
    const qsizetype notes = CheckNotes().size();
    ASSERT_EQ(AddNote(QStringLiteral("agent note")), AS_ADD_NOTE + 1);

    const QString path = agent.Path(QStringLiteral(".opera/notes.adr"));
    const QByteArray native = QFile::encodeName(path);
    struct stat before {};
    ASSERT_EQ(::stat(native.constData(), &before), 0);
    QByteArray rewritten = agent.ReadFile(QStringLiteral(".opera/notes.adr"));
    const qsizetype name = rewritten.indexOf("\tNAME=") + 6;
    ASSERT_GT(name, 6);
    rewritten[name] = rewritten[name] == 'x' ? 'y' : 'x';
    {
        QFile inPlace(path);
        ASSERT_TRUE(inPlace.open(QIODevice::ReadWrite));
        ASSERT_EQ(inPlace.write(rewritten), rewritten.size());
    }
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);

    EXPECT_EQ(Ask(AS_SAVE_NOTES_STATE)->code, AS_ERROR);
    EXPECT_TRUE(agent.Log().contains(path)) << agent.Log().toStdString();
    EXPECT_EQ(CheckNotes().size(), notes) << "the session goes on with the user's file";
    ASSERT_EQ(Ask(AS_END_SYNC)->code, AS_END_SYNC + 1);
    EXPECT_EQ(agent.ReadFile(QStringLiteral(".opera/notes.adr")), rewritten);
}

}  // namespace

namespace {

// One peer's turn with Opera's contacts on a connection of its own, framed by a synchronisation.
class ContactsTurn {
public:
    ContactsTurn(AgentProcess& agent, const char* machine)
    {
        EXPECT_TRUE(peer_.Connect(agent.Port()));
        Expect(AS_MACHINE_ID, utf16::Bytes(QString::fromLatin1(machine)));
        QByteArray flags;
        ByteWriter(flags).U32(SourceFlags::kOperaContacts);
        Expect(AS_SET_SOURCES, flags);
        Expect(AS_START_SYNC);
    }
    ~ContactsTurn()
    {
        Expect(AS_END_SYNC);
        peer_.Close();
    }
    QByteArray Expect(std::uint16_t code, const QByteArray& payload = {})
    {
        const std::optional<WireMessage> reply = peer_.LongRequest(code, tag_++, payload);
        EXPECT_TRUE(reply && reply->code == code + 1) << "request " << code;
        return reply ? reply->payload : QByteArray();
    }
    Report Check()
    {
        const Report report = ItemReport(Expect(AS_CHECK_CONTACTS));
        Expect(AS_SAVE_CONTACTS_STATE);
        return report;
    }
    QString Add(const QString& name)
    {
        ItemRecord record;
        record.Add(QStringLiteral("FileAs"), name);
        const QByteArray reply = Expect(AS_ADD_CONTACT, EncodeItemRecord(QString(), record).mid(kIdBytes));
        return utf16::FromBytesUpToZero(AsBytes(reply));
    }

private:
    TestPeer peer_;
    std::uint16_t tag_ = 1;
};

TEST_F(OperaE2e, AContactAddedAfterADeletedOneGetsAnIdentifierOfItsOwn)
{
    peer.Close();
    {
        ContactsTurn second(agent, "MAC-2");
        EXPECT_EQ(second.Check().added.size(), 76);
    }
    QString x;
    {
        ContactsTurn first(agent, "MAC-1");
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        x = first.Add(QStringLiteral("X"));
        // Ten digits of CREATED, Opera's creation time: now, not the newest contact's time.
        ASSERT_EQ(x.size(), 48);
        EXPECT_EQ(x.mid(10), QString(38, QLatin1Char('0')));
        EXPECT_GE(x.left(10).toLongLong(), before);
        EXPECT_LE(x.left(10).toLongLong(), QDateTime::currentSecsSinceEpoch());
    }
    {
        ContactsTurn second(agent, "MAC-2");
        EXPECT_EQ(second.Check().added, QStringList{x});
    }
    QString y;
    {
        ContactsTurn first(agent, "MAC-1");
        first.Expect(AS_DEL_CONTACT, utf16::Bytes(x));
        y = first.Add(QStringLiteral("Y"));
        EXPECT_NE(y, x);
    }
    ContactsTurn second(agent, "MAC-2");
    const Report changes = second.Check();
    EXPECT_EQ(changes.added, QStringList{y});
    EXPECT_TRUE(changes.edited.isEmpty());
    EXPECT_EQ(changes.deleted, QStringList{x});
}

}  // namespace
