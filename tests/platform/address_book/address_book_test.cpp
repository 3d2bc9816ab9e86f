#include "platform/address_book/address_book.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>

#include "platform/address_book/wab_faults.h"
#include "platform/address_book/wab_open.h"
#include "support/planted_address_book.h"
#include "support/temp_home.h"

using namespace wab;

namespace {

constexpr PropTag kGivenName = 0x3A06001F;
constexpr PropTag kEmails = 0x3A56101F;
constexpr PropTag kBirthday = 0x3A420040;

class AddressBookTest : public ::testing::Test {
protected:
    QString Path() const { return home.Path(QStringLiteral("book.wab")); }
    std::unique_ptr<AddressBook> Open() { return AddressBook::OpenFile(Path()); }
    std::unique_ptr<ABContainer> Pab(AddressBook& book)
    {
        return As<ABContainer>(book.OpenEntry(book.GetPAB(), MAPI_BEST_ACCESS));
    }
    EntryId NewEntry(AddressBook& book, const std::vector<PropValue>& props, bool list = false)
    {
        auto entry = Pab(book)->CreateEntry(list ? DistListTemplateId() : EntryId(), CREATE_MERGE);
        entry->SetProps(props);
        entry->SaveChanges();
        return entry->Id();
    }
    // (row number, object type) of every row of a table.
    static std::vector<std::pair<std::int64_t, std::int32_t>> Rows(ContentsTable table)
    {
        table.SetColumns({PR_ENTRYID, PR_OBJECT_TYPE});
        std::vector<std::pair<std::int64_t, std::int32_t>> rows;
        for (const PropRow& row : table.QueryRows(table.GetRowCount()))
            rows.emplace_back(*EntryId(*row[0].Binary()).Row(), *row[1].Long());
        return rows;
    }

    TempHome home;
};

TEST_F(AddressBookTest, EveryValueTypeRoundTripsThroughTheFile)
{
    const std::vector<PropValue> values = {
        PropValue::Unicode(0x3001001F, QStringLiteral("Zo\u00eb \U0001F600")),
        PropValue::Unicode(0x3004001F, QString()),
        PropValue::String8(0x3A08001E, QByteArray("caf\xc3\xa9")),
        PropValue::Time(kBirthday, FileTime{127977408000000000}),
        PropValue::Time(0x3A410040, FileTime{-5}),
        PropValue::Long(0x3A4D0003, -7),
        PropValue::Binary(0x3A000102, QByteArray("\x00\x01\xff", 3)),
        PropValue::Binary(0x3A010102, QByteArray()),
        PropValue::MultiUnicode(kEmails, {QStringLiteral("b@x"), QStringLiteral(" a@x"), QString()}),
        PropValue::MultiString8(0x3A02101E, {QByteArray("x"), QByteArray("y")}),
        PropValue::MultiLong(0x3A031003, {3, 1, 2}),
        PropValue::MultiTime(0x3A041040, {FileTime{1}, FileTime{0}}),
        PropValue::MultiBinary(0x3A051102, {QByteArray("\x00", 1), QByteArray()}),
    };
    EntryId id;
    {
        auto book = Open();
        id = NewEntry(*book, values);
    }
    auto book = Open();
    auto entry = As<MailUser>(book->OpenEntry(id));
    ASSERT_TRUE(entry);
    PropTagArray tags;
    for (const auto& v : values) tags.push_back(v.Tag());
    EXPECT_EQ(entry->GetProps(tags), values);
}

TEST_F(AddressBookTest, StoredValuesOfTheWrongKindAndMissingTagsReadAsErrors)
{
    std::int64_t row = 0;
    {
        (void)Open();
        SqlBook sql(Path());
        row = sql.AddContact({{kGivenName, 5},                       // wide text stored as a number
                              {kBirthday, QStringLiteral("1976")},  // a time stored as text
                              {0x3A4D0003, qlonglong{1} << 40},     // a long out of its range
                              {kEmails, QStringLiteral("a")},
                              {kEmails, QByteArray("b")},  // one value of a list of another kind
                              {0x3A11001E, QByteArray("M\xc3\xbcller")}});
    }
    auto book = Open();
    auto entry = book->OpenEntry(EntryId::FromRow(row));
    const PropRow got = entry->GetProps({kGivenName, kBirthday, 0x3A4D0003, kEmails, 0x3A44001F, 0x3A11001F});
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(got[i].IsError()) << i;
    // Wide text asked for, 8-bit text stored: the 8-bit text comes back.
    ASSERT_TRUE(got[5].String8());
    EXPECT_EQ(*got[5].String8(), QByteArray("M\xc3\xbcller"));
}

TEST_F(AddressBookTest, ContentsTablesListEntriesByIdentifierAndMembersInJoiningOrder)
{
    auto book = Open();
    const EntryId a = NewEntry(*book, {PropValue::Unicode(kGivenName, QStringLiteral("A"))});
    const EntryId b = NewEntry(*book, {PropValue::Unicode(kGivenName, QStringLiteral("B"))});
    const EntryId family = NewEntry(*book, {PropValue::Unicode(PR_DISPLAY_NAME_W, QStringLiteral("Family"))}, true);
    const EntryId inner = NewEntry(*book, {PropValue::Unicode(PR_DISPLAY_NAME_W, QStringLiteral("Inner"))}, true);
    auto pab = Pab(*book);
    auto list = As<DistList>(pab->OpenEntry(family, MAPI_MODIFY));
    ASSERT_TRUE(list);
    for (const EntryId& member : {b, inner, a}) list->CreateEntry(member);

    EXPECT_EQ(Rows(pab->GetContentsTable()),
              (std::vector<std::pair<std::int64_t, std::int32_t>>{
                  {1, MAPI_MAILUSER}, {2, MAPI_MAILUSER}, {3, MAPI_DISTLIST}, {4, MAPI_DISTLIST}}));
    EXPECT_EQ(Rows(list->GetContentsTable()),
              (std::vector<std::pair<std::int64_t, std::int32_t>>{{2, MAPI_MAILUSER}, {4, MAPI_DISTLIST}, {1, MAPI_MAILUSER}}));

    // A deleted member is no longer listed; a member can be taken out; the next entry gets a new number.
    EXPECT_EQ(pab->DeleteEntries({b}), 0u);
    EXPECT_EQ(list->DeleteEntries({a, EntryId::FromRow(99)}), 1u);
    EXPECT_EQ(Rows(list->GetContentsTable()), (std::vector<std::pair<std::int64_t, std::int32_t>>{{4, MAPI_DISTLIST}}));
    EXPECT_EQ(NewEntry(*book, {}), EntryId::FromRow(5));
    EXPECT_FALSE(book->OpenEntry(b));

    // Other columns are read from each entry.
    ContentsTable table = pab->GetContentsTable();
    table.SetColumns({PR_DISPLAY_NAME_W, PR_ENTRYID});
    const auto rows = table.QueryRows(10);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_TRUE(rows[0][0].IsError());
    EXPECT_EQ(*rows[1][0].Unicode(), QStringLiteral("Family"));
}

TEST_F(AddressBookTest, ChangesWaitForSaveChangesWhichWritesAllOrNothing)
{
    auto book = Open();
    const EntryId id = NewEntry(*book, {PropValue::Unicode(kGivenName, QStringLiteral("Old")),
                                        PropValue::MultiUnicode(kEmails, {QStringLiteral("old@x")})});
    auto entry = book->OpenEntry(id, MAPI_MODIFY);
    entry->SetProps({PropValue::Unicode(kGivenName, QStringLiteral("New"))});
    entry->DeleteProps({kEmails});
    // The entry itself sees its changes; the book does not until they are saved.
    EXPECT_EQ(*entry->GetProps({kGivenName})[0].Unicode(), QStringLiteral("New"));
    EXPECT_TRUE(entry->GetProps({kEmails})[0].IsError());
    const auto stored = [&] { return Open()->OpenEntry(id)->GetProps({kGivenName, kEmails}); };
    EXPECT_EQ(*stored()[0].Unicode(), QStringLiteral("Old"));
    {
        ScopedWabFault fault(WabCall::SaveChanges);
        EXPECT_THROW(entry->SaveChanges(), WabError);
    }
    EXPECT_EQ(*stored()[0].Unicode(), QStringLiteral("Old"));
    EXPECT_EQ(*stored()[1].MultiUnicode(), QStringList{QStringLiteral("old@x")});
    entry->SaveChanges();
    EXPECT_EQ(*stored()[0].Unicode(), QStringLiteral("New"));
    EXPECT_TRUE(stored()[1].IsError());

    // A new entry whose save fails is not made at all.
    auto pab = Pab(*book);
    auto fresh = pab->CreateEntry(EntryId(), CREATE_MERGE);
    fresh->SetProps({PropValue::Unicode(kGivenName, QStringLiteral("Never"))});
    {
        ScopedWabFault fault(WabCall::SaveChanges);
        EXPECT_THROW(fresh->SaveChanges(), WabError);
    }
    EXPECT_TRUE(fresh->Id().Empty());
    EXPECT_EQ(Rows(pab->GetContentsTable()).size(), 1u);

    // Opened for reading only, an entry refuses changes.
    EXPECT_THROW(book->OpenEntry(id)->SetProps({PropValue::Unicode(kGivenName, QStringLiteral("x"))}), WabError);
    EXPECT_THROW(entry->SetProps({PropValue::Long(PR_OBJECT_TYPE, 8)}), WabError);
}

TEST_F(AddressBookTest, IdentifiersThatNameNoEntryOpenNothing)
{
    auto book = Open();
    NewEntry(*book, {});
    EXPECT_TRUE(book->OpenEntry(EntryId::FromRow(1)));
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\x00\x00\x01", 3), QByteArray("\x00\x00\x00\x01\x00", 5),
                                    QByteArray("\x00\x00\x00\x02", 4), QByteArray("\x00\x00\x00\x01\x00\x00", 6)})
        EXPECT_FALSE(book->OpenEntry(EntryId(bytes))) << bytes.toHex().constData();
    EXPECT_TRUE(As<ABContainer>(book->OpenEntry(book->GetPAB())));
}

TEST_F(AddressBookTest, NewListsOfATakenNameAreRefusedUnderTheStrictCheck)
{
    auto book = Open();
    auto pab = Pab(*book);
    const EntryId tmpl(*pab->GetProps({PR_DEF_CREATE_DL})[0].Binary());
    for (int i = 0; i < 2; ++i) NewEntry(*book, {PropValue::Unicode(PR_DISPLAY_NAME_W, QStringLiteral("Same"))});
    auto first = pab->CreateEntry(tmpl, CREATE_CHECK_DUP_STRICT);
    first->SetProps({PropValue::Unicode(PR_DISPLAY_NAME_W, QStringLiteral("Work"))});
    first->SaveChanges();
    EXPECT_EQ(first->ObjectType(), MAPI_DISTLIST);
    auto second = pab->CreateEntry(tmpl, CREATE_CHECK_DUP_STRICT);
    second->SetProps({PropValue::Unicode(PR_DISPLAY_NAME_W, QStringLiteral("Work"))});
    try {
        second->SaveChanges();
        FAIL() << "a second list named Work was saved";
    } catch (const WabError& e) {
        EXPECT_EQ(e.Status(), WabStatus::Collision);
    }
    // Contacts of the same name (CREATE_MERGE) are separate entries; a list of another case is another name.
    EXPECT_EQ(Rows(pab->GetContentsTable()).size(), 3u);
    auto other = pab->CreateEntry(tmpl, CREATE_CHECK_DUP_STRICT);
    other->SetProps({PropValue::Unicode(PR_DISPLAY_NAME_W, QStringLiteral("work"))});
    EXPECT_NO_THROW(other->SaveChanges());
}

TEST_F(AddressBookTest, HeldReadsSeeOneStateWhileAnotherProgramWrites)
{
    auto book = Open();
    NewEntry(*book, {});
    book->HoldReads();
    {
        SqlBook other(Path());  // not kept waiting by the held read
        other.AddContact({});
    }
    EXPECT_EQ(Rows(Pab(*book)->GetContentsTable()).size(), 1u);
    book->EndReads();
    EXPECT_EQ(Rows(Pab(*book)->GetContentsTable()).size(), 2u);
    // A change through the book ends the held read first.
    book->HoldReads();
    NewEntry(*book, {});
    EXPECT_EQ(Rows(Pab(*book)->GetContentsTable()).size(), 3u);
    book->EndReads();
}

mode_t ModeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

TEST_F(AddressBookTest, MissingAndEmptyFilesBecomeEmptyBooksForeignFilesAreLeftAlone)
{
    // Missing: made, for the owner alone.
    EXPECT_EQ(Rows(Pab(*Open())->GetContentsTable()).size(), 0u);
    EXPECT_EQ(ModeOf(Path()), 0600u);
    // Empty: given the tables.
    home.WriteFile(QStringLiteral("empty.wab"), QByteArray());
    EXPECT_NO_THROW(AddressBook::OpenFile(home.Path(QStringLiteral("empty.wab"))));
    EXPECT_GT(home.ReadFile(QStringLiteral("empty.wab"))->size(), 0);

    // Not SQLite, and SQLite holding something else: refused, byte for byte as they were.
    home.WriteFile(QStringLiteral("text.wab"), "BEGIN:VCARD\r\nFN:Someone\r\nEND:VCARD\r\n");
    {
        SqlBook other(home.Path(QStringLiteral("other.wab")));
        other.Exec("CREATE TABLE notes(x); INSERT INTO notes VALUES(1);");
    }
    {
        SqlBook missing(home.Path(QStringLiteral("short.wab")));
        missing.Exec("DROP TABLE members;");
    }
    for (const char* name : {"text.wab", "other.wab", "short.wab"}) {
        const QString file = QString::fromLatin1(name);
        const QByteArray before = *home.ReadFile(file);
        try {
            AddressBook::OpenFile(home.Path(file));
            ADD_FAILURE() << name << " opened";
        } catch (const WabError& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
        EXPECT_EQ(*home.ReadFile(file), before) << name;
    }
}

struct InstallCase {
    const char* name;
    QByteArray line;  // empty: no registry file at all
    bool opens;
};

TEST(WabOpen, TheDefaultBookOpensOnlyWhenTheMachineSaysOneIsInstalled)
{
    const QString path259 = QString(259 - 3, QLatin1Char('x')) + QStringLiteral(".dl");
    const QString path260 = path259 + QLatin1Char('l');
    auto hex2 = [](const QString& text) {
        QByteArray line = "@=hex(2):";
        for (const QChar c : text + QChar(0))
            line += QByteArray::number(c.unicode() & 0xFF, 16).rightJustified(2, '0') + "," +
                    QByteArray::number(c.unicode() >> 8, 16).rightJustified(2, '0') + ",";
        line.chop(1);
        return line;
    };
    const std::vector<InstallCase> cases = {
        {"no registry file", QByteArray(), false},
        {"no default value", R"("DLLPath"="wab32.dll")", false},
        {"another type", "@=dword:00000001", false},
        {"empty text", R"(@="")", false},
        {"260 units and the zero", "@=\"" + path260.toUtf8() + "\"", false},
        {"259 units and the zero", "@=\"" + path259.toUtf8() + "\"", true},
        {"expandable text", hex2(QStringLiteral("%CommonProgramFiles%\\System\\wab32.dll")), true},
        {"the usual value", kWabDllPathLine, true},
    };
    for (const InstallCase& c : cases) {
        TempHome own;
        if (!c.line.isEmpty()) PlantWabInstalled(own, c.line);
        const QString file = AddressBookFileIn(own);
        if (c.opens) {
            EXPECT_NO_THROW(WABOpen()) << c.name;
            EXPECT_TRUE(QFile::exists(file)) << c.name;
        } else {
            EXPECT_THROW(WABOpen(), WabError) << c.name;
            EXPECT_FALSE(QFile::exists(file)) << c.name;
        }
    }
}

TEST_F(AddressBookTest, InjectedFaultsPassTheChosenCallsAndFailTheRest)
{
    auto book = Open();
    ScopedWabFault fault(WabCall::OpenEntry, 1, 2);
    EXPECT_NO_THROW(book->OpenEntry(book->GetPAB()));
    EXPECT_THROW(book->OpenEntry(book->GetPAB()), WabError);
    EXPECT_THROW(book->OpenEntry(book->GetPAB()), WabError);
    EXPECT_NO_THROW(book->OpenEntry(book->GetPAB()));
    EXPECT_EQ(fault.Failed(), 2);
}

}  // namespace
