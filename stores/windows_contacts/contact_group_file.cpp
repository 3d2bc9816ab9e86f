#include "stores/windows_contacts/contact_group_file.h"

#include <QUuid>

#include "common/byte_io.h"
#include "common/errors.h"
#include "stores/windows_contacts/contact_base64.h"
#include "stores/windows_contacts/contact_xml.h"

namespace ContactsVista {

namespace {

constexpr char kMemberPath[] = "c:contact/c:Extended/MSWABMAPI:PropTag0x66001102";
constexpr char kMemberElement[] = "MSWABMAPI:PropTag0x66001102";

void SetMembers(pugi::xml_node element, const std::vector<QByteArray>& members)
{
    SetElementText(element, EncodeGroupMembers(members));
}

void RequireComplete(const GroupMemberList& list)
{
    if (!list.complete) throw MalformedData("the group's member list runs past its bytes");
}

std::vector<QByteArray> MemberTexts(const std::vector<GroupMemberRef>& refs)
{
    std::vector<QByteArray> texts;
    texts.reserve(refs.size());
    for (const GroupMemberRef& ref : refs) texts.push_back(NewMemberText(ref.id, ref.path));
    return texts;
}

}  // namespace

GroupMemberList DecodeGroupMembers(const QString& text)
{
    const QByteArray block = DecodeBase64Lenient(text.toLatin1());
    GroupMemberList list;
    if (block.isEmpty()) return list;
    const auto* data = reinterpret_cast<const std::uint8_t*>(block.constData());
    const qsizetype size = block.size();
    if (size < 4) {
        list.complete = false;
        return list;
    }
    const std::int32_t count = static_cast<std::int32_t>(GetU32(data));
    if (count < 0) {
        list.complete = false;
        return list;
    }
    qsizetype at = 4;
    for (std::int32_t i = 0; i < count; ++i) {
        if (size - at < 4) {
            list.complete = false;
            break;
        }
        const std::int32_t length = static_cast<std::int32_t>(GetU32(data + at));
        at += 4;
        if (length < 0 || length > size - at) {
            list.complete = false;
            break;
        }
        list.members.push_back(block.mid(at, length));
        at += length;
    }
    return list;
}

QString EncodeGroupMembers(const std::vector<QByteArray>& members)
{
    QByteArray block;
    ByteWriter w(block);
    w.I32(static_cast<std::int32_t>(members.size()));
    for (const QByteArray& member : members) {
        w.I32(static_cast<std::int32_t>(member.size()));
        w.Bytes(member);
    }
    return QString::fromLatin1(EncodeBase64Lines(block));
}

QByteArray NewMemberText(const QString& id, const QString& contactPath)
{
    return utf16::Bytes(QStringLiteral("CID_V1:/GUID:\"") + id.left(36) + QStringLiteral("\" /PATH:\"") + contactPath +
                        u'"');
}

QString MemberIdentifier(const QByteArray& member)
{
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(member.constData()), member.size() / 2);
    return text.mid(14, 36) + QStringLiteral("000000000000");
}

GroupFileMembers ReadGroupMembers(const QByteArray& fileBytes)
{
    GroupFileMembers result;
    ContactXml doc;
    if (!doc.Load(fileBytes)) return result;
    pugi::xml_node element = doc.Select(kMemberPath);
    if (!element) {
        result.form = GroupFileMembers::Form::NoMembers;
    } else if (HasNil(element)) {
        result.form = GroupFileMembers::Form::Nil;
    } else {
        result.form = GroupFileMembers::Form::Listed;
        result.list = DecodeGroupMembers(ElementText(element));
    }
    return result;
}

std::optional<QByteArray> RemoveGroupMembers(const QByteArray& fileBytes, const QSet<QString>& ids)
{
    ContactXml doc;
    if (!doc.Load(fileBytes)) return std::nullopt;
    pugi::xml_node element = doc.Select(kMemberPath);
    if (!element || HasNil(element)) return std::nullopt;
    const GroupMemberList list = DecodeGroupMembers(ElementText(element));
    std::vector<QByteArray> kept;
    for (const QByteArray& member : list.members)
        if (!ids.contains(MemberIdentifier(member))) kept.push_back(member);
    if (kept.size() == list.members.size()) return std::nullopt;
    RequireComplete(list);
    if (!kept.empty()) {
        SetMembers(element, kept);
    } else {
        pugi::xml_node extended = element.parent();
        extended.remove_child(element);
        // Other properties may share c:Extended; only an emptied one is marked nil.
        if (!extended.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; }))
            MarkNil(extended);
    }
    return doc.Save();
}

std::optional<QByteArray> AddGroupMembers(const QByteArray& fileBytes, const std::vector<GroupMemberRef>& joining)
{
    ContactXml doc;
    if (!doc.Load(fileBytes)) throw AgentError("the group file is not well-formed XML");
    pugi::xml_node extended = doc.Select("c:contact/c:Extended");
    if (!extended) throw AgentError("the group file has no c:Extended element");
    pugi::xml_node element = doc.Select(kMemberPath);
    std::vector<QByteArray> members;
    QSet<QString> listed;
    if (element && !HasNil(element)) {
        GroupMemberList list = DecodeGroupMembers(ElementText(element));
        RequireComplete(list);
        members = std::move(list.members);
        for (const QByteArray& member : members) listed.insert(MemberIdentifier(member));
    }
    bool added = false;
    for (const GroupMemberRef& ref : joining) {
        if (listed.contains(ref.id)) continue;
        listed.insert(ref.id);
        members.push_back(NewMemberText(ref.id, ref.path));
        added = true;
    }
    if (!added && element && !HasNil(element)) return std::nullopt;
    if (!element) {
        pugi::xml_node root = doc.Root();
        pugi::xml_attribute ns = root.attribute("xmlns:MSWABMAPI");
        if (!ns) ns = root.append_attribute("xmlns:MSWABMAPI");
        ns.set_value(kMswabmapiNamespace);
        RemoveNil(extended);
        element = extended.append_child(kMemberElement);
        element.append_attribute("c:ContentType").set_value("binary/x-ms-wab-mapi");
        element.append_attribute("c:type").set_value("binary");
    }
    SetMembers(element, members);
    return doc.Save();
}

QByteArray NewGroupFileContent(const QString& groupName, const QString& contactId,
                               const std::vector<GroupMemberRef>& members)
{
    ContactXml xml;
    pugi::xml_node root = StartContactDocument(xml);

    AppendElement(root, "c:CreationDate", QStringLiteral("2009-11-24T00:00:00Z"));
    pugi::xml_node element = root.append_child("c:Extended").append_child(kMemberElement);
    element.append_attribute("c:ContentType").set_value("binary/x-ms-wab-mapi");
    element.append_attribute("c:type").set_value("binary");
    SetMembers(element, MemberTexts(members));
    pugi::xml_node id = AppendEntry(root.append_child("c:ContactIDCollection"), "c:ContactID",
                                    "2e9c1b74-a6d0-4f35-9e81-b47d3c02a6f9");
    AppendElement(id, "c:Value", contactId);
    pugi::xml_node name =
        AppendEntry(root.append_child("c:NameCollection"), "c:Name", "5f32d960-b1f4-4e71-8d3e-b6d81f077310");
    AppendElement(name, "c:FormattedName", groupName);
    pugi::xml_node photo = AppendEntry(root.append_child("c:PhotoCollection"), "c:Photo",
                                       "5f32d960-b1f4-4e71-8d3e-b6d81f077311");
    AppendLabels(photo, {"UserTile"});
    return xml.Save();
}

QString NewGuidText() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

}  // namespace ContactsVista
