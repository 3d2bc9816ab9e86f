#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

#include "common/bookmark_store.h"
#include "stores/opera/opera_hotlist_file.h"

// Opera's bookmarks ("bookmarks.adr" in Opera's profile folder), loaded at the start of a
// synchronisation and written back at its end. A bookmark is named by the decimal text of
// OperaBookmarkId of its UNIQUEID; its Path is the names of the folders that hold it. Trash
// folders and what they hold are invisible to the peer but stay in the file.
//
// When several bookmarks carry one identifier, the last in listing order is the one the
// identifier names: it alone is read, changed and deleted. An identifier no visible bookmark
// carries is refused by Get and Edit, changes nothing when deleted, and has the checksum 0. Add
// and Edit refuse a Path of more than kMaxBookmarkFolderDepth folders before anything changes.
class COperaBookmarks : public BookmarkStore {
public:
    COperaBookmarks();
    // Works on the file at `path` (tests, benchmarks).
    explicit COperaBookmarks(const QString& path);

    // Folders nested deeper than this in a file make it one the store cannot serve (AtSyncStart fails).
    static constexpr int kMaxReadFolderDepth = 1000;

    // The session (OperaHotlistFile): AtSyncStart starts it, AtSyncEnd ends it.
    bool AtSyncStart() override;
    void AtSyncEnd() override { file_.End(); }
    bool HoldsUnwrittenChanges() const override { return file_.HoldsUnwrittenChanges(); }
    // Writes the hotlist when it changed; the session goes on with it.
    CommitOutcome CommitChanges() override;

    // The file keeps a line break of a name or address as its own break characters, so the
    // checksum of what was sent is not the one the next check computes from the file.
    std::uint32_t WrittenChecksum(const QString& key, const BookmarkRecord&) override
    {
        return IDtoCRC32(key);
    }

    std::vector<UrlFileEntry> GetIDs() override;
    std::uint32_t IDtoCRC32(const QString& key) override;
    void Get(const QString& key, BookmarkRecord& record) override;
    QString Add(const BookmarkRecord& record) override;
    QString Edit(const QString& key, const BookmarkRecord& record) override;
    void Delete(const QString& key) override;
    // Reads the file again (dropping unsaved changes; refused while changes are withheld),
    // removes every visible bookmark and writes the file.
    void DeleteAll() override;

    // The two halves of the UNIQUEID (its first 16 characters and the rest) read as
    // hexadecimal numbers (0 when a half has no digits), XORed, as signed decimal text.
    static QString OperaBookmarkId(const QString& uniqueId);
    // 32 upper-case hexadecimal digits of a fresh GUID.
    static QString NewOperaUniqueId();

    const OperaHotlistFile& File() const { return file_; }

private:
    explicit COperaBookmarks(OperaHotlistFile file);
    // Throws AgentError, forgetting the hotlist, when its folders nest deeper than
    // kMaxReadFolderDepth.
    void RequireReadableDepth();

    struct Found {
        int block = -1;
        QString path;
    };
    // A visible bookmark: its block and the place of its folder's Path in paths_.
    struct Indexed {
        int block;
        int path;
    };
    // Builds the index when the hotlist changed since.
    void Index();
    // The bookmark an identifier names, or none; valid until the index is built again.
    const Indexed* Lookup(const QString& key);
    Found Find(const QString& key);
    // Throws AgentError when no visible bookmark carries the identifier.
    Found Require(const QString& key);
    // The folder the Path's names lead to from the top level, created where missing.
    int ReachFolder(AdrDocument& doc, const QStringList& folders);
    OperaHotlistFile file_;
    QHash<std::int64_t, Indexed> index_;  // by the number an identifier's text gives
    std::vector<QString> paths_;
    std::vector<UrlFileEntry> ids_;
    bool indexStale_ = true;
};
