#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

class WplPlaylist;

// One media item as the media requests list it.
struct MediaRecord {
    QString path;                 // the item's source as the peer names files: "C:\Music\a.mp3"
    double duration = 0;          // seconds; 0 when the file's headers do not tell it cheaply
    std::uint64_t size = 0;       // bytes
    std::uint64_t lastWrite = 0;  // last-write time as a FILETIME (100 ns units since 1601, UTC)
};

enum class MediaType { Other, Audio, Video };
// By the file name's MIME type; playlists and other non-media files are Other.
MediaType MediaTypeOfFile(const QString& localPath);

// The media library of this computer, in the place of Windows Media Player's:
// - playlists are .wpl files in the music folder's "Playlists" folder, one per playlist, named
//   after its title; the collection's order is the file names' order;
// - the library is the music folder's media files plus every file added to a playlist, kept as
//   an index (type, duration, size and time when last probed) in the agent's data folder,
//   together with the files removed from the library (until they are gone from the disk).
// Items are named by peer paths; a file that cannot be read (missing, on no drive, a stream
// address) is left out of every list.
class MediaLibrary {
public:
    // The user's music folder and "MediaLibrary.xml" in the agent's data folder.
    MediaLibrary();
    MediaLibrary(QString musicDir, QString indexPath);
    ~MediaLibrary();
    MediaLibrary(const MediaLibrary&) = delete;
    MediaLibrary& operator=(const MediaLibrary&) = delete;

    QString PlaylistsDir() const { return musicDir_ + QStringLiteral("/Playlists"); }

    // Titles of the playlists that list items (auto playlists and unreadable files left out).
    QStringList PlaylistNames();
    // Every audio and video item of the library, in library order.
    std::vector<MediaRecord> LibraryMedia();
    // The items of every playlist of that name, in playlist order.
    std::vector<MediaRecord> PlaylistMedia(const QString& name);

    // Creates an empty playlist; one of that name already there is left as it is.
    void CreatePlaylist(const QString& name);
    // Deletes every playlist whose name is in the list.
    void DeletePlaylists(const QStringList& names);
    // Gives the new name to every playlist of the old name (none is no failure).
    void RenamePlaylist(const QString& from, const QString& to);
    // Adds the file to the library, then appends it to the first playlist of that name.
    // Throws when the file cannot be read or no playlist has that name.
    void AddToPlaylist(const QString& name, const QString& peerPath);
    // Removes every item of that file from the first playlist of that name (none: throws).
    void RemoveFromPlaylist(const QString& name, const QString& peerPath);
    void RemoveFromAllPlaylists(const QString& peerPath);
    // Takes the file out of the library without deleting it; it stays out until it is added again.
    void RemoveFromLibrary(const QString& peerPath);

private:
    struct Playlist;
    struct IndexItem;
    std::vector<Playlist> LoadPlaylists() const;
    std::optional<MediaRecord> RecordOf(const QString& peerPath);
    QString SourceFor(const QString& localPath) const;
    void LoadIndex();
    void SaveIndex();
    void ScanMusicFolder();

    const QString musicDir_;
    const QString indexPath_;
    bool indexLoaded_ = false;
    bool indexChanged_ = false;
    std::vector<IndexItem> items_;
    QStringList removed_;
};

// The peer path a playlist entry names, or the entry itself when it names no local file:
// relative entries are relative to the playlist's folder (`playlistDir`, a local path),
// "file:" URLs and local absolute paths are turned into peer paths, drive paths are kept.
QString PeerPathOfSource(const QString& source, const QString& playlistDir);

// The media workers: each runs on a library of its own and reports as the player's interfaces
// do, 0 (or another non-negative value) for success and a negative result for failure, with
// the reason in `failure` when given.
using WmpResult = std::int32_t;
inline constexpr WmpResult kWmpOk = 0;
inline constexpr WmpResult kWmpFailed = static_cast<WmpResult>(0x80004005u);

WmpResult WmpGetPlaylists(QStringList& names, QString* failure = nullptr);
WmpResult WmpGetLibraryMedia(std::vector<MediaRecord>& items, QString* failure = nullptr);
WmpResult WmpGetPlaylistMedia(const QString& name, std::vector<MediaRecord>& items,
                              QString* failure = nullptr);
WmpResult WmpCreatePlaylists(const QStringList& names, QString* failure = nullptr);
WmpResult WmpDeletePlaylists(const QStringList& names, QString* failure = nullptr);
WmpResult WmpRenamePlaylist(const QString& oldName, const QString& newName, QString* failure = nullptr);
WmpResult WmpAddToPlaylist(const QString& name, const QString& path, QString* failure = nullptr);
WmpResult WmpRemoveFromPlaylist(const QString& name, const QString& path, QString* failure = nullptr);
WmpResult WmpRemoveFromAllPlaylists(const QString& path, QString* failure = nullptr);
WmpResult WmpRemoveFromLibrary(const QString& path, QString* failure = nullptr);
