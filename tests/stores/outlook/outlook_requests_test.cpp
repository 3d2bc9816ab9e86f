// The Outlook stores and connection behind the requests: the agent's own store set, on the
// emulated Outlook.

#include <gtest/gtest.h>

#include <map>

#include "common/byte_io.h"
#include "dispatch/item_kinds.h"
#include "dispatch/request_codes.h"
#include "stores/catalog/source_catalog.h"
#include "support/dispatch_harness.h"
#include "support/outlook/outlook_emulation.h"
#include "wire/message_header.h"

namespace {

std::uint32_t U32Of(const QByteArray& payload)
{
    return payload.size() == 4 ? GetU32(reinterpret_cast<const std::uint8_t*>(payload.constData())) : 0;
}

class OutlookRequests : public ::testing::Test {
protected:
    void SetUp() override
    {
        outlook.Register();
        h.agent.agentId = 14;
        h.TakeLogLines();
    }
    DispatchHarness h;
    OutlookEmulation outlook;
};

TEST_F(OutlookRequests, TheNewestVersionIsOpenedAndAnotherVersionsStoreAnswersError)
{
    outlook.SetVersions({12, 14});
    outlook.Register();
    const QString ann = outlook.PlantItem(EmuFolder::Contacts);
    outlook.PlantItem(EmuFolder::Contacts, {{"Class", VariantValue::I4(69)}});

    // The contact checksums come with a later store; the listing is what this check reaches.
    SentMessage reply = h.Send(AS_CHECK_CONTACTS);
    EXPECT_TRUE(h.TakeLogLines().contains("AS_CHECK_CONTACTS m_IDsContactsFromOutlook.GetCount() = 1"));

    // The peer chose 12 while 14 runs: the requests of 12 fail with a reason, never an empty answer.
    h.agent.agentId = 12;
    reply = h.Send(AS_CHECK_CONTACTS);
    EXPECT_EQ(reply.code, AS_ERROR);
    const QStringList lines = h.TakeLogLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().contains("not open")) << lines.join('\n').toStdString();
    EXPECT_EQ(h.Send(AS_DEL_CONTACT, Utf16z(ann)).code, AS_ERROR);
    EXPECT_EQ(outlook.ItemCount(EmuFolder::Contacts), 2);
    // Its state and map are no Outlook business.
    EXPECT_EQ(h.Send(AS_LOAD_CONTACTS_STATE).code, AS_LOAD_CONTACTS_STATE + 1);
    EXPECT_EQ(h.Send(AS_SAVE_CONTACTS_STATE).code, AS_SAVE_CONTACTS_STATE + 1);

    // The end of the synchronisation lets everything go and starts nothing.
    const auto creations = outlook.AllCreations();
    h.Send(AS_END_SYNC);
    EXPECT_EQ(outlook.LiveObjects(), 0);
    EXPECT_EQ(outlook.AllCreations(), creations);
}

// The connection opens the stores the catalogue's Outlook rows name: each row's code reaches a
// store of its own version once that Outlook runs.
TEST_F(OutlookRequests, EveryOutlookRowOfTheCatalogueIsOpenedWithItsVersion)
{
    const std::map<SourceKind, std::uint16_t> checks = {{SourceKind::Contacts, AS_CHECK_CONTACTS},
                                                        {SourceKind::Appointments, AS_CHECK_APPOINTS},
                                                        {SourceKind::Tasks, AS_CHECK_TASKS},
                                                        {SourceKind::Notes, AS_CHECK_NOTES}};
    int rows = 0;
    for (const SourceRow& row : SourceCatalog()) {
        if (!row.programVersion) continue;
        SCOPED_TRACE(QStringLiteral("kind %1 code %2").arg(int(row.kind)).arg(row.code).toStdString());
        ++rows;
        outlook.SetVersions({row.programVersion});
        outlook.Register();
        (row.kind == SourceKind::Notes ? h.agent.notesAgentId : h.agent.agentId) = row.code;
        EXPECT_EQ(h.Send(checks.at(row.kind)).code, checks.at(row.kind) + 1)
            << h.TakeLogLines().join('\n').toStdString();
        h.Send(AS_END_SYNC);
    }
    EXPECT_EQ(rows, 20);
}

TEST_F(OutlookRequests, AnOutlookThatFailsToAttachIsReportedAndReleased)
{
    outlook.SetCreateFails(QStringLiteral("Outlook.Application"));
    EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_ERROR);
    EXPECT_EQ(h.TakeLogLines(), (QStringList{"'CContact::Add' Init false", "Office init Error",
                                             "AS_CHECK_CONTACTS(=OfficeInit()=)...error"}));
    EXPECT_EQ(outlook.LiveObjects(), 0);
}

// A checksum that fails right after the add: the new item is deleted again and the peer gets an
// error, so neither a later check nor the peer's retry meets it twice.
TEST_F(OutlookRequests, AnAddWhoseChecksumFailsLeavesNoItemOfAnyKind)
{
    const struct {
        const char* what;
        ItemKind kind;
        std::uint16_t add;
        EmuFolder folder;
        EmuFault firstChecksumRead;
        const char* key;
    } cases[] = {
        {"task",
         ItemKind::Tasks,
         AS_ADD_TASK,
         EmuFolder::Tasks,
         {EmuObject::Task, 0x17, InvokeKind::PropertyGet},
         "Subject"},
        {"note",
         ItemKind::Notes,
         AS_ADD_NOTE,
         EmuFolder::Notes,
         {EmuObject::Note, 0x8B00, InvokeKind::PropertyGet},
         "Body"},
        {"contact",
         ItemKind::Contacts,
         AS_ADD_CONTACT,
         EmuFolder::Contacts,
         {EmuObject::Contact, 0x3A00, InvokeKind::PropertyGet},
         "FirstName"},
    };
    h.agent.notesAgentId = 64;
    // A check opens the connection, as in a synchronisation.
    ASSERT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_CHECK_CONTACTS + 1);
    outlook.ClearJournal();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        outlook.ClearFaults();
        outlook.AddFault(c.firstChecksumRead);
        ItemRecord record;
        record.Add(QString::fromLatin1(c.key), QStringLiteral("Once"));
        EXPECT_EQ(h.Send(c.add, ItemBlob({}, record)).code, AS_ERROR);
        EXPECT_EQ(outlook.ItemCount(c.folder), 0);
        EXPECT_EQ(StateListOf(h.agent, c.kind).Size(), 0u);
        int saves = 0;
        for (const EmuCall& call : outlook.Journal())
            saves += call.dispId == 0xF048 && call.kind == InvokeKind::Method;
        EXPECT_EQ(saves, 1) << "the item was added before the checksum failed";
        outlook.ClearJournal();
    }
}

TEST_F(OutlookRequests, DeleteAllContactsKeepsDistributionListsAndReleasesOutlook)
{
    outlook.PlantItem(EmuFolder::Contacts);
    const QString list = outlook.PlantItem(EmuFolder::Contacts, {{"Class", VariantValue::I4(69)}});
    outlook.PlantItem(EmuFolder::Contacts);
    EXPECT_EQ(h.Send(AS_DEL_ALL_CONTACTS).code, AS_DEL_ALL_CONTACTS + 1);
    ASSERT_EQ(outlook.ItemCount(EmuFolder::Contacts), 1);
    EXPECT_EQ(outlook.ItemsIn(EmuFolder::Contacts).front()->entryId, list);
    EXPECT_EQ(outlook.LiveObjects(), 0);
}

TEST_F(OutlookRequests, CategoriesOfTheRunningOutlook)
{
    SentMessage reply = h.Send(AS_GET_CATEGORIES);
    EXPECT_EQ(reply.code, AS_GET_CATEGORIES + 1);
    EXPECT_TRUE(reply.payload.isEmpty());
    outlook.SetCategories({"Red", "Blue"});
    reply = h.Send(AS_GET_CATEGORIES);
    EXPECT_EQ(reply.payload, QByteArray(reinterpret_cast<const char*>(u"Red,Blue"), 16));
    EXPECT_EQ(outlook.LiveObjects(), 0);
    outlook.SetGone(true);
    EXPECT_EQ(h.Send(AS_GET_CATEGORIES).code, AS_ERROR);
}

TEST_F(OutlookRequests, AnExchangeProfileIsOffered)
{
    EXPECT_EQ(U32Of(h.Send(AS_GET_AVAILABLE_SOURCES).payload) & 0x8040u, 0x40u);
    outlook.SetProfileStores({{QStringLiteral("S1"), 3}, {QStringLiteral("S2"), 0}});
    EXPECT_EQ(U32Of(h.Send(AS_GET_AVAILABLE_SOURCES).payload) & 0x8040u, 0x8040u);
    EXPECT_EQ(outlook.LiveObjects(), 0);
}

}  // namespace
