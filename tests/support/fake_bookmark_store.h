#pragma once
// An in-memory bookmark store of a browser whose bookmarks have identifiers of their own (as
// Chrome's and Opera's do): keys are decimal numbers, the checksum covers path, name and url.
// Stores made over the same Bookmarks see each other's writes, as stores over one file would.

#include <QMap>
#include <memory>

#include "common/bookmark_store.h"

class FakeBookmarkStore : public BookmarkStore {
public:
    struct Bookmarks {
        QMap<qint64, BookmarkRecord> records;
        qint64 next = 1;
    };
    explicit FakeBookmarkStore(std::shared_ptr<Bookmarks> bookmarks) : bookmarks_(std::move(bookmarks)) {}

    std::vector<UrlFileEntry> GetIDs() override;
    std::uint32_t IDtoCRC32(const QString& key) override;
    void Get(const QString& key, BookmarkRecord& record) override;
    QString Add(const BookmarkRecord& record) override;
    QString Edit(const QString& key, const BookmarkRecord& record) override;
    void Delete(const QString& key) override;
    void DeleteAll() override;

private:
    // Throws AgentError for a key that names no bookmark.
    qint64 Require(const QString& key) const;

    std::shared_ptr<Bookmarks> bookmarks_;
};
