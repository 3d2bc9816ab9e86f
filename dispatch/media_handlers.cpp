// The media requests: playlists and the library of media files, deleting a media file and
// the user's music folder. The work is done by the media workers (media/media_library.h);
// these handlers turn payloads into their arguments and their results into replies. A failing
// worker or a malformed payload escapes as an exception: the dispatcher logs it and answers
// AS_ERROR.
#include <sys/stat.h>

#include <limits>

#include "common/byte_io.h"
#include "common/errors.h"
#include "dispatch/dispatcher.h"
#include "dispatch/file_request_helpers.h"
#include "dispatch/request_context.h"
#include "platform/known_folders.h"
#include "platform/local_name_codec.h"
#include "platform/path_map.h"
#include "platform/shell_operations.h"
#include "media/media_library.h"

namespace {

// A text's byte count with its terminator must fit the u16 in front of it.
constexpr qsizetype kMaxCountedUnits = (std::numeric_limits<std::uint16_t>::max() - 2) / 2;

void WriteTerminatedText(ByteWriter& w, const QString& text)
{
    w.U16(static_cast<std::uint16_t>(2 * text.size() + 2));
    w.Utf16(text);
    w.U16(0);
}

// Per name: u16 byte count (terminator included), the UTF-16 name, a zero unit.
QByteArray EncodePlaylistNameList(const QStringList& names)
{
    QByteArray out;
    ByteWriter w(out);
    for (const QString& name : names)
        if (name.size() <= kMaxCountedUnits) WriteTerminatedText(w, name);
    return out;
}

// Per record: the terminated path with its count, duration, size, last-write time.
QByteArray EncodeMediaRecords(const std::vector<MediaRecord>& records, bool forwardSlashes)
{
    QByteArray out;
    ByteWriter w(out);
    for (const MediaRecord& record : records) {
        QString path = record.path;
        if (path.size() > kMaxCountedUnits) continue;
        if (forwardSlashes) path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        WriteTerminatedText(w, path);
        w.F64(record.duration);
        w.U64(record.size);
        w.U64(record.lastWrite);
    }
    return out;
}

// u16 byte count and text, twice; each text exactly as long as its count says.
std::pair<QString, QString> TwoCountedTexts(const RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    QString first = r.CountedUtf16();
    QString second = r.CountedUtf16();
    return {std::move(first), std::move(second)};
}

QString ToBackslashes(QString path)
{
    return path.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

void Require(WmpResult result, const QString& failure, bool zeroOnly = false)
{
    if (result < 0 || (zeroOnly && result != kWmpOk))
        throw AgentError(failure.isEmpty() ? std::string("media library failure") : failure.toStdString());
}

// To the freedesktop Trash. Only files: a media request never trashes a whole folder.
void MoveFileToTrash(const QString& localPath)
{
    // Looked at by its own bytes, as the Trash moves it: a name that is not UTF-8 must not be
    // judged by a look-alike.
    struct stat st {};
    if (lstat(EncodeLocalPath(localPath).constData(), &st) != 0)
        throw AgentError("no such file: " + localPath.toStdString());
    if (S_ISDIR(st.st_mode)) throw AgentError("a folder, not a media file: " + localPath.toStdString());
    if (const std::error_code error = MoveToTrash(localPath))
        throw AgentError("cannot move " + localPath.toStdString() + " to the trash: " + error.message());
}

void GetPlaylists(RequestContext& ctx)
{
    QStringList names;
    QString failure;
    Require(WmpGetPlaylists(names, &failure), failure, true);
    ctx.Reply(EncodePlaylistNameList(names));
}

void GetMediaList(RequestContext& ctx)
{
    std::vector<MediaRecord> items;
    QString failure;
    Require(WmpGetLibraryMedia(items, &failure), failure, true);
    ctx.Reply(EncodeMediaRecords(items, false));
}

void GetPlaylistItems(RequestContext& ctx)
{
    std::vector<MediaRecord> items;
    QString failure;
    Require(WmpGetPlaylistMedia(ctx.PayloadText(), items, &failure), failure);
    ctx.Reply(EncodeMediaRecords(items, true));
}

void AddPlaylists(RequestContext& ctx)
{
    // The whole payload is the name; its length ends it.
    QString failure;
    Require(WmpCreatePlaylists({utf16::FromBytesUpToZero(ctx.payload)}, &failure), failure);
    ctx.Reply();
}

void DelPlaylists(RequestContext& ctx)
{
    QString failure;
    Require(WmpDeletePlaylists({ctx.PayloadText()}, &failure), failure);
    ctx.Reply();
}

void RenamePlaylist(RequestContext& ctx)
{
    const auto [oldName, newName] = TwoCountedTexts(ctx);
    QString failure;
    Require(WmpRenamePlaylist(oldName, newName, &failure), failure);
    ctx.Reply();
}

void AddPlaylistItem(RequestContext& ctx)
{
    const auto [playlist, path] = TwoCountedTexts(ctx);
    QString failure;
    Require(WmpAddToPlaylist(playlist, ToBackslashes(path), &failure), failure);
    ctx.Reply();
}

void DelPlaylistItem(RequestContext& ctx)
{
    const auto [playlist, path] = TwoCountedTexts(ctx);
    QString failure;
    Require(WmpRemoveFromPlaylist(playlist, ToBackslashes(path), &failure), failure);
    ctx.Reply();
}

// Out of every playlist, out of the library, then into the trash; a failing step leaves the
// earlier ones done.
void DelMedia(RequestContext& ctx)
{
    const QString path = ctx.PayloadText();
    if (LeadsToAgentFiles(ctx, path, PathUse::Whole)) throw AgentError("the path leads to the agent's own files");
    QString failure;
    Require(WmpRemoveFromAllPlaylists(path, &failure), failure);
    Require(WmpRemoveFromLibrary(path, &failure), failure);
    MoveFileToTrash(PeerToLocalPath(path));
    ctx.Reply();
}

void GetMusicDir(RequestContext& ctx)
{
    const QString music = KnownFolderPath(KnownFolder::Music);
    if (music.isEmpty()) throw AgentError("the music folder cannot be found");
    ctx.Reply(utf16::Bytes(LocalToPeerPath(music)));
}

}  // namespace

void RegisterMediaHandlers(Dispatcher& d)
{
    d.SetHandler(AS_GET_PLAYLISTS, GetPlaylists);
    d.SetHandler(AS_GET_MEDIA_LIST, GetMediaList);
    d.SetHandler(AS_GET_PLAYLIST_ITEMS, GetPlaylistItems);
    d.SetHandler(AS_ADD_PLAYLISTS, AddPlaylists);
    d.SetHandler(AS_DEL_PLAYLISTS, DelPlaylists);
    d.SetHandler(AS_RENAME_PLAYLIST, RenamePlaylist);
    d.SetHandler(AS_ADD_PLAYLIST_ITEM, AddPlaylistItem);
    d.SetHandler(AS_DEL_PLAYLIST_ITEM, DelPlaylistItem);
    d.SetHandler(AS_DEL_MEDIA, DelMedia);
    d.SetHandler(AS_GET_MUSIC_DIR, GetMusicDir);
}
