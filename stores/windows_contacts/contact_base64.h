#pragma once
// Base64 as the Windows Contacts files carry it: the standard alphabet with "=" padding, the
// whole three-byte groups 19 to a line (76 characters) with CR LF after each full line, the
// padded last group at the very end.

#include <QByteArray>
#include <QString>

namespace ContactsVista {

// The base64 text of the bytes in the line layout above.
QByteArray EncodeBase64Lines(const QByteArray& bytes);
// Decodes, skipping every character outside the alphabet (line breaks, blanks, "=");
// a last group of two or three characters gives one or two bytes, a single one none.
QByteArray DecodeBase64Lenient(QByteArrayView text);

// A contact picture's bytes as the text of its "c:Value".
inline QString vPictureToBase64(const QByteArray& picture) { return QString::fromLatin1(EncodeBase64Lines(picture)); }
// Appends the decoded bytes of the text to `picture` (which is not cleared).
void Base64TovPicture(const QString& text, QByteArray& picture);

}  // namespace ContactsVista
