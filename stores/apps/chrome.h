#pragma once
#include <QHash>
#include <QString>
#include <optional>

#include "common/bookmark_store.h"
#include "stores/apps/chrome_bookmarks_json.h"

// Chrome's bookmarks: the JSON file "Bookmarks" of its default profile. Every operation reads
// the file; every change writes the whole document back at once (temporary file renamed over
// the old one, keeping its mode) as one line of ASCII, with Chrome's checksum recomputed, so
// that Chrome neither renumbers its nodes nor finds the file damaged. A change that changes
// nothing writes nothing, and the store never creates the file.
//
// It serves the bookmarks of one folder (see stores/apps/chrome_bookmark_tree.h), each known by
// its "date_added" text. Path is the names of the folders between that folder and the
// bookmark, joined by "/".
class CChrome : public BookmarkStore {
public:
    // Works on the file where the browser probe finds Chrome (or Chromium), looked up at every
    // operation.
    CChrome();
    // Works on the given file (tests, benchmarks).
    explicit CChrome(QString bookmarksFile);

    QString BookmarksFile() const;

    // Every bookmark of the folder, in document order; a missing file has none. Keeps an index
    // of their checksums for the IDtoCRC32 calls of the change check that follows.
    std::vector<UrlFileEntry> GetIDs() override;
    // BookmarkCrc32 of the bookmark the identifier names (the last in document order with
    // that date), from the document the last GetIDs read; 0 for one it does not hold.
    std::uint32_t IDtoCRC32(const QString& id) override;
    void Get(const QString& id, BookmarkRecord& record) override;
    // Appends the bookmark to the folder the Path names, creating missing folders; the folders
    // and then the bookmark take the numbers after the largest "date_added" of the file (or
    // after now, in Chrome's microseconds since 1601, when it has none). Returns its number.
    QString Add(const BookmarkRecord& record) override;
    // Removes the bookmark as Delete does, then appends it with the same number at the end of
    // the folder the Path names (an unknown number is added). Returns the number. Edit and
    // Delete refuse (AgentError) a key that is not a decimal number.
    QString Edit(const QString& id, const BookmarkRecord& record) override;
    // Removes that one bookmark: in the folder, else elsewhere in the file; never a folder or a
    // second bookmark sharing the date.
    void Delete(const QString& id) override;
    // Removes every bookmark of the folder at any depth; the folders stay.
    void DeleteAll() override;

private:
    QString RequireBookmarksFile() const;
    // The file's bytes; nothing when it does not exist. Throws AgentError when it cannot be read.
    std::optional<QByteArray> ReadBytes(const QString& file) const;
    // The parsed file; nothing when it does not exist. Throws AgentError when it cannot be read
    // or does not parse.
    std::optional<ChromeJson> Read(const QString& file) const;
    // For the changes: the parsed file, which must exist.
    ChromeJson ReadExisting(const QString& file) const;
    // Writes the changed document, its checksum recomputed.
    void Write(const QString& file, ChromeJson& document);
    // Rebuilds the checksum index from the file (empty when there is none), and lists the ids.
    void IndexBookmarks(std::vector<UrlFileEntry>* ids);

    std::optional<QString> fixedFile_;
    std::optional<QHash<QString, std::uint32_t>> checksums_;
};
