// Reading Outlook contacts for the peer and for the change check, in every version, on the
// emulated Outlook.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "common/errors.h"
#include "dispatch/request_codes.h"
#include "stores/outlook/contact_fields.h"
#include "support/dispatch_harness.h"
#include "support/outlook/outlook_store_rig.h"
#include "support/scoped_time_zone.h"
#include "wire/message_header.h"

namespace {

const int kVersions[] = {8, 9, 11, 12, 14};

ItemRecord Read(OutlookStoreRig& rig, const QString& id)
{
    ItemRecord record;
    rig.store->Get(id, record);
    return record;
}

QList<int> PlacesOf(const ItemRecord& record, const char* key)
{
    QList<int> places;
    for (int i = 0; i < record.FieldCount(); ++i)
        if (record.names[i] == QLatin1String(key)) places.append(i);
    return places;
}

TEST(OutlookContactRead, EntriesTheirOrderAndValuesPerVersion)
{
    const struct {
        int version;
        int entries;
    } cases[] = {{8, 104}, {9, 106}, {11, 107}, {12, 108}, {14, 108}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        OutlookStoreRig rig(OutlookKind::Contacts, c.version);
        const QString id =
            rig.outlook.PlantItem(EmuFolder::Contacts, {{"FirstName", VariantValue::Text("Ann")},
                                                        {"LastName", VariantValue::Text("Lee")},
                                                        {"FullName", VariantValue::Text("Ann Lee")},
                                                        {"Categories", VariantValue::Text("a;b")},
                                                        {"Journal", VariantValue::Bool(true)},
                                                        {"Gender", VariantValue::I4(2)},
                                                        {"Birthday", VariantValue::Date(40'000.75)}});
        const ItemRecord r = Read(rig, id);
        EXPECT_EQ(r.FieldCount(), c.entries);
        EXPECT_EQ(r.names.front(), QStringLiteral("Anniversary"));
        EXPECT_EQ(r.names.last(), QStringLiteral("Sensitivity"));
        // 8, 9 and 11 read the names twice: after CreationTime and FTPSite, after FileAs and Body,
        // after Language and the second FirstName; 12 and 14 once each.
        const auto after = [&](const char* key) {
            QList<int> places;
            for (int at : PlacesOf(r, key)) places.append(at + 1);
            return places;
        };
        if (c.version < 12) {
            EXPECT_EQ(PlacesOf(r, "FullName"), after("CreationTime") + after("FTPSite"));
            EXPECT_EQ(PlacesOf(r, "FirstName"), after("FileAs") + after("Body"));
            EXPECT_EQ(PlacesOf(r, "LastName"),
                      after("Language") + QList<int>{PlacesOf(r, "FirstName").last() + 1});
        } else {
            EXPECT_EQ(PlacesOf(r, "FullName"), after("FTPSite"));
            EXPECT_EQ(PlacesOf(r, "FirstName"), after("FileAs"));
            EXPECT_EQ(PlacesOf(r, "LastName"), after("Language"));
        }
        for (int at : PlacesOf(r, "FirstName")) EXPECT_EQ(r.values[at], ItemValue(QStringLiteral("Ann")));
        EXPECT_EQ(r.names[3] == QLatin1String("ReminderTime"), c.version >= 12)
            << "after CreationTime in 12 and 14";
        EXPECT_EQ(r.values[r.IndexOf("Categories")], ItemValue(QStringLiteral("a,b")));
        EXPECT_EQ(r.values[r.IndexOf("Journal")], ItemValue(1));
        EXPECT_EQ(r.values[r.IndexOf("Gender")], ItemValue(2));
        EXPECT_EQ(r.values[r.IndexOf("Birthday")], ItemValue(QStringLiteral("07-06-2009 18:00:00")))
            << "not converted";
        EXPECT_EQ(r.values[r.IndexOf("Anniversary")], ItemValue(QString())) << "no date is empty text";
        EXPECT_EQ(r.IndexOf("InternetFreeBusyAddress") >= 0, c.version >= 9);
        EXPECT_EQ(r.IndexOf("IMAddress") >= 0, c.version >= 11);
        EXPECT_EQ(r.IndexOf("EntryID") >= 0, true);
    }
}

TEST(OutlookContactRead, APictureIsTheLastEntryFrom11On)
{
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        OutlookStoreRig rig(OutlookKind::Contacts, version);
        const QString id = rig.outlook.PlantItem(EmuFolder::Contacts);
        rig.outlook.PlantAttachment(id, QByteArray("picture bytes"), true);
        const ItemRecord r = Read(rig, id);
        if (version < 11) {
            EXPECT_EQ(r.IndexOf("Picture"), -1);
            continue;
        }
        EXPECT_EQ(r.names.last(), QStringLiteral("Picture"));
        EXPECT_EQ(r.PictureImage(), QByteArray("picture bytes"));
    }
}

// A read that fails keeps the whole entries before it, never a name without its value.
TEST(OutlookContactRead, AFailingReadKeepsTheEntriesBeforeIt)
{
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        OutlookStoreRig rig(OutlookKind::Contacts, version);
        const QString id = rig.outlook.PlantItem(EmuFolder::Contacts);
        rig.outlook.AddFault({EmuObject::Contact, 0x8083, InvokeKind::PropertyGet, {}, 0, true, 0});
        ItemRecord record;
        EXPECT_ANY_THROW(rig.store->Get(id, record));
        EXPECT_EQ(record.FieldCount(), 28);
        EXPECT_EQ(record.values.size(), 28u);
        EXPECT_EQ(record.names.last(), QStringLiteral("Department"));
    }

    // The request that fails so logs the entries read before the failure, each once.
    DispatchHarness h;
    OutlookEmulation outlook;
    outlook.Register();
    h.agent.agentId = 14;
    ASSERT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_CHECK_CONTACTS + 1);
    const QString id = outlook.PlantItem(EmuFolder::Contacts, {{"Department", VariantValue::Text("Sales")}});
    outlook.AddFault({EmuObject::Contact, 0x8083, InvokeKind::PropertyGet, {}, 0, true, 0});
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_GET_CONTACT, Utf16z(id)).code, AS_ERROR);
    const QStringList lines = h.TakeLogLines();
    const QStringList entries = lines.filter(QRegularExpression(QStringLiteral("^\\t- ")));
    EXPECT_EQ(entries.size(), 28) << lines.join(u'\n').toStdString();
    EXPECT_EQ(entries.value(27), QStringLiteral("\t- Department - Sales"));
}

TEST(OutlookContactRead, TheSameContactReadsAlikeInEveryZoneAndSeason)
{
    QList<ItemRecord> reads;
    for (const char* zone : {"Europe/Berlin", "Australia/Sydney"}) {
        ScopedTimeZone scoped(zone);
        OutlookStoreRig rig(OutlookKind::Contacts, 14);
        for (double birthday : {40'193.0, 40'375.0}) {  // January and July
            const QString id = rig.outlook.PlantItem(
                EmuFolder::Contacts,
                {{"Birthday", VariantValue::Date(birthday)}, {"FirstName", VariantValue::Text("Bo")}});
            ItemRecord r = Read(rig, id);
            r.RemoveAt(r.IndexOf("EntryID"));
            r.RemoveAt(r.IndexOf("CreationTime"));
            reads.append(r);
        }
    }
    ASSERT_EQ(reads.size(), 4);
    EXPECT_EQ(reads[0], reads[2]);
    EXPECT_EQ(reads[1], reads[3]);
}

TEST(OutlookContactRead, OnExchangeEntryIdIsOutlooksLongOne)
{
    for (int version : {12, 14}) {
        SCOPED_TRACE(version);
        OutlookStoreRig rig(OutlookKind::Contacts, version, {{QStringLiteral("EX"), 0}});
        const QString longId =
            rig.outlook.PlantItem(EmuFolder::Contacts, {{"FirstName", VariantValue::Text("Cy")}});
        QStringList ids;
        rig.store->GetIDs(ids);
        ASSERT_EQ(ids.size(), 1);
        ASSERT_EQ(ids.front().size(), 48);
        const ItemRecord r = Read(rig, ids.front());
        EXPECT_EQ(r.values[r.IndexOf("EntryID")], ItemValue(longId));
        EXPECT_EQ(rig.store->IDtoCRC32(ids.front()), rig.store->IDtoCRC32(ids.front()));
    }
}

// The checksum joins its texts in a fixed order without separators: a change in any of them
// changes it, text moved to the neighbouring field does not, and fields outside the list never.
TEST(OutlookContactChecksum, RowsOrderPictureAndFieldsLeftOut)
{
    const char* rows[] = {"Account",    "BusinessAddressCity",
                          "Categories", "Email1Address",
                          "FirstName",  "LastName",
                          "Subject",    "Body",
                          "WebPage",    "Spouse"};
    OutlookStoreRig rig(OutlookKind::Contacts, 11);
    const QString id = rig.outlook.PlantItem(EmuFolder::Contacts);
    const std::uint32_t empty = rig.store->IDtoCRC32(id);
    for (const char* row : rows) {
        SCOPED_TRACE(row);
        const QString other = rig.outlook.PlantItem(EmuFolder::Contacts, {{row, VariantValue::Text("x")}});
        EXPECT_NE(rig.store->IDtoCRC32(other), empty);
    }
    // "BusinessAddressCity" and "BusinessAddressCountry" are neighbours.
    const QString inCity =
        rig.outlook.PlantItem(EmuFolder::Contacts, {{"BusinessAddressCity", VariantValue::Text("Oslo")}});
    const QString inCountry =
        rig.outlook.PlantItem(EmuFolder::Contacts, {{"BusinessAddressCountry", VariantValue::Text("Oslo")}});
    EXPECT_EQ(rig.store->IDtoCRC32(inCity), rig.store->IDtoCRC32(inCountry));
    // Fields the peer reads but the checksum leaves out.
    for (const char* outside : {"User1", "Email1AddressType", "Gender"}) {
        SCOPED_TRACE(outside);
        const QString other = rig.outlook.PlantItem(
            EmuFolder::Contacts,
            {{outside, QByteArray(outside) == "Gender" ? VariantValue::I4(1) : VariantValue::Text("y")}});
        EXPECT_EQ(rig.store->IDtoCRC32(other), empty);
    }
    // The picture's bytes count.
    rig.outlook.PlantAttachment(id, QByteArray("pic"), true);
    EXPECT_NE(rig.store->IDtoCRC32(id), empty);
}

TEST(OutlookContactChecksum, VersionsAgreeWhereTheyReadTheSame)
{
    QList<std::uint32_t> plain, withIm;
    for (int version : kVersions) {
        OutlookStoreRig rig(OutlookKind::Contacts, version);
        const EmuProperties base = {{"FirstName", VariantValue::Text("Di")},
                                    {"CreationTime", VariantValue::Date(40'000.0)},
                                    {"EntryID", VariantValue::Text(QString(48, u'C'))}};
        rig.outlook.PlantItem(EmuFolder::Contacts, base);
        plain.append(rig.store->IDtoCRC32(QString(48, u'C')));
        if (version >= 11) {
            EmuProperties im = base;
            im[2].second = VariantValue::Text(QString(48, u'D'));
            im.push_back({"IMAddress", VariantValue::Text("di@im")});
            rig.outlook.PlantItem(EmuFolder::Contacts, im);
            withIm.append(rig.store->IDtoCRC32(QString(48, u'D')));
        }
    }
    for (std::uint32_t crc : plain) EXPECT_EQ(crc, plain.front());
    for (std::uint32_t crc : withIm) EXPECT_NE(crc, plain.front());
}

TEST(OutlookContactFields, EveryVersionCarriesItsKeys)
{
    const struct {
        int version;
        int add, edit;
    } cases[] = {{8, 106, 106}, {9, 109, 109}, {11, 115, 115}, {12, 121, 126}, {14, 121, 126}};
    const char* const keys[] = {"Account", "Anniversary",  "FirstName",   "firstname",
                                "Picture", "ReminderTime", "TaskDueDate", "IMAddress",
                                "EntryID", "CreationTime", "Unknown"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        // Count by asking for every key the tables may hold, through the lookup the writers use.
        int add = 0, edit = 0;
        for (const char* k : keys) {
            add += FindContactField(QString::fromLatin1(k), ContactOperation::Add, c.version) ? 1 : 0;
            edit += FindContactField(QString::fromLatin1(k), ContactOperation::Edit, c.version) ? 1 : 0;
        }
        EXPECT_EQ(add, 3 + (c.version >= 11 ? 2 : 0));
        EXPECT_EQ(edit, add + (c.version >= 12 ? 2 : 0));
    }
    EXPECT_EQ(FindContactField(QStringLiteral("AssistantTelephoneNumber"))->dispId, 0x3A2Eu);
    EXPECT_EQ(FindContactField(QStringLiteral("Email2AddressType"))->dispId, 0x8092u);
}

}  // namespace
