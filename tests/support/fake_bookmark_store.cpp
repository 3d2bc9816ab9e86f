#include "support/fake_bookmark_store.h"

#include "common/bookmark_checksums.h"
#include "common/errors.h"

std::vector<UrlFileEntry> FakeBookmarkStore::GetIDs()
{
    std::vector<UrlFileEntry> entries;
    for (auto it = bookmarks_->records.cbegin(); it != bookmarks_->records.cend(); ++it)
        entries.push_back({QString::number(it.key()), 0, 0, 0});
    return entries;
}

std::uint32_t FakeBookmarkStore::IDtoCRC32(const QString& key)
{
    const BookmarkRecord& r = bookmarks_->records[Require(key)];
    return BookmarkCrc32(r.path, r.name, r.url);
}

void FakeBookmarkStore::Get(const QString& key, BookmarkRecord& record)
{
    bool ok = false;
    const qint64 id = key.toLongLong(&ok);
    if (ok && bookmarks_->records.contains(id)) record = bookmarks_->records.value(id);
}

QString FakeBookmarkStore::Add(const BookmarkRecord& record)
{
    const qint64 id = bookmarks_->next++;
    bookmarks_->records.insert(id, record);
    return QString::number(id);
}

QString FakeBookmarkStore::Edit(const QString& key, const BookmarkRecord& record)
{
    bookmarks_->records[Require(key)] = record;
    return key;
}

void FakeBookmarkStore::Delete(const QString& key)
{
    bookmarks_->records.remove(Require(key));
}

void FakeBookmarkStore::DeleteAll()
{
    bookmarks_->records.clear();
}

qint64 FakeBookmarkStore::Require(const QString& key) const
{
    bool ok = false;
    const qint64 id = key.toLongLong(&ok);
    if (!ok || !bookmarks_->records.contains(id)) throw AgentError("no bookmark " + key.toStdString());
    return id;
}
