// Contacts sources 1 and 2 against the built agent over loopback: a peer synchronises the
// contact and group files that Windows Contacts left in the user's Contacts folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <functional>

#include "agent_process.h"
#include "common/byte_io.h"
#include "dispatch/item_record_codec.h"
#include "dispatch/request_codes.h"
#include "wire/message_header.h"
#include "stores/windows_contacts/contact_group_file.h"
#include "test_peer.h"

namespace {

constexpr int kIdBytes = 96;
const QString kAlexei = QStringLiteral("5ac2d943-e93d-492f-b852-b0dc94a62f76000000000000");
const QString kAvinash = QStringLiteral("0bcf610e-a7be-4f26-9042-d6b3c22c9863000000000000");

QByteArray DataFile(const QString& name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/windows-contacts/") + name);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

QString Field(const ItemRecord& record, const char* name)
{
    const int at = record.IndexOf(QString::fromUtf8(name));
    return at < 0 ? QStringLiteral("<none>") : std::get<QString>(record.values[static_cast<std::size_t>(at)]);
}

QStringList ReportedIds(const QByteArray& payload, std::uint16_t counts[3])
{
    ByteReader report(payload);
    QStringList ids;
    for (int i = 0; i < 3; ++i) {
        counts[i] = report.U16();
        for (int j = 0; j < counts[i]; ++j) ids.append(report.Utf16(kIdBytes));
    }
    return ids;
}

QStringList MembersOf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {QStringLiteral("<no file>")};
    QStringList ids;
    for (const QByteArray& m : ContactsVista::ReadGroupMembers(f.readAll()).list.members)
        ids << ContactsVista::MemberIdentifier(m);
    return ids;
}

TEST(WindowsContactsE2e, APeerSynchronisesTheContactsFolder)
{
    for (const std::uint32_t code : {2u, 1u}) {
        SCOPED_TRACE(code);
        AgentProcess agent;
        agent.SetDword(QStringLiteral("AgentID"), code);
        for (const QString& name : {u"Avinash.contact"_qs, u"Alexei Karamazov.contact"_qs, u"MapiGroup.group"_qs})
            agent.WriteFile(QStringLiteral("Contacts/") + name, DataFile(name));
        const QString folder = agent.Path(QStringLiteral("Contacts"));
        ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
        TestPeer peer;
        ASSERT_TRUE(peer.Connect(agent.Port()));
        ASSERT_EQ(peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-WC")))->code, AS_MACHINE_ID + 1);
        ASSERT_EQ(peer.Request(AS_START_SYNC, 2)->code, AS_START_SYNC + 1);
        ASSERT_EQ(peer.Request(AS_LOAD_CONTACTS_STATE, 3)->code, AS_LOAD_CONTACTS_STATE + 1);

        auto reply = peer.LongRequest(AS_CHECK_CONTACTS, 4);
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->code, AS_CHECK_CONTACTS + 1) << agent.Log().toStdString();
        std::uint16_t counts[3];
        EXPECT_EQ(ReportedIds(reply->payload, counts), (QStringList{kAlexei, kAvinash}));
        EXPECT_EQ(counts[0], 2);

        reply = peer.Request(AS_GET_CONTACT, 5, utf16::Bytes(kAlexei));
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->code, AS_GET_CONTACT + 1);
        ItemRecord record;
        QString id;
        DecodeItemRecord(AsBytes(reply->payload), true, record, &id);
        EXPECT_EQ(Field(record, "FirstName"), QStringLiteral("Alexei"));
        EXPECT_EQ(Field(record, "Categories"), QStringLiteral("MapiGroup"));
        EXPECT_EQ(Field(record, "Birthday"), QStringLiteral("1980-11-30 00:00:00"));

        ItemRecord cleo;
        cleo.Add(QStringLiteral("FirstName"), QStringLiteral("Cleo"));
        cleo.Add(QStringLiteral("Email1Address"), QStringLiteral("cleo@example.org"));
        cleo.Add(QStringLiteral("Categories"), QStringLiteral("Friends"));
        reply = peer.Request(AS_ADD_CONTACT, 6, EncodeItemRecord(QString(), cleo).mid(kIdBytes));
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->code, AS_ADD_CONTACT + 1) << agent.Log().toStdString();
        const QString cleoId = utf16::FromBytesUpToZero(AsBytes(reply->payload));
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Cleo.contact")));

        ItemRecord edit;
        edit.Add(QStringLiteral("Categories"), QStringLiteral("Friends"));
        edit.Add(QStringLiteral("HomeTelephoneNumber"), QStringLiteral("+91 22 5555"));
        ASSERT_EQ(peer.Request(AS_SET_CONTACT, 7, EncodeItemRecord(kAvinash, edit))->code, AS_SET_CONTACT + 1);
        ASSERT_EQ(peer.Request(AS_DEL_CONTACT, 8, utf16::Bytes(kAlexei))->code, AS_DEL_CONTACT + 1);
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Alexei Karamazov.contact"))) << "deleted at the save";
        ASSERT_EQ(peer.Request(AS_SAVE_CONTACTS_STATE, 9)->code, AS_SAVE_CONTACTS_STATE + 1) << agent.Log().toStdString();

        EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/Alexei Karamazov.contact")));
        EXPECT_FALSE(MembersOf(folder + QStringLiteral("/MapiGroup.group")).contains(kAlexei));
        EXPECT_EQ(MembersOf(folder + QStringLiteral("/Friends.group")), (QStringList{cleoId, kAvinash}));

        reply = peer.Request(AS_GET_CATEGORIES, 10);
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->code, AS_GET_CATEGORIES + 1);
        EXPECT_TRUE(utf16::FromBytesUpToZero(AsBytes(reply->payload)).startsWith(QStringLiteral("Friends,MapiGroup")));
        ASSERT_EQ(peer.Request(AS_END_SYNC, 11)->code, AS_END_SYNC + 1);

        // Read again from the folder: nothing changed since the state was saved.
        ASSERT_EQ(peer.Request(AS_LOAD_CONTACTS_STATE, 12)->code, AS_LOAD_CONTACTS_STATE + 1);
        reply = peer.LongRequest(AS_CHECK_CONTACTS, 13);
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->code, AS_CHECK_CONTACTS + 1);
        EXPECT_EQ(reply->payload, QByteArray(6, '\0'));
        reply = peer.Request(AS_GET_CONTACT, 14, utf16::Bytes(kAvinash));
        ASSERT_TRUE(reply);
        ItemRecord avinash;
        DecodeItemRecord(AsBytes(reply->payload), true, avinash, &id);
        EXPECT_EQ(Field(avinash, "Categories"), QStringLiteral("Friends"));
        EXPECT_EQ(Field(avinash, "HomeTelephoneNumber"), QStringLiteral("+91 22 5555"));
        EXPECT_EQ(peer.Request(AS_GET_CONTACT, 15, utf16::Bytes(kAlexei))->code, AS_ERROR);
    }
}

// A synchronised agent: contacts source 2 over Avinash and Alexei, and a peer that loaded,
// checked and saved its state once (both contacts in it) in the synchronisation still running.
struct SavedContacts {
    void Begin()
    {
        agent.SetDword(QStringLiteral("AgentID"), 2);
        for (const QString& name : {u"Avinash.contact"_qs, u"Alexei Karamazov.contact"_qs})
            agent.WriteFile(QStringLiteral("Contacts/") + name, DataFile(name));
        ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
        ASSERT_TRUE(peer.Connect(agent.Port()));
        Ok(AS_MACHINE_ID, utf16::Bytes(QStringLiteral("MAC-WC")));
        Ok(AS_START_SYNC);
        Ok(AS_LOAD_CONTACTS_STATE);
        ASSERT_EQ(Check(), (QStringList{kAlexei, kAvinash}));
        Ok(AS_SAVE_CONTACTS_STATE);
    }

    std::uint16_t Send(std::uint16_t code, const QByteArray& payload = {})
    {
        const auto reply = peer.Request(code, ++tag, payload);
        return reply ? reply->code : 0;
    }
    QByteArray Ok(std::uint16_t code, const QByteArray& payload = {})
    {
        const auto reply = peer.Request(code, ++tag, payload);
        EXPECT_TRUE(reply && reply->code == code + 1) << "request " << code << "\n" << agent.Log().toStdString();
        return reply ? reply->payload : QByteArray();
    }
    // Every identifier the check reported, added, edited and deleted in turn; `counts` gets the
    // three numbers.
    QStringList Check(std::uint16_t* counts = nullptr)
    {
        std::uint16_t local[3];
        const auto reply = peer.LongRequest(AS_CHECK_CONTACTS, ++tag);
        EXPECT_TRUE(reply && reply->code == AS_CHECK_CONTACTS + 1) << agent.Log().toStdString();
        return reply ? ReportedIds(reply->payload, counts ? counts : local) : QStringList{u"<no reply>"_qs};
    }
    QString Folder() const { return agent.Path(QStringLiteral("Contacts")); }
    bool OnDisk(const char* name) const { return QFile::exists(Folder() + u'/' + QString::fromUtf8(name)); }

    AgentProcess agent;
    TestPeer peer;
    std::uint16_t tag = 0;
};

// After its save the peer goes on with the contacts its check listed: each request acts on the
// files, a deletion answered with success is done, and the next synchronisation does not bring
// the contact back. A request for a contact no file holds: Get and Set fail, Del succeeds.
TEST(WindowsContactsAfterSaveE2e, RequestsActOnTheFilesAndADeletionStaysDone)
{
    SavedContacts t;
    ASSERT_NO_FATAL_FAILURE(t.Begin());
    ItemRecord record;
    QString id;
    DecodeItemRecord(AsBytes(t.Ok(AS_GET_CONTACT, utf16::Bytes(kAlexei))), true, record, &id);
    EXPECT_EQ(Field(record, "FirstName"), QStringLiteral("Alexei"));
    ItemRecord edit;
    edit.Add(QStringLiteral("HomeTelephoneNumber"), QStringLiteral("+91 22 5555"));
    t.Ok(AS_SET_CONTACT, EncodeItemRecord(kAvinash, edit));
    t.Ok(AS_DEL_CONTACT, utf16::Bytes(kAlexei));
    t.Ok(AS_SAVE_CONTACTS_STATE);
    EXPECT_FALSE(t.OnDisk("Alexei Karamazov.contact"));
    QFile avinash(t.Folder() + QStringLiteral("/Avinash.contact"));
    ASSERT_TRUE(avinash.open(QIODevice::ReadOnly));
    EXPECT_TRUE(avinash.readAll().contains("+91 22 5555"));

    EXPECT_EQ(t.Send(AS_GET_CONTACT, utf16::Bytes(kAlexei)), AS_ERROR);
    EXPECT_EQ(t.Send(AS_SET_CONTACT, EncodeItemRecord(kAlexei, edit)), AS_ERROR);
    t.Ok(AS_DEL_CONTACT, utf16::Bytes(kAlexei));
    t.Ok(AS_SAVE_CONTACTS_STATE);
    t.Ok(AS_END_SYNC);

    // The end of the synchronisation let the store forget what it loaded: the folder answers.
    t.Ok(AS_START_SYNC);
    record = {};
    DecodeItemRecord(AsBytes(t.Ok(AS_GET_CONTACT, utf16::Bytes(kAvinash))), true, record, &id);
    EXPECT_EQ(Field(record, "HomeTelephoneNumber"), QStringLiteral("+91 22 5555"));
    t.Ok(AS_LOAD_CONTACTS_STATE);
    EXPECT_EQ(t.Check(), QStringList{}) << "neither the deletion nor the edit comes back";
    t.Ok(AS_END_SYNC);
}

// A contact deleted since the save is owed a deletion: a second check lists it no more (it
// reports it deleted against the saved state), and the state saved after it is what the files
// hold then.
TEST(WindowsContactsAfterSaveE2e, ASecondCheckListsNoContactOwedADeletion)
{
    SavedContacts t;
    ASSERT_NO_FATAL_FAILURE(t.Begin());
    t.Ok(AS_DEL_CONTACT, utf16::Bytes(kAlexei));
    std::uint16_t counts[3];
    EXPECT_EQ(t.Check(counts), QStringList{kAlexei});
    EXPECT_EQ(counts[2], 1) << "reported deleted";
    t.Ok(AS_SAVE_CONTACTS_STATE);
    EXPECT_FALSE(t.OnDisk("Alexei Karamazov.contact"));
    t.Ok(AS_END_SYNC);

    t.Ok(AS_START_SYNC);
    t.Ok(AS_LOAD_CONTACTS_STATE);
    EXPECT_EQ(t.Check(), QStringList{}) << "the peer is not told of its own deletion";
    t.Ok(AS_END_SYNC);
}

// The peer deletes a contact and then chooses another contacts source: the deletion is written
// at the next chance whatever is chosen, not when source 2 is chosen again.
TEST(WindowsContactsHeldChangesE2e, ADeletionHeldForASourceNoLongerChosenIsWrittenAtTheNextChance)
{
    const std::pair<const char*, std::function<void(SavedContacts&)>> chances[] = {
        {"the end of the synchronisation", [](SavedContacts& t) { t.Ok(AS_END_SYNC); }},
        {"the next start", [](SavedContacts& t) { t.Ok(AS_START_SYNC); }},
    };
    for (const auto& [name, take] : chances) {
        SCOPED_TRACE(name);
        SavedContacts t;
        ASSERT_NO_FATAL_FAILURE(t.Begin());
        t.Ok(AS_DEL_CONTACT, utf16::Bytes(kAlexei));
        QByteArray windowsXp;
        ByteWriter(windowsXp).U32(0x1);  // the address book: AgentCode 0
        t.Ok(AS_SET_SOURCES, windowsXp);
        EXPECT_TRUE(t.OnDisk("Alexei Karamazov.contact")) << "held until the next chance";
        take(t);
        EXPECT_FALSE(t.OnDisk("Alexei Karamazov.contact")) << t.agent.Log().toStdString();
        EXPECT_TRUE(t.OnDisk("Avinash.contact"));
    }
}

// A group change that cannot be written (its group file is not XML) is tried again at every
// release, and every release logs it the same way, naming the occasion: the end of the
// synchronisation, the client's departure and the window's close at the exit.
TEST(WindowsContactsHeldChangesE2e, EveryReleaseLogsWhatItCouldNotWrite)
{
    AgentProcess agent;
    agent.SetDword(QStringLiteral("AgentID"), 2);
    agent.WriteFile(QStringLiteral("Contacts/Work.group"), "<c:group>not a group file");
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-WC")))->code, AS_MACHINE_ID + 1);
    ASSERT_EQ(peer.Request(AS_START_SYNC, 1)->code, AS_START_SYNC + 1);
    ASSERT_EQ(peer.LongRequest(AS_CHECK_CONTACTS, 2)->code, AS_CHECK_CONTACTS + 1);
    ItemRecord bo;
    bo.Add(QStringLiteral("FirstName"), QStringLiteral("Bo"));
    bo.Add(QStringLiteral("Categories"), QStringLiteral("Work"));
    ASSERT_EQ(peer.Request(AS_ADD_CONTACT, 3, EncodeItemRecord(QString(), bo).mid(kIdBytes))->code,
              AS_ADD_CONTACT + 1);
    const QString failure = QStringLiteral(": The contacts source 2 was not written back: Work.group");

    EXPECT_EQ(peer.Request(AS_END_SYNC, 4)->code, AS_ERROR);
    EXPECT_TRUE(agent.Log().contains(QStringLiteral("At the end of the synchronisation") + failure))
        << agent.Log().toStdString();
    peer.Close();
    EXPECT_TRUE(agent.WaitForLog(QStringLiteral("At the client's departure") + failure));
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_EQ(peer.Request(AS_QUIT, 5)->code, AS_QUIT + 1);
    EXPECT_EQ(agent.WaitForExit(), 0);
    EXPECT_TRUE(agent.Log().contains(QStringLiteral("At the window's close") + failure)) << agent.Log().toStdString();
}

}  // namespace
