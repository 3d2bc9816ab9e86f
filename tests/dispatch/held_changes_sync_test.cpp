// Stores that hold a synchronisation's changes in memory (Opera's hotlists, Sticky Notes) and
// Windows Contacts' commit, driven through the dispatcher with the real stores: a saved state
// describes what the files hold, changes that could not be written are kept and written at the
// next chance, a file another program wrote meanwhile is never overwritten, and a hotlist that
// is a link is written through it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>

#include "common/byte_io.h"
#include "dispatch/bookmark_id.h"
#include "dispatch/bookmark_record_codec.h"
#include "dispatch/bookmark_state_file.h"
#include "dispatch/request_codes.h"
#include "dispatch/state_file.h"
#include "stores/catalog/store_set.h"
#include "stores/windows_contacts/contact_file_writer.h"
#include "stores/windows_contacts/contact_group_file.h"
#include "stores/windows_contacts/contact_win_vista.h"
#include "stores/sticky_notes/win7_sticky_notes.h"
#include "support/dispatch_harness.h"
#include "support/permissions_bind_root.h"
#include "wire/message_header.h"

using namespace ContactsVista;

namespace {

const QByteArray kHeader = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";

// One store that keeps a synchronisation's changes until they are written.
struct HeldStore {
    const char* name;
    ItemKind kind;
    std::uint32_t code;
    const char* file;       // below the home folder
    const char* bodyField;  // the record field of the item's text
};

const HeldStore kStores[] = {
    {"Opera notes", ItemKind::Notes, 0x4000, ".opera/notes.adr", "Body"},
    {"Opera contacts", ItemKind::Contacts, 7, ".opera/contacts.adr", "Body"},
    {"Sticky Notes", ItemKind::Notes, 0x10000, "sticky/StickyNotes.snt", "Win7Notes_Body"},
};

struct Requests {
    std::uint16_t check, add, set, save;
};

Requests RequestsOf(ItemKind kind)
{
    if (kind == ItemKind::Notes) return {AS_CHECK_NOTES, AS_ADD_NOTE, AS_SET_NOTE, AS_SAVE_NOTES_STATE};
    return {AS_CHECK_CONTACTS, AS_ADD_CONTACT, AS_SET_CONTACT, AS_SAVE_CONTACTS_STATE};
}

class HeldChanges : public ::testing::Test {
public:
    void SetUp() override
    {
        h.home.WriteFile(QStringLiteral(".opera/operaprefs.ini"),
                         "Opera Preferences version 2.1\n\n[User Prefs]\nNewest Used Version=12.16.1860\n");
        h.home.WriteFile(QStringLiteral(".opera/mail/accounts.ini"), "[Accounts]\nCount=1\n");
    }

    // Chooses the store and plants its file with two items, "first" and "second".
    void Plant(const HeldStore& s)
    {
        store = &s;
        requests = RequestsOf(s.kind);
        h.agent.agentId = s.kind == ItemKind::Contacts ? s.code : 2;
        h.agent.notesAgentId = s.kind == ItemKind::Notes ? s.code : 0;
        if (s.code == 0x10000) {
            const QString path = FilePath();
            h.agent.stores->SetSessionFactory(ItemKind::Notes, 0x10000, [path] {
                return std::make_unique<CWin7_StikyNotes>(CWin7_StikyNotes::LogSink{}, path);
            });
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile::remove(path);
            CWin7_StikyNotes notes({}, path);
            notes.Open();
            for (const char* text : {"first", "second"}) {
                ItemRecord r = TextRecord({{s.bodyField, text}});
                QString id;
                notes.Add(r, id);
            }
            notes.Close();
        } else if (s.kind == ItemKind::Notes) {
            h.home.WriteFile(QString::fromLatin1(s.file),
                             kHeader + "#NOTE\n\tID=1\n\tNAME=first\n\tUNIQUEID=00000000000000000000000000000001\n\n"
                                       "#NOTE\n\tID=2\n\tNAME=second\n\tUNIQUEID=00000000000000000000000000000002\n\n");
        } else {
            h.home.WriteFile(QString::fromLatin1(s.file),
                             kHeader + "#CONTACT\n\tID=1\n\tNAME=First\n\tCREATED=1000000001\n\tDESCRIPTION=first\n\n"
                                       "#CONTACT\n\tID=2\n\tNAME=Second\n\tCREATED=1000000002\n\tDESCRIPTION=second\n\n");
        }
    }

    QString FilePath() const { return h.home.Path(QString::fromLatin1(store->file)); }
    QString Folder() const { return QFileInfo(FilePath()).absolutePath(); }
    QByteArray OnDisk() const { return h.home.ReadFile(QString::fromLatin1(store->file)).value_or("<missing>"); }
    QString StatePath() const
    {
        return StateFilePath(store->kind == ItemKind::Notes ? StateFileKind::Notes : StateFileKind::Contacts,
                             h.agent.machineId, QStringLiteral("s"));
    }
    QByteArray SavedState() const
    {
        QFile f(StatePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QByteArray Ok(std::uint16_t code, const QByteArray& payload = {})
    {
        const SentMessage reply = h.Send(code, payload);
        EXPECT_EQ(reply.code, code + 1) << "request " << code << "\n" << h.TakeLogLines().join('\n').toStdString();
        return reply.payload;
    }
    ParsedChangeReport Check()
    {
        return ParseChangeReport(
            Ok(requests.check, store->kind == ItemKind::Notes ? Utf16z(QStringLiteral("s")) : QByteArray()));
    }
    QString Add(const char* text)
    {
        const QByteArray reply = Ok(requests.add, ItemBlob({}, TextRecord({{store->bodyField, text}})));
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(reply.constData()), reply.size() / 2);
    }
    void Set(const QString& id, const char* text)
    {
        Ok(requests.set, ItemBlob(id, TextRecord({{store->bodyField, text}})));
    }
    // The identifier of the item whose text is `text`.
    QString IdOf(const QStringList& ids, const char* text)
    {
        for (const QString& id : ids) {
            const QByteArray reply = Ok(store->kind == ItemKind::Notes ? AS_GET_NOTE : AS_GET_CONTACT, Utf16z(id));
            const ItemRecord record = DecodeBlob(reply);
            const qsizetype at = record.IndexOf(QString::fromLatin1(store->bodyField));
            if (at >= 0 && ItemValueText(record.values[static_cast<std::size_t>(at)]).contains(QLatin1String(text)))
                return id;
        }
        ADD_FAILURE() << "no item holds " << text;
        return {};
    }
    void SetFolderMode(mode_t mode) const { ASSERT_EQ(::chmod(QFile::encodeName(Folder()).constData(), mode), 0); }

    // Public: the table of chances below drives the fixture.
    DispatchHarness h;
    const HeldStore* store = nullptr;
    Requests requests{};
};

// Where the changes that a save could not write get written, and what the next check then
// says against the state the failed save left.
struct Chance {
    const char* name;
    std::function<void(HeldChanges&)> take;
    bool reportsTheChanges;  // false: that chance also saved the state after writing them
};

// Adds an item and edits another, then finds the folder unwritable: the save answers AS_ERROR
// naming the file, the old state stays, and the end of the synchronisation fails too. Once the
// folder is writable, the changes reach the file at the next chance, and the next check reports
// them as what they are against the old state: nothing deleted, nothing reverted.
TEST_F(HeldChanges, ChangesThatCannotBeWrittenAreKeptAndWrittenAtTheNextChance)
{
    const Chance chances[] = {
        {"the next save", [](HeldChanges& t) { t.Ok(t.requests.save); }, false},
        {"the end of the synchronisation",
         [](HeldChanges& t) {
             t.Ok(AS_END_SYNC);
             t.Ok(AS_START_SYNC);
         },
         true},
        {"the client's departure",
         [](HeldChanges& t) {
             t.h.dispatcher.ReleaseClientResources();
             t.Ok(AS_START_SYNC);
         },
         true},
        {"the next start", [](HeldChanges& t) { t.Ok(AS_START_SYNC); }, true},
    };
    for (const HeldStore& s : kStores) {
        for (const Chance& chance : chances) {
            SCOPED_TRACE(std::string(s.name) + ", written at " + chance.name);
            h.dispatcher.ReleaseClientResources();
            Plant(s);
            QFile::remove(StatePath());
            Ok(AS_START_SYNC);
            const QStringList planted = Check().added;
            ASSERT_EQ(planted.size(), 2);
            const QString second = IdOf(planted, "second");
            Ok(requests.save);
            const QByteArray savedState = SavedState();
            const QByteArray fileBefore = OnDisk();

            const QString third = Add("third");
            Set(second, "second, edited");
            h.TakeLogLines();
            SetFolderMode(0555);
            {
                PermissionsBindRoot bound;
                EXPECT_EQ(h.Send(requests.save).code, AS_ERROR);
                const QString log = h.TakeLogLines().join('\n');
                EXPECT_TRUE(log.contains(FilePath())) << log.toStdString();
                EXPECT_EQ(h.Send(AS_END_SYNC).code, AS_ERROR);
            }
            SetFolderMode(0755);
            EXPECT_EQ(SavedState(), savedState) << "the old state stays";
            EXPECT_EQ(OnDisk(), fileBefore);

            chance.take(*this);
            EXPECT_TRUE(OnDisk().contains("third"));
            EXPECT_TRUE(OnDisk().contains("second, edited"));
            ParsedChangeReport expected;
            if (chance.reportsTheChanges) {
                expected.added = QStringList{third};
                expected.edited = QStringList{second};
            }
            EXPECT_EQ(Check(), expected);
            Ok(requests.save);
            Ok(AS_END_SYNC);
        }
    }
}

// The file the synchronisation read is gone at the write-back (moved aside for a moment, its
// folder replaced by a sync tool) or something other than a file stands in its place: a failed
// write, not an empty store. Nothing is served from the held copy meanwhile, in that
// synchronisation or the next, so no check reports the items deleted; the changes reach the
// file once it is back.
TEST_F(HeldChanges, AFileGoneAtTheWriteBackIsAFailedWriteUntilItIsBack)
{
    const struct {
        const char* what;
        bool folderInItsPlace;
    } plants[] = {{"moved aside", false}, {"a folder in its place", true}};
    for (const HeldStore& s : kStores) {
        for (const auto& p : plants) {
            SCOPED_TRACE(std::string(s.name) + ", " + p.what);
            h.dispatcher.ReleaseClientResources();
            Plant(s);
            QFile::remove(StatePath());
            Ok(AS_START_SYNC);
            ASSERT_EQ(Check().added.size(), 2);
            Ok(requests.save);
            const QByteArray savedState = SavedState();
            const QString third = Add("third");

            const QString aside = FilePath() + QStringLiteral(".aside");
            ASSERT_TRUE(QFile::rename(FilePath(), aside));
            if (p.folderInItsPlace) ASSERT_TRUE(QDir().mkdir(FilePath()));
            h.TakeLogLines();
            EXPECT_EQ(h.Send(requests.save).code, AS_ERROR);
            const QString log = h.TakeLogLines().join('\n');
            EXPECT_TRUE(log.contains(FilePath())) << log.toStdString();
            EXPECT_EQ(h.Send(requests.check, s.kind == ItemKind::Notes ? Utf16z(QStringLiteral("s")) : QByteArray()).code,
                      AS_ERROR);
            EXPECT_EQ(h.Send(AS_END_SYNC).code, AS_ERROR);
            EXPECT_EQ(SavedState(), savedState);

            // The next synchronisation tries first, and is served nothing while it cannot write.
            h.Send(AS_START_SYNC);
            EXPECT_EQ(h.Send(requests.check, s.kind == ItemKind::Notes ? Utf16z(QStringLiteral("s")) : QByteArray()).code,
                      AS_ERROR);
            h.Send(AS_END_SYNC);

            if (p.folderInItsPlace) ASSERT_TRUE(QDir().rmdir(FilePath()));
            ASSERT_TRUE(QFile::rename(aside, FilePath()));
            Ok(AS_START_SYNC);
            EXPECT_TRUE(OnDisk().contains("third"));
            ParsedChangeReport expected;
            expected.added = QStringList{third};
            EXPECT_EQ(Check(), expected);
            Ok(requests.save);
            Ok(AS_END_SYNC);
        }
    }
}

// Opera or the program wrote the file after the synchronisation read it: the changes the agent
// holds are not written over it, the log names it, and what the peer is told next is the file.
TEST_F(HeldChanges, AFileAnotherProgramWroteMeanwhileIsNeverOverwritten)
{
    for (const HeldStore& s : kStores) {
        SCOPED_TRACE(s.name);
        h.dispatcher.ReleaseClientResources();
        Plant(s);
        QFile::remove(StatePath());
        Ok(AS_START_SYNC);
        ASSERT_EQ(Check().added.size(), 2);
        Ok(requests.save);
        const QByteArray savedState = SavedState();
        Add("from the peer");

        // The program adds an item of its own and writes its file.
        if (s.code == 0x10000) {
            CWin7_StikyNotes notes({}, FilePath());
            notes.Open();
            ItemRecord r = TextRecord({{s.bodyField, "from the program"}});
            QString id;
            notes.Add(r, id);
            notes.Close();
        } else {
            const QByteArray block = s.kind == ItemKind::Notes
                                         ? "#NOTE\n\tID=9\n\tNAME=from the program\n\tUNIQUEID=00000000000000000000000000000009\n\n"
                                         : "#CONTACT\n\tID=9\n\tNAME=Program\n\tCREATED=1000000009\n\tDESCRIPTION=from the program\n\n";
            h.home.WriteFile(QString::fromLatin1(s.file), OnDisk() + block);
        }
        const QByteArray users = OnDisk();
        h.TakeLogLines();

        EXPECT_EQ(h.Send(requests.save).code, AS_ERROR);
        const QString log = h.TakeLogLines().join('\n');
        EXPECT_TRUE(log.contains(FilePath() + QStringLiteral("\" changed since it was read")) ||
                    log.contains(FilePath() + QStringLiteral(" changed since it was read")))
            << log.toStdString();
        EXPECT_EQ(SavedState(), savedState);
        Ok(AS_END_SYNC);
        EXPECT_EQ(OnDisk(), users) << "the user's newer file wins";

        Ok(AS_START_SYNC);
        const ParsedChangeReport report = Check();
        ASSERT_EQ(report.added.size(), 1);
        EXPECT_TRUE(report.edited.isEmpty());
        EXPECT_TRUE(report.deleted.isEmpty());
        EXPECT_EQ(IdOf(report.added, "from the program"), report.added.first());
        Ok(AS_END_SYNC);
    }
}

// A hotlist kept elsewhere and linked into Opera's folder stays a link: the changes reach the
// file it leads to, which keeps its mode.
TEST_F(HeldChanges, AHotlistThatIsALinkIsWrittenThroughIt)
{
    h.home.WriteFile(QStringLiteral("synced/notes.adr"),
                     kHeader + "#NOTE\n\tID=1\n\tNAME=first\n\tUNIQUEID=00000000000000000000000000000001\n\n");
    const QString target = h.home.Path(QStringLiteral("synced/notes.adr"));
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    const QString link = h.home.Path(QStringLiteral(".opera/notes.adr"));
    ASSERT_TRUE(QFile::link(QStringLiteral("../synced/notes.adr"), link));
    h.agent.notesAgentId = 0x4000;

    Ok(AS_START_SYNC);
    Ok(AS_ADD_NOTE, ItemBlob({}, TextRecord({{"Body", "through the link"}})));
    Ok(AS_END_SYNC);

    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
    EXPECT_TRUE(h.home.ReadFile(QStringLiteral("synced/notes.adr")).value_or("").contains("NAME=through the link"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Opera's bookmarks are written at the save of the bookmark state, before it.
TEST_F(HeldChanges, TheBookmarkStateIsSavedOnlyOnceTheBookmarksAreWritten)
{
    h.home.WriteFile(QStringLiteral(".opera/bookmarks.adr"), kHeader);
    h.agent.browserId = static_cast<std::uint32_t>(BrowserKind::Opera);
    Ok(AS_START_SYNC);
    Ok(AS_CHECK_BOOKMARKS, Utf16z(QString()));
    Ok(AS_SAVE_BOOKMARKS_STATE);
    QByteArray record;
    ByteWriter w(record);
    EncodeBookmarkFields({QString(), QStringLiteral("kept"), QStringLiteral("http://k/")}, w);
    Ok(AS_ADD_BOOKMARK, record);
    const QString statePath = BookmarkStateFile(BrowserKind::Opera, h.agent.machineId, QString()).Path();
    const auto savedState = [&] {
        QFile f(statePath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    };
    const QByteArray before = savedState();
    const QString folder = h.home.Path(QStringLiteral(".opera"));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    {
        PermissionsBindRoot bound;
        EXPECT_EQ(h.Send(AS_SAVE_BOOKMARKS_STATE).code, AS_ERROR);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    EXPECT_EQ(savedState(), before) << "the old state stays";

    Ok(AS_SAVE_BOOKMARKS_STATE);
    EXPECT_TRUE(h.home.ReadFile(QStringLiteral(".opera/bookmarks.adr")).value_or("").contains("\tNAME=kept\n"));
    EXPECT_NE(savedState(), before);
    Ok(AS_END_SYNC);
}

// An end of the synchronisation that cannot write Opera's bookmarks keeps them with their
// changes, and the next start writes them.
TEST_F(HeldChanges, BookmarksAnEndCouldNotWriteStayForTheNextSynchronisation)
{
    h.home.WriteFile(QStringLiteral(".opera/bookmarks.adr"), kHeader);
    h.agent.browserId = static_cast<std::uint32_t>(BrowserKind::Opera);
    Ok(AS_START_SYNC);
    QByteArray record;
    ByteWriter w(record);
    EncodeBookmarkFields({QString(), QStringLiteral("kept"), QStringLiteral("http://k/")}, w);
    Ok(AS_ADD_BOOKMARK, record);
    const QString folder = h.home.Path(QStringLiteral(".opera"));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    {
        PermissionsBindRoot bound;
        EXPECT_EQ(h.Send(AS_END_SYNC).code, AS_ERROR);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    EXPECT_EQ(h.home.ReadFile(QStringLiteral(".opera/bookmarks.adr")), kHeader);

    Ok(AS_START_SYNC);
    EXPECT_TRUE(h.home.ReadFile(QStringLiteral(".opera/bookmarks.adr")).value_or("").contains("\tNAME=kept\n"));
    ByteReader r(Ok(AS_CHECK_BOOKMARKS, Utf16z(QString())));
    EXPECT_EQ(r.U16(), 1);
    Ok(AS_END_SYNC);
}

// Windows Contacts writes a new contact's file at once and its groups at the commit. A group
// file the commit cannot change (not XML) fails the save after the contact's file was written:
// the state is still saved, as the files hold it, so that the next check does not tell the peer
// of its own contact as a new one; the group change is kept and written once the file is
// mended. A deletion pending when the client leaves is written then, not dropped.
TEST(HeldContactChanges, APartlyWrittenCommitSavesTheStateOfWhatItWrote)
{
    DispatchHarness h;
    const QString folder = h.home.Path(QStringLiteral("Contacts"));
    QDir().mkpath(folder);
    h.agent.agentId = 2;
    h.agent.stores->Replace(ItemKind::Contacts, 2, std::make_unique<ContactsVista::CContactWinVista>(folder, nullptr));
    ContactFileRecord ann;
    ann.Id = QStringLiteral("aaaaaaaa-1111-2222-3333-444444444444000000000000");
    ann.GivenName = QStringLiteral("Ann");
    h.home.WriteFile(QStringLiteral("Contacts/Ann.contact"), NewContactFileContent(ann));
    h.home.WriteFile(QStringLiteral("Contacts/Work.group"), "<c:group>not a group file");
    const auto check = [&] {
        const SentMessage reply = h.Send(AS_CHECK_CONTACTS);
        EXPECT_EQ(reply.code, AS_CHECK_CONTACTS + 1);
        return ParseChangeReport(reply.payload);
    };
    ASSERT_EQ(check().added, QStringList{ann.Id});
    ASSERT_EQ(h.Send(AS_SAVE_CONTACTS_STATE).code, AS_SAVE_CONTACTS_STATE + 1);

    const SentMessage added =
        h.Send(AS_ADD_CONTACT, ItemBlob({}, TextRecord({{"FirstName", "Bo"}, {"Categories", "Work"}})));
    ASSERT_EQ(added.code, AS_ADD_CONTACT + 1);
    const QString bo = QString::fromUtf16(reinterpret_cast<const char16_t*>(added.payload.constData()), 48);
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_SAVE_CONTACTS_STATE).code, AS_ERROR);
    const QString log = h.TakeLogLines().join('\n');
    EXPECT_TRUE(log.contains(QStringLiteral("Work.group"))) << log.toStdString();
    EXPECT_EQ(check(), ParsedChangeReport{}) << "the peer's own contact is no news";

    // Ann is deleted and the client leaves before saving: her file goes all the same.
    ASSERT_EQ(h.Send(AS_DEL_CONTACT, Utf16z(ann.Id)).code, AS_DEL_CONTACT + 1);
    h.dispatcher.ReleaseClientResources();
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/Ann.contact")));
    EXPECT_EQ(check(), (ParsedChangeReport{{}, {}, {ann.Id}}));

    // Mended, the group file takes Bo at the next commit, and the next check tells of it.
    h.home.WriteFile(QStringLiteral("Contacts/Work.group"),
                     NewGroupFileContent(QStringLiteral("Work"), NewGuidText(), {}));
    EXPECT_EQ(h.Send(AS_SAVE_CONTACTS_STATE).code, AS_SAVE_CONTACTS_STATE + 1);
    QStringList members;
    for (const QByteArray& m :
         ReadGroupMembers(h.home.ReadFile(QStringLiteral("Contacts/Work.group")).value_or("")).list.members)
        members << MemberIdentifier(m);
    EXPECT_EQ(members, QStringList{bo});
    EXPECT_EQ(check(), (ParsedChangeReport{{}, {bo}, {}}));
}

// The server's stop (the user's command, the system's sleep) releases the stores through the
// same call as every other occasion: a change it cannot write is logged, naming the occasion.
TEST(HeldContactChanges, TheServersStopLogsWhatItCouldNotWrite)
{
    DispatchHarness h;
    const QString folder = h.home.Path(QStringLiteral("Contacts"));
    QDir().mkpath(folder);
    h.agent.agentId = 2;
    h.agent.stores->Replace(ItemKind::Contacts, 2, std::make_unique<ContactsVista::CContactWinVista>(folder, nullptr));
    h.home.WriteFile(QStringLiteral("Contacts/Work.group"), "<c:group>not a group file");
    ASSERT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_CHECK_CONTACTS + 1);
    ASSERT_EQ(h.Send(AS_ADD_CONTACT, ItemBlob({}, TextRecord({{"FirstName", "Bo"}, {"Categories", "Work"}}))).code,
              AS_ADD_CONTACT + 1);
    h.TakeLogLines();
    h.dispatcher.ServerDisabled();
    const QStringList log = h.TakeLogLines();
    ASSERT_EQ(log.size(), 1) << log.join('\n').toStdString();
    EXPECT_TRUE(log[0].startsWith(
        QStringLiteral("At the server's stop: The contacts source 2 was not written back: Work.group (")))
        << log[0].toStdString();
}

}  // namespace
