#pragma once
#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class SqliteDatabase;

// The bookmarks below the bookmarks-menu root of a places database, as the store serves them.
// A bookmark's texts stay in the database until a request asks for them; its checksum is
// computed once, when the tree is read.
struct FirefoxBookmark {
    std::int64_t id = 0;
    std::int64_t parent = 0;
    std::uint32_t crc = 0;
};

// A folder below the menu root (or the root itself). Its Path is made only when asked for, by
// walking up: every folder keeps only its own title.
struct FirefoxFolder {
    std::int64_t parent = 0;
    QString title;
    std::uint32_t pathCrc = 0;    // Crc32 of its Path's UTF-16 bytes
    std::uint64_t pathBytes = 0;  // their number
};

struct FirefoxBookmarkTree {
    // Bookmarks sorted by row id, and their ids in listing order.
    std::vector<FirefoxBookmark> bookmarks;
    std::vector<std::int64_t> order;
    std::vector<std::uint32_t> orderCrcs;  // the checksum of each, in the same order
    // The folders below the menu root and the root, and per folder its sub-folders in position
    // order as (title, id).
    QHash<std::int64_t, FirefoxFolder> folders;
    QHash<std::int64_t, std::vector<std::pair<QString, std::int64_t>>> subFolders;
    std::int64_t root = 0;

    // "Work/Tools/": the titles from the menu root down to the folder, each followed by "/".
    QString PathOf(std::int64_t folder) const;
    const FirefoxBookmark* Find(std::int64_t id) const;
};

// Reads the tree below `menuRoot`: depth first, each level's folders (and what they hold)
// before its bookmarks, both by position. Every bookmark is listed whatever its address's hidden
// mark, but for query bookmarks ("place:" addresses) and `excludedUrl`; separators and folders
// are no bookmarks, folders without a title are left out with what they hold. A folder reached
// twice (a damaged database with a cycle) is walked once. `expectedBookmarks` sizes the lists
// (the count of the tree read before). Throws AgentError when the menu root is gone.
std::unique_ptr<FirefoxBookmarkTree> ReadFirefoxBookmarkTree(SqliteDatabase& db, std::int64_t menuRoot,
                                                             const QByteArray& excludedUrl,
                                                             std::size_t expectedBookmarks);
