#include "stores/address_book/wab_contact_store.h"

#include <gtest/gtest.h>

#include <QFile>
#include <functional>

#include "common/crc32.h"
#include "common/errors.h"
#include "platform/address_book/wab_faults.h"
#include "stores/address_book/wab_identifiers.h"
#include "support/planted_address_book.h"
#include "support/temp_home.h"

using namespace ContactsXp;
using wab::ScopedWabFault;
using wab::WabCall;

namespace {

constexpr std::uint32_t kGivenName = 0x3A06001F;
constexpr std::uint32_t kSurname = 0x3A11001F;
constexpr std::uint32_t kDisplayName = 0x3001001F;
constexpr std::uint32_t kEmails = 0x3A56101F;
constexpr std::uint32_t kBirthday = 0x3A420040;
// 4 July 1976, 00:00, as a FILETIME.
constexpr qlonglong kFourthOfJuly1976 = 118497600000000000LL;

ItemRecord Record(std::initializer_list<std::pair<const char*, const char*>> fields)
{
    ItemRecord record;
    for (const auto& [name, value] : fields) record.Add(QString::fromUtf8(name), QString::fromUtf8(value));
    return record;
}

QString Field(const ItemRecord& record, const char* name)
{
    const int at = record.IndexOf(QString::fromUtf8(name));
    return at < 0 ? QStringLiteral("<none>") : std::get<QString>(record.values[static_cast<std::size_t>(at)]);
}

class WabStoreTest : public ::testing::Test {
protected:
    WabStoreTest() { PlantWabInstalled(home); }

    // Plants contacts and lists through SQLite, as another program would, before the store opens.
    SqlBook& Sql()
    {
        if (!sql) {
            // The agent's data folder is where the book lives.
            home.WriteFile(QStringLiteral(".local/share/TwinLark/.keep"), QByteArray());
            sql = std::make_unique<SqlBook>(AddressBookFileIn(home));
        }
        return *sql;
    }
    ItemRecord Get(const QString& id)
    {
        ItemRecord record;
        store.Get(id, record);
        return record;
    }
    QStringList Ids()
    {
        QStringList ids;
        store.GetIDs(ids);
        return ids;
    }
    QString Add(const ItemRecord& fields)
    {
        ItemRecord record = fields;
        QString id;
        store.Add(record, id);
        return id;
    }
    void Edit(const QString& id, const ItemRecord& fields)
    {
        ItemRecord record = fields;
        store.Edit(record, id);
    }

    TempHome home;
    std::unique_ptr<SqlBook> sql;
    CContactWinXP store;
};

TEST_F(WabStoreTest, EveryOperationOnAClosedStoreFailsAndOpensNothing)
{
    const QString id = WabItemIdOf(1);
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"Get", [&] { Get(id); }},
        {"GetIDs", [&] { Ids(); }},
        {"IDtoCRC32", [&] { store.IDtoCRC32(id); }},
        {"Add", [&] { Add(Record({{"FirstName", "A"}})); }},
        {"Edit", [&] { Edit(id, Record({{"FirstName", "A"}})); }},
        {"Delete", [&] { store.Delete(id); }},
    };
    for (const char* when : {"before any opening", "after Close", "after GetGroupNames", "after DeleteAll"}) {
        if (std::string(when) == "after Close") {
            store.Open();
            ASSERT_TRUE(store.IsOpen());
            store.Close();
            store.Close();
        }
        if (std::string(when) == "after GetGroupNames") {
            EXPECT_EQ(store.GetGroupNames(), QString());
        }
        if (std::string(when) == "after DeleteAll") store.DeleteAll();
        for (const auto& [name, operation] : operations) {
            try {
                operation();
                ADD_FAILURE() << name << " succeeded " << when;
            } catch (const AgentError& e) {
                EXPECT_NE(std::string(e.what()).find("not open"), std::string::npos) << e.what();
            }
        }
        EXPECT_FALSE(store.IsOpen()) << when;
    }
}

TEST_F(WabStoreTest, WithoutAnInstalledBookTheStoreStaysClosedAndMakesNoFile)
{
    home.WriteFile(QStringLiteral(".config/TwinLark/registry/HKEY_LOCAL_MACHINE.reg"), "");
    store.Open();
    EXPECT_FALSE(store.IsOpen());
    try {
        Ids();
        FAIL();
    } catch (const AgentError& e) {
        EXPECT_NE(std::string(e.what()).find("WAB\\DLLPath"), std::string::npos) << e.what();
    }
    EXPECT_EQ(store.GetGroupNames(), QString());
    EXPECT_THROW(store.DeleteAll(), AgentError);
    EXPECT_FALSE(QFile::exists(AddressBookFileIn(home)));
}

TEST_F(WabStoreTest, AFileThatIsNoBookIsLoggedAndLeftAsItIs)
{
    const QByteArray foreign = "BEGIN:VCARD\r\nFN:Someone\r\nEND:VCARD\r\n";
    home.WriteFile(QStringLiteral(".local/share/TwinLark/AddressBook.wab"), foreign);
    QStringList lines;
    CContactWinXP logged([&](const QString& line) { lines.append(line); });
    logged.BeforeCheck(QStringLiteral("PEER"));
    EXPECT_FALSE(logged.IsOpen());
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(AddressBookFileIn(home))) << lines[0].toStdString();
    QStringList ids;
    EXPECT_THROW(logged.GetIDs(ids), AgentError);
    EXPECT_EQ(logged.GetGroupNames(), QString());
    EXPECT_EQ(home.ReadFile(QStringLiteral(".local/share/TwinLark/AddressBook.wab")), foreign);
}

TEST_F(WabStoreTest, ContactsAndListsOfAnotherProgramAreListedAndRead)
{
    const auto ann = Sql().AddContact({{kDisplayName, QStringLiteral("Ann Lee")},
                                       {kEmails, QStringLiteral("P")},
                                       {kEmails, QStringLiteral("Q")},
                                       {kBirthday, kFourthOfJuly1976}});
    const auto bob = Sql().AddContact({{kGivenName, QStringLiteral("Bob")}});
    const auto family = Sql().AddList(QStringLiteral("Family"), {ann});
    const auto inner = Sql().AddList(QString(), {family});  // a list holding only a list
    Sql().Exec("DELETE FROM props WHERE tag = 805371935 AND value = ''");  // that list has no name
    Sql().AddList(QStringLiteral("Work"), {bob, ann, inner});
    store.Open();
    ASSERT_TRUE(store.IsOpen());
    EXPECT_EQ(Ids(), (QStringList{WabItemIdOf(ann), WabItemIdOf(bob)}));
    const std::vector<WabGroupRecord> groups = {
        {QStringLiteral("Family"), QStringLiteral("00000003"), {QStringLiteral("00000001")}},
        {QString(), QStringLiteral("00000004"), {}},
        {QStringLiteral("Work"), QStringLiteral("00000005"), {QStringLiteral("00000002"), QStringLiteral("00000001")}},
    };
    EXPECT_EQ(store.Groups(), groups);
    EXPECT_EQ(store.GetGroupNames(), QStringLiteral("Family,,Work,"));

    const ItemRecord record = Get(WabItemIdOf(ann));
    EXPECT_EQ(Field(record, "Categories"), QStringLiteral("Family,Work"));
    EXPECT_EQ(Field(record, "FirstName"), QStringLiteral("Ann"));
    EXPECT_EQ(Field(record, "LastName"), QStringLiteral("Lee"));
    EXPECT_EQ(Field(record, "emails"), QStringLiteral("P,Q,"));
    EXPECT_EQ(Field(record, "Birthday"), QStringLiteral("07-04-1976"));
    EXPECT_EQ(store.IDtoCRC32(WabItemIdOf(ann)), Crc32OfUtf16(QStringLiteral("Ann Lee04/07/1976PQFamilyWork")));

    // Identifiers of a list, of nothing, or not of this store name no contact.
    for (const QString& id : {WabItemIdOf(family), WabItemIdOf(99), QStringLiteral("0000000Z") + QString(40, u'0'),
                              QStringLiteral("00000001")}) {
        EXPECT_THROW(Get(id), AgentError) << id.toStdString();
        EXPECT_THROW(store.IDtoCRC32(id), AgentError) << id.toStdString();
        EXPECT_THROW(Edit(id, Record({{"FirstName", "X"}})), AgentError) << id.toStdString();
    }
    EXPECT_NO_THROW(store.Delete(WabItemIdOf(99)));
    EXPECT_NO_THROW(store.Delete(WabItemIdOf(family)));
    EXPECT_EQ(store.Groups().size(), 3u);
    EXPECT_THROW(store.Delete(QStringLiteral("not an identifier")), AgentError);
}

TEST(WabStore, EditChangesWhatTheRecordCarries)
{
    struct Case {
        const char* name;
        ItemRecord edit;
        const char* field;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"no addresses leave the addresses", Record({{"emails", ""}}), "emails", "P,Q,"},
        {"P,,Q stores the same two", Record({{"emails", "P,,Q"}}), "emails", "P,Q,"},
        {"a leading space is kept", Record({{"emails", " P"}}), "emails", " P,"},
        {"an empty full name deletes the display name", Record({{"FullName", ""}}), "FullName", "<none>"},
        {"an empty birthday deletes it", Record({{"Birthday", ""}}), "Birthday", "<none>"},
        {"the later of FullName and FileAS wins", Record({{"FileAS", "Filed"}, {"FullName", "Full"}}), "FileAS", "Full"},
        {"a birthday as Get sent it stays that day", Record({{"Birthday", "07-04-1976"}}), "Birthday", "07-04-1976"},
        {"dots are day first", Record({{"Birthday", "04.07.1976"}}), "Birthday", "07-04-1976"},
        {"an empty Categories leaves every group", Record({{"Categories", ""}}), "Categories", ""},
        {"unknown fields are passed over", Record({{"Colour", "red"}}), "emails", "P,Q,"},
    };
    for (const Case& c : cases) {
        TempHome own;
        PlantWabInstalled(own);
        CContactWinXP fresh;
        fresh.Open();
        ItemRecord add = Record({{"FullName", "Ann Lee"}, {"emails", "P,Q"}, {"Birthday", "07-04-1976"},
                                 {"Categories", "Family,Work"}});
        QString id;
        fresh.Add(add, id);
        ItemRecord edit = c.edit;
        fresh.Edit(edit, id);
        fresh.Close();
        fresh.Open();  // read back from the file
        ItemRecord got;
        fresh.Get(id, got);
        EXPECT_EQ(Field(got, c.field), QString::fromUtf8(c.expected)) << c.name;
    }
}

TEST_F(WabStoreTest, GroupsAreCreatedJoinedAndLeftByName)
{
    Sql().AddList(QStringLiteral("Family"), {});
    store.Open();
    const QString id = Add(Record({{"FirstName", "Ann"}, {"Categories", "Work,Family,Work"}}));
    // Existing groups first, then the ones made for it; a name given twice is one membership.
    EXPECT_EQ(Field(Get(id), "Categories"), QStringLiteral("Family,Work"));
    EXPECT_EQ(store.GetGroupNames(), QStringLiteral("Family,Work,"));

    Edit(id, Record({{"Categories", "Work,Home"}}));
    EXPECT_EQ(Field(Get(id), "Categories"), QStringLiteral("Work,Home"));
    store.Close();
    store.Open();
    EXPECT_EQ(Field(Get(id), "Categories"), QStringLiteral("Work,Home"));
    EXPECT_EQ(store.GetGroupNames(), QStringLiteral("Family,Work,Home,"));

    // Deleting takes the contact out of its lists.
    store.Delete(id);
    EXPECT_TRUE(Ids().isEmpty());
    for (const WabGroupRecord& group : store.Groups()) EXPECT_TRUE(group.members.isEmpty()) << group.name.toStdString();
}

TEST_F(WabStoreTest, TwoListsOfOneNameAreBothJoinedAndEachRecordOnce)
{
    const auto ann = Sql().AddContact({{kGivenName, QStringLiteral("Ann")}});
    Sql().AddList(QStringLiteral("Work"), {ann, ann});
    Sql().AddList(QStringLiteral("Work"), {});
    store.Open();
    EXPECT_EQ(Field(Get(WabItemIdOf(ann)), "Categories"), QStringLiteral("Work,Work"));
    const QString bob = Add(Record({{"FirstName", "Bob"}, {"Categories", "Work"}}));
    EXPECT_EQ(Field(Get(bob), "Categories"), QStringLiteral("Work,Work"));
    EXPECT_EQ(store.Groups()[0].members, (QStringList{QStringLiteral("00000001"), QStringLiteral("00000001"),
                                                      QStringLiteral("00000004")}));
    EXPECT_EQ(store.Groups()[1].members, QStringList{QStringLiteral("00000004")});
    // A contact entered twice leaves with both entries.
    Edit(WabItemIdOf(ann), Record({{"Categories", ""}}));
    EXPECT_EQ(store.Groups()[0].members, QStringList{QStringLiteral("00000004")});
    store.Open();
    EXPECT_EQ(Field(Get(WabItemIdOf(ann)), "Categories"), QString());
}

TEST_F(WabStoreTest, TheChecksumFollowsGroupsAddressesAndTheDisplayNameOnce)
{
    store.Open();
    const QString id = Add(Record({{"FullName", "Ann Lee"}, {"emails", "P"}}));
    const std::uint32_t plain = store.IDtoCRC32(id);
    const QString twice = Add(Record({{"FullName", "Ann Lee"}, {"FileAS", "Ann Lee"}, {"emails", "P"}}));
    EXPECT_EQ(store.IDtoCRC32(twice), plain);

    Edit(id, Record({{"Categories", "Work"}}));
    const std::uint32_t inWork = store.IDtoCRC32(id);
    EXPECT_NE(inWork, plain);
    Edit(id, Record({{"emails", "P,Q"}}));
    EXPECT_NE(store.IDtoCRC32(id), inWork);
    Edit(id, Record({{"emails", "P"}, {"Categories", ""}}));
    EXPECT_EQ(store.IDtoCRC32(id), plain);
}

TEST_F(WabStoreTest, ContactsAndGroupsOutliveTheStoreObject)
{
    store.Open();
    const QString id = Add(Record({{"FirstName", "Ann"}, {"Body", "line one\r\nline two"}, {"Categories", "Family"}}));
    const ItemRecord before = Get(id);
    const std::uint32_t crc = store.IDtoCRC32(id);
    store.Close();

    CContactWinXP other;
    other.Open();
    ItemRecord after;
    other.Get(id, after);
    EXPECT_EQ(after, before);
    EXPECT_EQ(other.IDtoCRC32(id), crc);
    // A second Open on an open store starts afresh and sees the same.
    other.Open();
    EXPECT_EQ(other.IDtoCRC32(id), crc);
}

TEST_F(WabStoreTest, GroupNamesAndDeleteAllLeaveTheStoreAsTheyFoundIt)
{
    store.Open();
    const QString id = Add(Record({{"FirstName", "Ann"}, {"Categories", "Family"}}));
    Sql().AddList(QStringLiteral("Work"), {});  // made by another program meanwhile
    EXPECT_EQ(store.GetGroupNames(), QStringLiteral("Family,Work,"));
    EXPECT_TRUE(store.IsOpen());
    EXPECT_EQ(Field(Get(id), "FirstName"), QStringLiteral("Ann"));

    store.DeleteAll();
    EXPECT_TRUE(store.IsOpen());
    EXPECT_TRUE(Ids().isEmpty());
    EXPECT_EQ(store.GetGroupNames(), QStringLiteral("Family,Work,"));  // the lists stay

    store.Close();
    EXPECT_EQ(store.GetGroupNames(), QStringLiteral("Family,Work,"));
    EXPECT_FALSE(store.IsOpen());
    store.DeleteAll();
    EXPECT_FALSE(store.IsOpen());
}

TEST_F(WabStoreTest, ADateThatIsNoDateFailsTheRequestBeforeAnythingIsSaved)
{
    store.Open();
    EXPECT_THROW(Add(Record({{"FirstName", "Ann"}, {"Birthday", "sometime"}})), AgentError);
    EXPECT_TRUE(Ids().isEmpty());
    const QString id = Add(Record({{"FirstName", "Ann"}, {"Birthday", "07-04-1976"}}));
    EXPECT_THROW(Edit(id, Record({{"FirstName", "Bea"}, {"Birthday", "32.13.1976"}})), AgentError);
    const ItemRecord record = Get(id);
    EXPECT_EQ(Field(record, "FirstName"), QStringLiteral("Ann"));
    EXPECT_EQ(Field(record, "Birthday"), QStringLiteral("07-04-1976"));
}

TEST_F(WabStoreTest, FailuresOfTheBookFailTheRequestAndLeaveNothingHalfWritten)
{
    Sql().AddList(QStringLiteral("Family"), {});
    store.Open();
    const QString ann = Add(Record({{"FirstName", "Ann"}, {"Categories", "Family"}}));
    const ItemRecord annBefore = Get(ann);
    auto expectUnchanged = [&](const char* what) {
        EXPECT_EQ(Ids(), QStringList{ann}) << what;
        EXPECT_EQ(Get(ann), annBefore) << what;
    };

    {
        ScopedWabFault fault(WabCall::SetProps);
        EXPECT_THROW(Add(Record({{"FirstName", "Bob"}})), AgentError);
        EXPECT_THROW(Edit(ann, Record({{"FirstName", "Bea"}})), AgentError);
    }
    expectUnchanged("property write");
    {
        ScopedWabFault fault(WabCall::SaveChanges);
        EXPECT_THROW(Add(Record({{"FirstName", "Bob"}})), AgentError);
        EXPECT_THROW(Edit(ann, Record({{"FirstName", "Bea"}})), AgentError);
    }
    expectUnchanged("save");
    {
        // The contact saves, its list does not take it: the new contact is taken back and the
        // failure names the group.
        ScopedWabFault fault(WabCall::CreateEntry, 1);
        try {
            Add(Record({{"FirstName", "Bob"}, {"Categories", "Family"}}));
            ADD_FAILURE() << "a contact that could not join its group was reported added";
        } catch (const AgentError& e) {
            EXPECT_NE(std::string(e.what()).find("\"Family\""), std::string::npos) << e.what();
        }
    }
    expectUnchanged("group join of a new contact");
    {
        // Edit: the contact itself is saved, the group change fails and is reported.
        ScopedWabFault fault(WabCall::DeleteMembers);
        EXPECT_THROW(Edit(ann, Record({{"FirstName", "Bea"}, {"Categories", ""}})), AgentError);
    }
    EXPECT_EQ(Field(Get(ann), "FirstName"), QStringLiteral("Bea"));
    EXPECT_EQ(Field(Get(ann), "Categories"), QStringLiteral("Family"));
    {
        ScopedWabFault fault(WabCall::QueryRows);
        EXPECT_THROW(Ids(), AgentError);
        EXPECT_THROW(store.DeleteAll(), AgentError);  // reading the groups again fails
        EXPECT_THROW(store.GetGroupNames(), AgentError);
    }
    EXPECT_EQ(Ids(), QStringList{ann});
    {
        // Only the deletion of the contacts fails: they stay whole, in their lists.
        const ItemRecord before = Get(ann);
        const std::uint32_t checksum = store.IDtoCRC32(ann);
        ScopedWabFault fault(WabCall::DeleteEntries);
        EXPECT_THROW(store.Delete(ann), AgentError);
        EXPECT_THROW(store.DeleteAll(), AgentError);
        EXPECT_EQ(fault.Failed(), 2);
        EXPECT_EQ(Ids(), QStringList{ann});
        EXPECT_EQ(Get(ann), before);
        EXPECT_EQ(store.IDtoCRC32(ann), checksum);
        store.Close();
        store.Open();
        EXPECT_EQ(Field(Get(ann), "Categories"), QStringLiteral("Family"));
    }
    {
        // A list that cannot be read at the opening leaves the store closed: fewer groups would
        // take contacts out of them at the peer.
        ScopedWabFault fault(WabCall::QueryRows, 1, 1);
        store.Open();
        EXPECT_FALSE(store.IsOpen());
        EXPECT_THROW(Ids(), AgentError);
    }
    store.Open();
    EXPECT_EQ(Ids(), QStringList{ann});
}

}  // namespace
