#include "stores/outlook/contact_picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtEndian>
#include <array>
#include <cerrno>
#include <cstring>
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

// Whether the runtime folder is the user's alone: owned by the user, closed to everyone else.
bool IsPrivateFolder(const QString& folder)
{
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

}  // namespace

// One procedure's own file, removed with this object on every road out of the procedure. Outlook
// may replace the file by a new one of the same name, so it is read again by name: it lies in a
// folder no other user can write to, the runtime folder, or else a folder of its own (0700) made
// in the temporary folder for it and removed with it.
class ContactPictureFile::Private {
public:
    Private()
    {
        const QString runtime = ContactPictureFolder();
        if (runtime != QDir::cleanPath(QDir::tempPath()) && MakeFileIn(runtime)) return;
        // The runtime folder is missing, shared or refuses new files (an agent started under su
        // keeps another user's).
        folder_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/twinlark-picture-XXXXXX"));
        if (!folder_->isValid())
            throw AgentError(QStringLiteral("no private folder for a picture file can be made in %1: %2")
                                 .arg(QDir::tempPath(), folder_->errorString()));
        folder_->setAutoRemove(true);
        if (!MakeFileIn(folder_->path()))
            throw AgentError(QStringLiteral("no private picture file can be made in %1: %2")
                                 .arg(folder_->path(), file_ ? file_->errorString() : QString()));
    }
    ~Private()
    {
        // By name: the file there may be another than the one made here. The folder goes after it.
        if (file_) QFile::remove(file_->fileName());
        file_.reset();
    }
    QString Path() const { return file_->fileName(); }
    QTemporaryFile& File() { return *file_; }

private:
    bool MakeFileIn(const QString& folder)
    {
        file_ = std::make_unique<QTemporaryFile>(folder + QStringLiteral("/twinlark-picture-XXXXXX"));
        file_->setAutoRemove(true);
        if (!file_->open()) return false;
        // QTemporaryFile creates it 0600 already; said once more so that no umask or default can widen it.
        if (!file_->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            throw AgentError(
                QStringLiteral("the private picture file %1 cannot be made private").arg(file_->fileName()));
        return true;
    }

    std::unique_ptr<QTemporaryDir> folder_;  // declared first: it goes after the file
    std::unique_ptr<QTemporaryFile> file_;
};

ContactPictureFile::ContactPictureFile() = default;
ContactPictureFile::ContactPictureFile(ContactPictureFile&&) noexcept = default;
ContactPictureFile& ContactPictureFile::operator=(ContactPictureFile&&) noexcept = default;
ContactPictureFile::~ContactPictureFile() = default;

void ContactPictureFile::Make()
{
    private_ = std::make_unique<Private>();
}

QString ContactPictureFile::Path() const
{
    return private_ ? private_->Path() : QString();
}

namespace {

[[noreturn]] void FailFile(const QString& path, const QString& what)
{
    throw AgentError(QStringLiteral("contact picture: %1 (%2)").arg(what, path));
}

// Lets Outlook save each of the contact's attachments in turn into a private file, so that it
// ends holding the last one. False when the contact has no picture: no file is then made.
bool SaveLastAttachment(const DispatchDriver& contact, ContactPictureFile& file)
{
    if (contact.GetBool(kHasPicture) == 0) return false;
    const DispatchDriver attachments = contact.GetObject(kAttachments);
    if (GetCollectionCount(attachments) <= 0) return false;
    file.Make();
    const VariantValue path = VariantValue::Text(file.Path());
    DispatchDriver attachment;
    for (std::int32_t i = 1; i <= GetCollectionCount(attachments); ++i) {
        attachment = GetCollectionItem(i, attachments);
        attachment.CallMethod(kSaveAsFile, {path});
    }
    return true;
}

// What Outlook saved, opened by name now that it is done with it: the file it left there may be
// a new one. Only a regular file is read, never a link.
void OpenSaved(const ContactPictureFile& file, QFile& saved)
{
    const QString path = file.Path();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) FailFile(path, QStringLiteral("cannot be opened: ") + QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        FailFile(path, QStringLiteral("is not a regular file"));
    }
    if (!saved.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        FailFile(path, QStringLiteral("cannot be opened: ") + saved.errorString());
    }
}

qint64 SavedLength(const ContactPictureFile& file, QFile& saved)
{
    const qint64 length = saved.size();
    if (length < 0) FailFile(file.Path(), QStringLiteral("its length cannot be read"));
    return length;
}

}  // namespace

void ReadPictureFileExactly(QFileDevice& file, const QString& name, char* into, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const qint64 got = file.read(into + done, length - done);
        if (got < 0) FailFile(name, QStringLiteral("read failed: ") + file.errorString());
        if (got == 0)
            FailFile(name,
                     QStringLiteral("holds %1 bytes where %2 were saved").arg(done).arg(length));
        done += got;
    }
}

QString ContactPictureFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && IsPrivateFolder(runtime)) return QDir::cleanPath(runtime);
    return QDir::cleanPath(QDir::tempPath());
}

void ExportContactPicture(const DispatchDriver& contact, ItemRecord& record)
{
    ContactPictureFile file;
    if (!SaveLastAttachment(contact, file)) return;
    QFile saved;
    OpenSaved(file, saved);
    const qint64 length = SavedLength(file, saved);
    if (length > kMaxContactPictureBytes)
        FailFile(file.Path(), QStringLiteral("the picture holds %1 bytes, more than a reply can carry (%2)")
                                  .arg(length)
                                  .arg(kMaxContactPictureBytes));
    QByteArray group(static_cast<qsizetype>(length + 4), Qt::Uninitialized);
    qToLittleEndian(static_cast<std::uint32_t>(length), group.data());
    ReadPictureFileExactly(saved, file.Path(), group.data() + 4, length);
    record.pictureBytes.append(group);
    record.Add(kPictureKey, kPictureKey);
}

std::uint32_t ContinueCrcWithContactPicture(const DispatchDriver& contact, std::uint32_t crc)
{
    ContactPictureFile file;
    if (!SaveLastAttachment(contact, file)) return crc;
    QFile saved;
    OpenSaved(file, saved);
    const qint64 length = SavedLength(file, saved);
    constexpr qint64 kPiece = 64 * 1024;
    auto piece = std::make_unique<std::array<char, kPiece>>();
    for (qint64 done = 0; done < length;) {
        const qint64 size = std::min(kPiece, length - done);
        ReadPictureFileExactly(saved, file.Path(), piece->data(), size);
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

ContactPictureFile ImportContactPicture(const DispatchDriver& contact, const QByteArray& pictureBytes)
{
    ContactPictureFile file;
    const QByteArray picture = ContactPictureFromBuffer(pictureBytes);
    if (picture.isEmpty()) return file;
    file.Make();
    QTemporaryFile& f = file.private_->File();
    if (f.write(picture) != picture.size() || !f.flush())
        FailFile(file.Path(), QStringLiteral("the picture could not be written whole: ") + f.errorString());
    contact.CallMethod(kAddPicture, {VariantValue::Text(file.Path())});
    return file;
}
