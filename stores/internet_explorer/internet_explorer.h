#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "common/bookmark_store.h"

// Internet Explorer's favourites: one ".url" file per favourite below the Favorites folder,
// each sub-folder a bookmark folder. Every operation reads or writes the files directly; the
// store keeps nothing between requests.
//
// A favourite's key is the full path of its file. Its Name is the file name without ".url",
// its Path the folders below Favorites joined by "\" (on the way in "/" is taken as well), its
// Url the file's address; the file's format is stores/internet_explorer/url_file.h.
class CInternetExplorer : public BookmarkStore {
public:
    // Works below the user's Favorites folder, looked up at every operation.
    CInternetExplorer();
    // Works below the given folder (tests, benchmarks).
    explicit CInternetExplorer(QString favoritesFolder);

    // The Favorites folder the operations work in; empty when it cannot be determined.
    QString FavoritesFolder() const;

    // Every file whose name ends in ".url" (case-sensitive) below Favorites, depth first,
    // each folder's entries by name. A missing Favorites folder has no favourites; a favourite
    // that cannot be read fails the whole listing (leaving it out would report it deleted).
    std::vector<UrlFileEntry> GetIDs() override;
    // Crc32OfFile of the favourite.
    std::uint32_t IDtoCRC32(const QString& path) override;
    // A file without a "URL=" line leaves all three texts as handed in.
    void Get(const QString& path, BookmarkRecord& record) override;
    // Creates the folders of the Path and a new file "<Name>.url" there, numbered
    // "<Name> (1).url", "<Name> (2).url", ... while the name is taken. Returns its path.
    QString Add(const BookmarkRecord& record) override;
    // Changes the file's address and keeps every other line (UrlFileWithAddress). Rewrites the
    // file in place (atomically, keeping its permissions) when Path and Name still lead to it;
    // otherwise writes the new file where Add would and only then removes the old one.
    // Returns the favourite's path.
    QString Edit(const QString& path, const BookmarkRecord& record) override;
    // Removes the favourite's file; a file that is already gone is no failure.
    void Delete(const QString& path) override;
    // Removes every favourite file; folders and other files stay.
    void DeleteAll() override;
    // A favourite's key is its file's path, and its checksum that of the file's bytes.
    bool KeysArePaths() const override { return true; }
    std::uint32_t WrittenChecksum(const QString& path, const BookmarkRecord&) override
    {
        return IDtoCRC32(path);
    }

    // The folder names of a peer's Path ("/" or "\" between them). Throws AgentError for a
    // path that could leave the Favorites folder: "." or "..", an empty name between two
    // separators, a leading separator or a drive ("C:"); for a name with a colon or a control
    // character; and for more than kMaxBookmarkFolderDepth names. One trailing separator is
    // allowed.
    static QStringList SplitFolderPath(const QString& path);
    // The Name without the characters a Windows file name cannot hold: \ / : ? * " < > |
    // Throws AgentError for a Name with an unpaired UTF-16 surrogate or a control character.
    static QString CleanFileName(const QString& name);

private:
    QString RequireFavoritesFolder() const;
    // Writes `content` as the new favourite of the record's Path and Name (Add's file name).
    QString WriteNewFavorite(const QString& favorites, const BookmarkRecord& record, const QByteArray& content) const;
    // Throws AgentError unless `path` names a ".url" file below the Favorites folder, reached
    // without a link out of it.
    void RequireFavoritePath(const QString& favorites, const QString& path) const;

    std::optional<QString> fixedFolder_;
};
