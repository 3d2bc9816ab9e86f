#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace ContactsVista {

// The user's Contacts folder: the value "{56784854-C6CB-462B-8169-88E350ACB882}" of the current
// user's "...\Explorer\User Shell Folders" key when the reported Windows is 6.0 (where a leading
// "%NAME%" is that environment variable, USERPROFILE falling back to the home folder), of
// "...\Explorer\Shell Folders" otherwise. The value is a Windows path or an absolute local path;
// without a usable value the folder is "$HOME/Contacts".
QString DetermineContactsFolder();

// The regular files of the folder whose names end in ".contact" and ".group" (without regard
// to case), each list sorted without regard to case. A folder that does not exist has none;
// one that exists but cannot be read throws AgentError.
struct ContactFolderListing {
    QStringList contactFiles;
    QStringList groupFiles;
    // Entries named like contact files that are no regular files (links, folders): never read,
    // yet their names are taken.
    QStringList otherContactNames;
};
ContactFolderListing ListContactsFolder(const QString& folder);

// The whole file; nothing when it does not exist. Throws MalformedData when it is no regular
// file, lies on a pseudo file system or holds more than 64 MiB (a file to leave out), AgentError
// when it exists but cannot be read. Never blocks on a FIFO.
std::optional<QByteArray> ReadExistingFile(const QString& path);

// The file a contact photo's reference names (a local path, a Windows path or a file: URL),
// when that is a regular file of at most 16 MiB outside /proc, /sys and their kin; otherwise
// nothing, with the reason in `why`. At most one byte past the cap is read, whatever size the
// system reports.
std::optional<QByteArray> ReadPictureReference(const QString& reference, QString* why);

}  // namespace ContactsVista
