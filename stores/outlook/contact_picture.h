#pragma once
// The picture of an Outlook contact (object-model versions 11, 12 and 14). Outlook hands a
// picture over only through files: it saves a contact's attachments into a file, and makes a
// picture from a file. Each procedure here uses a private file of its own, created exclusively
// with mode 0600 and only when there is a picture to pass: in $XDG_RUNTIME_DIR when that is the
// user's alone and takes the file, else in a folder of its own (0700) made in the temporary
// folder. File and folder are removed when the procedure ends, whatever happens: no other user
// can read, replace or plant them, and no picture stays on disk. Outlook may replace the file by
// a new one, so what it saved is read by name once it is done; every read and write is checked
// for its full length.
//
// Which attachment is the picture: each attachment is saved in turn over the one file, so the
// last one saved (the highest index) is the picture, as Outlook lists them.

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <cstdint>
#include <memory>

#include "common/item_record.h"
#include "platform/dispatch_driver.h"

// The largest picture a reply can carry: its count and bytes fill one reply's whole payload.
inline constexpr qint64 kMaxContactPictureBytes = 64 * 1024 * 1024 - 4;

// The folder the private picture files are made in: $XDG_RUNTIME_DIR when it names a folder of
// the user's alone, else the temporary folder (where each file gets a folder of its own).
QString ContactPictureFolder();

// A private picture file, or none; removed (with its own folder) when this goes.
class ContactPictureFile {
public:
    ContactPictureFile();
    ContactPictureFile(ContactPictureFile&&) noexcept;
    ContactPictureFile& operator=(ContactPictureFile&&) noexcept;
    ~ContactPictureFile();

    // Makes the file; throws AgentError when neither folder can take it.
    void Make();
    // Empty when no file was made.
    QString Path() const;

private:
    class Private;
    friend ContactPictureFile ImportContactPicture(const DispatchDriver& contact, const QByteArray& pictureBytes);
    std::unique_ptr<Private> private_;
};

// Reads exactly `length` bytes of the open picture file into `into`. A failed read, or a file
// that ends first (it holds less than Outlook's save left in it), throws AgentError naming the
// file by `name` (a file opened from a descriptor knows no name of its own): a picture is never
// passed on or counted short.
void ReadPictureFileExactly(QFileDevice& file, const QString& name, char* into, qint64 length);

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

// Gives the contact the picture the record's byte buffer carries (AddPicture). Outlook takes the
// picture from the file when the contact is saved, so the file is handed back: keep it until
// after Save. A count of 0 does nothing: no file, no call, the contact keeps its picture. Throws
// as ContactPictureFromBuffer before anything is written, and AgentError when the file cannot be
// written whole.
[[nodiscard]] ContactPictureFile ImportContactPicture(const DispatchDriver& contact, const QByteArray& pictureBytes);
