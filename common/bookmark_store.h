#pragma once
#include <QString>
#include <cstdint>
#include <vector>

#include "common/bookmark_checksums.h"
#include "common/store_lifecycle.h"

// The bookmark source the peer chose (the stored "browserID"). Values outside 0-4 select nothing.
enum class BrowserKind : std::uint32_t {
    InternetExplorer = 0,
    Firefox = 1,
    Opera = 2,
    Chrome = 3,
    Safari = 4,  // no store: the peer reads Safari's own file
};

inline constexpr std::uint32_t kBrowserKindCount = 5;

// One bookmark as the peer sees it. `path` is the folder below the browser's bookmark root
// (empty at the root), `name` the title, `url` the address.
struct BookmarkRecord {
    QString path;
    QString name;
    QString url;
    friend bool operator==(const BookmarkRecord&, const BookmarkRecord&) = default;
};

// A bookmark as a store lists it and as the agent remembers it between synchronisations.
// Internet Explorer has no identifier of its own: there `key` is the full path of the ".url"
// file and (idLow, idHigh) is the identifier the peer knows it by. The other browsers have one:
// `key` is its decimal text and the id words stay 0.
struct UrlFileEntry {
    QString key;
    std::uint32_t crc = 0;     // checksum of what the peer synchronises of the bookmark
    std::uint32_t idLow = 0;   // Internet Explorer: Crc32OfText of the path
    std::uint32_t idHigh = 0;  // Internet Explorer: Crc32OfInt of the path's length
    friend bool operator==(const UrlFileEntry&, const UrlFileEntry&) = default;
};

// What every browser's bookmark store offers the bookmark requests. A bookmark is named by its
// key: the full file path for Internet Explorer, the decimal identifier text for the others.
// Every failure is thrown; nothing is reported any other way.
class BookmarkStore : public StoreLifecycle {
public:
    ~BookmarkStore() override = default;

    // Every bookmark store has a session from the start of a synchronisation to its end (or the
    // client's departure when it did not end): a store that works on an open database or a
    // loaded copy overrides AtSyncStart to open it (returning true) and AtSyncEnd to close
    // (write back) it; a store that keeps something between requests forgets it at AtSyncEnd.
    bool AtSyncStart() override { return true; }

    // Whether a bookmark's key is the path of its file (Internet Explorer's favourites): the
    // peer then knows it by an identifier made from the path (FavoriteIdOfPath), which only the
    // check list leads back to its key. Otherwise the key is the decimal text of the
    // identifier.
    virtual bool KeysArePaths() const { return false; }
    // The checksum the check list keeps for a bookmark just written under `key` with these
    // fields: by default that of the fields as sent, which is what IDtoCRC32 computes for a
    // store whose checksum covers only path, name and url; a store whose checksum covers more
    // (a database's own fields, a file's bytes) answers IDtoCRC32(key).
    virtual std::uint32_t WrittenChecksum(const QString& key, const BookmarkRecord& record)
    {
        return BookmarkCrc32(record.path, record.name, record.url);
    }

    // Every bookmark, in the store's order. Internet Explorer fills all four fields, the other
    // stores only the key (their checksums come from IDtoCRC32).
    virtual std::vector<UrlFileEntry> GetIDs() = 0;
    // Called once the change check's reply is encoded and sent, never after a check that failed:
    // what a store chose to write into the user's file while listing waits for it. Throws nothing.
    virtual void AfterCheck() {}
    virtual std::uint32_t IDtoCRC32(const QString& key) = 0;
    // Fills what it finds of the bookmark; what it does not find stays as handed in.
    virtual void Get(const QString& key, BookmarkRecord& record) = 0;
    // Returns the new bookmark's key.
    virtual QString Add(const BookmarkRecord& record) = 0;
    // Returns the bookmark's key after the change (Internet Explorer: a move gives a new path).
    virtual QString Edit(const QString& key, const BookmarkRecord& record) = 0;
    virtual void Delete(const QString& key) = 0;
    virtual void DeleteAll() = 0;
};
