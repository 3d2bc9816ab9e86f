#pragma once
// The picture of an Outlook contact (object-model versions 11, 12 and 14). Outlook hands a
// picture over only through files: it saves a contact's attachments into a file, and makes a
// picture from a file. Each procedure here uses a private file of its own, created exclusively
// with mode 0600 in $XDG_RUNTIME_DIR (else the temporary folder) and removed when the procedure
// ends, whatever happens: no other user can read, replace or plant it, and no picture stays on
// disk. Every read and write of it is checked for its full length.
//
// Which attachment is the picture: each attachment is saved in turn over the one file, so the
// last one saved (the highest index) is the picture, as Outlook lists them.

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <cstdint>

#include "common/item_record.h"
#include "platform/dispatch_driver.h"

// The largest picture a reply can carry: its count and bytes fill one reply's whole payload.
inline constexpr qint64 kMaxContactPictureBytes = 64 * 1024 * 1024 - 4;

// The folder the private picture files are made in: $XDG_RUNTIME_DIR when it names a folder,
// else the temporary folder.
QString ContactPictureFolder();

// Reads exactly `length` bytes of the open picture file into `into`. A failed read, or a file
// that ends first (it holds less than Outlook's save left in it), throws AgentError naming the
// file: a picture is never passed on or counted short.
void ReadPictureFileExactly(QFileDevice& file, char* into, qint64 length);

// Appends the contact's picture to the record: the group (32-bit little-endian count, then the
// bytes) to the byte buffer and the entry ("Picture", "Picture") to the fields. A contact
// without a picture (HasPicture false, or no attachment) leaves the record untouched. Throws
// AgentError for a picture over kMaxContactPictureBytes (before it is allocated) and for a file
// that cannot be read whole; automation failures pass.
void ExportContactPicture(const DispatchDriver& contact, ItemRecord& record);

// Continues a running checksum (Crc32Update) over the contact's picture bytes, read from the
// file in pieces: a picture of any size counts whole and is never held in memory. A contact
// without a picture leaves `crc` as it is.
std::uint32_t ContinueCrcWithContactPicture(const DispatchDriver& contact, std::uint32_t crc);

// The picture a record's byte buffer carries: the bytes of the group at its start (bytes behind
// the group are ignored); empty for a count of 0. Throws MalformedData when the buffer is
// shorter than 4 bytes or than the count says.
QByteArray ContactPictureFromBuffer(const QByteArray& pictureBytes);

// Gives the contact the picture the record's byte buffer carries (AddPicture). A count of 0 does
// nothing: no file, no call, the contact keeps its picture. Throws as ContactPictureFromBuffer
// before anything is written, and AgentError when the file cannot be written whole.
void ImportContactPicture(const DispatchDriver& contact, const QByteArray& pictureBytes);
