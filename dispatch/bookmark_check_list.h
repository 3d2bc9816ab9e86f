#pragma once
#include <QHash>
#include <QString>
#include <cstddef>
#include <functional>
#include <vector>

#include "common/bookmark_store.h"
#include "dispatch/bookmark_id.h"

// The bookmarks as the peer last saw them, in order, kept in step by the bookmark requests:
// after a change check it mirrors the browser. Entries of a browser whose keys are file paths
// (its catalogue row's BookmarkNaming, Internet Explorer's) are matched by their identifier
// words, the other browsers' by their key text (exactly, case-sensitive).
using BookmarkCheckEntry = UrlFileEntry;
using BookmarkCheckList = std::vector<BookmarkCheckEntry>;

// Whether the entry stands for the bookmark the peer names by `id`.
bool EntryCarriesId(BrowserKind kind, const BookmarkCheckEntry& entry, BookmarkId id);

// The entry for a bookmark of this key and checksum: where keys are file paths it carries the
// identifier words of its path (FavoriteIdOfPath), otherwise none.
BookmarkCheckEntry EntryForKey(BrowserKind kind, const QString& key, std::uint32_t crc);

// The identifier the peer knows an entry by.
BookmarkId IdOfEntry(BrowserKind kind, const BookmarkCheckEntry& entry);

// Where the entries of each identifier stand in one check list, so that a request by identifier
// costs the same however long the list is. Built at the first look-up after the list changed;
// the list's owner drops it (or reports an appended entry) whenever it changes the list.
class BookmarkIdIndex {
public:
    // The positions of the entries carrying `id` (EntryCarriesId), in list order.
    std::vector<std::size_t> EntriesCarrying(BrowserKind kind, const BookmarkCheckList& list, BookmarkId id);
    // `list` gained one entry at its end.
    void Appended(BrowserKind kind, const BookmarkCheckList& list);
    void Drop();

private:
    void Build(BrowserKind kind, const BookmarkCheckList& list);

    bool built_ = false;
    BrowserKind kind_{};
    // The first entry of each identifier, and from each entry the next one of its identifier.
    QHash<std::uint64_t, std::size_t> first_;
    std::vector<std::size_t> next_;
};

// What a change check reports, each in the order found.
struct BookmarkChanges {
    std::vector<BookmarkId> added;
    std::vector<BookmarkId> edited;
    std::vector<BookmarkId> deleted;
};

// Brings the list in line with the store's current bookmarks and tells what differed:
//  - edited: an entry whose bookmark is still there with another checksum takes the new one;
//  - added: a current bookmark no entry matches is appended (once, even when listed twice);
//  - deleted: an entry no current bookmark matches is removed.
// Where keys are file paths the current entries carry their checksums; for the other browsers
// `checksum` is asked once per current key. Time grows with the sum of the two counts.
BookmarkChanges UpdateCheckList(BrowserKind kind, BookmarkCheckList& list,
                                const std::vector<UrlFileEntry>& current,
                                const std::function<std::uint32_t(const QString&)>& checksum);

// The reply of a change check: for added, edited and deleted a u16 count and the identifiers.
// Throws AgentError when a section has more identifiers than its count can hold.
QByteArray EncodeBookmarkChanges(const BookmarkChanges& changes);
