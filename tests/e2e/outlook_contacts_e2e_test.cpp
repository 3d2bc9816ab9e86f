// A peer synchronises the contacts of an emulated Outlook 14 (twinlark_outlook_emulated), a
// picture larger than one message included: check, add, save, read, change, delete and check
// again, on a plain profile and on an Exchange one.
#include <gtest/gtest.h>

#include <QDir>

#include "agent_process.h"
#include "dispatch/request_codes.h"
#include "support/dispatch_harness.h"
#include "test_peer.h"
#include "wire/message_header.h"

namespace {

QString Text(const ItemRecord& record, const char* name)
{
    const int at = record.IndexOf(QString::fromLatin1(name));
    return at < 0 ? QStringLiteral("<none>") : std::get<QString>(record.values[static_cast<std::size_t>(at)]);
}

// A long request as the peer sends it: AS_PUT_FRAGMENT pieces, each acknowledged by one byte,
// then the request with the rest.
std::optional<WireMessage> SendInPieces(TestPeer& peer, std::uint16_t code, std::uint16_t& tag, const QByteArray& payload)
{
    constexpr qsizetype kPiece = 16000;
    qsizetype at = 0;
    for (; payload.size() - at > kPiece; at += kPiece) {
        EXPECT_TRUE(peer.Send(AS_PUT_FRAGMENT, tag++, payload.mid(at, kPiece)));
        EXPECT_EQ(peer.ReadByte(), kPutFragmentAck);
    }
    return peer.Request(code, tag++, payload.mid(at));
}

QByteArray Picture()
{
    QByteArray bytes(40000, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + i / 251);
    return bytes;
}

void Synchronise(bool exchange)
{
    AgentProcess agent;
    agent.SetDword(QStringLiteral("AgentID"), 14);
    agent.UseEmulatedOutlook(exchange ? R"({"versions": [14], "stores": [{"storeId": "EX", "exchangeStoreType": 0}]})"
                                      : R"({"versions": [14]})");
    ASSERT_TRUE(agent.Start()) << agent.Stderr().toStdString();
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(agent.Port()));
    std::uint16_t tag = 1;
    ASSERT_EQ(peer.Request(AS_MACHINE_ID, tag++, utf16::Bytes(QStringLiteral("MAC-E2E")))->code, AS_MACHINE_ID + 1);
    ASSERT_EQ(peer.Request(AS_START_SYNC, tag++)->code, AS_START_SYNC + 1);
    const auto check = [&] {
        auto reply = peer.Request(AS_CHECK_CONTACTS, tag++);
        EXPECT_TRUE(reply && reply->code == AS_CHECK_CONTACTS + 1) << agent.Log().toStdString();
        return reply ? ParseChangeReport(reply->payload) : ParsedChangeReport{};
    };
    const auto save = [&] { ASSERT_EQ(peer.Request(AS_SAVE_CONTACTS_STATE, tag++)->code, AS_SAVE_CONTACTS_STATE + 1); };
    EXPECT_EQ(check(), ParsedChangeReport{});

    ItemRecord added = TextRecord({{"FirstName", "Ann"}, {"LastName", "Lee"}, {"Email1Address", "ann@example.org"},
                                   {"Birthday", "03-07-1980"}, {"Categories", "Friends,Work"}});
    added.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
    const QByteArray picture = Picture();
    added.SetPicture(picture);
    auto reply = SendInPieces(peer, AS_ADD_CONTACT, tag, ItemBlob({}, added));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_ADD_CONTACT + 1) << agent.Log().toStdString();
    const QString id =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(reply->payload.constData()), reply->payload.size() / 2);
    ASSERT_EQ(id.size(), 48);
    save();
    EXPECT_EQ(check(), ParsedChangeReport{}) << "what was added and saved is no change";

    reply = peer.LongRequest(AS_GET_CONTACT, tag++, utf16::Bytes(id));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_GET_CONTACT + 1) << agent.Log().toStdString();
    QString gotId;
    const ItemRecord got = DecodeBlob(reply->payload, &gotId);
    EXPECT_EQ(gotId, id);
    for (const char* name : {"FirstName", "LastName", "Email1Address", "Birthday", "Categories"})
        EXPECT_EQ(Text(got, name), Text(added, name)) << name;
    EXPECT_EQ(got.names.last(), QStringLiteral("Picture"));
    EXPECT_EQ(got.PictureImage(), picture);
    if (exchange) {
        EXPECT_EQ(Text(got, "EntryID").size(), 140) << "the long entry identifier is read";
    }

    reply = peer.Request(AS_SET_CONTACT, tag++, ItemBlob(id, TextRecord({{"JobTitle", "Pilot"}})));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->code, AS_SET_CONTACT + 1) << agent.Log().toStdString();
    // A check compares with the saved state, which predates the change.
    ParsedChangeReport edited;
    edited.edited = {id};
    EXPECT_EQ(check(), edited);

    ASSERT_EQ(peer.Request(AS_DEL_CONTACT, tag++, utf16::Bytes(id))->code, AS_DEL_CONTACT + 1);
    ParsedChangeReport deleted;
    deleted.deleted = {id};
    EXPECT_EQ(check(), deleted);
    save();
    EXPECT_EQ(check(), ParsedChangeReport{});

    ASSERT_EQ(peer.Request(AS_END_SYNC, tag++)->code, AS_END_SYNC + 1);
    peer.Send(AS_QUIT, tag++);
    EXPECT_EQ(agent.WaitForExit(), 0);
    for (const char* folder : {"runtime", "tmp"})
        EXPECT_EQ(QDir(agent.Path(QString::fromLatin1(folder))).entryList({QStringLiteral("*picture*")}), QStringList())
            << folder << ": a picture file stayed behind";
}

TEST(OutlookContactsE2e, APlainProfileSynchronisesAContactWithItsPicture) { Synchronise(false); }

TEST(OutlookContactsE2e, AnExchangeProfileSynchronisesAContactWithItsPicture) { Synchronise(true); }

}  // namespace
