// The emulated Outlook where the store tests cannot see it: the call rules, the GetNext cursor,
// the appointment time coupling, recurrence, pictures, and the seed and state.

#include "support/outlook/outlook_emulation.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <nlohmann/json.hpp>

#include "platform/dispatch_driver.h"
#include "support/outlook/outlook_seed.h"

namespace {

VariantValue Text(const char* t)
{
    return VariantValue::Text(QString::fromUtf8(t));
}

struct Session {
    explicit Session(OutlookEmulation& outlook)
    {
        outlook.Register();
        EXPECT_TRUE(app.CreateDispatch(QStringLiteral("Outlook.Application")));
        ns = app.CallObject(0x110, {Text("MAPI")});
    }
    DispatchDriver Folder(int number) const { return ns.CallObject(0x210B, {VariantValue::I4(number)}); }
    DispatchDriver Item(const QString& id) const { return ns.CallObject(0x2109, {VariantValue::Text(id)}); }
    DispatchDriver app, ns;
};

ComStatus StatusOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const COleException& e) {
        return e.status();
    } catch (const COleDispatchException&) {
        return com_status::kException;
    }
    return com_status::kOk;
}

TEST(OutlookEmulation, CallsFollowTheRulesOfTheObjectModel)
{
    OutlookEmulation outlook;
    outlook.SetVersions({9});
    const QString id = outlook.PlantItem(EmuFolder::Contacts, {{"FirstName", Text("Ann")}});
    Session s(outlook);
    const DispatchDriver contact = s.Item(id);
    using namespace com_status;
    struct Case {
        const char* what;
        std::function<void()> call;
        ComStatus status;
    };
    const Case cases[] = {
        {"unknown member", [&] { contact.GetText(0x1234); }, kMemberNotFound},
        {"a member version 9 lacks", [&] { contact.GetText(0x8062); }, kMemberNotFound},
        {"a display name is read-only before 11", [&] { contact.PutText(0x8080, "A"); }, kMemberNotFound},
        {"put to a read-only property", [&] { contact.PutText(0xF01E, "x"); }, kMemberNotFound},
        {"a property invoked as a method", [&] { contact.CallMethod(0x3A06); }, kMemberNotFound},
        {"too many arguments", [&] { contact.CallMethod(0xF048, {VariantValue::I4(1)}); }, kBadParamCount},
        {"a number where text belongs", [&] { contact.Put(0x3A06, VariantValue::I4(3)); }, kTypeMismatch},
        {"a text where a date belongs", [&] { contact.Put(0x3A42, Text("01-02-2010")); }, kTypeMismatch},
        {"a real is a date", [&] { contact.Put(0x3A42, VariantValue::R8(40000.0)); }, kOk},
        {"a boolean is an integer", [&] { contact.Put(0x3A4D, VariantValue::Bool(true)); }, kOk},
        {"unknown entry identifier", [&] { s.Item(QString(48, 'F')); }, kException},
        {"unknown store", [&] { s.ns.CallObject(0x2109, {VariantValue::Text(id), Text("S9")}); }, kException},
        {"unknown folder", [&] { s.Folder(99); }, kException},
        {"unknown item type", [&] { s.app.CallObject(0x10A, {VariantValue::I4(4)}); }, kException},
        {"index 0", [&] { s.Folder(10).GetObject(0x3100).CallObject(0x51, {VariantValue::I2(0)}); }, kException},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(StatusOf(c.call), c.status);
    }
    EXPECT_EQ(contact.GetText(0x3A06), "Ann");
    EXPECT_EQ(contact.GetBool(0xF0A3), 0) << "the puts above cleared Saved";
}

TEST(OutlookEmulation, BooleansTravelAsMinusOne)
{
    OutlookEmulation outlook;
    const QString id = outlook.PlantItem(EmuFolder::Contacts, {{"Journal", VariantValue::Bool(true)}});
    Session s(outlook);
    InvokeResult r = s.Item(id).Object()->Invoke(0x8025, InvokeKind::PropertyGet, {});
    EXPECT_EQ(r.result, VariantValue::Bool(true));
    EXPECT_EQ(r.result.Integer(), -1);
}

TEST(OutlookEmulation, GetNextSkipsTheItemAfterADeletedCurrentOne)
{
    OutlookEmulation outlook;
    for (int i = 0; i < 5; ++i) outlook.PlantItem(EmuFolder::Notes);
    Session s(outlook);
    const DispatchDriver items = s.Folder(12).GetObject(0x3100);
    int deleted = 0;
    for (DispatchDriver note = items.CallObject(0x56); !note.IsEmpty(); note = items.CallObject(0x57)) {
        note.CallMethod(0xF04A);
        ++deleted;
    }
    EXPECT_EQ(deleted, 3);
    EXPECT_EQ(outlook.ItemCount(EmuFolder::Notes), 2);
    // A 16-bit index past 32,767 wraps negative and is out of range.
    EXPECT_EQ(StatusOf([&] { items.CallObject(0x51, {VariantValue::I2(static_cast<std::int16_t>(32768))}); }),
              com_status::kException);
}

TEST(OutlookEmulation, AppointmentTimesAreCoupledThroughTheDuration)
{
    OutlookEmulation outlook;
    outlook.SetClock(40300.25);
    Session s(outlook);
    DispatchDriver a = s.app.CallObject(0x10A, {VariantValue::I4(1)});
    EXPECT_EQ(a.GetDate(0x820D), 949998.0) << "unset dates";
    a.PutDate(0x820D, 40344.5);
    a.PutI4(0x8213, 90);
    EXPECT_DOUBLE_EQ(a.GetDate(0x820E), 40344.5 + 90 / 1440.0);
    a.PutDate(0x820D, 40345.5);  // moving Start keeps the duration
    EXPECT_DOUBLE_EQ(a.GetDate(0x820E), 40345.5 + 90 / 1440.0);
    a.PutDate(0x820E, 40345.5 + 30 / 1440.0);  // End sets the duration
    EXPECT_EQ(a.GetI4(0x8213), 30);
    EXPECT_EQ(a.GetText(0xF01E), "");
    a.CallMethod(0xF048);
    const QString id = a.GetText(0xF01E);
    EXPECT_EQ(id, QString(47, '0') + "1");
    EXPECT_EQ(outlook.Value(id, QStringLiteral("CreationTime")), VariantValue::Date(40300.25));
    EXPECT_EQ(outlook.Value(id, QStringLiteral("Duration")), VariantValue::I4(30));

    // Recurrence comes with the pattern and is committed by the item's Save.
    DispatchDriver copy = s.Item(id);
    EXPECT_EQ(copy.GetI4(0xF545), 0);
    DispatchDriver pattern = copy.CallObject(0xF0A4);
    EXPECT_EQ(pattern.GetI4(0x1007), 1);
    EXPECT_EQ(pattern.GetBool(0x100B), 1);
    EXPECT_EQ(pattern.GetDate(0x1002), 949997.99930555556);
    pattern.PutDate(0x1002, 40400.0);
    EXPECT_EQ(pattern.GetBool(0x100B), 0);
    EXPECT_EQ(outlook.Value(id, QStringLiteral("IsRecurring")), VariantValue::Bool(false)) << "not saved yet";
    outlook.SetClock(40301.0);
    copy.CallMethod(0xF048);
    EXPECT_EQ(outlook.Value(id, QStringLiteral("RecurrenceState")), VariantValue::I4(1));
    EXPECT_EQ(outlook.PatternValue(id, QStringLiteral("PatternEndDate")), VariantValue::Date(40400.0));
    EXPECT_EQ(outlook.Value(id, QStringLiteral("LastModificationTime")), VariantValue::Date(40301.0));
    EXPECT_EQ(outlook.Value(id, QStringLiteral("CreationTime")), VariantValue::Date(40300.25));
}

// As Outlook treats its files: AddPicture takes the file's bytes only at Save, SaveAsFile puts a
// new file in the old one's place.
TEST(OutlookEmulation, PicturesAreTakenAtSaveAndSavedAsNewFiles)
{
    QTemporaryDir dir;
    OutlookEmulation outlook;
    const QString id = outlook.PlantItem(EmuFolder::Contacts);
    outlook.PlantAttachment(id, "notes", false);
    Session s(outlook);
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    const QString in = dir.filePath("in.bmp");
    write(in, "first");
    DispatchDriver contact = s.Item(id);
    EXPECT_EQ(contact.GetBool(0xFABF), 0);
    contact.CallMethod(0xFABD, {VariantValue::Text(in)});
    EXPECT_EQ(contact.GetBool(0xFABF), 0) << "not before the save";
    write(in, "BMpicture");
    contact.CallMethod(0xF048);
    EXPECT_EQ(s.Item(id).GetBool(0xFABF), 1);
    const DispatchDriver attachments = s.Item(id).GetObject(0xF815);
    ASSERT_EQ(attachments.GetI4(0x50), 2);

    const QString out = dir.filePath("out.bmp");
    write(out, "a much longer old content");
    QFile old(out);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    attachments.CallObject(0x51, {VariantValue::I4(2)}).CallMethod(0x68, {VariantValue::Text(out)});
    EXPECT_EQ(old.readAll(), "a much longer old content") << "the file opened before is not the one saved";
    QFile written(out);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "BMpicture");

    // A file gone before the save fails the save.
    DispatchDriver again = s.Item(id);
    again.CallMethod(0xFABD, {VariantValue::Text(in)});
    ASSERT_TRUE(QFile::remove(in));
    EXPECT_NE(StatusOf([&] { again.CallMethod(0xF048); }), com_status::kOk);
}

TEST(OutlookEmulation, FaultsAndGoneOutlook)
{
    OutlookEmulation outlook;
    const QString a = outlook.PlantItem(EmuFolder::Tasks);
    const QString b = outlook.PlantItem(EmuFolder::Tasks);
    outlook.AddFault({EmuObject::Task, 0x37, InvokeKind::PropertyGet, b, 2, false, com_status::kFail});
    Session s(outlook);
    EXPECT_EQ(StatusOf([&] { s.Item(b).GetText(0x37); }), com_status::kOk);
    EXPECT_EQ(StatusOf([&] { s.Item(a).GetText(0x37); }), com_status::kOk) << "another item does not count";
    EXPECT_EQ(StatusOf([&] { s.Item(b).GetText(0x37); }), com_status::kFail);
    EXPECT_EQ(StatusOf([&] { s.Item(b).GetText(0x37); }), com_status::kOk);
    outlook.SetGone(true);
    EXPECT_EQ(StatusOf([&] { s.ns.GetObject(0xFAD0); }), com_status::kDisconnected);
    DispatchDriver another;
    EXPECT_FALSE(another.CreateDispatch(QStringLiteral("Outlook.Application.14")));
    const EmuCall& last = outlook.Journal().back();
    EXPECT_EQ(last.object, EmuObject::Namespace);
    EXPECT_EQ(last.dispId, 0xFAD0);
}

TEST(OutlookEmulation, SeedAndStateDescribeTheSameOutlook)
{
    OutlookEmulation outlook;
    const QByteArray seed = R"({
        "versions": [12, 14], "stores": [{"storeId": "S1", "exchangeStoreType": 0}],
        "categories": ["Red"], "clock": 40344.5,
        "items": [
            {"folder": "notes", "Body": "Shopping\r\nmilk", "Color": 2},
            {"folder": "contacts", "EntryID": "C1", "FirstName": "Ann", "Journal": true, "Birthday": 30000,
             "Attachments": [{"base64": "Qk0=", "picture": true}]},
            {"folder": "contacts", "Class": 69, "Subject": "Team"},
            {"folder": "calendar", "Start": 40344.5, "End": 40344.25, "Duration": 7,
             "RecurrencePattern": {"Interval": 2}}
        ],
        "faults": [{"object": "contact", "member": "0xF01E", "kind": "get", "nth": 2, "error": "0x80004005"}]
    })";
    EXPECT_EQ(ApplyOutlookSeed(outlook, seed), 40344.5);
    const auto state = nlohmann::ordered_json::parse(OutlookStateJson(outlook).toStdString());
    EXPECT_EQ(state["liveObjects"], 0);
    const auto& items = state["items"];
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0]["folder"], "calendar") << "folders in order";
    EXPECT_EQ(items[0]["Start"], 40344.5) << "seeded times are kept as given";
    EXPECT_EQ(items[0]["End"], 40344.25);
    EXPECT_EQ(items[0]["Duration"], 7);
    EXPECT_EQ(items[0]["RecurrenceState"], 1);
    EXPECT_EQ(items[0]["RecurrencePattern"]["Interval"], 2);
    EXPECT_EQ(items[0]["RecurrencePattern"]["NoEndDate"], true);
    EXPECT_EQ(items[1]["EntryID"], "C1");
    EXPECT_EQ(items[1]["Journal"], true);
    EXPECT_EQ(items[1]["HasPicture"], true);
    EXPECT_EQ(items[1]["Attachments"][0]["base64"], "Qk0=");
    EXPECT_EQ(items[1]["LastName"], "");
    EXPECT_EQ(items[1]["Anniversary"], 949998.0);
    EXPECT_EQ(items[2]["Class"], 69);
    EXPECT_FALSE(items[2].contains("RecurrencePattern"));
    EXPECT_EQ(items[3]["Subject"], "Shopping");
    EXPECT_EQ(items[3]["Class"], 44);
    EXPECT_EQ(items[3]["EntryID"].get<std::string>().size(), 140u) << "an Exchange profile's identifiers";

    const char* const refused[] = {
        R"({"items": [{"folder": "contacts", "Nickname": "x"}]})",
        R"({"items": [{"folder": "contacts", "FirstName": 3}]})",
        R"({"items": [{"folder": "attic"}]})",
        R"({"faults": [{"object": "contact", "member": "Nope"}]})",
        R"({"version": [14]})",
        R"([1, 2])",
        R"({"items": [)",
    };
    for (const char* bad : refused) {
        OutlookEmulation other;
        EXPECT_THROW(ApplyOutlookSeed(other, bad), std::invalid_argument) << bad;
    }
}

}  // namespace
