#include "stores/firefox/firefox.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "common/bookmark_checksums.h"
#include "common/bookmark_depth.h"
#include "common/crc32.h"
#include "common/errors.h"
#include "platform/browser_probe.h"
#include "platform/regular_file_read.h"
#include "platform/sqlite/sqlite_database.h"
#include "stores/firefox/firefox_bookmark_rows.h"
#include "stores/firefox/firefox_bookmark_tree.h"
#include "stores/firefox/firefox_places_schema.h"
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

}  // namespace

const QString CFirefox::kExcludedAddress =
    QStringLiteral("https://en-US.add-ons.mozilla.com/en-US/firefox/bookmarks/");

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
    AtSyncEnd();
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

bool CFirefox::AtSyncStart()
{
    AtSyncEnd();
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
    auto schema = std::make_unique<FirefoxPlacesSchema>(ReadFirefoxPlacesSchema(*db));

    dataVersion_ = std::make_unique<SqliteStatement>(*db, "PRAGMA data_version");
    identity_ = IdentityOf(path);
    db_ = std::move(db);
    schema_ = std::move(schema);
    if (log_) log_(QStringLiteral("Firefox places database: ") + path);
    return true;
}

CFirefox::FileIdentity CFirefox::IdentityOf(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return {st.st_dev, st.st_ino};
}

void CFirefox::AtSyncEnd()
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
        AtSyncStart();
    }
    return *db_;
}

const FirefoxBookmarkTree& CFirefox::CurrentTree()
{
    SqliteDatabase& db = RequireOpen();
    if (!dataVersion_->Step()) db.Fail(SqliteFailure::Stage::Step, "PRAGMA data_version", 0);
    const std::int64_t version = dataVersion_->Int(0);
    dataVersion_->Reset();
    if (tree_ && version == treeDataVersion_) return *tree_;
    const std::size_t previousBookmarks = tree_ ? tree_->bookmarks.size() : 0;
    tree_.reset();
    static const QByteArray excluded = kExcludedAddress.toUtf8();
    tree_ = ReadFirefoxBookmarkTree(db, schema_->menuRoot, excluded, previousBookmarks);
    treeDataVersion_ = version;
    nextInOrder_ = 0;
    return *tree_;
}

const FirefoxBookmark* CFirefox::FindBookmark(const QString& id)
{
    const FirefoxBookmarkTree& tree = CurrentTree();
    const std::optional<std::int64_t> row = RowIdOfKey(id);
    if (!row) return nullptr;
    return tree.Find(*row);
}

std::vector<UrlFileEntry> CFirefox::GetIDs()
{
    RequireCurrentFile();
    const FirefoxBookmarkTree& tree = CurrentTree();
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
    const FirefoxBookmark* node = tree_->Find(*row);
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

const FirefoxBookmark& CFirefox::RequireServed(const QString& id)
{
    const FirefoxBookmark* node = FindBookmark(id);
    if (!node)
        throw AgentError("no bookmark " + id.left(100).toStdString() + " below the bookmarks menu of " +
                         Text(db_->Path()) +
                         " (a folder, separator, query, another root's row or none at all)");
    return *node;
}

void CFirefox::Get(const QString& id, BookmarkRecord& record)
{
    RequireCurrentFile();
    const FirefoxBookmark& node = RequireServed(id);
    Texts texts = ReadTexts(node.id);
    record.path = tree_->PathOf(node.parent);
    record.name = std::move(texts.title);
    record.url = std::move(texts.url);
}

FirefoxBookmarkRows CFirefox::Rows()
{
    return FirefoxBookmarkRows(*db_, *schema_);
}

QString CFirefox::Add(const BookmarkRecord& record)
{
    SqliteDatabase& db = RequireCurrentFile();
    const QStringList folders = FolderNames(record.path);
    std::int64_t id = 0;
    {
        SqliteTransaction transaction(db);
        ResetOnExit<FirefoxBookmarkTree> dropTree{tree_};
        FirefoxBookmarkRows rows = Rows();
        const std::int64_t now = PlacesTimeNow();
        const std::int64_t parent = rows.FindOrCreateFolder(CurrentTree(), folders, now);
        const std::int64_t place = rows.FindOrInsertPlace(record.url);
        id = rows.InsertRow(FirefoxBookmarkRows::kTypeBookmark, place, parent, record.name, now);
        rows.ChangeForeignCount(place, +1);
        transaction.Commit();
    }
    return QString::number(id);
}

QString CFirefox::Edit(const QString& id, const BookmarkRecord& record)
{
    SqliteDatabase& db = RequireCurrentFile();
    RequireRowId(id);
    const QStringList folders = FolderNames(record.path);
    const FirefoxBookmark node = RequireServed(id);
    const QString currentPath = tree_->PathOf(node.parent);
    const Texts current = ReadTexts(node.id);

    SqliteTransaction transaction(db);
    ResetOnExit<FirefoxBookmarkTree> dropTree{tree_};
    FirefoxBookmarkRows rows = Rows();
    const std::int64_t now = PlacesTimeNow();
    bool changed = false;
    if (record.url != current.url) {
        // The bookmark gets the address's own row; the old row keeps its address for the other
        // bookmarks and the history that share it.
        const std::int64_t place = rows.FindOrInsertPlace(record.url);
        if (place != current.place) {
            SqliteStatement(db, "UPDATE moz_bookmarks SET fk = ?1 WHERE id = ?2")
                .Bind(1, place)
                .Bind(2, node.id)
                .Run();
            rows.ChangeForeignCount(current.place, -1);
            rows.ChangeForeignCount(place, +1);
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
        const std::int64_t parent = rows.FindOrCreateFolder(CurrentTree(), folders, now);
        if (parent != node.parent) {
            rows.MoveToEnd(node.id, parent, now);
            changed = true;
        }
    }
    if (changed) rows.Touch(node.id, now);
    transaction.Commit();
    return id;
}

void CFirefox::Delete(const QString& id)
{
    SqliteDatabase& db = RequireCurrentFile();
    RequireRowId(id);
    const FirefoxBookmark* node = FindBookmark(id);
    if (!node) return;
    const std::int64_t row = node->id;
    SqliteTransaction transaction(db);
    ResetOnExit<FirefoxBookmarkTree> dropTree{tree_};
    Rows().RemoveRow(row, PlacesTimeNow());
    transaction.Commit();
}

void CFirefox::DeleteAll()
{
    SqliteDatabase& db = RequireCurrentFile();
    const std::vector<std::int64_t> served = CurrentTree().order;
    if (served.empty()) return;
    SqliteTransaction transaction(db);
    ResetOnExit<FirefoxBookmarkTree> dropTree{tree_};
    FirefoxBookmarkRows rows = Rows();
    const std::int64_t now = PlacesTimeNow();
    for (const std::int64_t row : served) rows.RemoveRow(row, now);
    transaction.Commit();
}
