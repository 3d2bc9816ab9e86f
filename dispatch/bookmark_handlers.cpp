// The bookmark requests: change check, state, and reads and writes of single bookmarks of the
// browser the peer chose. Where a store's keys are file paths (BookmarkStore::KeysArePaths), the
// identifiers stand for paths that only the check list knows, so its requests by identifier
// serve bookmarks a check, a load or an add put there.
#include <algorithm>

#include "common/bookmark_checksums.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/bookmark_record_codec.h"
#include "dispatch/bookmark_sync_state.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_context.h"
#include "dispatch/state_commit.h"
#include "stores/catalog/source_catalog.h"
#include "stores/catalog/store_set.h"
#include "wire/agent_host.h"

namespace {

BookmarkSyncState& Bookmarks(RequestContext& ctx)
{
    return *ctx.agent.bookmarks;
}

// The stored browser code that source detection and the peer's choice set.
BrowserKind Kind(const RequestContext& ctx)
{
    return static_cast<BrowserKind>(ctx.agent.browserId);
}

BookmarkStore* SelectedStore(const RequestContext& ctx)
{
    return ctx.agent.stores->Select(Kind(ctx));
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
    bm.EditCheckList() = std::move(records.entries);
}

// The check list's entry for a bookmark just written under `key`.
BookmarkCheckEntry WrittenEntry(BrowserKind kind, BookmarkStore& store, const QString& key,
                                const BookmarkRecord& record)
{
    return EntryForKey(kind, key, store.WrittenChecksum(key, record));
}

void CheckBookmarks(RequestContext& ctx)
{
    BookmarkSyncState& bm = Bookmarks(ctx);
    ctx.agent.log.WriteLogLine(QStringLiteral("AS_CHECK_BOOKMARKS"));
    bm.suffix = ctx.PayloadText();
    bm.EditCheckList().clear();
    // The check always starts from the saved state, whatever earlier requests changed in memory.
    if (FindSource(Kind(ctx))) LoadCheckList(ctx, Kind(ctx));

    BookmarkStore* store = SelectedStore(ctx);
    const std::vector<UrlFileEntry> current = store ? store->GetIDs() : std::vector<UrlFileEntry>{};
    const BookmarkChanges changes = UpdateCheckList(
        Kind(ctx), bm.EditCheckList(), current, [store](const QString& key) { return store->IDtoCRC32(key); });
    ctx.Reply(EncodeBookmarkChanges(changes));
    if (store) store->AfterCheck();
    Ok(ctx, "AS_CHECK_BOOKMARKS...ok");
}

void GetBookmark(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const BookmarkId id = ReadId(r);
    const BrowserKind kind = Kind(ctx);
    BookmarkRecord record;
    if (BookmarkStore* store = SelectedStore(ctx)) {
        if (store->KeysArePaths()) {
            BookmarkSyncState& bm = Bookmarks(ctx);
            for (const std::size_t at : bm.EntriesCarrying(kind, id)) store->Get(bm.CheckList()[at].key, record);
        } else {
            store->Get(BookmarkKeyText(kind, id), record);
        }
    }
    // A record beyond one message is refused (AS_ERROR) rather than cut.
    ctx.Reply(EncodeBookmarkReply(kind, id, record));
    Ok(ctx, "AS_GET_BOOKMARK...ok");
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
    BookmarkId answer;

    if (BookmarkStore* store = SelectedStore(ctx)) {
        if (store->KeysArePaths()) {
            // The bookmark's file may move: its entry is then replaced by the new path's.
            const std::vector<std::size_t> carrying = bm.EntriesCarrying(kind, id);
            if (!carrying.empty()) {
                const std::size_t at = carrying.front();
                const QString oldPath = bm.CheckList()[at].key;
                const QString newPath = store->Edit(oldPath, record);
                const BookmarkCheckEntry written = WrittenEntry(kind, *store, newPath, record);
                if (newPath != oldPath) {
                    BookmarkCheckList& list = bm.EditCheckList();
                    list.erase(list.begin() + static_cast<std::ptrdiff_t>(at));
                    list.push_back(written);
                } else {
                    bm.SetEntryChecksum(at, written.crc);
                }
                answer = IdOfEntry(kind, written);
            }
        } else {
            BookmarkCheckList& list = bm.EditCheckList();
            const QString key = BookmarkKeyText(kind, id);
            store->Edit(key, record);
            const BookmarkCheckEntry written = WrittenEntry(kind, *store, key, record);
            for (BookmarkCheckEntry& e : list)
                if (EntryCarriesId(kind, e, id)) e.crc = written.crc;
            answer = IdOfEntry(kind, written);
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
    BookmarkId answer;

    if (BookmarkStore* store = SelectedStore(ctx)) {
        const QString key = store->Add(record);
        const BookmarkCheckEntry written = WrittenEntry(kind, *store, key, record);
        Bookmarks(ctx).AppendToCheckList(kind, written);
        answer = IdOfEntry(kind, written);
    }
    ctx.Reply(IdPayload(answer));
    Ok(ctx, "AS_ADD_BOOKMARK...ok");
}

void DelBookmark(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const BookmarkId id = ReadId(r);
    const BrowserKind kind = Kind(ctx);
    BookmarkCheckList& list = Bookmarks(ctx).EditCheckList();

    if (BookmarkStore* store = SelectedStore(ctx)) {
        if (store->KeysArePaths()) {
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
    // No new peer may come in while the bookmarks go; the listener accepts again afterwards,
    // also when the deletion fails.
    const AcceptPause pause(ctx.agent.host());

    if (BookmarkStore* store = SelectedStore(ctx)) store->DeleteAll();
    Bookmarks(ctx).EditCheckList().clear();
    ctx.Reply();
    Ok(ctx, "AS_DEL_ALL_BOOKMARKS...ok");
}

void SaveBookmarksState(RequestContext& ctx)
{
    // The state describes the file: the store's changes are written first, and a commit that
    // fails leaves the old state in place. A state that cannot be written is reported: the peer
    // must not take it for saved.
    const QStringList unwritten = CommitBeforeStateSave(SelectedStore(ctx), nullptr);
    if (BookmarkStateFile::HoldsRecords(ctx.agent.browserId))
        BookmarkStateFile(Kind(ctx), ctx.agent.machineId, Bookmarks(ctx).suffix)
            .Save(Bookmarks(ctx).CheckList());
    FailAfterPartialCommit(unwritten);
    ctx.Reply();
}

void LoadBookmarksState(RequestContext& ctx)
{
    Bookmarks(ctx).EditCheckList().clear();
    if (BookmarkStateFile::HoldsRecords(ctx.agent.browserId)) LoadCheckList(ctx, Kind(ctx));
    ctx.Reply();
}

void DelBookmarkState(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const BookmarkId id = ReadId(r);
    const BrowserKind kind = Kind(ctx);
    std::erase_if(Bookmarks(ctx).EditCheckList(),
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
