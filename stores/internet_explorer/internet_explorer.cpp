#include "stores/internet_explorer/internet_explorer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "common/bookmark_checksums.h"
#include "common/bookmark_depth.h"
#include "common/errors.h"
#include "platform/confined_folder.h"
#include "platform/known_folders.h"
#include "platform/local_name_codec.h"
#include "platform/regular_file_read.h"
#include "stores/internet_explorer/url_file.h"

namespace {

const QString kUrlEnding = QStringLiteral(".url");

// Favourite files hold a few hundred bytes; one far larger is no favourite and is not read whole.
constexpr qint64 kMaxFavoriteBytes = 1024 * 1024;

bool IsControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

// Windows takes no control character in a file name; neither are they written here.
bool HasControlCharacter(const QString& name)
{
    return std::any_of(name.begin(), name.end(), IsControl);
}

// A refused name as the log shows it: its control characters as "\xNN".
QString EscapedForLog(const QString& name)
{
    QString shown;
    for (QChar c : name)
        shown += IsControl(c) ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0')) : QString(c);
    return shown;
}

std::string Text(const QString& s)
{
    return s.toStdString();
}

// Every favourite file below `folder`, depth first, each folder's entries by name. Folders
// are walked, not taken for favourites, whatever their name; symbolic links to folders are not
// followed (they could lead back up); anything but a regular file is left out.
void CollectFavoriteFiles(const QString& folder, std::vector<QString>& files)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir()) {
            if (!entry.isSymLink()) CollectFavoriteFiles(entry.filePath(), files);
        } else if (entry.isFile() && entry.fileName().endsWith(kUrlEnding)) {
            files.push_back(entry.filePath());
        }
    }
}

}  // namespace

CInternetExplorer::CInternetExplorer() = default;

CInternetExplorer::CInternetExplorer(QString favoritesFolder) : fixedFolder_(QDir::cleanPath(favoritesFolder))
{
}

QString CInternetExplorer::FavoritesFolder() const
{
    return fixedFolder_ ? *fixedFolder_ : KnownFolderPath(KnownFolder::Favorites);
}

QString CInternetExplorer::RequireFavoritesFolder() const
{
    const QString folder = FavoritesFolder();
    if (folder.isEmpty())
        throw AgentError("not found CSIDL_FAVORITES : CInternetExplorer::CInternetExplorer()");
    return folder;
}

void CInternetExplorer::RequireFavoritePath(const QString& favorites, const QString& path) const
{
    // Keys come back from the peer's state and from the state file; only favourites of this
    // folder may be read, rewritten or removed through them, and none behind a link out of it.
    if (!path.endsWith(kUrlEnding))
        throw AgentError("not a favourite below " + Text(favorites) + ": " + Text(path.left(300)));
    ConfinedFolder(favorites).NamesOf(path);
}

QStringList CInternetExplorer::SplitFolderPath(const QString& path)
{
    const QStringList names = ConfinedFolder::SplitRelativePath(path);
    RequireBookmarkFolderDepth(names.size(), path);
    for (const QString& name : names) {
        if (name.contains(QLatin1Char(':')))
            throw AgentError("refused bookmark folder path (colon in a folder name): \"" +
                             Text(path.left(300)) + "\"");
        if (HasControlCharacter(name))
            throw AgentError("refused bookmark folder path (control character in a folder name): \"" +
                             Text(EscapedForLog(path.left(300))) + "\"");
    }
    return names;
}

QString CInternetExplorer::CleanFileName(const QString& name)
{
    // Such a text has no UTF-8 form: its file would be named with U+FFFD in its place, and the
    // favourite read back would carry another name than the one stored.
    if (HasUnpairedSurrogate(name))
        throw AgentError(
            "the favourite's name holds an unpaired UTF-16 surrogate, which no file name can carry: \"" +
            Text(name.left(300)) + "\"");
    if (HasControlCharacter(name))
        throw AgentError("the favourite's name holds a control character, which no file name may carry: \"" +
                         Text(EscapedForLog(name.left(300))) + "\"");
    QString clean;
    clean.reserve(name.size());
    for (QChar c : name) {
        if (!QStringView(u"\\/:?*\"<>|").contains(c)) clean.append(c);
    }
    return clean;
}

std::vector<UrlFileEntry> CInternetExplorer::GetIDs()
{
    std::vector<UrlFileEntry> entries;
    const QString favorites = FavoritesFolder();
    if (favorites.isEmpty()) return entries;
    std::vector<QString> files;
    CollectFavoriteFiles(favorites, files);
    entries.reserve(files.size());
    for (QString& path : files) {
        UrlFileEntry e;
        e.crc = Crc32OfFile(path);
        const FavoriteId id = FavoriteIdOfPath(path);
        e.idLow = id.low;
        e.idHigh = id.high;
        e.key = std::move(path);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::uint32_t CInternetExplorer::IDtoCRC32(const QString& path)
{
    RequireFavoritePath(RequireFavoritesFolder(), path);
    return Crc32OfFile(path);
}

void CInternetExplorer::Get(const QString& path, BookmarkRecord& record)
{
    const QString favorites = RequireFavoritesFolder();
    RequireFavoritePath(favorites, path);
    const std::optional<QString> url = UrlFileAddress(ReadExistingRegularFile(path, kMaxFavoriteBytes));
    if (!url) return;
    record.url = *url;
    const QString relative = path.mid(favorites.size() + 1);
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    const QString fileName = relative.mid(slash + 1);
    record.name = fileName.left(fileName.size() - kUrlEnding.size());
    record.path = slash < 0 ? QString() : relative.left(slash).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QString CInternetExplorer::Add(const BookmarkRecord& record)
{
    return WriteNewFavorite(RequireFavoritesFolder(), record, UrlFileContent(record.url));
}

QString CInternetExplorer::WriteNewFavorite(const QString& favorites, const BookmarkRecord& record,
                                            const QByteArray& content) const
{
    // Everything the request could be refused for is checked before anything is created.
    const QStringList folders = SplitFolderPath(record.path);
    const QString name = CleanFileName(record.name);
    const ConfinedFolder confined(favorites);
    confined.Resolve(folders);

    const QString candidate = ConfinedFolder::FreeFileName(confined.MakeFolders(folders), name, kUrlEnding);
    ConfinedFolder::WriteNewFile(candidate, content);
    return candidate;
}

QString CInternetExplorer::Edit(const QString& path, const BookmarkRecord& record)
{
    const QString favorites = RequireFavoritesFolder();
    RequireFavoritePath(favorites, path);
    const QStringList folders = SplitFolderPath(record.path);
    QString target = favorites;
    for (const QString& name : folders) target += QLatin1Char('/') + name;
    target += QLatin1Char('/') + CleanFileName(record.name) + kUrlEnding;

    // Only the address changes: the icon, the shell's IDList and the property sections Internet
    // Explorer keeps in the file stay, also when the favourite moves. A favourite whose file is
    // gone meanwhile is written anew.
    const QByteArray content = QFileInfo(path).exists() || QFileInfo(path).isSymLink()
                                   ? UrlFileWithAddress(ReadExistingRegularFile(path, kMaxFavoriteBytes), record.url)
                                   : UrlFileContent(record.url);
    if (target == path) {
        ConfinedFolder::ReplaceFile(path, content);
        return path;
    }
    // The old favourite goes only once the new one is safely written.
    const QString moved = WriteNewFavorite(favorites, record, content);
    QFile::remove(path);
    return moved;
}

void CInternetExplorer::Delete(const QString& path)
{
    RequireFavoritePath(RequireFavoritesFolder(), path);
    QFile::remove(path);
}

void CInternetExplorer::DeleteAll()
{
    const QString favorites = FavoritesFolder();
    if (favorites.isEmpty()) return;
    std::vector<QString> files;
    CollectFavoriteFiles(favorites, files);
    for (const QString& path : files) QFile::remove(path);
}
