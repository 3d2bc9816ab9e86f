#include "stores/firefox/firefox.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <tuple>

#include "common/bookmark_checksums.h"
#include "common/bookmark_depth.h"
#include "common/crc32.h"
#include "common/errors.h"
#include "platform/browser_probe.h"
#include "platform/regular_file_read.h"
#include "platform/sqlite/sqlite_database.h"
#include "stores/firefox/places_values.h"

namespace {

// Long enough to ride out a checkpoint, short enough that a request against a running Firefox
// fails at once rather than stalling the peer.
constexpr int kBusyTimeoutMs = 250;

// A locked places database is the usual failure: the user is told what holds it.
void ThrowPlacesFailure(const SqliteFailure& failure)
{
    if (failure.Locked())
        throw AgentError(failure.Text() +
                         " (another program holds the database locked; a running Firefox does)");
}

constexpr std::int64_t kTypeBookmark = 1;
constexpr std::int64_t kTypeFolder = 2;

std::string Text(const QString& s)
{
    return s.toStdString();
}

// Drops the loaded tree when a change ends, committed or not: a write changes the tree, and
// PRAGMA data_version does not tell a connection of its own writes.
template <class T>
struct ResetOnExit {
    std::unique_ptr<T>& owned;
    ~ResetOnExit() { owned.reset(); }
};

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

std::optional<std::int64_t> RowIdOfKey(const QString& key)
{
    bool ok = false;
    const std::int64_t id = key.toLongLong(&ok);
    return ok ? std::optional(id) : std::nullopt;
}

// The peer names a Firefox bookmark by its decimal row id; a key of another form is refused.
void RequireRowId(const QString& key)
{
    if (!RowIdOfKey(key))
        throw AgentError("not a Firefox bookmark identifier: \"" + key.left(100).toStdString() + "\"");
}

// Query bookmarks ("place:" addresses) are searches of Firefox's own history and bookmarks:
// they mean nothing in another browser and are not served.
bool IsQueryAddress(QByteArrayView url)
{
    return url.startsWith("place:");
}

}  // namespace

const QString CFirefox::kExcludedAddress =
    QStringLiteral("https://en-US.add-ons.mozilla.com/en-US/firefox/bookmarks/");

struct CFirefox::Schema {
    std::int64_t menuRoot = 0;
    // Columns and tables that later Firefox versions added; filled where they exist.
    bool bookmarkGuid = false;
    bool bookmarkDates = false;
    bool syncStatus = false;
    bool syncChangeCounter = false;
    bool placeGuid = false;
    bool urlHash = false;
    bool foreignCount = false;
    bool revHost = false;
    bool recalcFrecency = false;
    bool deletedTable = false;
};

// A bookmark as the tree keeps it: its texts stay in the database until a request asks for
// them; the checksum is computed once, when the tree is read.
struct CFirefox::Node {
    std::int64_t id = 0;
    std::int64_t parent = 0;
    std::uint32_t crc = 0;
};

// A folder below the menu root (or the root itself). Its Path is made only when asked for, by
// walking up: every folder keeps only its own title.
struct CFirefox::Folder {
    std::int64_t parent = 0;
    QString title;
    std::uint32_t pathCrc = 0;     // Crc32 of its Path's UTF-16 bytes
    std::uint64_t pathBytes = 0;   // their number
};

struct CFirefox::Tree {
    // Bookmarks sorted by row id, and their ids in listing order.
    std::vector<Node> bookmarks;
    std::vector<std::int64_t> order;
    std::vector<std::uint32_t> orderCrcs;  // the checksum of each, in the same order
    // The folders below the menu root and the root, and per folder its sub-folders in position
    // order as (title, id).
    QHash<std::int64_t, Folder> folders;
    QHash<std::int64_t, std::vector<std::pair<QString, std::int64_t>>> subFolders;
    std::int64_t root = 0;

    // "Work/Tools/": the titles from the menu root down to the folder, each followed by "/".
    QString PathOf(std::int64_t folder) const
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

    const Node* Find(std::int64_t id) const
    {
        const auto it = std::lower_bound(bookmarks.begin(), bookmarks.end(), id,
                                         [](const Node& node, std::int64_t key) { return node.id < key; });
        return it != bookmarks.end() && it->id == id ? &*it : nullptr;
    }
};

// A bookmark's texts as the database holds them.
struct CFirefox::Texts {
    QString title;
    QString url;
    std::int64_t place = 0;
};

CFirefox::CFirefox() = default;

CFirefox::CFirefox(QString placesFile) : fixedFile_(std::move(placesFile)) {}

CFirefox::~CFirefox()
{
    Close();
}

QString CFirefox::PlacesFile() const
{
    return fixedFile_ ? *fixedFile_ : FirefoxPlacesPath();
}

QStringList CFirefox::SplitFolderPath(const QString& path)
{
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

QStringList CFirefox::FolderNames(const QString& path)
{
    QStringList names = SplitFolderPath(path);
    RequireBookmarkFolderDepth(names.size(), path);
    return names;
}

void CFirefox::Open()
{
    Close();
    const QString path = PlacesFile();
    if (path.isEmpty())
        throw AgentError("no Firefox profile: " + Text(FirefoxDataDir()) +
                         "/profiles.ini is missing or names no profile");
    if (!QFileInfo::exists(path))
        throw AgentError("the Firefox places database " + Text(path) + " does not exist");
    // SQLite opens these by name and would wait forever reading a FIFO that took one of the
    // names: each is looked at as a descriptor opened without blocking first.
    RequireRegularFile(path);
    for (const char* companion : {"-wal", "-journal"})
        if (QFileInfo(path + QLatin1String(companion)).exists() || QFileInfo(path + QLatin1String(companion)).isSymLink())
            RequireRegularFile(path + QLatin1String(companion));

    auto db = std::make_unique<SqliteDatabase>(path, kBusyTimeoutMs, ThrowPlacesFailure);
    // The first reads: a database another program holds locked fails here, at the start of
    // the synchronisation, rather than in the middle of it.
    if (!db->HasTable("moz_bookmarks") || !db->HasTable("moz_places"))
        throw AgentError(Text(path) + " is not a Firefox places database");
    auto schema = std::make_unique<Schema>();
    std::optional<std::int64_t> menu;
    if (db->HasTable("moz_bookmarks_roots")) {
        SqliteStatement s(*db, "SELECT folder_id FROM moz_bookmarks_roots WHERE root_name = 'menu'");
        while (s.Step()) menu = s.Int(0);
    } else if (db->HasColumn("moz_bookmarks", "guid")) {
        SqliteStatement s(*db, "SELECT id FROM moz_bookmarks WHERE guid = 'menu________'");
        if (s.Step()) menu = s.Int(0);
    }
    if (!menu) throw AgentError(Text(path) + " has no bookmarks-menu root");
    schema->menuRoot = *menu;
    schema->bookmarkGuid = db->HasColumn("moz_bookmarks", "guid");
    schema->bookmarkDates =
        db->HasColumn("moz_bookmarks", "dateAdded") && db->HasColumn("moz_bookmarks", "lastModified");
    schema->syncStatus = db->HasColumn("moz_bookmarks", "syncStatus");
    schema->syncChangeCounter = db->HasColumn("moz_bookmarks", "syncChangeCounter");
    schema->placeGuid = db->HasColumn("moz_places", "guid");
    schema->urlHash = db->HasColumn("moz_places", "url_hash");
    schema->foreignCount = db->HasColumn("moz_places", "foreign_count");
    schema->revHost = db->HasColumn("moz_places", "rev_host");
    schema->recalcFrecency = db->HasColumn("moz_places", "recalc_frecency");
    schema->deletedTable = db->HasTable("moz_bookmarks_deleted");

    dataVersion_ = std::make_unique<SqliteStatement>(*db, "PRAGMA data_version");
    identity_ = IdentityOf(path);
    db_ = std::move(db);
    schema_ = std::move(schema);
    if (log_) log_(QStringLiteral("Firefox places database: ") + path);
}

CFirefox::FileIdentity CFirefox::IdentityOf(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return {st.st_dev, st.st_ino};
}

void CFirefox::Close()
{
    tree_.reset();
    dataVersion_.reset();
    schema_.reset();
    db_.reset();
}

SqliteDatabase& CFirefox::RequireOpen()
{
    if (!db_) throw AgentError("the Firefox places database is not open (no synchronisation started)");
    return *db_;
}

SqliteDatabase& CFirefox::RequireCurrentFile()
{
    RequireOpen();
    // Another program's commits show in PRAGMA data_version; a file put in the database's place
    // (a restored backup, a profile copied over) does not: the connection would go on reading
    // and writing the old one, which nobody sees any more.
    if (IdentityOf(db_->Path()) != identity_) {
        const QString path = db_->Path();
        if (log_) log_(QStringLiteral("Firefox places database replaced on disk, opened again: ") + path);
        Open();
    }
    return *db_;
}

const CFirefox::Tree& CFirefox::CurrentTree()
{
    SqliteDatabase& db = RequireOpen();
    if (!dataVersion_->Step()) db.Fail(SqliteFailure::Stage::Step, "PRAGMA data_version", 0);
    const std::int64_t version = dataVersion_->Int(0);
    dataVersion_->Reset();
    if (tree_ && version == treeDataVersion_) return *tree_;
    const std::size_t previousBookmarks = tree_ ? tree_->bookmarks.size() : 0;
    tree_.reset();
    auto tree = std::make_unique<Tree>();

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
            rootFound = rootFound || rows.Int(0) == schema_->menuRoot;
            foldersOf[rows.Int(1)].push_back({rows.Int(0), rows.Text(2)});
        }
    }
    if (!rootFound) throw AgentError("the bookmarks-menu root is gone from " + Text(db.Path()));

    // Depth first from the menu root; a folder's bookmarks are listed after everything its
    // sub-folders hold. A folder reached twice (a damaged database with a cycle) is walked once.
    // Each folder's Path checksum continues its parent's over its own title and "/".
    std::vector<std::int64_t> listingOrder;
    struct Frame {
        std::int64_t folder;
        std::size_t next;
    };
    static const std::vector<FolderRow> kNone;
    std::vector<Frame> stack{{schema_->menuRoot, 0}};
    tree->root = schema_->menuRoot;
    tree->folders.insert(schema_->menuRoot, Folder{});
    static const char16_t kSlash = u'/';
    while (!stack.empty()) {
        const std::int64_t folder = stack.back().folder;
        const auto found = foldersOf.constFind(folder);
        const std::vector<FolderRow>& level = found == foldersOf.constEnd() ? kNone : *found;
        bool descended = false;
        while (stack.back().next < level.size()) {
            const FolderRow& child = level[stack.back().next++];
            if (tree->folders.contains(child.id)) continue;
            const Folder& parent = tree->folders[folder];
            Folder entry{folder, child.title, parent.pathCrc, parent.pathBytes};
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
    places.reserve(previousBookmarks);
    tree->bookmarks.reserve(previousBookmarks);
    const QByteArray excluded = kExcludedAddress.toUtf8();
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
        if (url == excluded || IsQueryAddress(url)) continue;
        const std::int64_t id = rows.Int(0);
        const Folder& folder = *tree->folders.constFind(parent);
        const std::uint32_t crc = buffer.Checksum(id, folder.pathCrc, folder.pathBytes, rows.Utf8(3), url);
        tree->bookmarks.push_back({id, parent, crc});
        places.push_back({*rank, rows.Int(2), id});
    }
    std::sort(places.begin(), places.end());
    std::sort(tree->bookmarks.begin(), tree->bookmarks.end(),
              [](const Node& a, const Node& b) { return a.id < b.id; });
    tree->order.reserve(places.size());
    tree->orderCrcs.reserve(places.size());
    for (const Place& place : places) {
        tree->order.push_back(place.id);
        tree->orderCrcs.push_back(tree->Find(place.id)->crc);
    }

    tree_ = std::move(tree);
    treeDataVersion_ = version;
    nextInOrder_ = 0;
    return *tree_;
}

const CFirefox::Node* CFirefox::FindBookmark(const QString& id)
{
    const Tree& tree = CurrentTree();
    const std::optional<std::int64_t> row = RowIdOfKey(id);
    if (!row) return nullptr;
    return tree.Find(*row);
}

std::vector<UrlFileEntry> CFirefox::GetIDs()
{
    RequireCurrentFile();
    const Tree& tree = CurrentTree();
    std::vector<UrlFileEntry> ids;
    ids.reserve(tree.order.size());
    for (const std::int64_t id : tree.order) ids.push_back({QString::number(id), 0, 0, 0});
    nextInOrder_ = 0;
    return ids;
}

std::uint32_t CFirefox::IDtoCRC32(const QString& id)
{
    // A check asks this once per bookmark right after listing them: the checksums come from the
    // tree the listing read (asking SQLite whether the file changed costs a lock per call).
    RequireOpen();
    if (!tree_) CurrentTree();
    const std::optional<std::int64_t> row = RowIdOfKey(id);
    if (!row) return Crc32OfText(id);
    // It asks in listing order, so the next one in the list is the first place to look.
    if (nextInOrder_ < tree_->order.size() && tree_->order[nextInOrder_] == *row)
        return tree_->orderCrcs[nextInOrder_++];
    const Node* node = tree_->Find(*row);
    return node ? node->crc : Crc32OfText(id);
}

CFirefox::Texts CFirefox::ReadTexts(std::int64_t id)
{
    SqliteStatement s(*db_,
                      "SELECT b.title, p.url, b.fk FROM moz_bookmarks b JOIN moz_places p ON p.id = b.fk "
                      "WHERE b.id = ?");
    s.Bind(1, id);
    if (!s.Step()) throw AgentError("bookmark " + std::to_string(id) + " vanished from " + Text(db_->Path()));
    return {s.Text(0), s.Text(1), s.Int(2)};
}

const CFirefox::Node& CFirefox::RequireServed(const QString& id)
{
    const Node* node = FindBookmark(id);
    if (!node)
        throw AgentError("no bookmark " + id.left(100).toStdString() + " below the bookmarks menu of " +
                         Text(db_->Path()) +
                         " (a folder, separator, query, another root's row or none at all)");
    return *node;
}

void CFirefox::Get(const QString& id, BookmarkRecord& record)
{
    RequireCurrentFile();
    const Node& node = RequireServed(id);
    Texts texts = ReadTexts(node.id);
    record.path = tree_->PathOf(node.parent);
    record.name = std::move(texts.title);
    record.url = std::move(texts.url);
}

void CFirefox::Touch(std::int64_t row, std::int64_t now)
{
    if (schema_->bookmarkDates)
        SqliteStatement(*db_, "UPDATE moz_bookmarks SET lastModified = ? WHERE id = ?")
            .Bind(1, now)
            .Bind(2, row)
            .Run();
    if (schema_->syncChangeCounter)
        SqliteStatement(*db_,
                        "UPDATE moz_bookmarks SET syncChangeCounter = syncChangeCounter + 1 WHERE id = ?")
            .Bind(1, row)
            .Run();
}

void CFirefox::ChangeForeignCount(std::int64_t place, int delta)
{
    // Firefox expires an address nothing refers to and nobody visited; the count is what
    // tells it a bookmark still does.
    if (!schema_->foreignCount || place == 0) return;
    SqliteStatement(*db_, "UPDATE moz_places SET foreign_count = MAX(foreign_count + ?1, 0) WHERE id = ?2")
        .Bind(1, std::int64_t{delta})
        .Bind(2, place)
        .Run();
}

std::int64_t CFirefox::NextPosition(std::int64_t parent)
{
    SqliteStatement s(*db_, "SELECT COALESCE(MAX(position) + 1, 0) FROM moz_bookmarks WHERE parent = ?");
    s.Bind(1, parent);
    return s.Step() ? s.Int(0) : 0;
}

std::int64_t CFirefox::InsertRow(int type, std::optional<std::int64_t> place, std::int64_t parent,
                                 const QString& title, std::int64_t now)
{
    QByteArray sql = "INSERT INTO moz_bookmarks (type, fk, parent, position, title";
    if (schema_->bookmarkGuid) sql += ", guid";
    if (schema_->bookmarkDates) sql += ", dateAdded, lastModified";
    sql += ") VALUES (?1, ?2, ?3, ?4, ?5";
    if (schema_->bookmarkGuid) sql += ", ?6";
    if (schema_->bookmarkDates) sql += ", ?7, ?7";
    sql += ")";
    SqliteStatement s(*db_, sql.constData());
    s.Bind(1, std::int64_t{type});
    if (place)
        s.Bind(2, *place);
    else
        s.BindNull(2);
    s.Bind(3, parent).Bind(4, NextPosition(parent)).Bind(5, title);
    if (schema_->bookmarkGuid) s.Bind(6, NewPlacesGuid());
    if (schema_->bookmarkDates) s.Bind(7, now);
    s.Run();
    const std::int64_t id = db_->LastInsertRowId();
    Touch(parent, now);
    return id;
}

std::int64_t CFirefox::FindOrCreateFolder(const QStringList& names, std::int64_t now)
{
    const Tree& tree = CurrentTree();
    std::int64_t parent = schema_->menuRoot;
    qsizetype used = 0;
    for (; used < names.size(); ++used) {
        const auto level = tree.subFolders.constFind(parent);
        if (level == tree.subFolders.constEnd()) break;
        const auto match = std::find_if(level->begin(), level->end(),
                                        [&](const auto& folder) { return folder.first == names[used]; });
        if (match == level->end()) break;
        parent = match->second;
    }
    for (; used < names.size(); ++used)
        parent = InsertRow(kTypeFolder, std::nullopt, parent, names[used], now);
    return parent;
}

std::int64_t CFirefox::FindOrInsertPlace(const QString& url)
{
    {
        // Firefox finds addresses through url_hash; rows other programs inserted may lack it.
        SqliteStatement find(*db_,
                             schema_->urlHash
                                 ? "SELECT id FROM moz_places WHERE url = ?1 AND url_hash IN (?2, 0) LIMIT 1"
                                 : "SELECT id FROM moz_places WHERE url = ?1 LIMIT 1");
        find.Bind(1, url);
        if (schema_->urlHash) find.Bind(2, PlacesUrlHash(url));
        if (find.Step()) return find.Int(0);
    }
    // Only column names enter the text; every value is bound.
    QByteArray columns = "url";
    QByteArray values = "?";
    if (schema_->placeGuid) columns += ", guid", values += ", ?";
    if (schema_->revHost) columns += ", rev_host", values += ", ?";
    // Firefox ranks the new address for its address bar once it sees the mark.
    if (schema_->recalcFrecency) columns += ", recalc_frecency", values += ", 1";
    if (schema_->urlHash) columns += ", url_hash", values += ", ?";
    const QByteArray sql = "INSERT INTO moz_places (" + columns + ") VALUES (" + values + ")";
    SqliteStatement insert(*db_, sql.constData());
    int index = 1;
    insert.Bind(index++, url);
    if (schema_->placeGuid) insert.Bind(index++, NewPlacesGuid());
    if (schema_->revHost) insert.Bind(index++, PlacesReversedHost(url));
    if (schema_->urlHash) insert.Bind(index++, PlacesUrlHash(url));
    insert.Run();
    return db_->LastInsertRowId();
}

void CFirefox::RemoveRow(std::int64_t row, std::int64_t now)
{
    std::int64_t place = 0, parent = 0, position = 0, syncStatus = 0;
    QString guid;
    {
        const char* sql =
            schema_->syncStatus && schema_->bookmarkGuid
                ? "SELECT fk, parent, position, syncStatus, guid FROM moz_bookmarks WHERE id = ?"
                : "SELECT fk, parent, position, 0, NULL FROM moz_bookmarks WHERE id = ?";
        SqliteStatement s(*db_, sql);
        s.Bind(1, row);
        if (!s.Step()) return;
        place = s.Int(0);
        parent = s.Int(1);
        position = s.Int(2);
        syncStatus = s.Int(3);
        guid = s.Text(4);
    }
    SqliteStatement(*db_, "DELETE FROM moz_bookmarks WHERE id = ?").Bind(1, row).Run();
    SqliteStatement(*db_,
                    "UPDATE moz_bookmarks SET position = position - 1 WHERE parent = ?1 AND position > ?2")
        .Bind(1, parent)
        .Bind(2, position)
        .Run();
    ChangeForeignCount(place, -1);
    Touch(parent, now);
    // A bookmark Firefox Sync already uploaded (status normal) must be deleted on the server too.
    constexpr std::int64_t kSyncStatusNormal = 2;
    if (syncStatus == kSyncStatusNormal && schema_->deletedTable && !guid.isEmpty())
        SqliteStatement(*db_,
                        "INSERT OR REPLACE INTO moz_bookmarks_deleted (guid, dateRemoved) VALUES (?, ?)")
            .Bind(1, guid)
            .Bind(2, now)
            .Run();
}

void CFirefox::MoveToEnd(std::int64_t row, std::int64_t parent, std::int64_t now)
{
    std::int64_t oldParent = 0, oldPosition = 0;
    {
        SqliteStatement s(*db_, "SELECT parent, position FROM moz_bookmarks WHERE id = ?");
        s.Bind(1, row);
        if (!s.Step()) return;
        oldParent = s.Int(0);
        oldPosition = s.Int(1);
    }
    SqliteStatement(*db_, "UPDATE moz_bookmarks SET parent = ?1, position = ?2 WHERE id = ?3")
        .Bind(1, parent)
        .Bind(2, NextPosition(parent))
        .Bind(3, row)
        .Run();
    SqliteStatement(*db_,
                    "UPDATE moz_bookmarks SET position = position - 1 WHERE parent = ?1 AND position > ?2")
        .Bind(1, oldParent)
        .Bind(2, oldPosition)
        .Run();
    Touch(oldParent, now);
    Touch(parent, now);
}

QString CFirefox::Add(const BookmarkRecord& record)
{
    SqliteDatabase& db = RequireCurrentFile();
    const QStringList folders = FolderNames(record.path);
    std::int64_t id = 0;
    {
        SqliteTransaction transaction(db);
        ResetOnExit<Tree> dropTree{tree_};
        const std::int64_t now = PlacesTimeNow();
        const std::int64_t parent = FindOrCreateFolder(folders, now);
        const std::int64_t place = FindOrInsertPlace(record.url);
        id = InsertRow(kTypeBookmark, place, parent, record.name, now);
        ChangeForeignCount(place, +1);
        transaction.Commit();
    }
    return QString::number(id);
}

QString CFirefox::Edit(const QString& id, const BookmarkRecord& record)
{
    SqliteDatabase& db = RequireCurrentFile();
    RequireRowId(id);
    const QStringList folders = FolderNames(record.path);
    const Node node = RequireServed(id);
    const QString currentPath = tree_->PathOf(node.parent);
    const Texts current = ReadTexts(node.id);

    SqliteTransaction transaction(db);
    ResetOnExit<Tree> dropTree{tree_};
    const std::int64_t now = PlacesTimeNow();
    bool changed = false;
    if (record.url != current.url) {
        // The bookmark gets the address's own row; the old row keeps its address for the other
        // bookmarks and the history that share it.
        const std::int64_t place = FindOrInsertPlace(record.url);
        if (place != current.place) {
            SqliteStatement(db, "UPDATE moz_bookmarks SET fk = ?1 WHERE id = ?2")
                .Bind(1, place)
                .Bind(2, node.id)
                .Run();
            ChangeForeignCount(current.place, -1);
            ChangeForeignCount(place, +1);
            changed = true;
        }
    }
    if (record.name != current.title) {
        SqliteStatement(db, "UPDATE moz_bookmarks SET title = ?1 WHERE id = ?2")
            .Bind(1, record.name)
            .Bind(2, node.id)
            .Run();
        changed = true;
    }
    if (folders != SplitFolderPath(currentPath)) {
        const std::int64_t parent = FindOrCreateFolder(folders, now);
        if (parent != node.parent) {
            MoveToEnd(node.id, parent, now);
            changed = true;
        }
    }
    if (changed) Touch(node.id, now);
    transaction.Commit();
    return id;
}

void CFirefox::Delete(const QString& id)
{
    SqliteDatabase& db = RequireCurrentFile();
    RequireRowId(id);
    const Node* node = FindBookmark(id);
    if (!node) return;
    const std::int64_t row = node->id;
    SqliteTransaction transaction(db);
    ResetOnExit<Tree> dropTree{tree_};
    RemoveRow(row, PlacesTimeNow());
    transaction.Commit();
}

void CFirefox::DeleteAll()
{
    SqliteDatabase& db = RequireCurrentFile();
    const std::vector<std::int64_t> rows = CurrentTree().order;
    if (rows.empty()) return;
    SqliteTransaction transaction(db);
    ResetOnExit<Tree> dropTree{tree_};
    const std::int64_t now = PlacesTimeNow();
    for (const std::int64_t row : rows) RemoveRow(row, now);
    transaction.Commit();
}
