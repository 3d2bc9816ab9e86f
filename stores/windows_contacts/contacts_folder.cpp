#include "stores/windows_contacts/contacts_folder.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <utility>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/errors.h"
#include "platform/regular_file_read.h"
#include "platform/known_folders.h"
#include "platform/path_map.h"
#include "platform/platform_info.h"
#include "platform/registry.h"

namespace ContactsVista {

namespace {

constexpr char kContactsValue[] = "{56784854-C6CB-462B-8169-88E350ACB882}";
constexpr qint64 kMaxPictureBytes = 16 * 1024 * 1024;
// Room for a picture of the largest size as base64 beside the rest of a contact.
constexpr qint64 kMaxContactFileBytes = 64 * 1024 * 1024;

std::string Reason(const QString& path, const char* what)
{
    return std::string("cannot ") + what + " " + path.toStdString() + ": " + std::strerror(errno);
}

// A Windows path or an absolute local path ("\" read as "/") as a local path, or nothing.
std::optional<QString> LocalPathOf(const QString& text)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:([\\\\/]|$)"));
    if (drive.match(text).hasMatch()) {
        try {
            return PeerToLocalPath(text);
        } catch (const AgentError&) {
            return std::nullopt;
        }
    }
    if (text.startsWith(u'/') || text.startsWith(u'\\')) {
        QString local = text;
        local.replace(u'\\', u'/');
        while (local.size() > 1 && local.endsWith(u'/')) local.chop(1);
        return local;
    }
    return std::nullopt;
}

// A leading "%NAME%" replaced by the variable; nothing for an unset variable or a stray "%".
std::optional<QString> ExpandLeadingVariable(const QString& text)
{
    if (!text.contains(u'%')) return text;
    if (!text.startsWith(u'%')) return std::nullopt;
    const qsizetype end = text.indexOf(u'%', 1);
    if (end < 2) return std::nullopt;
    const QString rest = text.mid(end + 1);
    if (rest.contains(u'%')) return std::nullopt;
    const QString name = text.mid(1, end - 1);
    QString value;
    if (qEnvironmentVariableIsSet(name.toLocal8Bit().constData()))
        value = qEnvironmentVariable(name.toLocal8Bit().constData());
    else if (name.compare(QLatin1String("USERPROFILE"), Qt::CaseInsensitive) == 0)
        value = KnownFolderPath(KnownFolder::Home);
    else
        return std::nullopt;
    return value + rest;
}

void SortWithoutCase(QStringList& names)
{
    // Each name is folded once, not at every comparison.
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(static_cast<std::size_t>(names.size()));
    for (QString& name : names) keyed.emplace_back(name.toCaseFolded(), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    names.clear();
    for (auto& [key, name] : keyed) names.append(std::move(name));
}

}  // namespace

QString DetermineContactsFolder()
{
    const WindowsVersion version = ReportedWindowsVersion();
    const bool vista = version.major == 6 && version.minor == 0;
    const QString keyPath = vista ? QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders")
                                  : QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    std::optional<QString> text;
    if (auto key = RegistryKey::Open(RegistryRoot::CurrentUser, keyPath))
        text = key->ReadString(QString::fromLatin1(kContactsValue));
    if (text && vista) text = ExpandLeadingVariable(*text);
    if (text && !text->isEmpty())
        if (auto folder = LocalPathOf(*text)) return *folder;
    return KnownFolderPath(KnownFolder::Contacts);
}

ContactFolderListing ListContactsFolder(const QString& folder)
{
    ContactFolderListing listing;
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir) {
        if (errno == ENOENT) return listing;
        throw AgentError(Reason(folder, "read the Contacts folder"));
    }
    errno = 0;
    while (dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        const bool contact = name.endsWith(QLatin1String(".contact"), Qt::CaseInsensitive);
        const bool group = !contact && name.endsWith(QLatin1String(".group"), Qt::CaseInsensitive);
        if (!contact && !group) continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            regular = ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        }
        if (regular)
            (contact ? listing.contactFiles : listing.groupFiles).append(name);
        else if (contact)
            listing.otherContactNames.append(name);
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        errno = readError;
        throw AgentError(Reason(folder, "read the Contacts folder"));
    }
    SortWithoutCase(listing.contactFiles);
    SortWithoutCase(listing.groupFiles);
    return listing;
}

std::optional<QByteArray> ReadExistingFile(const QString& path)
{
    const BoundedFileRead read = ReadBoundedRegularFile(path, kMaxContactFileBytes);
    switch (read.outcome) {
    case BoundedFileRead::Outcome::Read:
        return read.bytes;
    case BoundedFileRead::Outcome::Missing:
        return std::nullopt;
    case BoundedFileRead::Outcome::Unreadable:
        throw AgentError("cannot read " + path.toStdString() + ": " + read.Reason(kMaxContactFileBytes));
    default:
        throw MalformedData(path.toStdString() + " is " + read.Reason(kMaxContactFileBytes));
    }
}

std::optional<QByteArray> ReadPictureReference(const QString& reference, QString* why)
{
    const auto refuse = [why](const QString& reason) {
        if (why) *why = reason;
        return std::nullopt;
    };
    QString path;
    if (reference.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(reference);
        if (!url.isLocalFile()) return refuse(QStringLiteral("not a local file"));
        path = url.toLocalFile();
        if (auto local = LocalPathOf(path.mid(path.startsWith(u'/') && path.size() > 2 && path[2] == u':' ? 1 : 0)))
            path = *local;
    } else if (auto local = LocalPathOf(reference)) {
        path = *local;
    } else {
        return refuse(QStringLiteral("not a path"));
    }
    BoundedFileRead read = ReadBoundedRegularFile(path, kMaxPictureBytes);
    switch (read.outcome) {
    case BoundedFileRead::Outcome::Read:
        return std::move(read.bytes);
    case BoundedFileRead::Outcome::TooLarge:
        return refuse(QStringLiteral("larger than 16 MiB"));
    case BoundedFileRead::Outcome::Missing:
        return refuse(QStringLiteral("no such file"));
    default:
        return refuse(QString::fromStdString(read.Reason(kMaxPictureBytes)));
    }
}

}  // namespace ContactsVista
