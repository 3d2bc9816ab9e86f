// The Exchange identifier map as a synchronisation uses it: saves of the appointments state
// between adds and deletes, and a map that cannot be written.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <pugixml.hpp>

#include "dispatch/item_kinds.h"
#include "dispatch/request_codes.h"
#include "dispatch/state_file.h"
#include "platform/known_folders.h"
#include "support/dispatch_harness.h"
#include "support/outlook/outlook_emulation.h"
#include "wire/message_header.h"

namespace {

QByteArray NoWindow()
{
    return U16Bytes(0xFFFF) + U16Bytes(0xFFFF);
}

QString ReplyId(const SentMessage& reply)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(reply.payload.constData()), reply.payload.size() / 2);
}

// An Outlook 14 whose profile is a primary Exchange mailbox: its entry identifiers are 140 long
// and the peer sees them through the map.
class OutlookExchangeMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        outlook.SetProfileStores({{QStringLiteral("S1"), 0}});
        outlook.Register();
        h.agent.agentId = 14;
        for (const char* subject : {"one", "two"})
            planted.append(outlook.PlantItem(EmuFolder::Calendar, {{"Subject", VariantValue::Text(subject)}}));
    }
    QString MapPath() const { return AgentDataDir() + QStringLiteral("/ids_PEER.xml"); }
    // The appointments section's long identifiers, as a strict reader finds them in the file.
    QStringList MappedLongIds() const
    {
        QStringList ids;
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_file(QFile::encodeName(MapPath()).constData()));
        for (const pugi::xml_node& item : doc.child("ids").child("appointments").children("item"))
            ids.append(QString::fromUtf8(item.child("id140").text().get()));
        return ids;
    }
    ParsedChangeReport Check()
    {
        const SentMessage reply = h.Send(AS_CHECK_APPOINTS, NoWindow());
        EXPECT_EQ(reply.code, AS_CHECK_APPOINTS + 1);
        return ParseChangeReport(reply.payload);
    }

    DispatchHarness h;
    OutlookEmulation outlook;
    QStringList planted;
};

TEST_F(OutlookExchangeMap, SavesBetweenAddsAndDeletesKeepThePairsOfTheItemsThere)
{
    const ParsedChangeReport first = Check();
    ASSERT_EQ(first.added.size(), 2);
    for (const QString& id : first.added) EXPECT_EQ(id.size(), 48);
    ASSERT_EQ(h.Send(AS_SAVE_APPOINTS_STATE).code, AS_SAVE_APPOINTS_STATE + 1);

    ItemRecord record;
    record.Add(QStringLiteral("Subject"), QStringLiteral("three"));
    const SentMessage added = h.Send(AS_ADD_APPOINT, ItemBlob({}, record));
    ASSERT_EQ(added.code, AS_ADD_APPOINT + 1);
    ASSERT_EQ(h.Send(AS_SAVE_APPOINTS_STATE).code, AS_SAVE_APPOINTS_STATE + 1);
    ASSERT_EQ(h.Send(AS_DEL_APPOINT, Utf16z(first.added.front())).code, AS_DEL_APPOINT + 1);
    ASSERT_EQ(h.Send(AS_SAVE_APPOINTS_STATE).code, AS_SAVE_APPOINTS_STATE + 1);

    // Still in the same synchronisation, and in the next one.
    EXPECT_EQ(h.Send(AS_GET_APPOINT, Utf16z(ReplyId(added))).code, AS_GET_APPOINT + 1);
    EXPECT_EQ(Check(), ParsedChangeReport{});
    ASSERT_EQ(outlook.ItemCount(EmuFolder::Calendar), 2);
    QStringList there;
    for (const EmuItem* item : outlook.ItemsIn(EmuFolder::Calendar)) there.append(item->entryId);
    QStringList mapped = MappedLongIds();
    mapped.sort();
    there.sort();
    EXPECT_EQ(mapped, there) << "one pair per item Outlook has, none for the deleted one";
}

TEST_F(OutlookExchangeMap, AMapThatCannotBeWrittenFailsTheSaveAndKeepsItsPairs)
{
    ASSERT_EQ(Check().added.size(), 2);
    // A folder where the map should be: no file can replace it.
    ASSERT_TRUE(QDir().mkpath(MapPath()));
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_SAVE_APPOINTS_STATE).code, AS_ERROR);
    const QString log = h.TakeLogLines().join(u'\n');
    EXPECT_TRUE(log.contains(MapPath())) << log.toStdString();
    const QString stateFile = StateFilePath(StateFileKind::Appointments, h.agent.machineId, {});
    EXPECT_EQ(QFileInfo(stateFile).size(), 0) << "no state without its map";

    // The next attempt writes the pairs the failed one had.
    ASSERT_TRUE(QDir(MapPath()).removeRecursively());
    ASSERT_EQ(h.Send(AS_SAVE_APPOINTS_STATE).code, AS_SAVE_APPOINTS_STATE + 1);
    EXPECT_EQ(QFileInfo(stateFile).size(), 2 * kStateRecordBytes);
    QStringList mapped = MappedLongIds();
    mapped.sort();
    planted.sort();
    EXPECT_EQ(mapped, planted);
    EXPECT_EQ(Check(), ParsedChangeReport{});
}

}  // namespace
