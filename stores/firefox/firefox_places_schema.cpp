#include "stores/firefox/firefox_places_schema.h"

#include <optional>

#include "common/errors.h"
#include "platform/sqlite/sqlite_database.h"

FirefoxPlacesSchema ReadFirefoxPlacesSchema(SqliteDatabase& db)
{
    const std::string path = db.Path().toStdString();
    if (!db.HasTable("moz_bookmarks") || !db.HasTable("moz_places"))
        throw AgentError(path + " is not a Firefox places database");
    FirefoxPlacesSchema schema;
    std::optional<std::int64_t> menu;
    if (db.HasTable("moz_bookmarks_roots")) {
        SqliteStatement s(db, "SELECT folder_id FROM moz_bookmarks_roots WHERE root_name = 'menu'");
        while (s.Step()) menu = s.Int(0);
    } else if (db.HasColumn("moz_bookmarks", "guid")) {
        SqliteStatement s(db, "SELECT id FROM moz_bookmarks WHERE guid = 'menu________'");
        if (s.Step()) menu = s.Int(0);
    }
    if (!menu) throw AgentError(path + " has no bookmarks-menu root");
    schema.menuRoot = *menu;
    schema.bookmarkGuid = db.HasColumn("moz_bookmarks", "guid");
    schema.bookmarkDates =
        db.HasColumn("moz_bookmarks", "dateAdded") && db.HasColumn("moz_bookmarks", "lastModified");
    schema.syncStatus = db.HasColumn("moz_bookmarks", "syncStatus");
    schema.syncChangeCounter = db.HasColumn("moz_bookmarks", "syncChangeCounter");
    schema.placeGuid = db.HasColumn("moz_places", "guid");
    schema.urlHash = db.HasColumn("moz_places", "url_hash");
    schema.foreignCount = db.HasColumn("moz_places", "foreign_count");
    schema.revHost = db.HasColumn("moz_places", "rev_host");
    schema.recalcFrecency = db.HasColumn("moz_places", "recalc_frecency");
    schema.deletedTable = db.HasTable("moz_bookmarks_deleted");
    return schema;
}
