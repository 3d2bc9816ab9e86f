// The bookmark requests: change check, state, and reads and writes of single bookmarks of the
// browser the peer chose. Internet Explorer's identifiers stand for file paths that only the
// check list knows, so its requests by identifier serve bookmarks a check, a load or an add put
// there.
#include <algorithm>

#include "common/bookmark_checksums.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/bookmark_record_codec.h"
#include "dispatch/bookmark_sync_state.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_context.h"
#include "dispatch/source_flags.h"
#include "wire/agent_host.h"

// The stored browser code that source detection and the peer's choice set is read as a BrowserKind.
static_assert(static_cast<std::uint32_t>(BrowserKind::InternetExplorer) == kBrowserInternetExplorer &&
              static_cast<std::uint32_t>(BrowserKind::Firefox) == kBrowserFirefox &&
              static_cast<std::uint32_t>(BrowserKind::Opera) == kBrowserOpera &&
              static_cast<std::uint32_t>(BrowserKind::Chrome) == kBrowserChrome &&
              static_cast<std::uint32_t>(BrowserKind::Safari) == kBrowserSafari);

namespace {

BookmarkSyncState& Bookmarks(RequestContext& ctx)
{
    return *ctx.agent.bookmarks;
}

BrowserKind Kind(const RequestContext& ctx)
{
    return static_cast<BrowserKind>(ctx.agent.browserId);
}

// Browsers whose bookmarks are kept in a state file by the load and save requests.
bool HasStateRecords(std::uint32_t browserKind)
{
    return browserKind < static_cast<std::uint32_t>(BrowserKind::Safari);
}

void Ok(RequestContext& ctx, const char* line)
{
    ctx.agent.log.WriteLogLine(QString::fromLatin1(line));
}

BookmarkId ReadId(ByteReader& r)
{
    if (r.Remaining() < 8)
        throw MalformedData("bookmark identifier of " + std::to_string(r.Remaining()) + " bytes");
    return BookmarkId::Read(r);
}

QByteArray IdPayload(BookmarkId id)
{
    QByteArray out;
    ByteWriter w(out);
    id.Write(w);
    return out;
}

// Replaces the check list by the state file's whole records; a damaged end is reported and
// dropped, and the next save writes the list whole again.
void LoadCheckList(RequestContext& ctx, BrowserKind kind)
{
    BookmarkSyncState& bm = Bookmarks(ctx);
    const BookmarkStateFile file(kind, ctx.agent.machineId, bm.suffix);
    BookmarkStateFile::Records records = file.Load();
    if (records.ignoredBytes > 0)
        ctx.agent.log.WriteLogLine(
            QStringLiteral("bookmark state file %1: %2 damaged bytes after %3 whole records ignored")
                .arg(file.Path())
                .arg(records.ignoredBytes)
                .arg(records.entries.size()));
    bm.checkList = std::move(records.entries);
}

BookmarkCheckEntry FavoriteEntry(const QString& path)
{
    const BookmarkId id = BookmarkId::OfFavoritePath(path);
    return {path, Crc32OfFile(path), id.low, id.high};
}

void CheckBookmarks(RequestContext& ctx)
{
    BookmarkSyncState& bm = Bookmarks(ctx);
    ctx.agent.log.WriteLogLine(QStringLiteral("AS_CHECK_BOOKMARKS"));
    bm.suffix = ctx.PayloadText();
    bm.checkList.clear();
    // The check always starts from the saved state, whatever earlier requests changed in memory.
    if (ctx.agent.browserId < kBrowserKindCount) LoadCheckList(ctx, Kind(ctx));

    BookmarkStore* store = bm.SelectStore(ctx.agent.browserId);
    const std::vector<UrlFileEntry> current = store ? store->GetIDs() : std::vector<UrlFileEntry>{};
    const BookmarkChanges changes = UpdateCheckList(
        Kind(ctx), bm.checkList, current, [store](const QString& key) { return store->IDtoCRC32(key); });
    ctx.Reply(EncodeBookmarkChanges(changes));
    Ok(ctx, "AS_CHECK_BOOKMARKS...ok");
}

void GetBookmark(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const BookmarkId id = ReadId(r);
    const BrowserKind kind = Kind(ctx);
    BookmarkRecord record;
    if (BookmarkStore* store = Bookmarks(ctx).SelectStore(ctx.agent.browserId)) {
        if (kind == BrowserKind::InternetExplorer) {
            for (const BookmarkCheckEntry& e : Bookmarks(ctx).checkList)
                if (EntryCarriesId(kind, e, id)) store->Get(e.key, record);
        } else {
            store->Get(BookmarkKeyText(kind, id), record);
        }
    }

    QByteArray payload;
    ByteWriter w(payload);
    // Safari's bookmarks have no identifier: its record starts with the count, and the
    // identifier's 8 bytes trail as zeros so the length stays that of every other record.
    const bool safari = kind == BrowserKind::Safari;
    if (!safari) id.Write(w);
    EncodeBookmarkFields(record, w);
    w.Zeros(safari ? 10 : 2);
    // A record beyond one message is refused (AS_ERROR) rather than cut.
    ctx.Reply(payload);
    Ok(ctx, "AS_GET_BOOKMARK...ok");
}

// The checksum of a bookmark just written: Firefox's is what its database holds now; Chrome's
// and Opera's is that of the fields as sent, which their stores compute alike.
std::uint32_t WrittenBookmarkCrc(BrowserKind kind, BookmarkStore& store, const QString& key,
                                 const BookmarkRecord& record)
{
    return kind == BrowserKind::Firefox ? store.IDtoCRC32(key)
                                        : BookmarkCrc32(record.path, record.name, record.url);
}

void SetBookmark(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    // Every browser's request carries the identifier, Safari's too, so the fields are read
    // from where they are.
    const BookmarkId id = ReadId(r);
    const BookmarkRecord record = DecodeBookmarkFields(r);
    const BrowserKind kind = Kind(ctx);
    BookmarkSyncState& bm = Bookmarks(ctx);
    BookmarkCheckList& list = bm.checkList;
    BookmarkId answer;

    if (BookmarkStore* store = bm.SelectStore(ctx.agent.browserId)) {
        if (kind == BrowserKind::InternetExplorer) {
            const auto it = std::find_if(list.begin(), list.end(), [&](const BookmarkCheckEntry& e) {
                return EntryCarriesId(kind, e, id);
            });
            if (it != list.end()) {
                const QString oldPath = it->key;
                const QString newPath = store->Edit(oldPath, record);
                const auto at = it - list.begin();
                if (newPath != oldPath) {
                    list.erase(list.begin() + at);
                    list.push_back(FavoriteEntry(newPath));
                } else {
                    list[static_cast<std::size_t>(at)].crc = Crc32OfFile(newPath);
                }
                answer = BookmarkId::OfFavoritePath(newPath);
            }
        } else {
            const QString key = BookmarkKeyText(kind, id);
            store->Edit(key, record);
            const std::uint32_t crc = WrittenBookmarkCrc(kind, *store, key, record);
            for (BookmarkCheckEntry& e : list)
                if (EntryCarriesId(kind, e, id)) e.crc = crc;
            answer = kind == BrowserKind::Firefox ? BookmarkId{id.low, 0} : id;
        }
    }
    ctx.Reply(IdPayload(answer));
    Ok(ctx, "AS_SET_BOOKMARK...ok");
}

void AddBookmark(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const BookmarkRecord record = DecodeBookmarkFields(r);
    const BrowserKind kind = Kind(ctx);
    BookmarkSyncState& bm = Bookmarks(ctx);
    BookmarkId answer;

    if (BookmarkStore* store = bm.SelectStore(ctx.agent.browserId)) {
        const QString key = store->Add(record);
        if (kind == BrowserKind::InternetExplorer) {
            bm.checkList.push_back(FavoriteEntry(key));
            answer = BookmarkId::OfFavoritePath(key);
        } else {
            const std::uint32_t crc = WrittenBookmarkCrc(kind, *store, key, record);
            bm.checkList.push_back({key, crc, 0, 0});
            answer = BookmarkIdOfKey(kind, key);
        }
    }
    ctx.Reply(IdPayload(answer));
    Ok(ctx, "AS_ADD_BOOKMARK...ok");
}

void DelBookmark(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const BookmarkId id = ReadId(r);
    const BrowserKind kind = Kind(ctx);
    BookmarkSyncState& bm = Bookmarks(ctx);
    BookmarkCheckList& list = bm.checkList;

    if (BookmarkStore* store = bm.SelectStore(ctx.agent.browserId)) {
        if (kind == BrowserKind::InternetExplorer) {
            // Each entry goes from the list as soon as its file is gone, so a failure half way
            // leaves the list true to the folder.
            for (std::size_t i = 0; i < list.size();) {
                if (!EntryCarriesId(kind, list[i], id)) {
                    ++i;
                    continue;
                }
                store->Delete(list[i].key);
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            }
        } else {
            store->Delete(BookmarkKeyText(kind, id));
            std::erase_if(list, [&](const BookmarkCheckEntry& e) { return EntryCarriesId(kind, e, id); });
        }
    }
    ctx.Reply();
    Ok(ctx, "AS_DEL_BOOKMARK...ok");
}

void DelAllBookmarks(RequestContext& ctx)
{
    AgentHost& host = ctx.agent.host();
    host.SetAcceptingConnections(false);
    // No new peer may come in while the bookmarks go; the listener accepts again afterwards,
    // also when the deletion fails.
    struct AcceptAgain {
        AgentHost& host;
        ~AcceptAgain() { host.SetAcceptingConnections(true); }
    } acceptAgain{host};

    BookmarkSyncState& bm = Bookmarks(ctx);
    if (BookmarkStore* store = bm.SelectStore(ctx.agent.browserId)) store->DeleteAll();
    bm.checkList.clear();
    ctx.Reply();
    Ok(ctx, "AS_DEL_ALL_BOOKMARKS...ok");
}

void SaveBookmarksState(RequestContext& ctx)
{
    // A state that cannot be written is reported: the peer must not take it for saved.
    if (HasStateRecords(ctx.agent.browserId))
        BookmarkStateFile(Kind(ctx), ctx.agent.machineId, Bookmarks(ctx).suffix)
            .Save(Bookmarks(ctx).checkList);
    ctx.Reply();
}

void LoadBookmarksState(RequestContext& ctx)
{
    Bookmarks(ctx).checkList.clear();
    if (HasStateRecords(ctx.agent.browserId)) LoadCheckList(ctx, Kind(ctx));
    ctx.Reply();
}

void DelBookmarkState(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const BookmarkId id = ReadId(r);
    const BrowserKind kind = Kind(ctx);
    std::erase_if(Bookmarks(ctx).checkList,
                  [&](const BookmarkCheckEntry& e) { return EntryCarriesId(kind, e, id); });
    ctx.Reply();
}

}  // namespace

void RegisterBookmarkHandlers(Dispatcher& d)
{
    d.SetHandler(AS_CHECK_BOOKMARKS, CheckBookmarks);
    d.SetHandler(AS_GET_BOOKMARK, GetBookmark);
    d.SetHandler(AS_SET_BOOKMARK, SetBookmark);
    d.SetHandler(AS_ADD_BOOKMARK, AddBookmark);
    d.SetHandler(AS_DEL_BOOKMARK, DelBookmark);
    d.SetHandler(AS_DEL_ALL_BOOKMARKS, DelAllBookmarks);
    d.SetHandler(AS_SAVE_BOOKMARKS_STATE, SaveBookmarksState);
    d.SetHandler(AS_LOAD_BOOKMARKS_STATE, LoadBookmarksState);
    d.SetHandler(AS_DEL_BOOKMARK_STATE, DelBookmarkState);
}
