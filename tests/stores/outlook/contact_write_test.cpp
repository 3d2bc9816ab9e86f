// Writing Outlook contacts on the emulated Outlook: which keys each version writes and how,
// the dates, the picture, identifiers on Exchange profiles, and what a failure leaves behind.
// The expected DISPIDs come from the emulation's own member table, never from the stores'.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>
#include <map>

#include "common/dates.h"
#include "common/errors.h"
#include "dispatch/item_kinds.h"
#include "dispatch/request_codes.h"
#include "stores/outlook/outlook_dispids.h"
#include "stores/outlook/outlook_store_factory.h"
#include "support/dispatch_harness.h"
#include "support/outlook/outlook_emulation.h"
#include "support/scoped_env.h"
#include "support/system_time_fields.h"
#include "wire/message_header.h"

namespace {

const int kVersions[] = {8, 9, 11, 12, 14};
constexpr DispId kAddPicture = 0xFABD;
constexpr DispId kSave = 0xF048;
const QString kPicture = QStringLiteral("Picture");

// Keys the contact edit of 12 and 14 writes and its creation does not.
const QSet<QString> kEditOnly = {"ReminderTime", "TaskStartDate", "TaskDueDate", "TaskCompletedDate",
                                 "ToDoTaskOrdinal"};

double Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    const std::optional<double> date =
        SystemTimeToOleDate(MakeSystemTime(year, month, day, hour, minute, second));
    EXPECT_TRUE(date);
    return date.value_or(0.0);
}

QByteArray Group(const QByteArray& picture)
{
    QByteArray group(4, '\0');
    qToLittleEndian(static_cast<std::uint32_t>(picture.size()), group.data());
    return group + picture;
}

ItemRecord Fields(std::initializer_list<std::pair<const char*, ItemValue>> fields)
{
    ItemRecord r;
    for (const auto& [name, value] : fields) r.Add(QString::fromUtf8(name), value);
    return r;
}

// A peer's value for every contact property the emulation knows in `version` (read-only ones
// too), in the kind the wire gives it.
ItemRecord EveryKey(int version)
{
    ItemRecord r;
    for (const EmuMember* m : EmuMembersOf(EmuObject::Contact, version)) {
        const QString name = QString::fromLatin1(m->name);
        switch (m->type) {
            case EmuType::I4:
                r.Add(name, 3);
                break;
            case EmuType::Bool:
                r.Add(name, 1);
                break;
            case EmuType::Date:
                r.Add(name, QStringLiteral("03-07-2010"));
                break;
            default:
                r.Add(name, QStringLiteral("v-") + name);
                break;
        }
    }
    r.Add(kPicture, kPicture);
    r.pictureBytes = Group("picture bytes");
    return r;
}

// The keys the peer may write in `version` and where each goes, from the emulation's table.
std::map<QString, DispId> WritableKeys(int version, bool edit)
{
    std::map<QString, DispId> keys;
    for (const EmuMember* m : EmuMembersOf(EmuObject::Contact, version)) {
        const QString name = QString::fromLatin1(m->name);
        if (m->IsReadOnlyIn(version) || (!edit && kEditOnly.contains(name))) continue;
        keys.emplace(name, m->dispId);
    }
    return keys;
}

struct ContactRig {
    explicit ContactRig(int version,
                        std::vector<std::pair<QString, int>> stores = {{QStringLiteral("S1"), 3}})
    {
        outlook.SetVersions({version});
        outlook.SetProfileStores(std::move(stores));
        outlook.Register();
        store = MakeOutlookStore(OutlookKind::Contacts, version);
        store->Init();
        outlook.ClearJournal();
    }
    // The contact members written (puts and AddPicture), in order.
    std::vector<EmuCall> Writes() const
    {
        std::vector<EmuCall> writes;
        for (const EmuCall& c : outlook.Journal())
            if (c.object == EmuObject::Contact && (c.kind == InvokeKind::PropertyPut ||
                                                   (c.kind == InvokeKind::Method && c.dispId == kAddPicture)))
                writes.push_back(c);
        return writes;
    }
    int Saves() const
    {
        int saves = 0;
        for (const EmuCall& c : outlook.Journal())
            if (c.object == EmuObject::Contact && c.dispId == kSave) ++saves;
        return saves;
    }
    // The entry identifier Outlook knows an identifier the store answered by.
    QString EntryId(const QString& id) const
    {
        const auto* mapped = dynamic_cast<const IdMappedOutlookStore*>(store.get());
        return mapped ? mapped->IdMap().Find140(id).value_or(id) : id;
    }
    VariantValue Value(const QString& id, const char* name) const
    {
        return outlook.Value(EntryId(id), QString::fromLatin1(name));
    }
    QString Add(const ItemRecord& record)
    {
        ItemRecord copy = record;
        QString id;
        store->Add(copy, id);
        return id;
    }
    void Edit(const ItemRecord& record, const QString& id)
    {
        ItemRecord copy = record;
        store->Edit(copy, id);
    }

    TempHome home;
    OutlookEmulation outlook;
    std::unique_ptr<OutlookStoreFrame> store;
};

// What the journal's write of one entry should look like: the property and the value, or a
// picture import (an AddPicture of some file).
using Write = std::pair<DispId, VariantValue>;
const VariantValue kAnyFile = VariantValue::Text(QStringLiteral("<file>"));

std::vector<Write> Seen(const std::vector<EmuCall>& calls)
{
    std::vector<Write> seen;
    for (const EmuCall& c : calls)
        seen.emplace_back(c.dispId, c.dispId == kAddPicture && c.kind == InvokeKind::Method
                                        ? kAnyFile
                                        : c.arguments.front());
    return seen;
}

TEST(ContactWrite, EachVersionWritesExactlyItsKeysOnceInRecordOrder)
{
    const std::map<int, std::pair<std::size_t, std::size_t>> counts = {
        {8, {106, 106}}, {9, {109, 109}}, {11, {115, 115}}, {12, {121, 126}}, {14, {121, 126}}};
    for (int version : kVersions) {
        for (bool edit : {false, true}) {
            SCOPED_TRACE(testing::Message() << version << (edit ? " edit" : " add"));
            ContactRig rig(version);
            // Every key of the newest version, read-only ones included, and names no version knows.
            ItemRecord record = EveryKey(14);
            record.Add(QStringLiteral("firstname"), QStringLiteral("other case"));
            record.Add(QStringLiteral("NoSuchKey"), QStringLiteral("x"));
            record.Add(QStringLiteral("EntryID"), QStringLiteral("0123"));
            record.Add(QStringLiteral("CreationTime"), QStringLiteral("03-07-2010"));

            const std::map<QString, DispId> keys = WritableKeys(version, edit);
            const bool picture = version >= 11;
            EXPECT_EQ(keys.size() + (picture ? 1 : 0),
                      edit ? counts.at(version).second : counts.at(version).first);
            std::vector<Write> expected;
            for (int i = 0; i < record.FieldCount(); ++i) {
                const QString& name = record.names[i];
                if (name == kPicture) {
                    if (picture) expected.emplace_back(kAddPicture, kAnyFile);
                    continue;
                }
                const auto key = keys.find(name);
                if (key == keys.end()) continue;
                const ItemValue& value = record.values[static_cast<std::size_t>(i)];
                const EmuMember* m = FindEmuMember(EmuObject::Contact, name);
                switch (m->type) {
                    case EmuType::I4:
                        expected.emplace_back(key->second, VariantValue::I4(std::get<std::int32_t>(value)));
                        break;
                    case EmuType::Bool:
                        expected.emplace_back(key->second, VariantValue::Bool(true));
                        break;
                    case EmuType::Date:
                        expected.emplace_back(key->second, VariantValue::Date(Date(2010, 3, 7)));
                        break;
                    default:
                        expected.emplace_back(key->second, VariantValue::Text(std::get<QString>(value)));
                        break;
                }
            }

            QString id;
            if (edit) {
                id = rig.outlook.PlantItem(EmuFolder::Contacts);
                rig.Edit(record, id);
            } else {
                id = rig.Add(record);
            }
            EXPECT_EQ(Seen(rig.Writes()), expected);
            EXPECT_EQ(rig.Saves(), 1);
            EXPECT_EQ(rig.Value(id, "FirstName").String(), QStringLiteral("v-FirstName"));
            EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Contacts), 1);
        }
    }
}

TEST(ContactWrite, ValuesAreConvertedByKind)
{
    struct Case {
        const char* name;
        int version;
        bool edit;
        ItemRecord record;
        std::vector<Write> writes;
    };
    const Case cases[] = {
        {"integers are never filtered",
         8,
         false,
         Fields({{"Gender", 0}, {"Importance", -1}, {"Sensitivity", 2}}),
         {{0x3A4D, VariantValue::I4(0)}, {0x17, VariantValue::I4(-1)}, {0x36, VariantValue::I4(2)}}},
        {"flags: any other value than 0 is true",
         9,
         true,
         Fields({{"UnRead", 7}, {"Journal", 5}, {"NoAging", 0}}),
         {{0xF01C, VariantValue::Bool(true)},
          {0x8025, VariantValue::Bool(true)},
          {0x850E, VariantValue::Bool(false)}}},
        {"empty birthday is no date, a time of day is dropped",
         11,
         false,
         Fields({{"Birthday", QString()}, {"Anniversary", QStringLiteral("03-07-2010 14:30:00")}}),
         {{0x3A42, VariantValue::Date(kNoDate)}, {0x3A41, VariantValue::Date(Date(2010, 3, 7))}}},
        {"birthday in the other forms people type",
         14,
         true,
         Fields({{"Birthday", QStringLiteral("2010-03-07")}, {"Birthday", QStringLiteral("07.03.2010")}}),
         {{0x3A42, VariantValue::Date(Date(2010, 3, 7))}, {0x3A42, VariantValue::Date(Date(2010, 3, 7))}}},
        {"the reminder keeps its time of day; empty is no date",
         12,
         true,
         Fields({{"ReminderTime", QStringLiteral("03-07-2010 14:30:00")}, {"ReminderTime", QString()}}),
         {{0x8502, VariantValue::Date(Date(2010, 3, 7, 14, 30))}, {0x8502, VariantValue::Date(kNoDate)}}},
        {"task dates in the fixed form, with or without a time",
         14,
         true,
         Fields({{"TaskStartDate", QStringLiteral("03-07-2010")},
                 {"TaskDueDate", QStringLiteral("03-08-2010 08:15:00")},
                 {"TaskCompletedDate", QStringLiteral("03/09/2010")},
                 {"ToDoTaskOrdinal", QStringLiteral("12-31-2010 23:59:59")}}),
         {{0x8104, VariantValue::Date(Date(2010, 3, 7))},
          {0x8105, VariantValue::Date(Date(2010, 3, 8, 8, 15))},
          {0x810F, VariantValue::Date(Date(2010, 3, 9))},
          {0x85A0, VariantValue::Date(Date(2010, 12, 31, 23, 59, 59))}}},
        {"creation leaves the reminder and the task dates alone",
         14,
         false,
         Fields({{"ReminderTime", QStringLiteral("03-07-2010")},
                 {"TaskStartDate", QStringLiteral("03-07-2010")},
                 {"TaskSubject", QStringLiteral("call")}}),
         {{0xFC1F, VariantValue::Text(QStringLiteral("call"))}}},
        {"each address type to its own address",
         8,
         false,
         Fields({{"Email2AddressType", QStringLiteral("SMTP")},
                 {"Email3AddressType", QStringLiteral("EX")},
                 {"Email1AddressType", QStringLiteral("FAX")}}),
         {{0x8092, VariantValue::Text(QStringLiteral("SMTP"))},
          {0x80A2, VariantValue::Text(QStringLiteral("EX"))},
          {0x8082, VariantValue::Text(QStringLiteral("FAX"))}}},
        {"texts unchanged, empty clears, categories keep their separators",
         12,
         true,
         Fields({{"Categories", QStringLiteral("Red;Blue,Green")},
                 {"JobTitle", QString()},
                 {"FullName", QStringLiteral("A")},
                 {"FullName", QStringLiteral("B")}}),
         {{0x9001, VariantValue::Text(QStringLiteral("Red;Blue,Green"))},
          {0x3A17, VariantValue::Text(QString())},
          {0x3001, VariantValue::Text(QStringLiteral("A"))},
          {0x3001, VariantValue::Text(QStringLiteral("B"))}}},
        {"later versions' keys are passed over",
         8,
         true,
         Fields({{"IMAddress", QStringLiteral("im")},
                 {"NetMeetingAlias", QStringLiteral("nm")},
                 {"Email1DisplayName", QStringLiteral("d")},
                 {"ReminderSet", 1},
                 {"Picture", kPicture}}),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ContactRig rig(c.version);
        QString id;
        if (c.edit) {
            id = rig.outlook.PlantItem(EmuFolder::Contacts);
            rig.Edit(c.record, id);
        } else {
            id = rig.Add(c.record);
        }
        EXPECT_EQ(Seen(rig.Writes()), c.writes);
        EXPECT_EQ(rig.Saves(), 1);
    }
    // What the last write leaves stands.
    ContactRig rig(14);
    const QString id =
        rig.Add(Fields({{"FullName", QStringLiteral("A")}, {"FullName", QStringLiteral("B")}}));
    EXPECT_EQ(rig.Value(id, "FullName").String(), QStringLiteral("B"));
    // A flag goes out as 1 whatever true value came in.
    const QString flagged = rig.Add(Fields({{"Journal", 5}}));
    ItemRecord back;
    rig.store->Get(flagged, back);
    const qsizetype journal = back.names.indexOf(QStringLiteral("Journal"));
    ASSERT_GE(journal, 0);
    EXPECT_EQ(back.values[static_cast<std::size_t>(journal)], ItemValue(1));
}

// A record the contact cannot take fails whole: the peer gets an error naming the key and the
// text, nothing is saved, and an added contact does not exist.
TEST(ContactWrite, UnreadableValuesFailBeforeAnythingIsSaved)
{
    struct Case {
        const char* key;
        QString text;
        bool edit;  // only the edit writes it
    };
    const Case cases[] = {
        {"Birthday", QStringLiteral("hello"), false},
        {"Anniversary", QStringLiteral("02-30-2010"), false},
        {"ReminderTime", QStringLiteral("13-45-2010 10:00"), true},
        {"TaskStartDate", QString(), true},
        {"TaskDueDate", QStringLiteral("02-30-2010"), true},
        {"TaskCompletedDate", QStringLiteral("ab-cd-efgh"), true},
        {"ToDoTaskOrdinal", QStringLiteral("03-07-10"), true},
    };
    for (bool edit : {false, true}) {
        for (const Case& c : cases) {
            if (c.edit && !edit) continue;
            SCOPED_TRACE(testing::Message() << c.key << (edit ? " edit" : " add"));
            ContactRig rig(14);
            const QString planted =
                rig.outlook.PlantItem(EmuFolder::Contacts, {{"FirstName", VariantValue::Text("Ann")}});
            rig.outlook.ClearJournal();
            ItemRecord record = Fields({{"FirstName", QStringLiteral("Bob")}});
            record.Add(QString::fromLatin1(c.key), c.text);
            try {
                if (edit)
                    rig.Edit(record, planted);
                else
                    rig.Add(record);
                ADD_FAILURE() << "accepted";
            } catch (const AgentError& e) {
                const std::string what = e.what();
                EXPECT_NE(what.find(c.key), std::string::npos) << what;
                EXPECT_NE(what.find('"' + c.text.toStdString() + '"'), std::string::npos) << what;
            }
            EXPECT_TRUE(rig.Writes().empty());
            EXPECT_EQ(rig.Saves(), 0);
            EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Contacts), 1);
            EXPECT_EQ(rig.outlook.Value(planted, QStringLiteral("FirstName")).String(),
                      QStringLiteral("Ann"));
        }
    }
}

TEST(ContactWrite, PictureIsImportedAtItsPlaceAndOnlyFromAWholeBuffer)
{
    for (int version : {11, 12, 14}) {
        SCOPED_TRACE(version);
        const QByteArray picture(20000, 'p');
        ContactRig rig(version);
        ItemRecord record = Fields({{"FirstName", QStringLiteral("Ann")},
                                    {"Picture", kPicture},
                                    {"LastName", QStringLiteral("Lee")},
                                    {"Picture", QStringLiteral("any text")}});
        record.pictureBytes = Group(picture);
        const QString id = rig.Add(record);
        EXPECT_EQ(Seen(rig.Writes()), (std::vector<Write>{{0x3A06, VariantValue::Text(QStringLiteral("Ann"))},
                                                          {kAddPicture, kAnyFile},
                                                          {0x3A11, VariantValue::Text(QStringLiteral("Lee"))},
                                                          {kAddPicture, kAnyFile}}));
        const EmuItem* item = rig.outlook.FindItem(rig.EntryId(id));
        ASSERT_NE(item, nullptr);
        ASSERT_EQ(item->attachments.size(), 1u);
        EXPECT_EQ(item->attachments[0].bytes, picture);
        EXPECT_TRUE(QDir(rig.home.Path(QStringLiteral("runtime"))).isEmpty()) << "a picture file stayed";

        // No bytes: the contact keeps the picture it has.
        rig.outlook.ClearJournal();
        ItemRecord empty = Fields({{"Picture", kPicture}});
        empty.pictureBytes = Group({});
        rig.Edit(empty, id);
        EXPECT_TRUE(rig.Writes().empty());
        EXPECT_EQ(rig.Saves(), 1);
        EXPECT_EQ(rig.outlook.FindItem(rig.EntryId(id))->attachments[0].bytes, picture);
    }
}

TEST(ContactWrite, APictureShorterThanItsCountFailsBeforeAnythingIsWritten)
{
    QByteArray halfThere(4, '\0');
    qToLittleEndian(std::uint32_t{1000}, halfThere.data());
    halfThere += QByteArray(500, 'x');
    for (const QByteArray& buffer : {QByteArray("\x01\x00\x00", 3), halfThere}) {
        for (bool edit : {false, true}) {
            SCOPED_TRACE(testing::Message() << buffer.size() << (edit ? " edit" : " add"));
            ContactRig rig(12);
            const QString planted = rig.outlook.PlantItem(EmuFolder::Contacts);
            rig.outlook.ClearJournal();
            ItemRecord record = Fields({{"FirstName", QStringLiteral("Ann")}, {"Picture", kPicture}});
            record.pictureBytes = buffer;
            if (edit)
                EXPECT_THROW(rig.Edit(record, planted), MalformedData);
            else
                EXPECT_THROW(rig.Add(record), MalformedData);
            EXPECT_TRUE(rig.Writes().empty());
            EXPECT_EQ(rig.Saves(), 0);
            EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Contacts), 1);
        }
    }
}

TEST(ContactWrite, AFailureAfterTheSaveLeavesNoContact)
{
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        ContactRig rig(version);
        rig.outlook.AddFault({EmuObject::Contact, outlook::kEntryID, InvokeKind::PropertyGet});
        EXPECT_ANY_THROW(rig.Add(Fields({{"FirstName", QStringLiteral("Ann")}})));
        EXPECT_EQ(rig.Saves(), 1);
        EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Contacts), 0);
    }
}

TEST(ContactWrite, ARefusedPutSavesNothing)
{
    for (bool edit : {false, true}) {
        SCOPED_TRACE(edit ? "edit" : "add");
        ContactRig rig(11);
        const QString planted =
            rig.outlook.PlantItem(EmuFolder::Contacts, {{"FirstName", VariantValue::Text("Ann")}});
        rig.outlook.AddFault({EmuObject::Contact, 0x3A11, InvokeKind::PropertyPut});
        const ItemRecord record =
            Fields({{"FirstName", QStringLiteral("Bob")}, {"LastName", QStringLiteral("Lee")}});
        if (edit)
            EXPECT_ANY_THROW(rig.Edit(record, planted));
        else
            EXPECT_ANY_THROW(rig.Add(record));
        EXPECT_EQ(rig.Saves(), 0);
        EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Contacts), 1);
        EXPECT_EQ(rig.outlook.Value(planted, QStringLiteral("FirstName")).String(), QStringLiteral("Ann"));
    }
}

TEST(ContactWrite, ExchangeProfilesMapTheLongIdentifiers)
{
    for (int version : {12, 14}) {
        SCOPED_TRACE(version);
        ContactRig rig(version, {{QStringLiteral("S1"), 0}});
        const QString id = rig.Add(Fields({{"FirstName", QStringLiteral("Ann")}}));
        ASSERT_EQ(id.size(), 48);
        const QString entryId = rig.outlook.ItemsIn(EmuFolder::Contacts).front()->entryId;
        EXPECT_EQ(entryId.size(), 140);
        EXPECT_EQ(rig.EntryId(id), entryId);

        rig.Edit(Fields({{"FirstName", QStringLiteral("Bob")}}), id);
        EXPECT_EQ(rig.outlook.Value(entryId, QStringLiteral("FirstName")).String(), QStringLiteral("Bob"));

        // An identifier the map does not hold reaches Outlook as it is.
        const QString unpaired = QString(48, u'A');
        rig.outlook.PlantItem(EmuFolder::Contacts, {{"EntryID", VariantValue::Text(unpaired)}});
        rig.Edit(Fields({{"LastName", QStringLiteral("Lee")}}), unpaired);
        EXPECT_EQ(rig.outlook.Value(unpaired, QStringLiteral("LastName")).String(), QStringLiteral("Lee"));
        EXPECT_ANY_THROW(rig.Edit(Fields({{"LastName", QStringLiteral("x")}}), QString(48, u'B')));
    }
    // Without Exchange, and in 8, 9 and 11, the entry identifier itself.
    for (int version : kVersions) {
        ContactRig rig(version);
        const QString id = rig.Add({});
        EXPECT_EQ(id, rig.outlook.ItemsIn(EmuFolder::Contacts).front()->entryId);
    }
}

TEST(ContactWrite, AStoreThatIsNotConnectedRefuses)
{
    ContactRig rig(11);
    rig.store->ReleaseOutlook();
    EXPECT_THROW(rig.Add(Fields({{"FirstName", QStringLiteral("Ann")}})), AgentError);
    EXPECT_THROW(rig.Edit({}, QStringLiteral("x")), AgentError);
    EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Contacts), 0);
}

// Through the dispatcher: the peer's error, the agent's log, and no state for a refused record.
TEST(ContactRequests, ARefusedRecordIsLoggedWithItsReasonAndLeavesNoTrace)
{
    DispatchHarness h;
    OutlookEmulation outlook;
    outlook.SetVersions({14});
    outlook.Register();
    h.agent.agentId = 14;
    ASSERT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_CHECK_CONTACTS + 1);
    const QString id = outlook.PlantItem(EmuFolder::Contacts, {{"FirstName", VariantValue::Text("Ann")}});
    h.TakeLogLines();

    ItemRecord record =
        Fields({{"FirstName", QStringLiteral("Bob")}, {"TaskDueDate", QStringLiteral("02-30-2010")}});
    EXPECT_EQ(h.Send(AS_SET_CONTACT, ItemBlob(id, record)).code, AS_ERROR);
    const QString log = h.TakeLogLines().join(u'\n');
    EXPECT_TRUE(log.contains(QStringLiteral("AS_SET_CONTACT...error"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("\"TaskDueDate\""))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("\"02-30-2010\""))) << log.toStdString();
    EXPECT_EQ(outlook.Value(id, QStringLiteral("FirstName")).String(), QStringLiteral("Ann"));

    outlook.AddFault({EmuObject::Contact, 0x3A11, InvokeKind::PropertyPut});
    record = Fields({{"FirstName", QStringLiteral("Cy")}, {"LastName", QStringLiteral("Lee")}});
    EXPECT_EQ(h.Send(AS_ADD_CONTACT, ItemBlob({}, record)).code, AS_ERROR);
    EXPECT_EQ(outlook.ItemCount(EmuFolder::Contacts), 1);
    EXPECT_TRUE(h.TakeLogLines().contains(QStringLiteral("AS_ADD_CONTACT..error")));
    EXPECT_EQ(StateListOf(h.agent, ItemKind::Contacts).Size(), 0u);
}

}  // namespace
