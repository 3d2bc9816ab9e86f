#include "stores/firefox/firefox_bookmark_tree.h"

#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <tuple>

#include "common/crc32.h"
#include "common/errors.h"
#include "platform/sqlite/sqlite_database.h"

namespace {

// The checksum of a bookmark, id + Path + title + address as UTF-16, computed from the UTF-8
// the database holds without a text per bookmark. The Path enters by its own checksum and
// length, kept per folder, so that no folder's Path text is ever made: a deep tree costs what
// its folders and bookmarks cost, not the square of its depth.
class ChecksumBuffer {
public:
    std::uint32_t Checksum(std::int64_t id, std::uint32_t pathCrc, std::uint64_t pathBytes, QByteArrayView title,
                           QByteArrayView url)
    {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, id).ptr;
        std::uint32_t crc = Update(0, QByteArrayView(digits, end - digits));
        crc = Crc32Combine(crc, pathCrc, pathBytes);
        crc = Update(crc, title);
        return Update(crc, url);
    }

private:
    std::uint32_t Update(std::uint32_t crc, QByteArrayView utf8)
    {
        // UTF-16 never needs more units than UTF-8 has bytes.
        if (units_.size() < std::size_t(utf8.size())) units_.resize(std::size_t(utf8.size()));
        char16_t* out = units_.data();
        bool ascii = true;
        for (const char c : utf8) {
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
            *out++ = static_cast<unsigned char>(c);
        }
        if (!ascii) {
            // As QString::fromUtf8 reads it, so the checksum is that of the texts Get gives.
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            out = reinterpret_cast<char16_t*>(
                decoder.appendToBuffer(reinterpret_cast<QChar*>(units_.data()), utf8));
        }
        return Crc32Update(crc, units_.data(), static_cast<std::size_t>(out - units_.data()) * 2);
    }
    std::vector<char16_t> units_;
};

// Query bookmarks ("place:" addresses) are searches of Firefox's own history and bookmarks:
// they mean nothing in another browser and are not served.
bool IsQueryAddress(QByteArrayView url)
{
    return url.startsWith("place:");
}

}  // namespace

QString FirefoxBookmarkTree::PathOf(std::int64_t folder) const
{
    std::vector<const QString*> titles;
    qsizetype length = 0;
    for (std::int64_t at = folder; at != root;) {
        const auto it = folders.constFind(at);
        if (it == folders.constEnd()) break;
        titles.push_back(&it->title);
        length += it->title.size() + 1;
        at = it->parent;
    }
    QString path;
    path.reserve(length);
    for (auto it = titles.rbegin(); it != titles.rend(); ++it) path += **it + QLatin1Char('/');
    return path;
}

const FirefoxBookmark* FirefoxBookmarkTree::Find(std::int64_t id) const
{
    const auto it = std::lower_bound(bookmarks.begin(), bookmarks.end(), id,
                                     [](const FirefoxBookmark& node, std::int64_t key) { return node.id < key; });
    return it != bookmarks.end() && it->id == id ? &*it : nullptr;
}

std::unique_ptr<FirefoxBookmarkTree> ReadFirefoxBookmarkTree(SqliteDatabase& db, std::int64_t menuRoot,
                                                             const QByteArray& excludedUrl,
                                                             std::size_t expectedBookmarks)
{
    auto tree = std::make_unique<FirefoxBookmarkTree>();

    // The folders first (few), so that each bookmark's Path is known when it is read.
    // Folders without a title cannot be named in a Path; separators are never folders.
    struct FolderRow {
        std::int64_t id;
        QString title;
    };
    QHash<std::int64_t, std::vector<FolderRow>> foldersOf;
    bool rootFound = false;
    {
        SqliteStatement rows(
            db,
            "SELECT id, parent, title FROM moz_bookmarks WHERE type = 2 AND title IS NOT NULL "
            "ORDER BY parent, position, id");
        while (rows.Step()) {
            rootFound = rootFound || rows.Int(0) == menuRoot;
            foldersOf[rows.Int(1)].push_back({rows.Int(0), rows.Text(2)});
        }
    }
    if (!rootFound) throw AgentError("the bookmarks-menu root is gone from " + db.Path().toStdString());

    // Depth first from the menu root; a folder's bookmarks are listed after everything its
    // sub-folders hold. A folder reached twice (a damaged database with a cycle) is walked once.
    // Each folder's Path checksum continues its parent's over its own title and "/".
    std::vector<std::int64_t> listingOrder;
    struct Frame {
        std::int64_t folder;
        std::size_t next;
    };
    static const std::vector<FolderRow> kNone;
    std::vector<Frame> stack{{menuRoot, 0}};
    tree->root = menuRoot;
    tree->folders.insert(menuRoot, FirefoxFolder{});
    static const char16_t kSlash = u'/';
    while (!stack.empty()) {
        const std::int64_t folder = stack.back().folder;
        const auto found = foldersOf.constFind(folder);
        const std::vector<FolderRow>& level = found == foldersOf.constEnd() ? kNone : *found;
        bool descended = false;
        while (stack.back().next < level.size()) {
            const FolderRow& child = level[stack.back().next++];
            if (tree->folders.contains(child.id)) continue;
            const FirefoxFolder& parent = tree->folders[folder];
            FirefoxFolder entry{folder, child.title, parent.pathCrc, parent.pathBytes};
            const std::size_t titleBytes = static_cast<std::size_t>(child.title.size()) * 2;
            entry.pathCrc = Crc32Update(Crc32Update(entry.pathCrc, child.title.utf16(), titleBytes), &kSlash, 2);
            entry.pathBytes += titleBytes + 2;
            tree->folders.insert(child.id, std::move(entry));
            tree->subFolders[folder].push_back({child.title, child.id});
            stack.push_back({child.id, 0});
            descended = true;
            break;
        }
        if (descended) continue;
        listingOrder.push_back(folder);
        stack.pop_back();
    }
    foldersOf.clear();

    // One scan in table order, as cheap as reading the rows at all; the listing order (by
    // folder, then position) is sorted in memory afterwards.
    struct Place {
        std::int64_t folderRank;
        std::int64_t position;
        std::int64_t id;
        bool operator<(const Place& o) const
        {
            return std::tie(folderRank, position, id) < std::tie(o.folderRank, o.position, o.id);
        }
    };
    QHash<std::int64_t, std::int64_t> ranks;
    ranks.reserve(qsizetype(listingOrder.size()));
    for (std::size_t i = 0; i < listingOrder.size(); ++i) ranks.insert(listingOrder[i], std::int64_t(i));
    std::vector<Place> places;
    places.reserve(expectedBookmarks);
    tree->bookmarks.reserve(expectedBookmarks);
    ChecksumBuffer buffer;
    // Every bookmark is served whatever its address's hidden mark: Firefox 3 marked unvisited
    // bookmarks hidden, later versions mark redirect sources so. A bookmark without a title is
    // served with an empty Name (Firefox shows its address in its place).
    SqliteStatement rows(
        db,
        "SELECT b.id, b.parent, b.position, b.title, p.url FROM moz_bookmarks b "
        "JOIN moz_places p ON p.id = b.fk WHERE b.type = 1 AND p.url IS NOT NULL");
    while (rows.Step()) {
        const std::int64_t parent = rows.Int(1);
        const auto rank = ranks.constFind(parent);
        if (rank == ranks.constEnd()) continue;
        const QByteArrayView url = rows.Utf8(4);
        if (url == excludedUrl || IsQueryAddress(url)) continue;
        const std::int64_t id = rows.Int(0);
        const FirefoxFolder& folder = *tree->folders.constFind(parent);
        const std::uint32_t crc = buffer.Checksum(id, folder.pathCrc, folder.pathBytes, rows.Utf8(3), url);
        tree->bookmarks.push_back({id, parent, crc});
        places.push_back({*rank, rows.Int(2), id});
    }
    std::sort(places.begin(), places.end());
    std::sort(tree->bookmarks.begin(), tree->bookmarks.end(),
              [](const FirefoxBookmark& a, const FirefoxBookmark& b) { return a.id < b.id; });
    tree->order.reserve(places.size());
    tree->orderCrcs.reserve(places.size());
    for (const Place& place : places) {
        tree->order.push_back(place.id);
        tree->orderCrcs.push_back(tree->Find(place.id)->crc);
    }
    return tree;
}
