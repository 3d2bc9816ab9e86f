#pragma once
// Windows Contacts ".group" files. The group's name is the file's title; its members are listed
// in "c:contact/c:Extended/MSWABMAPI:PropTag0x66001102" as base64 of a block of signed 32-bit
// little-endian integers: a count, then per member a byte length and that many bytes of
// UTF-16LE text, 'CID_V1:/GUID:"<contact id>" /PATH:"<contact file>"'. Windows ends each text
// with a zero unit that its length counts; texts are kept exactly as stored, so members that
// stay are written back byte for byte.

#include <QByteArray>
#include <QSet>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace ContactsVista {

// A member list as decoded. `complete` is false when the count or a length runs past the bytes
// (or is negative): `members` then holds the members before that point.
struct GroupMemberList {
    std::vector<QByteArray> members;  // each member's UTF-16LE bytes as stored
    bool complete = true;
};

GroupMemberList DecodeGroupMembers(const QString& text);
QString EncodeGroupMembers(const std::vector<QByteArray>& members);

// The text of a new member, without terminator.
QByteArray NewMemberText(const QString& id, const QString& contactPath);
// The 48-unit identifier of the contact a member text names (its 36 units after the first 14,
// then twelve zeros).
QString MemberIdentifier(const QByteArray& member);

// A contact joining a group: its identifier and the local path of its file.
struct GroupMemberRef {
    QString id;
    QString path;
};

// What a group file says about its members.
struct GroupFileMembers {
    enum class Form {
        NotXml,     // not a well-formed document
        NoMembers,  // no member element (an empty group)
        Nil,        // a member element marked "xsi:nil" (an empty group)
        Listed,
    } form = Form::NotXml;
    GroupMemberList list;
};
GroupFileMembers ReadGroupMembers(const QByteArray& fileBytes);

// The file without the members whose identifier is in `ids`; nothing when no member goes.
// When the last one goes the member element goes, and c:Extended is marked nil when nothing
// else is left in it. Throws MalformedData for a member list that runs past its bytes.
std::optional<QByteArray> RemoveGroupMembers(const QByteArray& fileBytes, const QSet<QString>& ids);

// The file with the contacts added at the end of its member list (a contact it already lists
// is not listed again); nothing when all are listed. Throws AgentError for a file that is not
// well-formed or has no c:Extended, MalformedData for a member list that runs past its bytes.
std::optional<QByteArray> AddGroupMembers(const QByteArray& fileBytes, const std::vector<GroupMemberRef>& joining);

// A new group file listing exactly these contacts; `contactId` is the group's own identifier.
QByteArray NewGroupFileContent(const QString& groupName, const QString& contactId,
                               const std::vector<GroupMemberRef>& members);

// A fresh GUID as 36 upper-case hexadecimal digits with dashes, without braces.
QString NewGuidText();

}  // namespace ContactsVista
