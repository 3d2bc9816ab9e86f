#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/bookmark_store.h"

class SqliteDatabase;
class SqliteStatement;
class FirefoxBookmarkRows;
struct FirefoxBookmark;
struct FirefoxBookmarkTree;
struct FirefoxPlacesSchema;

// Firefox's bookmarks: the places database "places.sqlite" of the profile the browser probe
// chooses, held open from the start of a synchronisation to its end. This is the session and the
// requests; the schema (firefox_places_schema.h), the tree it serves (firefox_bookmark_tree.h)
// and the row changes its writes are made of (firefox_bookmark_rows.h) are apart. The store serves the
// bookmarks below the bookmarks-menu root. A bookmark's key is the decimal moz_bookmarks row
// id; its Path the titles of the folders from the menu root down to it, each followed by "/"
// ("Work/Tools/"; empty in the menu itself).
//
// Works with every schema Firefox has had: the menu root comes from moz_bookmarks_roots where
// that table exists (Firefox 3 to 47), else from its fixed guid. Rows it writes carry what
// Firefox fills where the columns exist (guids, dates, url_hash, foreign_count, sync counters),
// every change of several statements is one transaction, and a database another program holds
// locked (a running Firefox does) fails with a reason and is left as it was.
class CFirefox : public BookmarkStore {
public:
    // Bookmarks of Firefox whose bookmarks page ships as a default bookmark; left out.
    static const QString kExcludedAddress;

    // Opens the database of the profile the browser probe chooses.
    CFirefox();
    // Opens the given database (tests, benchmarks).
    explicit CFirefox(QString placesFile);
    ~CFirefox() override;

    // Where the database opened is reported (the agent's log); none by default.
    void SetLog(std::function<void(const QString&)> log) { log_ = std::move(log); }

    // The database file AtSyncStart would open; empty when no profile is found.
    QString PlacesFile() const;
    bool IsOpen() const { return db_ != nullptr; }

    // Opens the database (closing one still open) and finds the menu root. Throws AgentError
    // for a missing file (never created), a database that is not Firefox's, one without a menu
    // root, or one locked by another program.
    bool AtSyncStart() override;
    void AtSyncEnd() override;
    // Its checksum covers the row id and what the database holds, so the check list takes the
    // one the database gives after the write.
    std::uint32_t WrittenChecksum(const QString& key, const BookmarkRecord&) override { return IDtoCRC32(key); }

    // The row ids of every bookmark below the menu root, depth first; each level's folders
    // (and what they hold) before its bookmarks, both by position. Every bookmark is listed
    // whatever its address's hidden mark, but for query bookmarks ("place:" addresses) and the
    // excluded address; separators and folders are no bookmarks.
    std::vector<UrlFileEntry> GetIDs() override;
    // Crc32 of the UTF-16 text id + Path + Name + Url; of the id alone for an id it does not list.
    // From the tree the last operation read (the change check lists the bookmarks first).
    std::uint32_t IDtoCRC32(const QString& id) override;
    // Throws AgentError for an id it does not list. A bookmark without a title has an empty Name.
    void Get(const QString& id, BookmarkRecord& record) override;
    // Creates the folders of the Path that are missing and the bookmark at the end of its
    // folder, reusing the address's moz_places row. Returns the new row id. A Path deeper than
    // kMaxBookmarkFolderDepth folders is refused (AgentError) before anything is written.
    QString Add(const BookmarkRecord& record) override;
    // Changes title, address (the bookmark is pointed at the address's own moz_places row; rows
    // other bookmarks and the history share stay) and folder (when the names differ, whatever
    // the slashes). Throws AgentError, changing nothing, for an id it does not list and for a
    // Path Add refuses. Returns the id.
    QString Edit(const QString& id, const BookmarkRecord& record) override;
    // Removes a bookmark it lists; any other row id changes nothing (the peer may delete what is
    // gone already). Edit and Delete refuse
    // (AgentError) a key that is not a decimal number.
    void Delete(const QString& id) override;
    // Removes every bookmark below the menu root; folders and addresses stay.
    void DeleteAll() override;

    // The folder names of a Path: split at "/", empty names dropped.
    static QStringList SplitFolderPath(const QString& path);
    // The same, refusing (AgentError) more than kMaxBookmarkFolderDepth names.
    static QStringList FolderNames(const QString& path);

private:
    struct Texts;

    SqliteDatabase& RequireOpen();
    // RequireOpen, opening the database again first when another file took its path since.
    // Every request but IDtoCRC32 (asked for every bookmark of a check) starts so.
    SqliteDatabase& RequireCurrentFile();
    // The device and inode a path leads to; zeros when there is no file.
    using FileIdentity = std::pair<std::uint64_t, std::uint64_t>;
    static FileIdentity IdentityOf(const QString& path);
    // The tree below the menu root: loaded once, reloaded when another connection committed a
    // change (PRAGMA data_version) or the store wrote one. Every operation but IDtoCRC32 asks.
    const FirefoxBookmarkTree& CurrentTree();
    // The bookmark the key names, or nullptr when the key lists none.
    const FirefoxBookmark* FindBookmark(const QString& id);
    // The bookmark the key names; throws AgentError when the key lists none.
    const FirefoxBookmark& RequireServed(const QString& id);
    // Title, address and address row of a bookmark the tree lists.
    Texts ReadTexts(std::int64_t id);
    FirefoxBookmarkRows Rows();

    std::optional<QString> fixedFile_;
    std::function<void(const QString&)> log_;
    std::unique_ptr<SqliteDatabase> db_;
    std::unique_ptr<FirefoxPlacesSchema> schema_;
    std::unique_ptr<SqliteStatement> dataVersion_;
    std::unique_ptr<FirefoxBookmarkTree> tree_;
    std::int64_t treeDataVersion_ = -1;
    FileIdentity identity_;
    // Where in the listing order the next IDtoCRC32 of a change check is expected.
    std::size_t nextInOrder_ = 0;
};
