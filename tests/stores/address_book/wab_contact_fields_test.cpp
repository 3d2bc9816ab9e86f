#include "stores/address_book/wab_contact_fields.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "stores/address_book/wab_identifiers.h"

using namespace ContactsXp;
using wab::PropValue;

namespace {

constexpr wab::PropTag kDisplayName = 0x3001001F;
constexpr wab::PropTag kSurname = 0x3A11001F;
constexpr wab::PropTag kEmails = 0x3A56101F;
constexpr wab::PropTag kBirthday = 0x3A420040;

// A contact's properties as GetProps gives them, from the few that are set.
wab::PropRow Props(const std::vector<PropValue>& set)
{
    wab::PropRow row;
    for (const wab::PropTag tag : ContactPropertyTags()) {
        row.push_back(PropValue::Error(tag));
        for (const PropValue& value : set)
            if (wab::PropIdOf(value.Tag()) == wab::PropIdOf(tag)) row.back() = value;
    }
    return row;
}

QString Field(const ItemRecord& record, const QString& name)
{
    const int at = record.IndexOf(name);
    return at < 0 ? QStringLiteral("<none>") : std::get<QString>(record.values[static_cast<std::size_t>(at)]);
}

ItemRecord Record(std::initializer_list<std::pair<const char*, const char*>> fields)
{
    ItemRecord record;
    for (const auto& [name, value] : fields) record.Add(QString::fromUtf8(name), QString::fromUtf8(value));
    return record;
}

TEST(WabIdentifiers, HexTextsTurnBackIntoEntryIdentifiers)
{
    const struct {
        const char* hex;
        QByteArray bytes;
    } cases[] = {
        {"0000012A", QByteArray("\x00\x00\x01\x2A", 4)},
        {"12A", QByteArray("\x01\x2A", 2)},
        {"", QByteArray()},
        {"00000a2f", QByteArray("\x00\x00\x0A\x2F", 4)},
    };
    for (const auto& c : cases) EXPECT_EQ(HexToEntryId(QString::fromLatin1(c.hex)).Bytes(), c.bytes) << c.hex;
    EXPECT_EQ(WabContactId(wab::EntryId::FromRow(298)), QStringLiteral("0000012A") + QString(40, u'0'));
}

TEST(WabIdentifiers, OnlyFortyEightUnitsWithEightHexDigitsNameAContact)
{
    const QString tail(40, u'0');
    EXPECT_EQ(ContactTextOf(QStringLiteral("0000012a") + tail), QStringLiteral("0000012A"));
    EXPECT_EQ(ContactTextOf(QStringLiteral("0000012A") + QString(40, u'9')), QStringLiteral("0000012A"));
    for (const QString& bad : {QStringLiteral("0000012A"), QStringLiteral("0000012A") + tail + u'0',
                               QStringLiteral("0000012G") + tail, QStringLiteral("-000012A") + tail, QString()})
        EXPECT_FALSE(ContactTextOf(bad)) << bad.toStdString();
}

TEST(WabContactFields, AContactKnownByItsDisplayNameAloneHasItSplitAtTheLastSpace)
{
    const struct {
        std::vector<PropValue> props;
        const char* first;
        const char* last;
    } cases[] = {
        {{PropValue::Unicode(kDisplayName, QStringLiteral("Alpha Beta Gamma"))}, "Alpha Beta", "Gamma"},
        {{PropValue::Unicode(kDisplayName, QStringLiteral("Omega"))}, "", "Omega"},
        {{PropValue::Unicode(kDisplayName, QStringLiteral("Alpha Beta")), PropValue::Unicode(kSurname, QString())},
         "Alpha", "Beta"},
        {{PropValue::Unicode(kDisplayName, QStringLiteral("Alpha Beta")), PropValue::Unicode(kSurname, QStringLiteral("Own"))},
         "<none>", "Own"},
    };
    for (const auto& c : cases) {
        const ItemRecord record = ContactRecord(Props(c.props), {});
        EXPECT_EQ(Field(record, QStringLiteral("FirstName")), QString::fromUtf8(c.first));
        EXPECT_EQ(Field(record, QStringLiteral("LastName")), QString::fromUtf8(c.last));
        EXPECT_EQ(record.names.count(QStringLiteral("LastName")), 1);
    }
}

TEST(WabContactFields, ARecordListsItsFieldsInTableOrderWithGroupsFirst)
{
    const auto birthday = DateTextToFileTime(QStringLiteral("07-04-1976"));
    ASSERT_TRUE(birthday);
    const ItemRecord record = ContactRecord(
        Props({PropValue::Unicode(0x3A06001F, QStringLiteral("Ann")),
               PropValue::String8(kSurname, QByteArray("M\xc3\xbcller")),
               PropValue::Unicode(kDisplayName, QStringLiteral("Ann M\u00fcller")),
               PropValue::Unicode(0x3A08001F, QStringLiteral("555")),
               PropValue::MultiUnicode(kEmails, {QStringLiteral("P"), QStringLiteral("Q")}),
               PropValue::Time(kBirthday, *birthday), PropValue::Long(0x3A410040, 3)}),
        {QStringLiteral("Family"), QStringLiteral("Work")});
    const QStringList expected = {"Categories", "FirstName", "LastName", "FullName", "FileAS",
                                  "BusinessTelephoneNumber", "emails", "Children", "Birthday"};
    EXPECT_EQ(record.names, expected);
    EXPECT_EQ(Field(record, QStringLiteral("Categories")), QStringLiteral("Family,Work"));
    EXPECT_EQ(Field(record, QStringLiteral("LastName")), QStringLiteral("M\u00fcller"));
    EXPECT_EQ(Field(record, QStringLiteral("FileAS")), QStringLiteral("Ann M\u00fcller"));
    EXPECT_EQ(Field(record, QStringLiteral("emails")), QStringLiteral("P,Q,"));
    EXPECT_EQ(Field(record, QStringLiteral("Children")), QString());
    EXPECT_EQ(Field(record, QStringLiteral("Birthday")), QStringLiteral("07-04-1976"));
}

TEST(WabContactFields, TheChecksumTextFollowsItsOwnOrderAndHoldsTheDisplayNameOnce)
{
    const auto birthday = DateTextToFileTime(QStringLiteral("07-04-1976"));
    const wab::PropRow props =
        Props({PropValue::Unicode(0x3A06001F, QStringLiteral("F")), PropValue::Unicode(kSurname, QStringLiteral("L")),
               PropValue::Unicode(0x3A44001F, QStringLiteral("M")), PropValue::Unicode(kDisplayName, QStringLiteral("D")),
               PropValue::Unicode(0x3004001F, QStringLiteral("B")), PropValue::Unicode(0x3A48001F, QStringLiteral("S")),
               PropValue::Unicode(0x3A5D001F, QStringLiteral("H")), PropValue::Unicode(0x3A51001F, QStringLiteral("W")),
               PropValue::MultiUnicode(kEmails, {QStringLiteral("e1"), QStringLiteral("e2")}),
               PropValue::MultiUnicode(0x3A58101F, {QStringLiteral("c")}), PropValue::Time(kBirthday, *birthday)});
    EXPECT_EQ(ContactChecksumText(props, {QStringLiteral("G1"), QStringLiteral("G2")}),
              QStringLiteral("FLMD04/07/1976SBHWe1e2cG1G2"));
}

TEST(WabContactFields, DatesKeepTheDayAsThePeerMeantIt)
{
    const struct {
        const char* text;
        const char* back;  // nullptr: not a date
    } cases[] = {
        {"07-04-1976", "07-04-1976"},          // the form Get sends: month first, 4 July
        {"07/04/1976", "07-04-1976"},
        {"1976-07-04", "07-04-1976"},
        {"04.07.1976", "07-04-1976"},
        {"07-04-1976 13:45:10", "07-04-1976"},  // the time is dropped
        {"12-31-1600", nullptr},                // before FILETIME's first day
        {"13-01-1976", nullptr},
        {"Geburtstag", nullptr},
    };
    for (const auto& c : cases) {
        const auto time = DateTextToFileTime(QString::fromUtf8(c.text));
        if (!c.back) {
            EXPECT_FALSE(time) << c.text;
            continue;
        }
        ASSERT_TRUE(time) << c.text;
        EXPECT_EQ(FileTimeToDateText(*time), QString::fromUtf8(c.back)) << c.text;
    }
    EXPECT_FALSE(FileTimeToDateText(wab::FileTime{-1}));
    EXPECT_FALSE(FileTimeToDateText(wab::FileTime{INT64_MAX}));
}

TEST(WabContactFields, AddPassesOverEmptyValuesEditDeletesTheirProperties)
{
    const ItemRecord record = Record({{"FullName", "Full"},
                                      {"Birthday", ""},
                                      {"emails", ""},
                                      {"Children", ",,"},
                                      {"NickName", ""},
                                      {"FileAS", "File"},
                                      {"Categories", ""},
                                      {"Unknown", "x"}});
    const ContactChanges add = ContactChangesFrom(record, ContactWrite::Add);
    ASSERT_EQ(add.set.size(), 2u);
    EXPECT_EQ(*add.set[0].Unicode(), QStringLiteral("File"));  // of FullName and FileAS the later wins
    EXPECT_EQ(add.set[1], PropValue::MultiUnicode(0x3A58101F, {}));
    EXPECT_TRUE(add.remove.empty());
    EXPECT_FALSE(add.groups);

    const ContactChanges edit = ContactChangesFrom(record, ContactWrite::Edit);
    ASSERT_EQ(edit.set.size(), 1u);
    EXPECT_EQ(*edit.set[0].Unicode(), QStringLiteral("File"));
    EXPECT_EQ(edit.remove, (wab::PropTagArray{kBirthday, 0x3A4F001F}));
    ASSERT_TRUE(edit.groups);
    EXPECT_TRUE(edit.groups->isEmpty());

    // Lists keep the spaces of their parts and drop the empty ones.
    const ContactChanges lists = ContactChangesFrom(Record({{"emails", " P,,Q,"}, {"Categories", "Family,Work"}}),
                                                    ContactWrite::Add);
    EXPECT_EQ(*lists.set[0].MultiUnicode(), (QStringList{QStringLiteral(" P"), QStringLiteral("Q")}));
    EXPECT_EQ(*lists.groups, (QStringList{QStringLiteral("Family"), QStringLiteral("Work")}));

    try {
        ContactChangesFrom(Record({{"Anniversary", "next spring"}}), ContactWrite::Edit);
        FAIL() << "a date that is no date was taken";
    } catch (const AgentError& e) {
        EXPECT_NE(std::string(e.what()).find("Anniversary"), std::string::npos);
    }
}

}  // namespace
