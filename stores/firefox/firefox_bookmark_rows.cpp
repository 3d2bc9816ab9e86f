#include "stores/firefox/firefox_bookmark_rows.h"

#include <algorithm>

#include "platform/sqlite/sqlite_database.h"
#include "stores/firefox/firefox_bookmark_tree.h"
#include "stores/firefox/places_values.h"

void FirefoxBookmarkRows::Touch(std::int64_t row, std::int64_t now)
{
    if (schema_.bookmarkDates)
        SqliteStatement(db_, "UPDATE moz_bookmarks SET lastModified = ? WHERE id = ?")
            .Bind(1, now)
            .Bind(2, row)
            .Run();
    if (schema_.syncChangeCounter)
        SqliteStatement(db_,
                        "UPDATE moz_bookmarks SET syncChangeCounter = syncChangeCounter + 1 WHERE id = ?")
            .Bind(1, row)
            .Run();
}

void FirefoxBookmarkRows::ChangeForeignCount(std::int64_t place, int delta)
{
    // Firefox expires an address nothing refers to and nobody visited; the count is what
    // tells it a bookmark still does.
    if (!schema_.foreignCount || place == 0) return;
    SqliteStatement(db_, "UPDATE moz_places SET foreign_count = MAX(foreign_count + ?1, 0) WHERE id = ?2")
        .Bind(1, std::int64_t{delta})
        .Bind(2, place)
        .Run();
}

std::int64_t FirefoxBookmarkRows::NextPosition(std::int64_t parent)
{
    SqliteStatement s(db_, "SELECT COALESCE(MAX(position) + 1, 0) FROM moz_bookmarks WHERE parent = ?");
    s.Bind(1, parent);
    return s.Step() ? s.Int(0) : 0;
}

std::int64_t FirefoxBookmarkRows::InsertRow(int type, std::optional<std::int64_t> place, std::int64_t parent,
                                            const QString& title, std::int64_t now)
{
    QByteArray sql = "INSERT INTO moz_bookmarks (type, fk, parent, position, title";
    if (schema_.bookmarkGuid) sql += ", guid";
    if (schema_.bookmarkDates) sql += ", dateAdded, lastModified";
    sql += ") VALUES (?1, ?2, ?3, ?4, ?5";
    if (schema_.bookmarkGuid) sql += ", ?6";
    if (schema_.bookmarkDates) sql += ", ?7, ?7";
    sql += ")";
    SqliteStatement s(db_, sql.constData());
    s.Bind(1, std::int64_t{type});
    if (place)
        s.Bind(2, *place);
    else
        s.BindNull(2);
    s.Bind(3, parent).Bind(4, NextPosition(parent)).Bind(5, title);
    if (schema_.bookmarkGuid) s.Bind(6, NewPlacesGuid());
    if (schema_.bookmarkDates) s.Bind(7, now);
    s.Run();
    const std::int64_t id = db_.LastInsertRowId();
    Touch(parent, now);
    return id;
}

std::int64_t FirefoxBookmarkRows::FindOrCreateFolder(const FirefoxBookmarkTree& tree, const QStringList& names,
                                                     std::int64_t now)
{
    std::int64_t parent = schema_.menuRoot;
    qsizetype used = 0;
    for (; used < names.size(); ++used) {
        const auto level = tree.subFolders.constFind(parent);
        if (level == tree.subFolders.constEnd()) break;
        const auto match = std::find_if(level->begin(), level->end(),
                                        [&](const auto& folder) { return folder.first == names[used]; });
        if (match == level->end()) break;
        parent = match->second;
    }
    for (; used < names.size(); ++used)
        parent = InsertRow(kTypeFolder, std::nullopt, parent, names[used], now);
    return parent;
}

std::int64_t FirefoxBookmarkRows::FindOrInsertPlace(const QString& url)
{
    {
        // Firefox finds addresses through url_hash; rows other programs inserted may lack it.
        SqliteStatement find(db_,
                             schema_.urlHash
                                 ? "SELECT id FROM moz_places WHERE url = ?1 AND url_hash IN (?2, 0) LIMIT 1"
                                 : "SELECT id FROM moz_places WHERE url = ?1 LIMIT 1");
        find.Bind(1, url);
        if (schema_.urlHash) find.Bind(2, PlacesUrlHash(url));
        if (find.Step()) return find.Int(0);
    }
    // Only column names enter the text; every value is bound.
    QByteArray columns = "url";
    QByteArray values = "?";
    if (schema_.placeGuid) columns += ", guid", values += ", ?";
    if (schema_.revHost) columns += ", rev_host", values += ", ?";
    // Firefox ranks the new address for its address bar once it sees the mark.
    if (schema_.recalcFrecency) columns += ", recalc_frecency", values += ", 1";
    if (schema_.urlHash) columns += ", url_hash", values += ", ?";
    const QByteArray sql = "INSERT INTO moz_places (" + columns + ") VALUES (" + values + ")";
    SqliteStatement insert(db_, sql.constData());
    int index = 1;
    insert.Bind(index++, url);
    if (schema_.placeGuid) insert.Bind(index++, NewPlacesGuid());
    if (schema_.revHost) insert.Bind(index++, PlacesReversedHost(url));
    if (schema_.urlHash) insert.Bind(index++, PlacesUrlHash(url));
    insert.Run();
    return db_.LastInsertRowId();
}

void FirefoxBookmarkRows::RemoveRow(std::int64_t row, std::int64_t now)
{
    std::int64_t place = 0, parent = 0, position = 0, syncStatus = 0;
    QString guid;
    {
        const char* sql =
            schema_.syncStatus && schema_.bookmarkGuid
                ? "SELECT fk, parent, position, syncStatus, guid FROM moz_bookmarks WHERE id = ?"
                : "SELECT fk, parent, position, 0, NULL FROM moz_bookmarks WHERE id = ?";
        SqliteStatement s(db_, sql);
        s.Bind(1, row);
        if (!s.Step()) return;
        place = s.Int(0);
        parent = s.Int(1);
        position = s.Int(2);
        syncStatus = s.Int(3);
        guid = s.Text(4);
    }
    SqliteStatement(db_, "DELETE FROM moz_bookmarks WHERE id = ?").Bind(1, row).Run();
    SqliteStatement(db_,
                    "UPDATE moz_bookmarks SET position = position - 1 WHERE parent = ?1 AND position > ?2")
        .Bind(1, parent)
        .Bind(2, position)
        .Run();
    ChangeForeignCount(place, -1);
    Touch(parent, now);
    // A bookmark Firefox Sync already uploaded (status normal) must be deleted on the server too.
    constexpr std::int64_t kSyncStatusNormal = 2;
    if (syncStatus == kSyncStatusNormal && schema_.deletedTable && !guid.isEmpty())
        SqliteStatement(db_,
                        "INSERT OR REPLACE INTO moz_bookmarks_deleted (guid, dateRemoved) VALUES (?, ?)")
            .Bind(1, guid)
            .Bind(2, now)
            .Run();
}

void FirefoxBookmarkRows::MoveToEnd(std::int64_t row, std::int64_t parent, std::int64_t now)
{
    std::int64_t oldParent = 0, oldPosition = 0;
    {
        SqliteStatement s(db_, "SELECT parent, position FROM moz_bookmarks WHERE id = ?");
        s.Bind(1, row);
        if (!s.Step()) return;
        oldParent = s.Int(0);
        oldPosition = s.Int(1);
    }
    SqliteStatement(db_, "UPDATE moz_bookmarks SET parent = ?1, position = ?2 WHERE id = ?3")
        .Bind(1, parent)
        .Bind(2, NextPosition(parent))
        .Bind(3, row)
        .Run();
    SqliteStatement(db_,
                    "UPDATE moz_bookmarks SET position = position - 1 WHERE parent = ?1 AND position > ?2")
        .Bind(1, oldParent)
        .Bind(2, oldPosition)
        .Run();
    Touch(oldParent, now);
    Touch(parent, now);
}
