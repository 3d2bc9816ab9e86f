#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/bookmark_store.h"
#include "stores/chrome/chrome_bookmarks_json.h"

// What the Chrome store reads and changes inside a parsed Bookmarks document.
//
// The store works on one folder, the synchronised folder: roots.other ("Other bookmarks"),
// taken by name as Chrome takes it. A bookmark is any object with a string "url"; a folder an
// object whose "type" is "folder" and whose "children" is the array of its children. A bookmark
// is known by its "date_added" text, which is not unique: imported bookmarks often share one.
// Every function throws AgentError naming the fault when the document does not have the shape
// it navigates ("roots" or "other" missing or not an object, a folder's "children" missing or
// not an array, an element of an array below the synchronised folder that is not an object).

struct ChromeBookmark {
    // The "date_added" text; empty when the bookmark has none.
    QString id;
    // Path: the names of the objects between the synchronised folder and the bookmark, joined
    // by "/"; empty for a bookmark in the synchronised folder's own children.
    BookmarkRecord record;
};

// Every bookmark below the synchronised folder, in document order (an object comes after the
// objects inside it).
std::vector<ChromeBookmark> ListChromeBookmarks(const ChromeJson& document);

// A bookmark whose "date_added" the store changed so that it has one of its own.
struct ChromeDateChange {
    QString name;
    QString from;  // empty when it had none
    QString to;
};

// Gives every bookmark below the synchronised folder a date of its own, as
// stores/chrome/chrome_twin_dates.h chooses; the changes in document order, none when every date
// was its own already.
std::vector<ChromeDateChange> GiveChromeBookmarksOwnDates(ChromeJson& document);

// Removes the one bookmark `id` names: the last in document order below the synchronised folder
// whose "date_added" is `id`, or, when there is none there, the last anywhere in the document.
// Folders and further bookmarks with that date stay. Returns whether one was removed.
bool RemoveChromeBookmark(ChromeJson& document, const std::string& id);

// Removes every bookmark below the synchronised folder, at any depth; folders stay. Returns how
// many were removed.
std::size_t RemoveAllChromeBookmarks(ChromeJson& document);

// The largest "date_added" of the whole document, each read as a signed decimal number (texts
// that are not one are passed over); nothing when there is none.
std::optional<std::int64_t> LargestChromeDate(const ChromeJson& document);

// The children array of the folder the names lead to from the synchronised folder: in each
// array the first folder of that name (exact comparison); a missing one is appended with the
// next number of `counter` as its "date_added" and exactly the members "children" (empty),
// "date_added", "name" and "type", in that order. No reference into the document may be held
// across this call.
ChromeJson& ReachChromeFolder(ChromeJson& document, const QStringList& folders, std::int64_t& counter);

// Appends a bookmark with exactly the members "date_added", "name", "type" ("url") and "url".
void AppendChromeBookmark(ChromeJson& children, const QString& id, const BookmarkRecord& record);

// The folder names of a peer's Path: split at "/", empty parts dropped.
QStringList SplitChromeFolderPath(const QString& path);

// A new number in Chrome's unit for "date_added": microseconds since 1601-01-01 UTC.
std::int64_t ChromeTimeNow();
