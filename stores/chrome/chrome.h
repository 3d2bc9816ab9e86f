#pragma once
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

#include "common/bookmark_depth.h"
#include "common/bookmark_store.h"
#include "common/new_item_numbers.h"
#include "platform/loaded_file_identity.h"
#include "stores/chrome/chrome_bookmarks_json.h"

// Chrome's bookmarks: the JSON file "Bookmarks" of its default profile. Every operation reads
// the file; every change writes the whole document back at once (temporary file renamed over
// the old one, keeping its mode) as one line of ASCII, with Chrome's checksum recomputed, so
// that Chrome neither renumbers its nodes nor finds the file damaged. A change that changes
// nothing writes nothing, and the store never creates the file.
//
// It serves the bookmarks of one folder (see stores/chrome/chrome_bookmark_tree.h), each known by
// its "date_added" text. Bookmarks that share a date get dates of their own
// (stores/chrome/chrome_twin_dates.h): the check writes them into the file once its reply is
// encoded, with one log line, and every read and change resolves them the same way, also when a
// running Chrome has written the old dates back. Path is the names of the folders between that folder and the bookmark,
// joined by "/"; a Path of more than kMaxChromeFolderDepth folders is refused, since the file
// would come near the depth Chrome still reads.
//
// Only a regular file is read, at most kMaxChromeFileBytes of it.
class CChrome : public BookmarkStore {
public:
    // Well inside the 200 levels Chrome reads: each folder is two levels of the file.
    static constexpr int kMaxChromeFolderDepth = kMaxBookmarkFolderDepth;
    static constexpr qint64 kMaxChromeFileBytes = qint64(128) << 20;

    // Works on the file where the browser probe finds Chrome (or Chromium), looked up at every
    // operation.
    CChrome();
    // Works on the given file (tests, benchmarks).
    explicit CChrome(QString bookmarksFile);

    // The end of a synchronisation or the client's departure: the index is forgotten, as it
    // takes several times the file's size; the next check or Get reads the file again.
    void AtSyncEnd() override;

    QString BookmarksFile() const;
    // Where the store says what it did to the user's file of its own accord.
    void SetLog(std::function<void(const QString&)> log) { log_ = std::move(log); }

    // Every bookmark of the folder, in document order; a missing file has none. Keeps an index
    // of their texts and checksums for the IDtoCRC32 calls of the change check that follows and
    // for the Gets. Bookmarks that shared a date are listed with their own; AfterCheck writes
    // those into the file.
    std::vector<UrlFileEntry> GetIDs() override;
    // Once the check's reply is on its way: writes the own dates GetIDs chose, only over the
    // file as it was read (identity and bytes). A file saved meanwhile is read and decided once
    // more; saved again, nothing is written this time. Each outcome gives one log line; nothing
    // is thrown.
    void AfterCheck() override;
    // BookmarkCrc32 of the bookmark the identifier names, from the file as the last GetIDs read
    // it; 0 for one it does not hold.
    std::uint32_t IDtoCRC32(const QString& id) override;
    // From the index while the file is the one it was built from (same identity, size and
    // modification time); otherwise the file is read again. Empty texts for an unknown id.
    void Get(const QString& id, BookmarkRecord& record) override;
    // Appends the bookmark to the folder the Path names, creating missing folders; the folders
    // and then the bookmark take ascending numbers from now, in Chrome's microseconds since
    // 1601 (common/new_item_numbers.h: above the largest "date_added" of the file and above every
    // number this store handed out, where those are larger). Returns its number.
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
    struct Indexed {
        std::uint32_t checksum;
        BookmarkRecord record;
    };
    struct Index {
        QString file;
        LoadedFileIdentity stamp;  // the file as it was read, to tell when it changed
        QHash<QString, Indexed> byId;
    };

    // The own dates a check chose, to be written after its reply.
    struct PendingDates {
        QString file;
        LoadedFileIdentity read;  // with the digest of the bytes
        ChromeJson document;      // as read, every bookmark's date its own
        std::size_t given = 0;    // how many dates were chosen
    };

    QString RequireBookmarksFile() const;
    // The file's bytes and the stamp of what was read (with their digest when asked); no bytes
    // when it does not exist. Throws AgentError when it cannot be read, is not a regular file or
    // is larger than the limit.
    std::optional<QByteArray> ReadBytes(const QString& file, LoadedFileIdentity* stamp = nullptr,
                                        bool digest = false) const;
    // For the changes: the parsed file, which must exist, every bookmark's date its own.
    ChromeJson ReadExisting(const QString& file);
    // Writes the changed document, its checksum recomputed.
    void Write(const QString& file, ChromeJson& document);
    // The index of a file's bytes, and the ids listed. Where dates had to be chosen, the
    // document with them goes to `ownDates` and their number to `given`.
    Index BuildIndex(const QString& file, const QByteArray& bytes, std::vector<UrlFileEntry>* ids,
                     std::optional<ChromeJson>* ownDates, std::size_t* given);
    // Rebuilds the index from the file (empty when there is none), and lists the ids. For a
    // check, the dates chosen are kept for AfterCheck.
    void IndexBookmarks(std::vector<UrlFileEntry>* ids, bool forCheck);
    void Log(const QString& line) const;
    void LogOwnDates(const QString& file, std::size_t count) const;

    std::optional<QString> fixedFile_;
    std::optional<Index> index_;
    std::optional<PendingDates> pending_;
    NewItemNumbers numbers_;
    std::function<void(const QString&)> log_;
};
