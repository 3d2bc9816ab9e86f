// Contacts sources 1 and 2 against the built agent over loopback: a peer synchronises the
// contact and group files that Windows Contacts left in the user's Contacts folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

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

}  // namespace
