// Contacts source 0 against the built agent over loopback: a peer synchronises the contacts of an
// address book another program filled (two contacts in one list), and a machine without an
// installed address book answers the contact requests with errors and makes no book.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>

#include "agent_process.h"
#include "common/byte_io.h"
#include "dispatch/item_record_codec.h"
#include "dispatch/request_codes.h"
#include "wire/message_header.h"
#include "support/planted_address_book.h"
#include "test_peer.h"

namespace {

constexpr int kIdBytes = 96;
const QString kBook = QStringLiteral(".local/share/TwinLark/AddressBook.wab");

void PlantInstalled(AgentProcess& agent, const QByteArray& valueLine)
{
    agent.WriteFile(QStringLiteral(".config/TwinLark/registry/HKEY_LOCAL_MACHINE.reg"),
                    "Windows Registry Editor Version 5.00\r\n\r\n[SOFTWARE\\Microsoft\\WAB\\DLLPath]\r\n" +
                        valueLine + "\r\n");
}

QString Field(const ItemRecord& record, const char* name)
{
    const int at = record.IndexOf(QString::fromUtf8(name));
    return at < 0 ? QStringLiteral("<none>") : std::get<QString>(record.values[static_cast<std::size_t>(at)]);
}

QByteArray RecordBlob(const QString& id, ItemRecord record, bool withId)
{
    const QByteArray blob = EncodeItemRecord(id, record);
    return withId ? blob : blob.mid(kIdBytes);
}

// The identifiers a change check reports: added, edited, deleted, each section a count and its ids.
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

std::optional<qlonglong> StoredBirthday(const QString& book, std::int64_t entry)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(book.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT value FROM props WHERE entry = ?1 AND tag = 977403968", -1, &st, nullptr);
    sqlite3_bind_int64(st, 1, entry);
    std::optional<qlonglong> value;
    if (sqlite3_step(st) == SQLITE_ROW) value = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
}

TEST(AddressBookE2e, APeerSynchronisesTheContactsAndGroupsOfTheBook)
{
    AgentProcess agent;
    agent.SetDword(QStringLiteral("AgentID"), 0);
    PlantInstalled(agent, kWabDllPathLine);
    agent.WriteFile(QStringLiteral(".local/share/TwinLark/.keep"), {});
    {
        SqlBook book(agent.Path(kBook));
        const auto ann = book.AddContact({{0x3A06001F, QStringLiteral("Ann")}, {0x3A11001F, QStringLiteral("Lee")}});
        const auto bob = book.AddContact({{0x3001001F, QStringLiteral("Bob Stone")}});
        book.AddList(QStringLiteral("Friends"), {ann, bob});
    }
    const QString ann = WabItemIdOf(1);
    const QString bob = WabItemIdOf(2);
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-WAB")))->code, AS_MACHINE_ID + 1);
    ASSERT_EQ(peer.Request(AS_START_SYNC, 2)->code, AS_START_SYNC + 1);

    auto reply = peer.LongRequest(AS_CHECK_CONTACTS, 3);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_CHECK_CONTACTS + 1) << agent.Log().toStdString();
    std::uint16_t counts[3];
    EXPECT_EQ(ReportedIds(reply->payload, counts), (QStringList{ann, bob}));
    EXPECT_EQ(counts[0], 2);

    reply = peer.Request(AS_GET_CONTACT, 4, utf16::Bytes(bob));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_GET_CONTACT + 1);
    ItemRecord record;
    QString id;
    DecodeItemRecord(AsBytes(reply->payload), true, record, &id);
    EXPECT_EQ(id, bob);
    EXPECT_EQ(Field(record, "FirstName"), QStringLiteral("Bob"));
    EXPECT_EQ(Field(record, "LastName"), QStringLiteral("Stone"));
    EXPECT_EQ(Field(record, "Categories"), QStringLiteral("Friends"));

    ItemRecord cleo;
    cleo.Add(QStringLiteral("FirstName"), QStringLiteral("Cleo"));
    cleo.Add(QStringLiteral("emails"), QStringLiteral("cleo@example.org,"));
    cleo.Add(QStringLiteral("Categories"), QStringLiteral("Friends,Work"));
    reply = peer.Request(AS_ADD_CONTACT, 5, RecordBlob(QString(), cleo, false));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_ADD_CONTACT + 1) << agent.Log().toStdString();
    const QString cleoId = utf16::FromBytesUpToZero(AsBytes(reply->payload));
    EXPECT_EQ(cleoId, WabItemIdOf(4));  // 3 is the list

    ItemRecord edit;
    edit.Add(QStringLiteral("FirstName"), QStringLiteral("Annie"));
    edit.Add(QStringLiteral("Birthday"), QStringLiteral("07-04-1976"));
    edit.Add(QStringLiteral("Categories"), QStringLiteral("Work"));
    ASSERT_EQ(peer.Request(AS_SET_CONTACT, 6, RecordBlob(ann, edit, true))->code, AS_SET_CONTACT + 1);
    ASSERT_EQ(peer.Request(AS_DEL_CONTACT, 7, utf16::Bytes(bob))->code, AS_DEL_CONTACT + 1);
    ASSERT_EQ(peer.Request(AS_SAVE_CONTACTS_STATE, 8)->code, AS_SAVE_CONTACTS_STATE + 1);

    reply = peer.Request(AS_GET_CATEGORIES, 9);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_GET_CATEGORIES + 1);
    EXPECT_EQ(utf16::FromBytesUpToZero(AsBytes(reply->payload)), QStringLiteral("Friends,Work"));
    ASSERT_EQ(peer.Request(AS_END_SYNC, 10)->code, AS_END_SYNC + 1);

    // Read again from the file: nothing changed since the state was saved.
    reply = peer.LongRequest(AS_CHECK_CONTACTS, 11);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_CHECK_CONTACTS + 1);
    EXPECT_EQ(reply->payload, QByteArray(6, '\0'));
    reply = peer.Request(AS_GET_CONTACT, 12, utf16::Bytes(ann));
    ASSERT_TRUE(reply);
    ItemRecord annNow;
    DecodeItemRecord(AsBytes(reply->payload), true, annNow, &id);
    EXPECT_EQ(Field(annNow, "FirstName"), QStringLiteral("Annie"));
    EXPECT_EQ(Field(annNow, "Birthday"), QStringLiteral("07-04-1976"));
    EXPECT_EQ(Field(annNow, "Categories"), QStringLiteral("Work"));
    EXPECT_EQ(peer.Request(AS_GET_CONTACT, 13, utf16::Bytes(bob))->code, AS_ERROR);
    // 4 July 1976, 00:00, as the peer meant it.
    EXPECT_EQ(StoredBirthday(agent.Path(kBook), 1), 118497600000000000LL);
}

TEST(AddressBookE2e, WithoutAnInstalledBookContactRequestsFailAndNoBookIsMade)
{
    const QByteArray tooLong = "@=\"" + QByteArray(260, 'x') + "\"";
    const struct {
        const char* name;
        QByteArray line;  // empty: no value planted
    } cases[] = {{"no value", {}}, {"another type", "@=dword:00000001"}, {"260 units", tooLong}};
    for (const auto& c : cases) {
        AgentProcess agent;
        agent.SetDword(QStringLiteral("AgentID"), 0);
        if (!c.line.isEmpty()) PlantInstalled(agent, c.line);
        ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
        TestPeer peer;
        ASSERT_TRUE(peer.Connect(agent.Port()));
        ASSERT_EQ(peer.Request(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("MAC-WAB")))->code, AS_MACHINE_ID + 1);
        EXPECT_EQ(peer.Request(AS_CHECK_CONTACTS, 2)->code, AS_ERROR) << c.name;
        ItemRecord record;
        record.Add(QStringLiteral("FirstName"), QStringLiteral("Cleo"));
        EXPECT_EQ(peer.Request(AS_ADD_CONTACT, 3, RecordBlob(QString(), record, false))->code, AS_ERROR) << c.name;
        EXPECT_EQ(peer.Request(AS_GET_OWNER, 4)->code, AS_GET_OWNER + 1) << c.name;
        EXPECT_FALSE(QFile::exists(agent.Path(kBook))) << c.name;
        EXPECT_TRUE(agent.Log().contains(QStringLiteral("WAB\\DLLPath"))) << c.name << agent.Log().toStdString();
    }
}

}  // namespace
