#pragma once
#include <QByteArray>
#include <QString>

#include "common/bookmark_store.h"
#include "dispatch/bookmark_check_list.h"

// Per peer and browser, the bookmark check list as of the peer's last synchronisation:
// "<data folder>/<machine id><browser part><suffix>", the browser part being the one of the
// browser's catalogue row (SourceRow::bookmarkStatePart: ".InternetExplorer_", ".FireFox_",
// ".Opera_", ".Chrome_", none for Safari).
//
// Records follow each other without header or padding, little-endian, in the form the row's
// BookmarkNaming asks for:
//   keys that are file paths (Internet Explorer): u32 id low, u32 id high, u32 crc, u32 n,
//     n UTF-16 units of the path
//   keys that are numbers (Firefox, Opera, Chrome): u32 crc, u32 n, n UTF-16 units of the key,
//     u32 crc again (of the two crcs the trailing one counts)
//   no identifiers (Safari): no records.
class BookmarkStateFile {
public:
    // Throws AgentError when the kind has no catalogue row or when the machine identifier or the
    // name would not be a plain file name in the agent's folder.
    BookmarkStateFile(BrowserKind kind, const QString& machineId, const QString& suffix);

    const QString& Path() const { return path_; }

    // Whether the load and save requests keep the browser's bookmarks in its state file: every
    // browser whose bookmarks have identifiers (all but Safari, whose file holds no records).
    static bool HoldsRecords(std::uint32_t browserKind);
    static bool HoldsRecords(BookmarkNaming naming) { return HasIdentifiers(naming); }

    struct Records {
        BookmarkCheckList entries;
        // Bytes after the last whole record: a file cut short or damaged there.
        std::size_t ignoredBytes = 0;
    };

    // Every whole record, in file order; a missing file is created empty. Throws AgentError
    // when the file can neither be read nor created.
    Records Load() const;
    // Replaces the file's records by the list's, atomically; throws AgentError on failure and
    // then leaves the old file.
    void Save(const BookmarkCheckList& entries) const;
    // Leaves the file empty (created when missing).
    void Truncate() const;

    static QByteArray Encode(BrowserKind kind, const BookmarkCheckList& entries);
    // Reads records while whole ones are there; a length that reaches past the data ends the
    // reading instead of being trusted.
    static Records Decode(BrowserKind kind, const QByteArray& bytes);

private:
    BrowserKind kind_;
    QString path_;
};
