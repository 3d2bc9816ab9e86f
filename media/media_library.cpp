#include "media/media_library.h"

#include <sys/stat.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <pugixml.hpp>
#include <sstream>

#include "common/errors.h"
#include "common/xml_characters.h"
#include "platform/atomic_file.h"
#include "platform/regular_file_read.h"
#include "platform/file_attributes.h"
#include "platform/known_folders.h"
#include "platform/path_map.h"
#include "platform/safe_name.h"
#include "media/media_duration.h"
#include "media/wpl_playlist.h"
#include "stores/base/diagnostics.h"
#include "stores/base/xml_depth.h"

namespace {

struct FileStat {
    std::uint64_t size;
    std::int64_t modifiedNs;  // since 1970, UTC
    std::uint64_t fileTime;
};

// A regular file's attributes (links followed); nothing for anything else or an unreadable path.
std::optional<FileStat> StatFile(const QString& localPath)
{
    struct stat st;
    if (localPath.isEmpty() || ::stat(QFile::encodeName(localPath).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode))
        return std::nullopt;
    const std::int64_t seconds = st.st_mtim.tv_sec;
    return FileStat{static_cast<std::uint64_t>(st.st_size), seconds * 1'000'000'000 + st.st_mtim.tv_nsec,
                    FileTimeFromUnix(seconds, static_cast<std::uint32_t>(st.st_mtim.tv_nsec))};
}

std::optional<QString> TryLocalToPeer(const QString& localPath)
{
    try {
        return LocalToPeerPath(localPath);
    } catch (const AgentError&) {
        return std::nullopt;
    }
}

std::optional<QString> TryPeerToLocal(const QString& peerPath)
{
    try {
        return PeerToLocalPath(peerPath);
    } catch (const AgentError&) {
        return std::nullopt;
    }
}

bool CodeUnitsLess(const QString& a, const QString& b)
{
    const QStringView av(a), bv(b);
    return std::lexicographical_compare(av.begin(), av.end(), bv.begin(), bv.end(),
                                        [](QChar x, QChar y) { return x.unicode() < y.unicode(); });
}

const char* TypeName(MediaType type)
{
    switch (type) {
        case MediaType::Audio:
            return "audio";
        case MediaType::Video:
            return "video";
        case MediaType::Other:
            break;
    }
    return "other";
}

MediaType TypeFromName(const std::string& name)
{
    if (name == "audio") return MediaType::Audio;
    if (name == "video") return MediaType::Video;
    return MediaType::Other;
}

constexpr int kMaxNumberedNames = 1000;

}  // namespace

MediaType MediaTypeOfFile(const QString& localPath)
{
    static const QSet<QString> kPlaylistTypes = {
        QStringLiteral("audio/x-mpegurl"),       QStringLiteral("audio/mpegurl"),
        QStringLiteral("audio/x-scpls"),         QStringLiteral("audio/x-ms-asx"),
        QStringLiteral("video/x-ms-asf-plugin"),
    };
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(localPath, QMimeDatabase::MatchExtension);
    const QString name = mime.name();
    if (kPlaylistTypes.contains(name)) return MediaType::Other;
    if (name.startsWith(QLatin1String("audio/")) || name == QLatin1String("application/ogg"))
        return MediaType::Audio;
    if (name.startsWith(QLatin1String("video/")) || name == QLatin1String("application/vnd.ms-asf") ||
        mime.inherits(QStringLiteral("application/x-matroska")))
        return MediaType::Video;
    return MediaType::Other;
}

QString PeerPathOfSource(const QString& source, const QString& playlistDir)
{
    static const QRegularExpression kDrivePath(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    if (source.isEmpty() || source.startsWith(QLatin1String("\\\\")) ||
        source.startsWith(QLatin1String("//")))
        return source;  // empty, or on a network share
    if (kDrivePath.match(source).hasMatch()) {
        QString path = source;
        return path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    }
    if (source.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QString local = QUrl(source).toLocalFile();
        return local.isEmpty() ? source : TryLocalToPeer(local).value_or(source);
    }
    if (source.contains(QLatin1String("://"))) return source;  // a stream
    if (source.startsWith(QLatin1Char('/'))) return TryLocalToPeer(source).value_or(source);
    // Relative to the playlist's folder, written with the player's separators.
    QStringList names;
    for (const QString& name :
         source.split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts))
        names << LocalNameOfPeerName(name);
    return TryLocalToPeer(QDir::cleanPath(playlistDir + QLatin1Char('/') + names.join(QLatin1Char('/'))))
        .value_or(source);
}

struct MediaLibrary::Playlist {
    QString path;
    QString name;
    WplPlaylist list;
};

struct MediaLibrary::IndexItem {
    QString localPath;
    MediaType type = MediaType::Other;
    double duration = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
};

namespace {

QString MusicDirOrThrow()
{
    const QString music = KnownFolderPath(KnownFolder::Music);
    if (music.isEmpty()) throw AgentError("the music folder cannot be found");
    return music;
}

}  // namespace

MediaLibrary::MediaLibrary()
    : MediaLibrary(MusicDirOrThrow(), AgentDataDir() + QStringLiteral("/MediaLibrary.xml"))
{
}

MediaLibrary::MediaLibrary(QString musicDir, QString indexPath)
    : musicDir_(std::move(musicDir)), indexPath_(std::move(indexPath))
{
}

MediaLibrary::~MediaLibrary() = default;

// --- Playlists ---------------------------------------------------------------------------------

std::vector<MediaLibrary::Playlist> MediaLibrary::LoadPlaylists() const
{
    QFileInfoList files = QDir(PlaylistsDir()).entryInfoList({QStringLiteral("*.wpl")}, QDir::Files);
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return CodeUnitsLess(a.fileName(), b.fileName());
    });
    std::vector<Playlist> playlists;
    for (const QFileInfo& file : files) {
        try {
            WplPlaylist list = WplPlaylist::Load(file.filePath());
            if (list.IsAutoPlaylist()) continue;
            QString name = list.Title();
            if (name.isEmpty()) name = file.completeBaseName();
            playlists.push_back(Playlist{file.filePath(), name, std::move(list)});
        } catch (const AgentError& e) {
            // A file that is not a playlist is no playlist of the collection.
            qCWarning(lcStores).noquote() << "playlist" << file.filePath() << "left out:" << e.what();
        }
    }
    return playlists;
}

QStringList MediaLibrary::PlaylistNames()
{
    QStringList names;
    for (const Playlist& p : LoadPlaylists()) names << p.name;
    return names;
}

std::vector<MediaRecord> MediaLibrary::PlaylistMedia(const QString& name)
{
    std::vector<MediaRecord> records;
    for (const Playlist& p : LoadPlaylists()) {
        if (p.name != name) continue;
        const QString dir = QFileInfo(p.path).absolutePath();
        for (const QString& source : p.list.Sources())
            if (auto record = RecordOf(PeerPathOfSource(source, dir))) records.push_back(std::move(*record));
    }
    return records;
}

namespace {

QString FreePlaylistPath(const QString& dir, const QString& name)
{
    for (int n = 1; n <= kMaxNumberedNames; ++n) {
        const QString file = n == 1 ? name : QStringLiteral("%1 (%2)").arg(name).arg(n);
        const QString path = dir + QLatin1Char('/') + file + QStringLiteral(".wpl");
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) return path;
    }
    throw AgentError("no free file name for the playlist " + name.toStdString());
}

}  // namespace

void MediaLibrary::CreatePlaylist(const QString& name)
{
    RequireSafeFileNameComponent(name, "playlist name");
    for (const Playlist& p : LoadPlaylists())
        if (p.name == name) return;
    if (!QDir().mkpath(PlaylistsDir())) throw AgentError("cannot create " + PlaylistsDir().toStdString());
    WplPlaylist::New(name).Save(FreePlaylistPath(PlaylistsDir(), name));
}

void MediaLibrary::DeletePlaylists(const QStringList& names)
{
    for (const Playlist& p : LoadPlaylists()) {
        if (!names.contains(p.name)) continue;
        QFile file(p.path);
        if (!file.remove())
            throw AgentError("cannot delete " + p.path.toStdString() + ": " +
                             file.errorString().toStdString());
    }
}

void MediaLibrary::RenamePlaylist(const QString& from, const QString& to)
{
    RequireSafeFileNameComponent(to, "playlist name");
    if (from == to) return;
    for (Playlist& p : LoadPlaylists()) {
        if (p.name != from) continue;
        p.list.SetTitle(to);
        p.list.Save(p.path);
        // The file follows its title when that name is free; the title alone is what counts.
        if (QFileInfo(p.path).completeBaseName() != to)
            QFile::rename(p.path, FreePlaylistPath(QFileInfo(p.path).absolutePath(), to));
    }
}

QString MediaLibrary::SourceFor(const QString& localPath) const
{
    const QString dir = PlaylistsDir();
    const auto peerFile = TryLocalToPeer(localPath);
    const auto peerDir = TryLocalToPeer(dir);
    if (!peerFile) throw AgentError("no peer path for " + localPath.toStdString());
    // On the playlist's own drive the player writes the path relative to the playlist.
    if (!peerDir || peerDir->left(2).compare(peerFile->left(2), Qt::CaseInsensitive) != 0) return *peerFile;
    QStringList names;
    for (const QString& name : QDir(dir).relativeFilePath(localPath).split(QLatin1Char('/')))
        names << PeerNameOfLocalName(name);
    return names.join(QLatin1Char('\\'));
}

void MediaLibrary::AddToPlaylist(const QString& name, const QString& peerPath)
{
    const QString local = PeerToLocalPath(peerPath);
    const auto stat = StatFile(local);
    if (!stat) throw AgentError("cannot read the media file " + peerPath.toStdString());

    LoadIndex();
    removed_.removeAll(local);
    auto it =
        std::find_if(items_.begin(), items_.end(), [&](const IndexItem& i) { return i.localPath == local; });
    if (it == items_.end()) {
        items_.push_back(
            IndexItem{local, MediaTypeOfFile(local), ReadMediaDuration(local), stat->size, stat->modifiedNs});
    } else if (it->size != stat->size || it->modifiedNs != stat->modifiedNs) {
        *it =
            IndexItem{local, MediaTypeOfFile(local), ReadMediaDuration(local), stat->size, stat->modifiedNs};
    }
    indexChanged_ = true;
    SaveIndex();

    for (Playlist& p : LoadPlaylists()) {
        if (p.name != name) continue;
        p.list.Append(SourceFor(local));
        p.list.Save(p.path);
        return;
    }
    throw AgentError("no playlist named " + name.toStdString());
}

void MediaLibrary::RemoveFromPlaylist(const QString& name, const QString& peerPath)
{
    for (Playlist& p : LoadPlaylists()) {
        if (p.name != name) continue;
        const QString dir = QFileInfo(p.path).absolutePath();
        if (p.list.RemoveWhere(
                [&](const QString& source) { return PeerPathOfSource(source, dir) == peerPath; }) > 0)
            p.list.Save(p.path);
        return;
    }
    throw AgentError("no playlist named " + name.toStdString());
}

void MediaLibrary::RemoveFromAllPlaylists(const QString& peerPath)
{
    for (Playlist& p : LoadPlaylists()) {
        const QString dir = QFileInfo(p.path).absolutePath();
        if (p.list.RemoveWhere(
                [&](const QString& source) { return PeerPathOfSource(source, dir) == peerPath; }) > 0)
            p.list.Save(p.path);
    }
}

// --- Library -------------------------------------------------------------------------------------

std::optional<MediaRecord> MediaLibrary::RecordOf(const QString& peerPath)
{
    const auto local = TryPeerToLocal(peerPath);
    const auto stat = local ? StatFile(*local) : std::nullopt;
    if (!stat) return std::nullopt;
    LoadIndex();
    double duration = -1;
    for (const IndexItem& item : items_)
        if (item.localPath == *local && item.size == stat->size && item.modifiedNs == stat->modifiedNs)
            duration = item.duration;
    if (duration < 0) duration = ReadMediaDuration(*local);
    return MediaRecord{peerPath, duration, stat->size, stat->fileTime};
}

std::vector<MediaRecord> MediaLibrary::LibraryMedia()
{
    LoadIndex();
    ScanMusicFolder();
    std::vector<MediaRecord> records;
    for (IndexItem& item : items_) {
        if (item.type == MediaType::Other) continue;
        const auto stat = StatFile(item.localPath);
        const auto peer = TryLocalToPeer(item.localPath);
        if (!stat || !peer) continue;  // gone, or not reachable: left out, kept for when it returns
        if (item.size != stat->size || item.modifiedNs != stat->modifiedNs) {
            item.duration = ReadMediaDuration(item.localPath);
            item.size = stat->size;
            item.modifiedNs = stat->modifiedNs;
            indexChanged_ = true;
        }
        records.push_back(MediaRecord{*peer, item.duration, stat->size, stat->fileTime});
    }
    SaveIndex();
    return records;
}

void MediaLibrary::RemoveFromLibrary(const QString& peerPath)
{
    LoadIndex();
    const auto before = items_.size();
    items_.erase(std::remove_if(items_.begin(), items_.end(),
                                [&](const IndexItem& i) { return TryLocalToPeer(i.localPath) == peerPath; }),
                 items_.end());
    indexChanged_ = indexChanged_ || items_.size() != before;
    // Kept out of the music folder's scan while the file is there.
    if (const auto local = TryPeerToLocal(peerPath); local && !removed_.contains(*local)) {
        removed_ << *local;
        indexChanged_ = true;
    }
    SaveIndex();
}

// Adds the music folder's media files that the index does not know yet, in path order, and
// forgets removals of files that are gone.
void MediaLibrary::ScanMusicFolder()
{
    const auto gone = std::remove_if(removed_.begin(), removed_.end(),
                                     [](const QString& path) { return !QFileInfo::exists(path); });
    if (gone != removed_.end()) {
        removed_.erase(gone, removed_.end());
        indexChanged_ = true;
    }
    if (musicDir_.isEmpty() || !QFileInfo(musicDir_).isDir()) return;

    QSet<QString> known;
    for (const IndexItem& item : items_) known.insert(item.localPath);
    const QSet<QString> excluded(removed_.begin(), removed_.end());
    QStringList found;
    QDirIterator it(musicDir_, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!known.contains(path) && !excluded.contains(path) && MediaTypeOfFile(path) != MediaType::Other)
            found << path;
    }
    std::sort(found.begin(), found.end(), CodeUnitsLess);
    for (const QString& path : found) {
        if (const auto stat = StatFile(path)) {
            items_.push_back(IndexItem{path, MediaTypeOfFile(path), ReadMediaDuration(path), stat->size,
                                       stat->modifiedNs});
            indexChanged_ = true;
        }
    }
}

// --- The index file ------------------------------------------------------------------------------
//
//   <mediaLibrary version="1">
//     <item path="/home/u/Music/a.mp3" type="audio" duration="215.5" size="4301234" modified="<ns since
//     1970>"/> <removed path="/home/u/Music/b.mp3"/>
//   </mediaLibrary>
//
// A path holding a character XML 1.0 cannot carry (a control character in a file name) is
// written percent-encoded as "encodedPath" instead: dropping the character would name another
// file, which the next scan would then add again and again.

namespace {

// The agent's own cache: a line per media file, far below this even for huge collections.
constexpr qint64 kMaxIndexBytes = 256 * 1024 * 1024;

QString PathOf(const pugi::xml_node& node)
{
    if (const pugi::xml_attribute encoded = node.attribute("encodedPath"))
        return QString::fromUtf8(QByteArray::fromPercentEncoding(QByteArray(encoded.value())));
    return QString::fromUtf8(node.attribute("path").value());
}

void SetPath(pugi::xml_node node, const QString& path)
{
    if (HasOnlyXmlCharacters(path))
        node.append_attribute("path") = path.toStdString().c_str();
    else
        node.append_attribute("encodedPath") = path.toUtf8().toPercentEncoding("/").constData();
}

}  // namespace

void MediaLibrary::LoadIndex()
{
    if (indexLoaded_) return;
    indexLoaded_ = true;
    const BoundedFileRead read = ReadBoundedRegularFile(indexPath_, kMaxIndexBytes);
    if (read.outcome == BoundedFileRead::Outcome::Missing) return;
    if (read.outcome == BoundedFileRead::Outcome::Unreadable)
        throw AgentError("cannot read " + indexPath_.toStdString() + ": " + read.Reason(kMaxIndexBytes));
    pugi::xml_document doc;
    const pugi::xml_node root =
        read.Ok() && doc.load_buffer(read.bytes.constData(), static_cast<std::size_t>(read.bytes.size())) &&
                !DeeperThan(doc, kMaxXmlDepth)
            ? doc.child("mediaLibrary")
            : pugi::xml_node();
    if (!root) {
        // Only a cache and the removals: keep the damaged file for inspection and start afresh.
        QFile::remove(indexPath_ + QStringLiteral(".damaged"));
        QFile::rename(indexPath_, indexPath_ + QStringLiteral(".damaged"));
        return;
    }
    for (pugi::xml_node node : root.children()) {
        const QString path = PathOf(node);
        if (path.isEmpty()) continue;
        if (std::string(node.name()) == "item") {
            items_.push_back(IndexItem{path, TypeFromName(node.attribute("type").value()),
                                       std::max(0.0, node.attribute("duration").as_double()),
                                       node.attribute("size").as_ullong(),
                                       node.attribute("modified").as_llong()});
        } else if (std::string(node.name()) == "removed") {
            removed_ << path;
        }
    }
}

void MediaLibrary::SaveIndex()
{
    if (!indexChanged_) return;
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("mediaLibrary");
    root.append_attribute("version") = 1;
    for (const IndexItem& item : items_) {
        pugi::xml_node node = root.append_child("item");
        SetPath(node, item.localPath);
        node.append_attribute("type") = TypeName(item.type);
        node.append_attribute("duration") = item.duration;
        node.append_attribute("size") = static_cast<unsigned long long>(item.size);
        node.append_attribute("modified") = static_cast<long long>(item.modifiedNs);
    }
    for (const QString& path : removed_)
        SetPath(root.append_child("removed"), path);
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    WriteFileAtomically(indexPath_, QByteArray::fromStdString(out.str()), 0600);
    indexChanged_ = false;
}

// --- The workers ---------------------------------------------------------------------------------

namespace {

template <typename Work>
WmpResult RunWorker(QString* failure, Work work)
{
    try {
        MediaLibrary library;
        work(library);
        return kWmpOk;
    } catch (const std::exception& e) {
        if (failure) *failure = QString::fromUtf8(e.what());
        return kWmpFailed;
    }
}

}  // namespace

WmpResult WmpGetPlaylists(QStringList& names, QString* failure)
{
    return RunWorker(failure, [&](MediaLibrary& lib) { names << lib.PlaylistNames(); });
}

WmpResult WmpGetLibraryMedia(std::vector<MediaRecord>& items, QString* failure)
{
    return RunWorker(failure, [&](MediaLibrary& lib) {
        auto media = lib.LibraryMedia();
        items.insert(items.end(), std::make_move_iterator(media.begin()),
                     std::make_move_iterator(media.end()));
    });
}

WmpResult WmpGetPlaylistMedia(const QString& name, std::vector<MediaRecord>& items, QString* failure)
{
    return RunWorker(failure, [&](MediaLibrary& lib) {
        auto media = lib.PlaylistMedia(name);
        items.insert(items.end(), std::make_move_iterator(media.begin()),
                     std::make_move_iterator(media.end()));
    });
}

WmpResult WmpCreatePlaylists(const QStringList& names, QString* failure)
{
    return RunWorker(failure, [&](MediaLibrary& lib) {
        for (const QString& name : names) lib.CreatePlaylist(name);
    });
}

WmpResult WmpDeletePlaylists(const QStringList& names, QString* failure)
{
    return RunWorker(failure, [&](MediaLibrary& lib) { lib.DeletePlaylists(names); });
}

WmpResult WmpRenamePlaylist(const QString& oldName, const QString& newName, QString* failure)
{
    return RunWorker(failure, [&](MediaLibrary& lib) { lib.RenamePlaylist(oldName, newName); });
}

WmpResult WmpAddToPlaylist(const QString& name, const QString& path, QString* failure)
{
    return RunWorker(failure, [&](MediaLibrary& lib) { lib.AddToPlaylist(name, path); });
}

WmpResult WmpRemoveFromPlaylist(const QString& name, const QString& path, QString* failure)
{
    return RunWorker(failure, [&](MediaLibrary& lib) { lib.RemoveFromPlaylist(name, path); });
}

WmpResult WmpRemoveFromAllPlaylists(const QString& path, QString* failure)
{
    return RunWorker(failure, [&](MediaLibrary& lib) { lib.RemoveFromAllPlaylists(path); });
}

WmpResult WmpRemoveFromLibrary(const QString& path, QString* failure)
{
    return RunWorker(failure, [&](MediaLibrary& lib) { lib.RemoveFromLibrary(path); });
}
