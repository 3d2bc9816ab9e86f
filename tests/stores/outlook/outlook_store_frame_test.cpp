#include "stores/outlook/outlook_store_frame.h"

#include <gtest/gtest.h>

#include <QStringList>

#include "common/errors.h"
#include "common/item_id.h"
#include "stores/outlook/outlook_store_factory.h"
#include "support/outlook/outlook_emulation.h"
#include "support/temp_home.h"

namespace {

const OutlookKind kKinds[] = {OutlookKind::Contacts, OutlookKind::Appointments, OutlookKind::Tasks,
                              OutlookKind::Notes};
const int kVersions[] = {8, 9, 11, 12, 14};

EmuFolder FolderOf(OutlookKind kind)
{
    switch (kind) {
        case OutlookKind::Contacts:
            return EmuFolder::Contacts;
        case OutlookKind::Appointments:
            return EmuFolder::Calendar;
        case OutlookKind::Tasks:
            return EmuFolder::Tasks;
        case OutlookKind::Notes:
            return EmuFolder::Notes;
    }
    return EmuFolder::Contacts;
}

EmuObject ObjectOf(OutlookKind kind)
{
    switch (kind) {
        case OutlookKind::Contacts:
            return EmuObject::Contact;
        case OutlookKind::Appointments:
            return EmuObject::Appointment;
        case OutlookKind::Tasks:
            return EmuObject::Task;
        case OutlookKind::Notes:
            return EmuObject::Note;
    }
    return EmuObject::Contact;
}

std::string Name(OutlookKind kind, int version)
{
    return std::string(OutlookKindName(kind)) + " " + std::to_string(version);
}

// One store on an emulated Outlook of its version, whose profile has `stores`.
struct Rig {
    Rig(OutlookKind k, int version, std::vector<std::pair<QString, int>> stores = {{QStringLiteral("S1"), 3}})
        : kind(k)
    {
        outlook.SetVersions({version});
        outlook.SetProfileStores(std::move(stores));
        outlook.Register();
        store = MakeOutlookStore(kind, version);
    }
    QStringList Plant(int count)
    {
        QStringList ids;
        for (int i = 0; i < count; ++i) ids.append(outlook.PlantItem(FolderOf(kind)));
        return ids;
    }
    QStringList Remaining() const
    {
        QStringList ids;
        for (const EmuItem* item : outlook.ItemsIn(FolderOf(kind))) ids.append(item->entryId);
        return ids;
    }
    void RefuseDelete(const QString& entryId)
    {
        outlook.AddFault({ObjectOf(kind), 0xF04A, InvokeKind::Method, entryId, 0, true, 0});
    }
    QStringList Ids()
    {
        QStringList ids;
        store->GetIDs(ids);
        return ids;
    }
    IdMappedOutlookStore& Mapped() { return dynamic_cast<IdMappedOutlookStore&>(*store); }

    OutlookKind kind;
    OutlookEmulation outlook;
    std::unique_ptr<OutlookStoreFrame> store;
};

TEST(OutlookStoreFrame, ListsTheFolderInOrderAndEmptiesItInEveryKindAndVersion)
{
    TempHome home;
    for (OutlookKind kind : kKinds)
        for (int version : kVersions) {
            SCOPED_TRACE(Name(kind, version));
            Rig rig(kind, version);
            const QStringList planted = rig.Plant(3);
            rig.store->Init();
            EXPECT_TRUE(rig.store->IsConnected());
            EXPECT_EQ(rig.Ids(), planted);
            EXPECT_EQ(planted.front().size(), 48);
            rig.store->DeleteAll();
            EXPECT_TRUE(rig.Remaining().isEmpty());
            EXPECT_TRUE(rig.Ids().isEmpty());
            rig.store->ReleaseOutlook();
            EXPECT_EQ(rig.outlook.LiveObjects(), 0) << "every object of the store is released";
        }
}

TEST(OutlookStoreFrame, AStoreWithoutConnectionRefusesEveryOperationButItsMap)
{
    TempHome home;
    for (OutlookKind kind : kKinds)
        for (int version : kVersions) {
            SCOPED_TRACE(Name(kind, version));
            Rig rig(kind, version);
            const QString id = rig.Plant(1).front();
            QStringList ids;
            // Never initialised, and again after a release.
            for (int round = 0; round < 2; ++round) {
                EXPECT_THROW(rig.store->GetIDs(ids), AgentError);
                EXPECT_THROW(rig.store->Delete(id), AgentError);
                EXPECT_THROW(rig.store->DeleteAll(), AgentError);
                if (kind == OutlookKind::Appointments || kind == OutlookKind::Tasks)
                    EXPECT_THROW(rig.store->IsInDateWindow(id, 1, 1), AgentError);
                ItemRecord record;
                record.Add(QStringLiteral("Body"), QStringLiteral("x"));
                QString added;
                EXPECT_THROW(rig.store->Add(record, added), AgentError);
                EXPECT_THROW(rig.store->Edit(record, id), AgentError);
                EXPECT_THROW(rig.store->Get(id, record), AgentError);
                EXPECT_THROW(rig.store->IDtoCRC32(id), AgentError);
                rig.store->Init();
                rig.store->ReleaseOutlook();
            }
            EXPECT_EQ(rig.Remaining(), QStringList{id});
            if (version >= 12) {
                EXPECT_NO_THROW(rig.Mapped().OpenIdMap(QStringLiteral("PEER")));
                EXPECT_NO_THROW(rig.Mapped().SaveIdMap());
            }
        }
}

TEST(OutlookStoreFrame, InitFollowsTheProfileSeenNowForExchange)
{
    TempHome home;
    for (int version : {12, 14}) {
        SCOPED_TRACE(version);
        Rig rig(OutlookKind::Appointments, version, {{QStringLiteral("S1"), 3}, {QStringLiteral("S2"), 0}});
        rig.store->Init();
        EXPECT_TRUE(rig.store->ExchangeFlag()) << "a second store that is a primary mailbox counts";
        rig.store->ReleaseOutlook();
        rig.outlook.SetProfileStores({{QStringLiteral("S1"), 3}});
        rig.store->Init();
        EXPECT_FALSE(rig.store->ExchangeFlag()) << "a later profile without Exchange clears the flag";
        EXPECT_EQ(rig.outlook.LiveObjects(), 3) << "application, namespace and folder; no store left held";
    }
    // Versions before 12 never look at the profile's stores (they lack the member).
    Rig old(OutlookKind::Contacts, 11, {{QStringLiteral("S1"), 0}});
    old.store->Init();
    EXPECT_FALSE(old.store->ExchangeFlag());
}

TEST(OutlookStoreFrame, WithExchangeLongIdentifiersAreMappedAndShortOnesPass)
{
    TempHome home;
    for (OutlookKind kind : kKinds) {
        SCOPED_TRACE(OutlookKindName(kind));
        // The first store is the Exchange mailbox, so Outlook's entry identifiers are 140 long.
        Rig rig(kind, 14, {{QStringLiteral("S1"), 0}});
        const QStringList longIds = rig.Plant(2);
        const QString shortId = rig.outlook.PlantItem(FolderOf(kind), {{"EntryID", VariantValue::Text(QString(48, 'B'))}});
        ASSERT_EQ(longIds.front().size(), 140);
        rig.store->Init();
        rig.Mapped().OpenIdMap(QStringLiteral("PEER"));
        const QStringList ids = rig.Ids();
        ASSERT_EQ(ids.size(), 3);
        EXPECT_TRUE(IsItemId(ids[0]));
        EXPECT_TRUE(IsItemId(ids[1]));
        EXPECT_EQ(ids[2], shortId) << "a 48-character entry identifier stays as it is";
        EXPECT_EQ(rig.Mapped().IdMap().Pairs().size(), 2u);
        EXPECT_EQ(rig.Ids(), ids) << "a second listing reuses the pairs";

        // A refused delete keeps the pair; a delete Outlook does drops it.
        rig.RefuseDelete(longIds[0]);
        EXPECT_ANY_THROW(rig.store->Delete(ids[0]));
        EXPECT_EQ(rig.Mapped().IdMap().Find140(ids[0]), longIds[0]);
        rig.store->Delete(ids[1]);
        EXPECT_FALSE(rig.Mapped().IdMap().Find140(ids[1]).has_value());
        // An identifier without a pair is used as it is.
        rig.store->Delete(shortId);
        EXPECT_EQ(rig.Remaining(), QStringList{longIds[0]});
    }
}

TEST(OutlookStoreFrame, DeleteAllGuardsPerVersionAroundOneRefusedItem)
{
    TempHome home;
    for (OutlookKind kind : kKinds)
        for (int version : kVersions) {
            SCOPED_TRACE(Name(kind, version));
            Rig rig(kind, version, {{QStringLiteral("S1"), version >= 12 ? 0 : 3}});
            const QStringList ids = rig.Plant(5);
            rig.RefuseDelete(ids[2]);
            rig.store->Init();
            if (version >= 12) {
                // A pair in the peer's map, which a successful empty clears.
                rig.Mapped().OpenIdMap(QStringLiteral("PEER"));
                rig.Ids();
                rig.Mapped().SaveIdMap();
                rig.Mapped().SetIdMapName(QStringLiteral("PEER"));
            }
            const bool guarded = version == 9 || version == 11 || version == 12;
            if (guarded) {
                EXPECT_NO_THROW(rig.store->DeleteAll());
                EXPECT_EQ(rig.Remaining(), QStringList{ids[2]});
            } else {
                EXPECT_ANY_THROW(rig.store->DeleteAll());
                EXPECT_EQ(rig.Remaining(), ids.mid(0, 3)) << "the items above the refused one are gone";
            }
            if (version >= 12) {
                rig.Mapped().OpenIdMap(QStringLiteral("PEER"));
                EXPECT_EQ(rig.Mapped().IdMap().Pairs().empty(), guarded) << "the map is emptied only on success";
            }
        }
}

TEST(OutlookStoreFrame, Notes14AreAllDeletedWhereAWalkWouldSkipEveryOther)
{
    TempHome home;
    Rig rig(OutlookKind::Notes, 14);
    rig.Plant(5);
    rig.store->Init();
    rig.store->DeleteAll();
    EXPECT_TRUE(rig.Remaining().isEmpty());
}

TEST(OutlookStoreFrame, ContactsLeaveDistributionListsAlone)
{
    TempHome home;
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        Rig rig(OutlookKind::Contacts, version);
        const QString ann = rig.outlook.PlantItem(EmuFolder::Contacts);
        const QString list = rig.outlook.PlantItem(EmuFolder::Contacts, {{"Class", VariantValue::I4(69)}});
        const QString bob = rig.outlook.PlantItem(EmuFolder::Contacts);
        rig.store->Init();
        EXPECT_EQ(rig.Ids(), (QStringList{ann, bob}));
        rig.store->DeleteAll();
        EXPECT_EQ(rig.Remaining(), QStringList{list});
    }
}

TEST(OutlookStoreFrame, AnyFailureWhileListingFailsTheListing)
{
    TempHome home;
    for (OutlookKind kind : kKinds) {
        SCOPED_TRACE(OutlookKindName(kind));
        Rig rig(kind, 12);
        const QStringList ids = rig.Plant(3);
        // A COM status failure on the second item, then an Outlook error.
        rig.outlook.AddFault({ObjectOf(kind), 0xF01E, InvokeKind::PropertyGet, ids[1], 1, false, com_status::kFail});
        rig.outlook.AddFault({ObjectOf(kind), 0xF01E, InvokeKind::PropertyGet, ids[1], 2, true, 0});
        rig.store->Init();
        QStringList listed;
        EXPECT_THROW(rig.store->GetIDs(listed), COleException) << "an item left out would read as deleted";
        EXPECT_THROW(rig.store->GetIDs(listed), COleDispatchException);
        EXPECT_EQ(rig.Ids(), ids);
    }
}

TEST(OutlookStoreFrame, FoldersBeyondThe16BitIndexAreListedAndEmptied)
{
    TempHome home;
    Rig rig(OutlookKind::Appointments, 14);
    rig.outlook.SetJournalEnabled(false);
    const QStringList ids = rig.Plant(40000);
    rig.store->Init();
    EXPECT_EQ(rig.Ids(), ids);
    rig.store->DeleteAll();
    EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Calendar), 0);
}

TEST(OutlookStoreFrame, InitWithoutOutlookShowsTheStoresMessageAndFails)
{
    struct Case {
        OutlookKind kind;
        int version;
        const char* message;
    };
    const Case cases[] = {
        {OutlookKind::Contacts, 8, "'CContact::Add' Init false"},
        {OutlookKind::Appointments, 14, "'CContact::Add' Init false"},
        {OutlookKind::Notes, 11, "'Outlook11' Init false"},
        {OutlookKind::Notes, 12, "'CContact::Add' Init false"},
        {OutlookKind::Tasks, 9, "Initialination outlook Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Name(c.kind, c.version));
        Rig rig(c.kind, c.version);
        rig.outlook.SetCreateFails(QStringLiteral("Outlook.Application"));
        QStringList shown;
        rig.store->SetMessageHook([&](const QString& text) { shown.append(text); });
        EXPECT_THROW(rig.store->Init(), AgentError);
        EXPECT_EQ(shown, QStringList{QString::fromUtf8(c.message)});
        EXPECT_FALSE(rig.store->IsConnected());
    }
}

TEST(OutlookStoreFrame, OperationsCallOnlyMembersOfTheirVersion)
{
    // The emulation refuses members a version lacks (the store collection came with 12), so each
    // operation succeeding is the check.
    TempHome home;
    for (OutlookKind kind : kKinds)
        for (int version : kVersions) {
            SCOPED_TRACE(Name(kind, version));
            Rig rig(kind, version);
            const QString id = rig.Plant(2).front();
            rig.store->Init();
            rig.Ids();
            if (kind == OutlookKind::Appointments || kind == OutlookKind::Tasks) rig.store->IsInDateWindow(id, 2, 2);
            rig.store->Delete(id);
            rig.store->DeleteAll();
        }
}

}  // namespace
