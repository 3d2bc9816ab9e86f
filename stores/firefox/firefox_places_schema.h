#pragma once
#include <cstdint>

class SqliteDatabase;

// What the store needs to know of a places database before it reads or writes a row: where the
// bookmarks menu is, and which of the columns and tables later Firefox versions added exist, so
// that the rows it writes carry what Firefox fills there.
struct FirefoxPlacesSchema {
    std::int64_t menuRoot = 0;
    bool bookmarkGuid = false;
    bool bookmarkDates = false;
    bool syncStatus = false;
    bool syncChangeCounter = false;
    bool placeGuid = false;
    bool urlHash = false;
    bool foreignCount = false;
    bool revHost = false;
    bool recalcFrecency = false;
    bool deletedTable = false;
};

// The menu root comes from moz_bookmarks_roots where that table exists (Firefox 3 to 47), else
// from its fixed guid. These are the first reads of a database, so one another program holds
// locked fails here. Throws AgentError for a database that is not Firefox's and for one without
// a menu root.
FirefoxPlacesSchema ReadFirefoxPlacesSchema(SqliteDatabase& db);
