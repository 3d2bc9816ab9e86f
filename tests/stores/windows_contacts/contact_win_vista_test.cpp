// The Windows Contacts store through the dispatcher, in a temporary home whose Contacts folder
// holds the files: change checks, reads, adds, changes, deletions and the commit of group files.
#include "stores/windows_contacts/contact_win_vista.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <functional>

#include "common/byte_io.h"
#include "dispatch/request_codes.h"
#include "platform/atomic_file.h"
#include "platform/path_map.h"
#include "platform/platform_info.h"
#include "platform/registry.h"
#include "stores/catalog/store_set.h"
#include "stores/windows_contacts/contact_base64.h"
#include "stores/windows_contacts/contact_file_writer.h"
#include "stores/windows_contacts/contact_group_file.h"
#include "stores/windows_contacts/contacts_folder.h"
#include "support/dispatch_harness.h"
#include "support/file_size_limit.h"
#include "support/permissions_bind_root.h"
#include "support/scoped_env.h"
#include "support/strict_xml.h"
#include "wire/message_header.h"

using namespace ContactsVista;

namespace {

QString Id(char digit) { return QString(8, QLatin1Char(digit)) + QStringLiteral("-1111-2222-3333-444444444444000000000000"); }

class WindowsContactsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(Folder());
        h.agent.agentId = 2;
        auto owned = std::make_unique<CContactWinVista>([this](const QString& line) { logged << line; });
        store = owned.get();
        h.agent.stores->Replace(ItemKind::Contacts, 2, std::move(owned));
    }

    QString Folder() const { return h.home.Path(QStringLiteral("Contacts")); }
    QString File(const QString& name) const { return Folder() + u'/' + name; }
    QByteArray Bytes(const QString& name) const
    {
        QFile f(File(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // A contact file as another program would have left it.
    void Plant(const QString& title, const QString& id, const QString& given, const QString& birthday = {})
    {
        ContactFileRecord r;
        r.Id = id;
        r.GivenName = given;
        if (!birthday.isEmpty()) r.Birthday = birthday;
        h.home.WriteFile(QStringLiteral("Contacts/") + title + QStringLiteral(".contact"), NewContactFileContent(r));
    }
    void PlantGroup(const QString& name, const QStringList& ids)
    {
        std::vector<GroupMemberRef> members;
        for (const QString& id : ids) members.push_back({id, File(id.left(8) + QStringLiteral(".contact"))});
        h.home.WriteFile(QStringLiteral("Contacts/") + name + QStringLiteral(".group"),
                         NewGroupFileContent(name, NewGuidText(), members));
    }
    QStringList MembersOf(const QString& group) const
    {
        QStringList ids;
        for (const QByteArray& m : ReadGroupMembers(Bytes(group + QStringLiteral(".group"))).list.members)
            ids << MemberIdentifier(m);
        return ids;
    }
    QStringList FilesInFolder() const
    {
        QStringList names = QDir(Folder()).entryList(QDir::Files | QDir::Hidden);
        names.sort();
        return names;
    }

    ParsedChangeReport Check()
    {
        const SentMessage reply = h.Send(AS_CHECK_CONTACTS);
        EXPECT_EQ(reply.code, AS_CHECK_CONTACTS + 1) << h.TakeLogLines().join(u'\n').toStdString();
        return ParseChangeReport(reply.payload);
    }
    ItemRecord Get(const QString& id)
    {
        const SentMessage reply = h.Send(AS_GET_CONTACT, Utf16z(id));
        EXPECT_EQ(reply.code, AS_GET_CONTACT + 1);
        return DecodeBlob(reply.payload);
    }
    QString Add(const ItemRecord& record)
    {
        const SentMessage reply = h.Send(AS_ADD_CONTACT, ItemBlob({}, record));
        EXPECT_EQ(reply.code, AS_ADD_CONTACT + 1);
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(reply.payload.constData()), reply.payload.size() / 2);
    }
    std::uint16_t Set(const QString& id, const ItemRecord& record) { return h.Send(AS_SET_CONTACT, ItemBlob(id, record)).code; }
    std::uint16_t Save() { return h.Send(AS_SAVE_CONTACTS_STATE).code; }
    QString Field(const ItemRecord& r, const char* name)
    {
        const int i = r.IndexOf(QString::fromUtf8(name));
        return i < 0 ? QStringLiteral("<absent>") : std::get<QString>(r.values[i]);
    }

    DispatchHarness h;
    CContactWinVista* store = nullptr;
    QStringList logged;
};

TEST_F(WindowsContactsStore, ListsReadsAndCommitsTheRealFiles)
{
    for (const char* name : {"Avinash.contact", "Alexei Karamazov.contact", "MapiGroup.group"}) {
        QFile source(QStringLiteral(TWINLARK_TEST_DATA "/windows-contacts/") + QString::fromUtf8(name));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        h.home.WriteFile(QStringLiteral("Contacts/") + QString::fromUtf8(name), source.readAll());
    }
    const QString alexei = QStringLiteral("5ac2d943-e93d-492f-b852-b0dc94a62f76000000000000");
    const QString avinash = QStringLiteral("0bcf610e-a7be-4f26-9042-d6b3c22c9863000000000000");
    EXPECT_EQ(Check().added, (QStringList{alexei, avinash}));  // sorted by file name
    const ItemRecord r = Get(alexei);
    EXPECT_EQ(Field(r, "Categories"), QStringLiteral("MapiGroup"));
    EXPECT_EQ(Field(r, "Birthday"), QStringLiteral("1980-11-30 00:00:00"));
    EXPECT_EQ(Field(r, "Spouse"), QStringLiteral("Fyodor Karamazov"));
    EXPECT_EQ(Field(Get(avinash), "Categories"), QStringLiteral("<absent>"));
    EXPECT_EQ(h.Send(AS_GET_CATEGORIES).payload, utf16::Bytes(u"MapiGroup"_qs));  // the last comma goes

    ASSERT_EQ(h.Send(AS_DEL_CONTACT, Utf16z(alexei)).code, AS_DEL_CONTACT + 1);
    EXPECT_EQ(Save(), AS_SAVE_CONTACTS_STATE + 1);
    EXPECT_EQ(FilesInFolder(), (QStringList{u"Avinash.contact"_qs, u"MapiGroup.group"_qs}));
    // Its other member, the group's own entry, stays.
    EXPECT_EQ(MembersOf(u"MapiGroup"_qs), QStringList{u"1f6f9929-c0d7-49f6-8660-5a7ab50c12ac000000000000"_qs});
    EXPECT_TRUE(Bytes(u"MapiGroup.group"_qs).contains("PropTag0x80091102"));
    EXPECT_EQ(Check().deleted, QStringList{});
}

TEST_F(WindowsContactsStore, AddsGetsAndChecksAContact)
{
    Check();
    ItemRecord in = TextRecord({{"FirstName", "  Ann\r\n"}, {"LastName", "Smith"}, {"Birthday", "1970-05-21 00:00:00"},
                                {"Categories", " Friends,,Work,"}, {"WebPage", "http://"}, {"Unknown", "x"}});
    in.Add(u"Picture"_qs, u"Picture"_qs);
    in.SetPicture("IMG");
    const QString id = Add(in);
    ASSERT_EQ(id.size(), 48);
    EXPECT_TRUE(id.endsWith(u"000000000000"));
    EXPECT_EQ(FilesInFolder(), QStringList{u"Ann Smith.contact"_qs});
    const ItemRecord r = Get(id);
    EXPECT_EQ(r.names, (QStringList{u"Categories"_qs, u"FirstName"_qs, u"LastName"_qs, u"Birthday"_qs, u"Picture"_qs}));
    EXPECT_EQ(Field(r, "Categories"), QStringLiteral("Friends,Work"));
    EXPECT_EQ(Field(r, "FirstName"), QStringLiteral("Ann"));
    EXPECT_EQ(Field(r, "Birthday"), QStringLiteral("1970-05-21 00:00:00"));
    EXPECT_EQ(r.PictureImage(), QByteArray("IMG"));

    // The groups are written at the commit; the next check finds the contact in them unchanged.
    EXPECT_EQ(Save(), AS_SAVE_CONTACTS_STATE + 1);
    EXPECT_EQ(MembersOf(u"Friends"_qs), QStringList{id});
    EXPECT_EQ(MembersOf(u"Work"_qs), QStringList{id});
    EXPECT_EQ(Check(), ParsedChangeReport{});

    EXPECT_EQ(h.Send(AS_GET_CONTACT, Utf16z(Id('9'))).code, AS_ERROR);
    EXPECT_EQ(Set(Id('9'), TextRecord({{"FirstName", "X"}})), AS_ERROR);
    EXPECT_EQ(store->IDtoCRC32(Id('9')), 0u);
}

TEST_F(WindowsContactsStore, RefusesBadInputBeforeWritingAnything)
{
    Check();
    struct Case {
        const char* name;
        ItemRecord record;
    };
    const Case cases[] = {
        {"a month-day-year date", TextRecord({{"FirstName", "A"}, {"Birthday", "05-21-1970"}})},
        {"nine characters", TextRecord({{"FirstName", "A"}, {"Birthday", "1970-5-21"}})},
        {"no such day", TextRecord({{"FirstName", "A"}, {"Anniversary", "1970-02-30"}})},
        {"a group leaving the folder", TextRecord({{"FirstName", "A"}, {"Categories", "../x"}})},
        {"a group with a slash", TextRecord({{"FirstName", "A"}, {"Categories", "ok,a/b"}})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(h.Send(AS_ADD_CONTACT, ItemBlob({}, c.record)).code, AS_ERROR) << c.name;
        EXPECT_EQ(FilesInFolder(), QStringList{}) << c.name;
    }
    EXPECT_FALSE(QFile::exists(h.home.Path(u"x.group"_qs)));
    EXPECT_TRUE(store->Records().empty());

    Plant(u"Bo"_qs, Id('b'), u"Bo"_qs);
    Check();
    const QByteArray before = Bytes(u"Bo.contact"_qs);
    EXPECT_EQ(Set(Id('b'), TextRecord({{"FirstName", "Changed"}, {"Birthday", "1970-13-01"}})), AS_ERROR);
    EXPECT_EQ(Set(Id('b'), TextRecord({{"FirstName", "Changed"}, {"Categories", "../x"}})), AS_ERROR);
    EXPECT_EQ(Save(), AS_SAVE_CONTACTS_STATE + 1);
    EXPECT_EQ(Bytes(u"Bo.contact"_qs), before);
    EXPECT_EQ(FilesInFolder(), QStringList{u"Bo.contact"_qs});
    EXPECT_FALSE(QFile::exists(h.home.Path(u"x.group"_qs)));
    Check();
    EXPECT_EQ(Field(Get(Id('b')), "FirstName"), u"Bo"_qs);
}

TEST_F(WindowsContactsStore, LinksLeadingOutOfTheFolderAreNeverFollowed)
{
    const QByteArray outside = "<?xml version=\"1.0\"?><c:contact/>";
    h.home.WriteFile(u"elsewhere/Out.group"_qs, outside);
    h.home.WriteFile(u"elsewhere/Zoe.contact"_qs, outside);
    for (const char* name : {"Out.group", "Zoe.contact"}) {
        const QString link = File(QString::fromUtf8(name));
        ASSERT_EQ(::symlink(QFile::encodeName(h.home.Path(u"elsewhere/"_qs + QString::fromUtf8(name))).constData(),
                            QFile::encodeName(link).constData()),
                  0);
    }
    Plant(u"Bo"_qs, Id('b'), u"Bo"_qs);
    Check();

    // A category naming the linked group is refused before anything is written.
    EXPECT_EQ(h.Send(AS_ADD_CONTACT, ItemBlob({}, TextRecord({{"FirstName", "A"}, {"Categories", "Out"}}))).code,
              AS_ERROR);
    EXPECT_EQ(Set(Id('b'), TextRecord({{"Categories", "Out"}})), AS_ERROR);
    // A contact whose name a link holds takes another name.
    Add(TextRecord({{"FileAs", "Zoe"}}));
    EXPECT_TRUE(QFile::exists(File(u"Zoe[1].contact"_qs)));

    // A group that became such a link after the edit fails the commit and stays as it is.
    ASSERT_EQ(Set(Id('b'), TextRecord({{"Categories", "Late"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(::symlink(QFile::encodeName(h.home.Path(u"elsewhere/Out.group"_qs)).constData(),
                        QFile::encodeName(File(u"Late.group"_qs)).constData()),
              0);
    EXPECT_EQ(Save(), AS_ERROR);
    for (const char* name : {"Out.group", "Zoe.contact"})
        EXPECT_EQ(h.home.ReadFile(u"elsewhere/"_qs + QString::fromUtf8(name)), outside) << name;
    EXPECT_TRUE(QFileInfo(File(u"Late.group"_qs)).isSymLink());
}

TEST_F(WindowsContactsStore, EditsInPlaceOrMovesWithoutReplacingAnyFile)
{
    Plant(u"Ann"_qs, Id('a'), u"Ann"_qs);
    Plant(u"Bob"_qs, Id('b'), u"Bob"_qs);
    h.home.WriteFile(u"Contacts/Zed.contact"_qs, "not xml");  // left out, yet its name is taken
    Check();
    EXPECT_EQ(logged.size(), 1);

    ASSERT_EQ(Set(Id('a'), TextRecord({{"Body", "note"}})), AS_SET_CONTACT + 1);
    EXPECT_EQ(FilesInFolder(), (QStringList{u"Ann.contact"_qs, u"Bob.contact"_qs, u"Zed.contact"_qs}));
    EXPECT_TRUE(Bytes(u"Ann.contact"_qs).contains("<c:Notes>note</c:Notes>"));

    ASSERT_EQ(Set(Id('a'), TextRecord({{"FileAs", "BOB"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(Set(Id('b'), TextRecord({{"FileAs", "zed"}})), AS_SET_CONTACT + 1);
    EXPECT_EQ(FilesInFolder(), (QStringList{u"BOB[1].contact"_qs, u"Zed.contact"_qs, u"zed[1].contact"_qs}));
    EXPECT_EQ(Bytes(u"Zed.contact"_qs), "not xml");
    EXPECT_TRUE(Bytes(u"BOB[1].contact"_qs).contains("<c:Notes>note</c:Notes>"));

    // A new contact named like a file only on disk gets another name too.
    Add(TextRecord({{"FileAs", "ZED"}}));
    EXPECT_TRUE(FilesInFolder().contains(u"ZED[2].contact"_qs));
}

// A file that takes the chosen name while the new contact is written is never replaced: the
// contact takes the next free name, or the add fails with nothing of it left behind.
TEST_F(WindowsContactsStore, ANewContactNeverReplacesAFileThatAppearedMeanwhile)
{
    Check();
    QStringList planted;
    int plants = 1;
    ScopedAtomicWriteHook hook([&](const QString& path) {
        if (plants-- <= 0) return;
        QFile other(path);
        ASSERT_TRUE(other.open(QIODevice::NewOnly));
        other.write("another program's");
        planted << QFileInfo(path).fileName();
    });
    const QString id = Add(TextRecord({{"FileAs", "Cy"}}));
    EXPECT_EQ(planted, QStringList{u"Cy.contact"_qs});
    EXPECT_EQ(FilesInFolder(), (QStringList{u"Cy.contact"_qs, u"Cy[1].contact"_qs}));
    EXPECT_EQ(Bytes(u"Cy.contact"_qs), "another program's");
    ASSERT_EQ(store->Records().size(), 1u);
    EXPECT_EQ(store->Records()[0].FilePath, File(u"Cy[1].contact"_qs));
    EXPECT_TRUE(Bytes(u"Cy[1].contact"_qs).contains(id.left(36).toUtf8()));

    plants = 1000;
    EXPECT_EQ(h.Send(AS_ADD_CONTACT, ItemBlob({}, TextRecord({{"FileAs", "Di"}}))).code, AS_ERROR);
    QStringList expected = planted;
    expected << u"Cy[1].contact"_qs;
    expected.sort();
    EXPECT_EQ(FilesInFolder(), expected) << "the planted files only, no temporary file";
    EXPECT_EQ(store->Records().size(), 1u);
}

TEST_F(WindowsContactsStore, RepeatedChecksHoldCopiesThatChangeTogether)
{
    Plant(u"Ann"_qs, Id('a'), u"Ann"_qs);
    PlantGroup(u"G"_qs, {Id('a')});
    Check();
    Check();  // without loading the state in between
    ASSERT_EQ(store->Records().size(), 2u);
    EXPECT_EQ(store->Records()[0].GroupNames, QStringList{u"G"_qs});
    EXPECT_EQ(store->Records()[1].GroupNames, QStringList{u"G"_qs});
    ASSERT_EQ(Set(Id('a'), TextRecord({{"FirstName", "Anna"}, {"FileAs", "Anna"}})), AS_SET_CONTACT + 1);
    EXPECT_EQ(FilesInFolder(), (QStringList{u"Anna.contact"_qs, u"G.group"_qs}));
    for (const ContactFileRecord& r : store->Records()) EXPECT_EQ(r.FilePath, File(u"Anna.contact"_qs));
    EXPECT_EQ(Field(Get(Id('a')), "FirstName"), u"Anna"_qs);
    ASSERT_EQ(Save(), AS_SAVE_CONTACTS_STATE + 1);
    EXPECT_EQ(MembersOf(u"G"_qs), QStringList{Id('a')});  // no "Categories": its groups stay
}

// Every way of forgetting the records, a commit outside a state save, a release and the load
// of a state, gives their memory back: a commit once kept room for the largest folder ever
// checked.
TEST_F(WindowsContactsStore, ForgettingTheRecordsGivesTheirMemoryBack)
{
    Plant(u"Ann"_qs, Id('a'), u"Ann"_qs);
    Plant(u"Bo"_qs, Id('b'), u"Bo"_qs);
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"commit", [&] { EXPECT_TRUE(store->CommitChanges().failures.isEmpty()); }},
        {"release", [&] { store->AtRelease(); }},
        {"state loaded", [&] { store->ClearRecords(); }},
    };
    for (const auto& [name, forget] : ways) {
        SCOPED_TRACE(name);
        Check();
        ASSERT_EQ(store->Records().size(), 2u);
        forget();
        EXPECT_TRUE(store->Records().empty());
        EXPECT_EQ(store->Records().capacity(), 0u);
    }
}

TEST_F(WindowsContactsStore, CommitsGroupChanges)
{
    Plant(u"Ann"_qs, Id('a'), u"Ann"_qs);
    Plant(u"Bob"_qs, Id('b'), u"Bob"_qs);
    Plant(u"Cy"_qs, Id('c'), u"Cy"_qs);
    Plant(u"Di"_qs, Id('d'), u"Di"_qs);
    PlantGroup(u"A"_qs, {Id('a'), Id('c')});
    PlantGroup(u"Same"_qs, {Id('d')});
    PlantGroup(u"Family"_qs, {Id('c')});
    const QByteArray sameBefore = Bytes(u"Same.group"_qs);
    Check();

    // Ann moves from A to B; Bob joins B too; Cy leaves Family only; Di names its groups again
    // in another letter case.
    ASSERT_EQ(Set(Id('a'), TextRecord({{"Categories", "B"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(Set(Id('b'), TextRecord({{"Categories", "B"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(Set(Id('c'), TextRecord({{"Categories", "A"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(Set(Id('d'), TextRecord({{"Categories", "same"}})), AS_SET_CONTACT + 1);
    // Read back, a contact has the groups it will have after the commit.
    EXPECT_EQ(Field(Get(Id('a')), "Categories"), u"B"_qs);
    EXPECT_EQ(Field(Get(Id('d')), "Categories"), u"Same"_qs);
    // A group file that appeared since the check is added to, never replaced.
    PlantGroup(u"b"_qs, {Id('d')});
    ASSERT_EQ(Save(), AS_SAVE_CONTACTS_STATE + 1);

    EXPECT_EQ(MembersOf(u"A"_qs), QStringList{Id('c')});
    EXPECT_EQ(MembersOf(u"b"_qs), (QStringList{Id('d'), Id('a'), Id('b')}));
    EXPECT_FALSE(QFile::exists(File(u"B.group"_qs)));
    EXPECT_EQ(MembersOf(u"Family"_qs), QStringList{});
    EXPECT_TRUE(Bytes(u"Family.group"_qs).contains("<c:Extended xsi:nil=\"true\"/>"));
    EXPECT_EQ(Bytes(u"Same.group"_qs), sameBefore);
    Check();
    EXPECT_EQ(Field(Get(Id('a')), "Categories"), u"b"_qs);
    EXPECT_EQ(h.Send(AS_GET_CATEGORIES).payload, utf16::Bytes(u"A,b,Family,Same"_qs));
}

TEST_F(WindowsContactsStore, AnAddedThenEditedContactJoinsItsGroupsAtTheCommit)
{
    Check();
    const QString kept = Add(TextRecord({{"FirstName", "Kept"}, {"Categories", "Club"}}));
    const QString renamed = Add(TextRecord({{"FirstName", "Moved"}, {"Categories", "Club"}}));
    ASSERT_EQ(Set(kept, TextRecord({{"Body", "edited"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(Set(renamed, TextRecord({{"Categories", "Other"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(Save(), AS_SAVE_CONTACTS_STATE + 1);
    EXPECT_EQ(MembersOf(u"Club"_qs), QStringList{kept});
    EXPECT_EQ(MembersOf(u"Other"_qs), QStringList{renamed});
}

TEST_F(WindowsContactsStore, DeleteThenEditKeepsTheContactAndDeleteAllEmptiesTheFolder)
{
    Plant(u"Ann"_qs, Id('a'), u"Ann"_qs, u"21-05-1970"_qs);
    Plant(u"Bob"_qs, Id('b'), u"Bob"_qs);
    Check();
    h.Send(AS_DEL_CONTACT, Utf16z(Id('a')));
    // An empty date, as the peer sends it (the agent's own encoder leaves empty texts out).
    QByteArray blob = utf16::Bytes(Id('a'));
    ByteWriter w(blob);
    w.U16(1);
    w.U32(16);
    w.Utf16(u"Birthday"_qs);
    w.U32(0);
    ASSERT_EQ(h.Send(AS_SET_CONTACT, blob).code, AS_SET_CONTACT + 1);
    EXPECT_EQ(Field(Get(Id('a')), "Birthday"), u"<absent>"_qs);
    ASSERT_EQ(Save(), AS_SAVE_CONTACTS_STATE + 1);
    EXPECT_EQ(FilesInFolder(), (QStringList{u"Ann.contact"_qs, u"Bob.contact"_qs}));
    EXPECT_FALSE(Bytes(u"Ann.contact"_qs).contains("c:DateCollection"));

    h.home.WriteFile(u"Contacts/Broken.contact"_qs, "<c:contact>");
    ASSERT_EQ(h.Send(AS_DEL_ALL_CONTACTS).code, AS_DEL_ALL_CONTACTS + 1);
    EXPECT_EQ(FilesInFolder(), QStringList{u"Broken.contact"_qs});  // never listed, never deleted
}

TEST_F(WindowsContactsStore, ACommitAttemptsEveryChangeAndNamesWhatFailed)
{
    Plant(u"Ann"_qs, Id('a'), u"Ann"_qs);
    Plant(u"Bob"_qs, Id('b'), u"Bob"_qs);
    PlantGroup(u"Good"_qs, {Id('a'), Id('b')});
    // A member list whose count claims a second member that is not there.
    QByteArray block;
    ByteWriter w(block);
    const QByteArray member = NewMemberText(Id('a'), File(u"Ann.contact"_qs));
    w.I32(2);
    w.I32(static_cast<std::int32_t>(member.size()));
    w.Bytes(member);
    const QByteArray bad = "<?xml version=\"1.0\"?>\n<c:contact xmlns:c=\"http://schemas.microsoft.com/Contact\" "
                           "xmlns:MSWABMAPI=\"http://schemas.microsoft.com/Contact/Extended/MSWABMAPI\"><c:Extended>"
                           "<MSWABMAPI:PropTag0x66001102>" + EncodeBase64Lines(block) +
                           "</MSWABMAPI:PropTag0x66001102></c:Extended></c:contact>\n";
    h.home.WriteFile(u"Contacts/Bad.group"_qs, bad);
    Check();
    EXPECT_EQ(Field(Get(Id('a')), "Categories"), u"Bad,Good"_qs);  // the complete members count
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].contains(u"Bad.group"_qs));

    h.Send(AS_DEL_CONTACT, Utf16z(Id('a')));
    h.Send(AS_DEL_CONTACT, Utf16z(Id('b')));
    h.TakeLogLines();
    EXPECT_EQ(Save(), AS_ERROR);
    EXPECT_TRUE(h.TakeLogLines().join(u'\n').contains(u"Bad.group"_qs));
    EXPECT_EQ(Bytes(u"Bad.group"_qs), bad);
    EXPECT_EQ(MembersOf(u"Good"_qs), QStringList{});
    EXPECT_EQ(FilesInFolder(), (QStringList{u"Bad.group"_qs, u"Good.group"_qs}));
    // What failed is kept, to be tried again at the next commit; the contacts are no longer listed.
    EXPECT_EQ(store->Records().size(), 2u);
    EXPECT_TRUE(store->HoldsUnwrittenChanges());
    EXPECT_EQ(Check(), ParsedChangeReport{});
}

TEST_F(WindowsContactsStore, AFolderThatCannotBeChangedFailsAddAndCommitWithNothingHalfWritten)
{
    PermissionsBindRoot bound;  // root too meets the permissions below
    Plant(u"Ann"_qs, Id('a'), u"Ann"_qs);
    PlantGroup(u"G"_qs, {Id('a')});
    Check();
    const QStringList before = FilesInFolder();
    ASSERT_EQ(::chmod(QFile::encodeName(Folder()).constData(), 0555), 0);
    EXPECT_EQ(h.Send(AS_ADD_CONTACT, ItemBlob({}, TextRecord({{"FirstName", "New"}}))).code, AS_ERROR);
    h.Send(AS_DEL_CONTACT, Utf16z(Id('a')));
    EXPECT_EQ(Save(), AS_ERROR);
    EXPECT_EQ(FilesInFolder(), before);
    EXPECT_EQ(MembersOf(u"G"_qs), QStringList{Id('a')});

    ASSERT_EQ(::chmod(QFile::encodeName(Folder()).constData(), 0), 0);
    EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_ERROR);
    ::chmod(QFile::encodeName(Folder()).constData(), 0755);
}

// A contact or group file that is there but cannot be read fails the check: leaving its
// contacts out would tell the peer they were deleted.
TEST_F(WindowsContactsStore, AFileThatCannotBeReadFailsTheCheck)
{
    Plant(u"Ann"_qs, Id('a'), u"Ann"_qs);
    PlantGroup(u"G"_qs, {Id('a')});
    for (const char* name : {"Ann.contact", "G.group"}) {
        const QByteArray path = QFile::encodeName(File(QString::fromUtf8(name)));
        ASSERT_EQ(::chmod(path.constData(), 0), 0);
        {
            PermissionsBindRoot bound;
            h.TakeLogLines();
            EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_ERROR) << name;
            EXPECT_TRUE(h.TakeLogLines().join(u'\n').contains(QString::fromUtf8(name))) << name;
        }
        ASSERT_EQ(::chmod(path.constData(), 0644), 0);
    }
    EXPECT_EQ(Check().added, QStringList{Id('a')});
}

// An edit that cannot be carried out leaves the file and the record as they were.
TEST_F(WindowsContactsStore, AnEditThatFailsChangesNothing)
{
    struct Case {
        const char* name;
        std::function<void()> spoil;  // after the check
        ItemRecord edit;
    };
    const Case cases[] = {
        {"the file is no longer well-formed",
         [&] { h.home.WriteFile(u"Contacts/Bo.contact"_qs, "<c:contact>"); },
         TextRecord({{"FirstName", "Changed"}})},
        {"the file cannot be saved", [] {}, TextRecord({{"FirstName", "Changed"}})},
        {"the file cannot be moved", [] {}, TextRecord({{"FirstName", "Changed"}, {"FileAs", "Moved"}})},
        {"the moved file cannot be saved", [] {}, TextRecord({{"FileAs", "Moved"}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(Folder()).removeRecursively();
        QDir().mkpath(Folder());
        Plant(u"Bo"_qs, Id('b'), u"Bo"_qs);
        store->ClearRecords();
        Check();
        c.spoil();
        const QByteArray before = Bytes(u"Bo.contact"_qs);
        const std::string what = c.name;
        std::uint16_t answer = 0;
        if (what == "the file cannot be moved") {
            ASSERT_EQ(::chmod(QFile::encodeName(Folder()).constData(), 0555), 0);
            PermissionsBindRoot bound;
            answer = Set(Id('b'), c.edit);
        } else if (what.find("cannot be saved") != std::string::npos) {
            FileSizeLimit limit(64);
            ASSERT_TRUE(limit.ok());
            answer = Set(Id('b'), c.edit);
        } else {
            answer = Set(Id('b'), c.edit);
        }
        ::chmod(QFile::encodeName(Folder()).constData(), 0755);
        EXPECT_EQ(answer, AS_ERROR);
        EXPECT_EQ(FilesInFolder(), QStringList{u"Bo.contact"_qs});
        EXPECT_EQ(Bytes(u"Bo.contact"_qs), before);
        ASSERT_EQ(store->Records().size(), 1u);
        EXPECT_EQ(store->Records()[0].GivenName, ContactFileRecord::Text(u"Bo"_qs));
        EXPECT_EQ(store->Records()[0].FilePath, File(u"Bo.contact"_qs));
    }
}

TEST_F(WindowsContactsStore, AnEditWithoutAPictureKeepsThePhotoAndAFileGoneCountsAsDeleted)
{
    ContactFileRecord r;
    r.Id = Id('a');
    r.GivenName = u"Ann"_qs;
    r.Picture = "IMG";
    h.home.WriteFile(u"Contacts/Ann.contact"_qs, NewContactFileContent(r));
    Plant(u"Bob"_qs, Id('b'), u"Bob"_qs);
    Check();
    ASSERT_EQ(Set(Id('a'), TextRecord({{"Body", "note"}})), AS_SET_CONTACT + 1);
    EXPECT_TRUE(Bytes(u"Ann.contact"_qs).contains("<c:Notes>note</c:Notes>"));
    EXPECT_TRUE(Bytes(u"Ann.contact"_qs).contains("c:PhotoCollection"));
    EXPECT_EQ(Get(Id('a')).PictureImage(), QByteArray("IMG"));

    // Deleted by the peer, removed by someone else before the commit: nothing left to do.
    ASSERT_EQ(h.Send(AS_DEL_CONTACT, Utf16z(Id('b'))).code, AS_DEL_CONTACT + 1);
    ASSERT_TRUE(QFile::remove(File(u"Bob.contact"_qs)));
    EXPECT_EQ(Save(), AS_SAVE_CONTACTS_STATE + 1);
    EXPECT_EQ(FilesInFolder(), QStringList{u"Ann.contact"_qs});
}

QByteArray RealContact(const char* name)
{
    QFile source(QStringLiteral(TWINLARK_TEST_DATA "/windows-contacts/") + QString::fromUtf8(name));
    return source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
}

const QString kAvinash = QStringLiteral("0bcf610e-a7be-4f26-9042-d6b3c22c9863000000000000");

mode_t ModeOfFile(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

// A pasted manual line break (U+000B) or page break, or any other control character from the
// peer, must not make a file that strict readers (Windows Contacts among them) refuse whole.
TEST_F(WindowsContactsStore, WrittenFilesHoldOnlyCharactersXmlAdmits)
{
    h.home.WriteFile(u"Contacts/Avinash.contact"_qs, RealContact("Avinash.contact"));
    // Left by an older writer: a character reference XML forbids, in a field no edit touches.
    ContactFileRecord bob;
    bob.Id = Id('b');
    bob.GivenName = u"Bob"_qs;
    bob.Notes = u"NOTE"_qs;
    QByteArray old = NewContactFileContent(bob);
    old.replace("NOTE", "a&#1;b");
    ASSERT_FALSE(StrictXmlError(old).isEmpty());
    h.home.WriteFile(u"Contacts/Bob.contact"_qs, old);
    Check();

    const QString ann = Add(TextRecord({{"FirstName", "Ann\x02"}, {"Body", "line\vbreak\fpage\x01."}, {"Categories", "Friends"}}));
    ASSERT_EQ(Set(kAvinash, TextRecord({{"Body", "pasted\vbreak"}, {"JobTitle", "\x1f"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(Set(Id('b'), TextRecord({{"Email1Address", "bob@example.org"}})), AS_SET_CONTACT + 1);
    EXPECT_EQ(Save(), AS_SAVE_CONTACTS_STATE + 1);
    EXPECT_EQ(FilesInFolder(), (QStringList{u"Ann.contact"_qs, u"Avinash.contact"_qs, u"Bob.contact"_qs, u"Friends.group"_qs}));
    for (const QString& name : FilesInFolder()) EXPECT_EQ(StrictXmlError(Bytes(name)), QString()) << name.toStdString();

    Check();
    EXPECT_EQ(Field(Get(ann), "Body"), u"line\nbreak\npage."_qs);
    EXPECT_EQ(Field(Get(ann), "FirstName"), u"Ann"_qs);
    EXPECT_EQ(Field(Get(ann), "Categories"), u"Friends"_qs);
    EXPECT_EQ(Field(Get(kAvinash), "Body"), u"pasted\nbreak"_qs);
    EXPECT_EQ(Field(Get(Id('b')), "Body"), u"ab"_qs);
}

TEST_F(WindowsContactsStore, AnEditLeavesTheFileWhereItIsUnlessItChangesWhatNamesTheFile)
{
    // As Windows Contacts often writes them: a display name and no other name.
    QByteArray displayOnly = RealContact("Avinash.contact");
    displayOnly.replace("<c:GivenName>Avinash</c:GivenName>", "");
    displayOnly.replace("<c:FormattedName>Avinash</c:FormattedName>", "<c:FormattedName>John Doe</c:FormattedName>");
    h.home.WriteFile(u"Contacts/John Doe.contact"_qs, displayOnly);
    Plant(u"Johnny"_qs, Id('a'), u"John"_qs);  // a name the user gave the file
    Check();

    ASSERT_EQ(Set(kAvinash, TextRecord({{"Email1Address", "john@example.org"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(Set(Id('a'), TextRecord({{"Email1Address", "j@example.org"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(Set(kAvinash, TextRecord({{"Email1Address", "doe@example.org"}})), AS_SET_CONTACT + 1);
    EXPECT_EQ(FilesInFolder(), (QStringList{u"John Doe.contact"_qs, u"Johnny.contact"_qs}));
    EXPECT_TRUE(Bytes(u"John Doe.contact"_qs).contains("doe@example.org"));

    // A name that changes names the file anew; without any other name the display name does.
    ASSERT_EQ(Set(Id('a'), TextRecord({{"FirstName", "Jon"}})), AS_SET_CONTACT + 1);
    ASSERT_EQ(Set(kAvinash, TextRecord({{"FullName", "Jane Roe"}})), AS_SET_CONTACT + 1);
    EXPECT_EQ(FilesInFolder(), (QStringList{u"Jane Roe.contact"_qs, u"Jon.contact"_qs}));
    // A new contact with only a display name is named by it.
    Add(TextRecord({{"FullName", "Max Mustermann"}}));
    EXPECT_TRUE(FilesInFolder().contains(u"Max Mustermann.contact"_qs));
}

TEST_F(WindowsContactsStore, NewFilesAreTheUsersAloneAndAnEditedFileKeepsItsMode)
{
    Plant(u"Bob"_qs, Id('b'), u"Bob"_qs);
    ASSERT_EQ(::chmod(QFile::encodeName(File(u"Bob.contact"_qs)).constData(), 0644), 0);
    Check();
    const mode_t umask = ::umask(0);
    Add(TextRecord({{"FirstName", "Ann"}, {"Categories", "Friends"}}));
    const std::uint16_t edited = Set(Id('b'), TextRecord({{"Body", "x"}}));
    const std::uint16_t saved = Save();
    ::umask(umask);
    ASSERT_EQ(edited, AS_SET_CONTACT + 1);
    ASSERT_EQ(saved, AS_SAVE_CONTACTS_STATE + 1);
    EXPECT_EQ(ModeOfFile(File(u"Ann.contact"_qs)) & 07777, 0600u);
    EXPECT_EQ(ModeOfFile(File(u"Friends.group"_qs)) & 07777, 0600u);
    EXPECT_EQ(ModeOfFile(File(u"Bob.contact"_qs)) & 07777, 0644u);
}

// A planted file nesting 100,000 elements once crashed every check: it is left out and logged,
// is never written, and the store serves on.
TEST_F(WindowsContactsStore, ADeeplyNestedFileIsLeftOutUntouched)
{
    const QByteArray nested = QByteArray("<x>").repeated(100000) + QByteArray("</x>").repeated(100000);
    Plant(u"Ann"_qs, Id('a'), u"Ann"_qs);
    ContactFileRecord deep;
    deep.Id = Id('d');
    deep.FullName = u"NAME"_qs;
    QByteArray contact = NewContactFileContent(deep);
    contact.replace("NAME", nested);
    h.home.WriteFile(u"Contacts/Deep.contact"_qs, contact);
    QByteArray group = NewGroupFileContent(u"NAME"_qs, NewGuidText(), {});
    group.replace("NAME", nested);
    h.home.WriteFile(u"Contacts/Deep.group"_qs, group);

    EXPECT_EQ(Check().added, QStringList{Id('a')});
    const QString log = logged.join(u'\n');
    EXPECT_TRUE(log.contains(u"Deep.contact"_qs)) << log.toStdString();
    EXPECT_TRUE(log.contains(u"Deep.group"_qs)) << log.toStdString();
    EXPECT_EQ(h.Send(AS_GET_CONTACT, Utf16z(Id('d'))).code, AS_ERROR);
    // Joining the group cannot change its file.
    Add(TextRecord({{"FirstName", "Eve"}, {"Categories", "Deep"}}));
    EXPECT_EQ(Save(), AS_ERROR);
    EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_CHECK_CONTACTS + 1);
    EXPECT_EQ(Bytes(u"Deep.contact"_qs), contact);
    EXPECT_EQ(Bytes(u"Deep.group"_qs), group);
}

// A FIFO never holds the agent up, whether named like a group a contact joins or named by a
// photo reference, and a picture of /proc is never read (its size is reported as 0).
TEST_F(WindowsContactsStore, FifosAndProcFilesHoldNothingUp)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(File(u"Pipe.group"_qs)).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(File(u"photo.jpg"_qs)).constData(), 0600), 0);
    const QByteArray tile = "<c:Photo c:ElementID=\"2fb5b981-cec1-45d0-ae61-7c340cfb3d72\">";
    QByteArray proc = RealContact("Avinash.contact");
    proc.replace(tile, tile + "<c:Url>/proc/self/pagemap</c:Url>");
    h.home.WriteFile(u"Contacts/Avinash.contact"_qs, proc);
    QByteArray withFifo = RealContact("Avinash.contact");
    withFifo.replace("0bcf610e-a7be-4f26-9042-d6b3c22c9863", Id('f').left(36).toLatin1());
    withFifo.replace(tile, tile + "<c:Url>" + QFile::encodeName(File(u"photo.jpg"_qs)) + "</c:Url>");
    h.home.WriteFile(u"Contacts/Fifo.contact"_qs, withFifo);

    EXPECT_EQ(Check().added, (QStringList{kAvinash, Id('f')}));
    EXPECT_TRUE(Get(kAvinash).PictureImage().isEmpty());
    EXPECT_TRUE(Get(Id('f')).PictureImage().isEmpty());
    const QString log = logged.join(u'\n');
    EXPECT_TRUE(log.contains(u"/proc/self/pagemap"_qs)) << log.toStdString();
    EXPECT_TRUE(log.contains(u"photo.jpg"_qs)) << log.toStdString();

    const QString ann = Add(TextRecord({{"FirstName", "Ann"}, {"Categories", "Pipe"}}));
    h.TakeLogLines();
    EXPECT_EQ(Save(), AS_ERROR);
    EXPECT_TRUE(h.TakeLogLines().join(u'\n').contains(u"Pipe.group"_qs));
    EXPECT_TRUE(S_ISFIFO(ModeOfFile(File(u"Pipe.group"_qs))));
    EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_CHECK_CONTACTS + 1);
    EXPECT_EQ(Field(Get(ann), "FirstName"), u"Ann"_qs);
}

TEST(WindowsContactsFolder, ReadsAPictureFileOfAtMost16MiBAndNothingElse)
{
    TempHome home;
    home.WriteFile(u"pictures/me.jpg"_qs, "JPEG");
    home.WriteFile(u"pictures/big.jpg"_qs, "");
    ASSERT_TRUE(QFile::resize(home.Path(u"pictures/big.jpg"_qs), 16 * 1024 * 1024 + 1));
    home.WriteFile(u"pictures/limit.jpg"_qs, "");
    ASSERT_TRUE(QFile::resize(home.Path(u"pictures/limit.jpg"_qs), 16 * 1024 * 1024));
    const QString me = home.Path(u"pictures/me.jpg"_qs);
    ASSERT_EQ(::mkfifo(QFile::encodeName(home.Path(u"pictures/pipe.jpg"_qs)).constData(), 0600), 0);
    struct Case {
        const char* name;
        QString reference;
        qsizetype size;  // -1: left out
    };
    const Case cases[] = {
        {"a local path", me, 4},
        {"a Windows path", LocalToPeerPath(me), 4},
        {"a file: URL", QUrl::fromLocalFile(me).toString(), 4},
        {"16 MiB", home.Path(u"pictures/limit.jpg"_qs), 16 * 1024 * 1024},
        {"one byte more", home.Path(u"pictures/big.jpg"_qs), -1},
        {"a folder", home.Path(u"pictures"_qs), -1},
        {"a FIFO", home.Path(u"pictures/pipe.jpg"_qs), -1},
        {"a device", u"/dev/zero"_qs, -1},
        {"a file of /proc, reported as empty", u"/proc/self/pagemap"_qs, -1},
        {"a missing file", home.Path(u"pictures/none.jpg"_qs), -1},
        {"no path", u"me.jpg"_qs, -1},
    };
    for (const Case& c : cases) {
        QString why;
        const auto bytes = ReadPictureReference(c.reference, &why);
        EXPECT_EQ(bytes ? bytes->size() : -1, c.size) << c.name;
        EXPECT_EQ(why.isEmpty(), bytes.has_value()) << c.name;
        if (c.size == 4 && bytes) {
            EXPECT_EQ(*bytes, QByteArray("JPEG")) << c.name;
        }
    }
}

TEST(WindowsContactsFolder, FollowsTheRegistryValueOfTheReportedWindows)
{
    struct Case {
        const char* name;
        int minor;
        const char* key;
        const char* value;  // nullptr: none
        QString expected;   // "~" is the home folder
    };
    const char* user = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    const char* shell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const Case cases[] = {
        {"no value", 1, shell, nullptr, u"~/Contacts"_qs},
        {"Windows 6.0 expands %USERPROFILE%", 0, user, "%USERPROFILE%\\\\Kontakte", u"~/Kontakte"_qs},
        {"Windows 6.0 with another variable unset", 0, user, "%NO_SUCH_VARIABLE%\\\\C", u"~/Contacts"_qs},
        {"Windows 6.0 with a stray percent sign", 0, user, "C:\\\\a%b", u"~/Contacts"_qs},
        {"Windows 6.1 takes an absolute local path", 1, shell, "\\\\srv\\\\people", u"/srv/people"_qs},
        {"Windows 6.1 reads the other key", 1, user, "/elsewhere", u"~/Contacts"_qs},
        {"a relative path", 1, shell, "people", u"~/Contacts"_qs},
    };
    for (const Case& c : cases) {
        TempHome home;
        ScopedEnv profile("USERPROFILE", std::nullopt);
        SetReportedWindowsVersion({6, c.minor, 1});
        QByteArray reg = "Windows Registry Editor Version 5.00\n\n[" + QByteArray(c.key) + "]\n";
        if (c.value) reg += "\"{56784854-C6CB-462B-8169-88E350ACB882}\"=\"" + QByteArray(c.value) + "\"\n";
        home.WriteFile(u".config/TwinLark/registry/HKEY_CURRENT_USER.reg"_qs, reg);
        QString expected = c.expected;
        expected.replace(u"~"_qs, home.Root());
        EXPECT_EQ(CContactWinVista().ContactsFolder(), expected) << c.name;
        ResetReportedWindowsVersion();
    }
}

}  // namespace
