// ".group" files: the member list's encoding, the real group file Windows wrote, and the
// changes the commit makes to group files.
#include "stores/windows_contacts/contact_group_file.h"

#include <gtest/gtest.h>

#include <QFile>

#include "common/byte_io.h"
#include "stores/windows_contacts/contact_base64.h"

using namespace ContactsVista;

namespace {

QByteArray DataFile(const char* name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/windows-contacts/") + QString::fromUtf8(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

const QString kAlexei = QStringLiteral("5ac2d943-e93d-492f-b852-b0dc94a62f76000000000000");
const QString kGroupSelf = QStringLiteral("1f6f9929-c0d7-49f6-8660-5a7ab50c12ac000000000000");

QString Id(char digit) { return QString(8, QLatin1Char(digit)) + QStringLiteral("-0000-0000-0000-000000000000000000000000"); }

// A block of signed 32-bit integers and raw bytes, as base64.
QString Block(std::initializer_list<std::int32_t> ints, const QByteArray& tail = {})
{
    QByteArray block;
    ByteWriter w(block);
    for (std::int32_t v : ints) w.I32(v);
    block += tail;
    return QString::fromLatin1(EncodeBase64Lines(block));
}

QByteArray GroupFile(const QString& members, const char* memberAttributes = "")
{
    return "<?xml version=\"1.0\"?>\n<c:contact xmlns:c=\"http://schemas.microsoft.com/Contact\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xmlns:MSWABMAPI=\"http://schemas.microsoft.com/Contact/Extended/MSWABMAPI\"><c:Extended>"
           "<MSWABMAPI:PropTag0x66001102" +
           QByteArray(memberAttributes) + ">" + members.toLatin1() +
           "</MSWABMAPI:PropTag0x66001102></c:Extended></c:contact>\n";
}

std::vector<QString> IdsOf(const GroupMemberList& list)
{
    std::vector<QString> ids;
    for (const QByteArray& m : list.members) ids.push_back(MemberIdentifier(m));
    return ids;
}

TEST(ContactGroupFile, ReadsTheRealGroupFileAndWritesItsMembersBackByteForByte)
{
    const QByteArray file = DataFile("MapiGroup.group");
    const GroupFileMembers read = ReadGroupMembers(file);
    ASSERT_EQ(read.form, GroupFileMembers::Form::Listed);
    EXPECT_TRUE(read.list.complete);
    EXPECT_EQ(IdsOf(read.list), (std::vector<QString>{kAlexei, kGroupSelf}));
    ASSERT_EQ(read.list.members[0].size(), 222);  // the zero unit at the end counts
    EXPECT_TRUE(read.list.members[0].endsWith(QByteArray(2, '\0')));

    // The member element's text comes back exactly when nothing changes.
    const qsizetype start = file.indexOf('>', file.indexOf("<MSWABMAPI:PropTag0x66001102")) + 1;
    const QByteArray text = file.mid(start, file.indexOf("</MSWABMAPI:PropTag0x66001102") - start);
    EXPECT_EQ(EncodeGroupMembers(read.list.members).toLatin1().replace("\r\n", "\n"), text);  // stored with LF

    // Removing one member keeps the other one's bytes and the other property.
    const auto removed = RemoveGroupMembers(file, {kGroupSelf});
    ASSERT_TRUE(removed);
    EXPECT_TRUE(removed->contains("<MSWABMAPI:PropTag0x80091102 c:ContentType=\"binary/x-ms-wab-mapi\" c:type=\"binary\" c:Version=\"5\""));
    const GroupFileMembers left = ReadGroupMembers(*removed);
    ASSERT_EQ(left.list.members.size(), 1u);
    EXPECT_EQ(left.list.members[0], read.list.members[0]);

    // The last member going removes the element; c:Extended keeps its other property unmarked.
    const auto emptied = RemoveGroupMembers(*removed, {kAlexei});
    ASSERT_TRUE(emptied);
    EXPECT_FALSE(emptied->contains("PropTag0x66001102"));
    EXPECT_TRUE(emptied->contains("<c:Extended><MSWABMAPI:PropTag0x80091102"));
    EXPECT_EQ(ReadGroupMembers(*emptied).form, GroupFileMembers::Form::NoMembers);
}

TEST(ContactGroupFile, DecodingStopsAtTheBytesThere)
{
    const QByteArray abc = utf16::Bytes(u"abcdef"_qs);
    struct Case {
        const char* name;
        QString text;
        std::size_t members;
        bool complete;
    };
    const Case cases[] = {
        {"one member", Block({1, 12}, abc), 1, true},
        {"nothing at all", QString(), 0, true},
        {"a count of zero", Block({0}), 0, true},
        {"a negative count", Block({-1, 12}, abc), 0, false},
        {"a count past the members", Block({3, 12}, abc), 1, false},
        {"a huge count", Block({0x7fffffff}), 0, false},
        {"a length past the bytes", Block({2, 12}, abc + QByteArray("\x10\x00\x00\x00" "ab", 6)), 1, false},
        {"a negative length", Block({1, -2}, abc), 0, false},
        {"a cut count", QString::fromLatin1(EncodeBase64Lines("\x01\x00")), 0, false},
    };
    for (const Case& c : cases) {
        const GroupMemberList list = DecodeGroupMembers(c.text);
        EXPECT_EQ(list.members.size(), c.members) << c.name;
        EXPECT_EQ(list.complete, c.complete) << c.name;
    }
}

TEST(ContactGroupFile, RemovesEveryOccurrenceAndComparesIdentifiersExactly)
{
    const std::vector<QByteArray> members = {NewMemberText(Id('a'), u"/c/a.contact"_qs),
                                             NewMemberText(Id('b'), u"/c/b.contact"_qs),
                                             NewMemberText(Id('a'), u"/c/a.contact"_qs)};
    const QByteArray file = GroupFile(EncodeGroupMembers(members));
    const auto removed = RemoveGroupMembers(file, {Id('a')});
    ASSERT_TRUE(removed);
    EXPECT_EQ(IdsOf(ReadGroupMembers(*removed).list), std::vector<QString>{Id('b')});
    EXPECT_FALSE(RemoveGroupMembers(file, {Id('a').toUpper()}));  // letter case counts
    EXPECT_FALSE(RemoveGroupMembers(file, {Id('c')}));  // nothing changes: nothing is written
    EXPECT_EQ(MemberIdentifier(members[0]), Id('a'));

    const auto emptied = RemoveGroupMembers(file, {Id('a'), Id('b')});
    ASSERT_TRUE(emptied);
    EXPECT_TRUE(emptied->contains("<c:Extended xsi:nil=\"true\"/>"));
    // ... and adding to it brings the element back.
    const auto again = AddGroupMembers(*emptied, {{Id('c'), u"/c/c.contact"_qs}});
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->contains("xsi:nil"));
    EXPECT_TRUE(again->contains("<MSWABMAPI:PropTag0x66001102 c:ContentType=\"binary/x-ms-wab-mapi\" c:type=\"binary\">"));
    EXPECT_EQ(IdsOf(ReadGroupMembers(*again).list), std::vector<QString>{Id('c')});
}

TEST(ContactGroupFile, AddsNewMembersWithTheirPaths)
{
    const QByteArray file = GroupFile(EncodeGroupMembers({NewMemberText(Id('a'), u"/c/a.contact"_qs)}));
    const auto added = AddGroupMembers(file, {{Id('a'), u"/c/a.contact"_qs}, {Id('b'), u"/c/b b.contact"_qs}});
    ASSERT_TRUE(added);
    const GroupMemberList list = ReadGroupMembers(*added).list;
    ASSERT_EQ(list.members.size(), 2u);  // one already listed is not listed again
    EXPECT_EQ(list.members[1], utf16::Bytes(QStringLiteral("CID_V1:/GUID:\"%1\" /PATH:\"/c/b b.contact\"").arg(Id('b').left(36))));
    EXPECT_FALSE(AddGroupMembers(file, {{Id('a'), u"/c/a.contact"_qs}}));

    // A member element marked nil is an empty group: its text is replaced.
    const auto fromNil = AddGroupMembers(GroupFile(u"junk"_qs, " xsi:nil=\"true\""), {{Id('b'), u"/b"_qs}});
    ASSERT_TRUE(fromNil);
    EXPECT_EQ(ReadGroupMembers(*fromNil).form, GroupFileMembers::Form::Listed);
    EXPECT_EQ(IdsOf(ReadGroupMembers(*fromNil).list), std::vector<QString>{Id('b')});
    EXPECT_EQ(ReadGroupMembers(GroupFile(u"junk"_qs, " xsi:nil=\"false\"")).form, GroupFileMembers::Form::Nil);
}

TEST(ContactGroupFile, NeverRewritesAListItCannotReadWhole)
{
    const QByteArray broken = GroupFile(Block({2, 4}, QByteArray("a\0b\0", 4)));  // the second member is missing
    EXPECT_THROW(AddGroupMembers(broken, {{Id('b'), u"/b"_qs}}), std::exception);
    EXPECT_FALSE(RemoveGroupMembers(broken, {Id('z')}));
    EXPECT_THROW(AddGroupMembers("<c:contact", {{Id('b'), u"/b"_qs}}), std::exception);
    EXPECT_THROW(AddGroupMembers("<c:contact xmlns:c=\"x\"/>", {{Id('b'), u"/b"_qs}}), std::exception);
    EXPECT_EQ(ReadGroupMembers("not xml").form, GroupFileMembers::Form::NotXml);
}

TEST(ContactGroupFile, ANewGroupFileListsExactlyItsMembers)
{
    const QByteArray file =
        NewGroupFileContent(u"Friends"_qs, u"0A0B0C0D-0000-0000-0000-000000000000"_qs,
                            {{Id('a'), u"/c/a.contact"_qs}, {Id('b'), u"/c/b.contact"_qs}});
    EXPECT_TRUE(file.startsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<c:contact c:Version=\"1\" "
                                "xmlns:c=\"http://schemas.microsoft.com/Contact\""));
    EXPECT_TRUE(file.contains("<c:CreationDate>2009-11-24T00:00:00Z</c:CreationDate><c:Extended><MSWABMAPI:PropTag0x66001102"));
    EXPECT_TRUE(file.contains("<c:FormattedName>Friends</c:FormattedName>"));
    EXPECT_TRUE(file.contains("<c:Value>0A0B0C0D-0000-0000-0000-000000000000</c:Value>"));
    EXPECT_EQ(IdsOf(ReadGroupMembers(file).list), (std::vector<QString>{Id('a'), Id('b')}));
    const QString guid = NewGuidText();
    EXPECT_EQ(guid.size(), 36);
    EXPECT_EQ(guid, guid.toUpper());
}

}  // namespace
