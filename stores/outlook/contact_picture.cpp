#include "stores/outlook/contact_picture.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtEndian>
#include <array>
#include <memory>

#include "common/crc32.h"
#include "common/errors.h"
#include "stores/outlook/outlook_wrappers.h"

namespace {

constexpr DispId kHasPicture = 0xFABF;
constexpr DispId kAttachments = 0xF815;
constexpr DispId kAddPicture = 0xFABD;
constexpr DispId kSaveAsFile = 0x68;

const QString kPictureKey = QStringLiteral("Picture");

// One procedure's own file: created exclusively, readable and writable by the user alone, and
// removed when this object goes, on every road out of the procedure.
class PrivatePictureFile {
public:
    PrivatePictureFile() : file_(ContactPictureFolder() + QStringLiteral("/twinlark-picture-XXXXXX"))
    {
        file_.setAutoRemove(true);
        if (!file_.open())
            throw AgentError(QStringLiteral("no private picture file can be made in %1: %2")
                                 .arg(ContactPictureFolder(), file_.errorString()));
        // QTemporaryFile creates it 0600 already; said once more so that no umask or default can widen it.
        if (!file_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            throw AgentError(
                QStringLiteral("the private picture file %1 cannot be made private").arg(file_.fileName()));
    }
    QString Path() const { return file_.fileName(); }
    QTemporaryFile& File() { return file_; }

private:
    QTemporaryFile file_;
};

[[noreturn]] void FailFile(const QString& path, const QString& what)
{
    throw AgentError(QStringLiteral("contact picture: %1 (%2)").arg(what, path));
}

[[noreturn]] void FailFile(const PrivatePictureFile& file, const QString& what)
{
    FailFile(file.Path(), what);
}

// Lets Outlook save each of the contact's attachments in turn into the file, so that it ends
// holding the last one. False when the contact has no picture: the file is then not touched.
bool SaveLastAttachment(const DispatchDriver& contact, PrivatePictureFile& file)
{
    if (contact.GetBool(kHasPicture) == 0) return false;
    const DispatchDriver attachments = contact.GetObject(kAttachments);
    if (GetCollectionCount(attachments) <= 0) return false;
    const VariantValue path = VariantValue::Text(file.Path());
    DispatchDriver attachment;
    for (std::int32_t i = 1; i <= GetCollectionCount(attachments); ++i) {
        attachment = GetCollectionItem(i, attachments);
        attachment.CallMethod(kSaveAsFile, {path});
    }
    return true;
}

// The length of what Outlook saved, read from the open file (the name could be anyone's by now).
qint64 SavedLength(PrivatePictureFile& file)
{
    QTemporaryFile& f = file.File();
    if (!f.reset()) FailFile(file, QStringLiteral("cannot go back to its start: ") + f.errorString());
    const qint64 length = f.size();
    if (length < 0) FailFile(file, QStringLiteral("its length cannot be read"));
    return length;
}

}  // namespace

void ReadPictureFileExactly(QFileDevice& file, char* into, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const qint64 got = file.read(into + done, length - done);
        if (got < 0) FailFile(file.fileName(), QStringLiteral("read failed: ") + file.errorString());
        if (got == 0)
            FailFile(file.fileName(),
                     QStringLiteral("holds %1 bytes where %2 were saved").arg(done).arg(length));
        done += got;
    }
}

QString ContactPictureFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return QDir::cleanPath(runtime);
    return QDir::cleanPath(QDir::tempPath());
}

void ExportContactPicture(const DispatchDriver& contact, ItemRecord& record)
{
    PrivatePictureFile file;
    if (!SaveLastAttachment(contact, file)) return;
    const qint64 length = SavedLength(file);
    if (length > kMaxContactPictureBytes)
        FailFile(file, QStringLiteral("the picture holds %1 bytes, more than a reply can carry (%2)")
                           .arg(length)
                           .arg(kMaxContactPictureBytes));
    QByteArray group(static_cast<qsizetype>(length + 4), Qt::Uninitialized);
    qToLittleEndian(static_cast<std::uint32_t>(length), group.data());
    ReadPictureFileExactly(file.File(), group.data() + 4, length);
    record.pictureBytes.append(group);
    record.Add(kPictureKey, kPictureKey);
}

std::uint32_t ContinueCrcWithContactPicture(const DispatchDriver& contact, std::uint32_t crc)
{
    PrivatePictureFile file;
    if (!SaveLastAttachment(contact, file)) return crc;
    const qint64 length = SavedLength(file);
    constexpr qint64 kPiece = 64 * 1024;
    auto piece = std::make_unique<std::array<char, kPiece>>();
    for (qint64 done = 0; done < length;) {
        const qint64 size = std::min(kPiece, length - done);
        ReadPictureFileExactly(file.File(), piece->data(), size);
        crc = Crc32Update(crc, piece->data(), static_cast<std::size_t>(size));
        done += size;
    }
    return crc;
}

QByteArray ContactPictureFromBuffer(const QByteArray& pictureBytes)
{
    if (pictureBytes.size() < 4)
        throw MalformedData(
            QStringLiteral("contact picture: the record carries %1 of the 4 bytes of its count")
                .arg(pictureBytes.size()));
    const std::uint32_t count = qFromLittleEndian<std::uint32_t>(pictureBytes.constData());
    if (static_cast<std::uint64_t>(pictureBytes.size()) - 4 < count)
        throw MalformedData(
            QStringLiteral("contact picture: the record carries %1 of the %2 bytes its count names")
                .arg(pictureBytes.size() - 4)
                .arg(count));
    return pictureBytes.mid(4, static_cast<qsizetype>(count));
}

void ImportContactPicture(const DispatchDriver& contact, const QByteArray& pictureBytes)
{
    const QByteArray picture = ContactPictureFromBuffer(pictureBytes);
    if (picture.isEmpty()) return;
    PrivatePictureFile file;
    QTemporaryFile& f = file.File();
    if (f.write(picture) != picture.size() || !f.flush())
        FailFile(file, QStringLiteral("the picture could not be written whole: ") + f.errorString());
    contact.CallMethod(kAddPicture, {VariantValue::Text(file.Path())});
}
