#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "stores/firefox/firefox_places_schema.h"

class SqliteDatabase;
struct FirefoxBookmarkTree;

// The row changes the store's writes are made of, each done as Firefox does it: positions kept
// without gaps, the parent marked changed (lastModified, syncChangeCounter), an address's
// foreign_count following the bookmarks that refer to it, and what the schema has of guids,
// dates and hashes filled. None opens a transaction: the caller wraps each write in one.
class FirefoxBookmarkRows {
public:
    static constexpr int kTypeBookmark = 1;
    static constexpr int kTypeFolder = 2;

    FirefoxBookmarkRows(SqliteDatabase& db, const FirefoxPlacesSchema& schema) : db_(db), schema_(schema) {}

    // Marks a row changed as Firefox does (lastModified, syncChangeCounter).
    void Touch(std::int64_t row, std::int64_t now);
    void ChangeForeignCount(std::int64_t place, int delta);
    std::int64_t NextPosition(std::int64_t parent);
    // A new row at the end of `parent`; returns its id.
    std::int64_t InsertRow(int type, std::optional<std::int64_t> place, std::int64_t parent, const QString& title,
                           std::int64_t now);
    // The folder the names lead to from the menu root in `tree`; missing ones are created,
    // dated `now`.
    std::int64_t FindOrCreateFolder(const FirefoxBookmarkTree& tree, const QStringList& names, std::int64_t now);
    // The address's moz_places row, inserted when there is none.
    std::int64_t FindOrInsertPlace(const QString& url);
    // Removes a row (none: nothing happens), recording the removal for Firefox Sync when the
    // bookmark had been uploaded.
    void RemoveRow(std::int64_t row, std::int64_t now);
    void MoveToEnd(std::int64_t row, std::int64_t parent, std::int64_t now);

private:
    SqliteDatabase& db_;
    const FirefoxPlacesSchema& schema_;
};
