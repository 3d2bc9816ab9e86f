#include "stores/firefox/firefox.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "common/bookmark_checksums.h"
#include "common/bookmark_depth.h"
#include "common/errors.h"
#include "stores/firefox/places_values.h"
#include "support/heap_in_use.h"

namespace {

// A connection of the test's own to the database the store works on.
class Sql {
public:
    explicit Sql(const QString& path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK)
            ADD_FAILURE() << "cannot open " << path.toStdString();
    }
    ~Sql() { sqlite3_close(db_); }
    void Run(const QString& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK)
            ADD_FAILURE() << sql.toStdString() << ": " << (error ? error : "");
        sqlite3_free(error);
    }
    // The rows, columns joined by "|", rows by "\n"; NULL as "~".
    QString Query(const QString& sql)
    {
        QStringList rows;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql.toStdString() << ": " << sqlite3_errmsg(db_);
            return {};
        }
        while (sqlite3_step(s) == SQLITE_ROW) {
            QStringList columns;
            for (int i = 0; i < sqlite3_column_count(s); ++i)
                columns << (sqlite3_column_type(s, i) == SQLITE_NULL
                                ? QStringLiteral("~")
                                : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, i))));
            rows << columns.join(QLatin1Char('|'));
        }
        sqlite3_finalize(s);
        return rows.join(QLatin1Char('\n'));
    }
    std::int64_t Int(const QString& sql) { return Query(sql).toLongLong(); }
    std::int64_t LastId() { return sqlite3_last_insert_rowid(db_); }

private:
    sqlite3* db_ = nullptr;
};

// Firefox 3's schema: the roots in moz_bookmarks_roots, no guids, no sync columns.
const char kFirefox3Schema[] = R"(
CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY,type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER, position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT, dateAdded INTEGER, lastModified INTEGER);
CREATE TABLE moz_bookmarks_roots (root_name VARCHAR(16) UNIQUE, folder_id INTEGER);
CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 NOT NULL, favicon_id INTEGER, frecency INTEGER DEFAULT -1 NOT NULL);
INSERT INTO moz_bookmarks (id, type, parent, position, title) VALUES (1, 2, 0, 0, ''), (2, 2, 1, 0, 'Bookmarks Menu'), (3, 2, 1, 1, 'Bookmarks Toolbar'), (4, 2, 1, 2, 'Tags'), (5, 2, 1, 3, 'Unsorted Bookmarks');
INSERT INTO moz_bookmarks_roots VALUES ('places', 1), ('menu', 2), ('toolbar', 3), ('tags', 4), ('unfiled', 5);
)";

const QString kRealDatabase = QStringLiteral(TWINLARK_TEST_DATA "/firefox/places-esr153.sqlite");

enum class Schema { Firefox3, Current };

// A database of either schema in a temporary folder, with rows added as Firefox adds them.
class PlacesDatabase {
public:
    // The current schema is the database Firefox ESR 153 wrote, with or without its four
    // default bookmarks (and their folder and addresses).
    explicit PlacesDatabase(Schema schema, bool firefoxDefaults = true)
        : schema_(schema), path_(dir_.path() + QStringLiteral("/places.sqlite"))
    {
        if (schema == Schema::Current) {
            QFile::copy(kRealDatabase, path_);
            QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner);
        }
        Sql sql(path_);
        if (schema == Schema::Firefox3) sql.Run(QString::fromLatin1(kFirefox3Schema));
        else if (!firefoxDefaults) sql.Run("DELETE FROM moz_bookmarks WHERE id > 6; DELETE FROM moz_places;");
    }
    const QString& Path() const { return path_; }
    std::int64_t Menu() const { return 2; }
    bool Current() const { return schema_ == Schema::Current; }

    std::int64_t Folder(std::int64_t parent, const QString& title) { return Row(2, 0, parent, title); }
    std::int64_t Bookmark(std::int64_t parent, const QString& title, const QString& url)
    {
        Sql sql(path_);
        std::int64_t place = sql.Int("SELECT id FROM moz_places WHERE url = '" + Quote(url) + "'");
        if (place == 0) {
            sql.Run(Current() ? QStringLiteral("INSERT INTO moz_places (url, guid, url_hash) VALUES ('%1', '%2', %3)")
                                    .arg(Quote(url), NewPlacesGuid())
                                    .arg(PlacesUrlHash(url))
                              : QStringLiteral("INSERT INTO moz_places (url) VALUES ('%1')").arg(Quote(url)));
            place = sql.LastId();
        }
        if (Current()) sql.Run(QStringLiteral("UPDATE moz_places SET foreign_count = foreign_count + 1 WHERE id = %1").arg(place));
        return Row(1, place, parent, title);
    }
    std::int64_t Row(int type, std::int64_t place, std::int64_t parent, const QString& title)
    {
        Sql sql(path_);
        const std::int64_t position = sql.Int(QStringLiteral("SELECT COUNT(*) FROM moz_bookmarks WHERE parent = %1").arg(parent));
        sql.Run(QStringLiteral("INSERT INTO moz_bookmarks (type, fk, parent, position, title%1) VALUES (%2, %3, %4, %5, %6%7)")
                    .arg(Current() ? ", guid" : "")
                    .arg(type)
                    .arg(place ? QString::number(place) : QStringLiteral("NULL"))
                    .arg(parent)
                    .arg(position)
                    .arg(title.isNull() ? QStringLiteral("NULL") : "'" + Quote(title) + "'")
                    .arg(Current() ? ", '" + NewPlacesGuid() + "'" : QString()));
        return sql.LastId();
    }
    QString Query(const QString& text) { return Sql(path_).Query(text); }
    std::int64_t Int(const QString& text) { return Sql(path_).Int(text); }
    void Run(const QString& text) { Sql(path_).Run(text); }
    QString Tables()
    {
        return Query("SELECT * FROM moz_bookmarks ORDER BY id") + "\n--\n" + Query("SELECT * FROM moz_places ORDER BY id");
    }
    QByteArray Bytes() const
    {
        QFile f(path_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    static QString Quote(QString s) { return s.replace(QLatin1Char('\''), QStringLiteral("''")); }
    Schema schema_;
    QTemporaryDir dir_;
    QString path_;
};

BookmarkRecord Get(CFirefox& store, std::int64_t id)
{
    BookmarkRecord r;
    store.Get(QString::number(id), r);
    return r;
}

std::vector<QString> Ids(CFirefox& store)
{
    std::vector<QString> ids;
    for (const UrlFileEntry& e : store.GetIDs()) ids.push_back(e.key);
    return ids;
}

TEST(FirefoxStore, ReadsTheDefaultBookmarksFirefoxWrote)
{
    PlacesDatabase db(Schema::Current);
    CFirefox store(db.Path());
    QStringList log;
    store.SetLog([&](const QString& line) { log << line; });
    store.AtSyncStart();
    EXPECT_EQ(log, QStringList{"Firefox places database: " + db.Path()});
    EXPECT_EQ(Ids(store), (std::vector<QString>{"8", "9", "10", "11"}));
    EXPECT_EQ(Get(store, 8), (BookmarkRecord{QStringLiteral("Mozilla Firefox/"), QStringLiteral("Get Help"),
                                             QStringLiteral("https://support.mozilla.org/products/firefox")}));
    EXPECT_EQ(Get(store, 11).name, QStringLiteral("About Us"));
    EXPECT_EQ(store.IDtoCRC32(QStringLiteral("8")),
              Crc32OfText(QStringLiteral("8Mozilla Firefox/Get Helphttps://support.mozilla.org/products/firefox")));
    // The folder and the roots are no bookmarks.
    EXPECT_EQ(store.IDtoCRC32(QStringLiteral("7")), Crc32OfText(QStringLiteral("7")));
    EXPECT_THROW(Get(store, 7), AgentError);
    // Firefox's own url_hash values are the ones the store computes.
    for (const QString& row : db.Query("SELECT url || '|' || url_hash FROM moz_places").split('\n'))
        EXPECT_EQ(QString::number(PlacesUrlHash(row.section('|', 0, -2))), row.section('|', -1)) << row.toStdString();
}

TEST(FirefoxStore, RowsItWritesLookLikeFirefoxsOwn)
{
    PlacesDatabase db(Schema::Current);
    CFirefox store(db.Path());
    store.AtSyncStart();
    const std::int64_t before = PlacesTimeNow();
    const QString id = store.Add({QStringLiteral("Mozilla Firefox"), QStringLiteral("Example"),
                                  QStringLiteral("https://www.example.org/page")});
    const std::int64_t after = PlacesTimeNow();
    EXPECT_EQ(Get(store, id.toLongLong()),
              (BookmarkRecord{"Mozilla Firefox/", "Example", "https://www.example.org/page"}));

    const QStringList row =
        db.Query("SELECT type, parent, position, guid, dateAdded, lastModified, syncChangeCounter, fk FROM moz_bookmarks "
                 "WHERE id = " + id)
            .split('|');
    ASSERT_EQ(row.size(), 8);
    EXPECT_EQ(row.mid(0, 3), (QStringList{"1", "7", "4"}));
    static const QRegularExpression guid(QStringLiteral("^[A-Za-z0-9_-]{12}$"));
    EXPECT_TRUE(guid.match(row[3]).hasMatch()) << row[3].toStdString();
    EXPECT_GE(row[4].toLongLong(), before);
    EXPECT_LE(row[4].toLongLong(), after);
    EXPECT_EQ(row[5], row[4]);
    EXPECT_EQ(row[6], "1");
    const QStringList place =
        db.Query("SELECT url_hash, foreign_count, guid, rev_host, recalc_frecency FROM moz_places WHERE id = " + row[7])
            .split('|');
    EXPECT_EQ(place[0], QString::number(PlacesUrlHash("https://www.example.org/page")));
    EXPECT_EQ(place[1], "1");
    EXPECT_TRUE(guid.match(place[2]).hasMatch());
    EXPECT_EQ(place[3], "gro.elpmaxe.www.");
    EXPECT_EQ(place[4], "1");
    // The folder that got a child is marked changed, as Firefox marks it.
    EXPECT_EQ(db.Query("SELECT syncChangeCounter, lastModified >= " + QString::number(before) + " FROM moz_bookmarks WHERE id = 7"),
              "2|1");

    // New folders and the bookmark in them share one time; nothing is modified before it was added.
    store.Add({QStringLiteral("New/Deeper"), QStringLiteral("n"), QStringLiteral("https://n/")});
    EXPECT_EQ(db.Int("SELECT COUNT(*) FROM moz_bookmarks WHERE lastModified < dateAdded"), 0);
    EXPECT_EQ(db.Int("SELECT COUNT(DISTINCT dateAdded) FROM moz_bookmarks WHERE id > 12"), 1);

    // A new address: the bookmark points at the address's own row; Firefox's row stays.
    store.Edit(QStringLiteral("8"), {QStringLiteral("Mozilla Firefox/"), QStringLiteral("Get Help"),
                                     QStringLiteral("https://support.mozilla.org/new")});
    EXPECT_EQ(db.Query("SELECT url, foreign_count FROM moz_places WHERE id = 1"),
              "https://support.mozilla.org/products/firefox|0");
    EXPECT_EQ(db.Query("SELECT p.url, p.foreign_count, p.url_hash = " +
                       QString::number(PlacesUrlHash("https://support.mozilla.org/new")) +
                       ", b.syncChangeCounter, b.lastModified >= " + QString::number(before) +
                       " FROM moz_bookmarks b JOIN moz_places p ON p.id = b.fk WHERE b.id = 8"),
              "https://support.mozilla.org/new|1|1|2|1");
}

class FirefoxSchemas : public ::testing::TestWithParam<Schema> {
protected:
    PlacesDatabase db_{GetParam(), false};
    CFirefox store_{db_.Path()};
};

TEST_P(FirefoxSchemas, PathsCarryTrailingSlashesAndNameFoldersWhateverTheSlashes)
{
    const std::int64_t work = db_.Folder(db_.Menu(), QStringLiteral("Work"));
    const std::int64_t tools = db_.Folder(work, QStringLiteral("Tools"));
    const std::int64_t hammer = db_.Bookmark(tools, QStringLiteral("Hammer"), QStringLiteral("http://h/"));
    db_.Bookmark(tools, QStringLiteral("Saw"), QStringLiteral("http://s/"));
    store_.AtSyncStart();
    EXPECT_EQ(Get(store_, hammer).path, QStringLiteral("Work/Tools/"));

    const char* const samePlace[] = {"Work/Tools/", "Work/Tools", "/Work//Tools/", "Work/Tools//"};
    for (const char* path : samePlace) {
        store_.Edit(QString::number(hammer), {QString::fromLatin1(path), QStringLiteral("Hammer"), "http://h/"});
        EXPECT_EQ(db_.Query(QStringLiteral("SELECT parent, position FROM moz_bookmarks WHERE id = %1").arg(hammer)),
                  QStringLiteral("%1|0").arg(tools))
            << path;
    }
    // Another folder: moved to its end, the old folder's positions closed up.
    store_.Edit(QString::number(hammer), {QStringLiteral("Work"), QStringLiteral("Hammer"), "http://h/"});
    EXPECT_EQ(Get(store_, hammer).path, QStringLiteral("Work/"));
    EXPECT_EQ(db_.Query(QStringLiteral("SELECT title, position FROM moz_bookmarks WHERE parent = %1 ORDER BY position").arg(work)),
              "Tools|0\nHammer|1");
    EXPECT_EQ(db_.Query(QStringLiteral("SELECT title, position FROM moz_bookmarks WHERE parent = %1").arg(tools)), "Saw|0");
}

TEST_P(FirefoxSchemas, AddCreatesMissingFoldersOnceAndReusesAddresses)
{
    const std::int64_t work = db_.Folder(db_.Menu(), QStringLiteral("Work"));
    const std::int64_t existing = db_.Bookmark(work, QStringLiteral("Old"), QStringLiteral("http://shared/"));
    store_.AtSyncStart();
    const QString first = store_.Add({QStringLiteral("Work/New"), QStringLiteral("A"), QStringLiteral("http://shared/")});
    const QString second = store_.Add({QStringLiteral("Work/New/"), QStringLiteral("B"), QStringLiteral("http://b/")});
    EXPECT_EQ(db_.Query(QStringLiteral("SELECT title, type, position FROM moz_bookmarks WHERE parent = %1 ORDER BY position").arg(work)),
              "Old|1|0\nNew|2|1");
    const std::int64_t folder = db_.Int(QStringLiteral("SELECT id FROM moz_bookmarks WHERE title = 'New'"));
    EXPECT_EQ(db_.Query(QStringLiteral("SELECT id, position FROM moz_bookmarks WHERE parent = %1 ORDER BY position").arg(folder)),
              first + "|0\n" + second + "|1");
    EXPECT_EQ(db_.Int("SELECT COUNT(*) FROM moz_places WHERE url = 'http://shared/'"), 1);
    EXPECT_EQ(db_.Query(QStringLiteral("SELECT fk FROM moz_bookmarks WHERE id IN (%1, %2) GROUP BY fk").arg(existing).arg(first)).count('\n'), 0);
    EXPECT_EQ(Get(store_, second.toLongLong()), (BookmarkRecord{"Work/New/", "B", "http://b/"}));
}

TEST_P(FirefoxSchemas, TextsAreStoredAsSentWhateverTheyHold)
{
    store_.AtSyncStart();
    const QString title = QString::fromUtf8("Bob's \"best\" ') ; DROP TABLE moz_places; -- ") + QString(20000, QChar(u'é'));
    const QString id = store_.Add({QStringLiteral("It's/Ünï"), title, QStringLiteral("http://x/?q='a'")});
    EXPECT_EQ(Get(store_, id.toLongLong()), (BookmarkRecord{QString::fromUtf8("It's/Ünï/"), title, "http://x/?q='a'"}));
    EXPECT_EQ(db_.Int("SELECT COUNT(*) FROM moz_bookmarks WHERE title = 'It''s'"), 1);
    // Found again by the folder search: no second folder.
    store_.Add({QStringLiteral("It's"), QStringLiteral("n"), QStringLiteral("u")});
    EXPECT_EQ(db_.Int("SELECT COUNT(*) FROM moz_bookmarks WHERE title = 'It''s'"), 1);
}

TEST_P(FirefoxSchemas, EditChangesOnlyWhatDiffersAndNeverTheSharedAddress)
{
    const std::int64_t a = db_.Bookmark(db_.Menu(), QStringLiteral("A"), QStringLiteral("http://shared/"));
    const std::int64_t b = db_.Bookmark(db_.Menu(), QStringLiteral("B"), QStringLiteral("http://shared/"));
    db_.Run("UPDATE moz_places SET visit_count = 1 WHERE url = 'http://shared/'");
    store_.AtSyncStart();
    const std::uint32_t crcA = store_.IDtoCRC32(QString::number(a));
    EXPECT_NE(crcA, store_.IDtoCRC32(QString::number(b)));  // equal texts, other ids

    store_.Edit(QString::number(a), {QString(), QStringLiteral("A"), QStringLiteral("http://elsewhere/")});
    EXPECT_EQ(Get(store_, b).url, QStringLiteral("http://shared/"));
    EXPECT_EQ(Get(store_, a).url, QStringLiteral("http://elsewhere/"));
    EXPECT_EQ(db_.Query("SELECT url, visit_count FROM moz_places WHERE url = 'http://shared/'"), "http://shared/|1");
    const std::uint32_t crcMoved = store_.IDtoCRC32(QString::number(a));
    EXPECT_NE(crcMoved, crcA);
    store_.Edit(QString::number(a), {QString(), QStringLiteral("A2"), QStringLiteral("http://elsewhere/")});
    EXPECT_NE(store_.IDtoCRC32(QString::number(a)), crcMoved);
    const std::uint32_t crcRenamed = store_.IDtoCRC32(QString::number(a));
    store_.Edit(QString::number(a), {QStringLiteral("F"), QStringLiteral("A2"), QStringLiteral("http://elsewhere/")});
    EXPECT_NE(store_.IDtoCRC32(QString::number(a)), crcRenamed);

    if (db_.Current()) {
        EXPECT_EQ(db_.Query("SELECT foreign_count FROM moz_places WHERE url = 'http://shared/'"), "1");
        // Three edits, each once, whatever they changed.
        EXPECT_EQ(db_.Int(QStringLiteral("SELECT syncChangeCounter FROM moz_bookmarks WHERE id = %1").arg(a)), 4);
        const QString tables = db_.Tables();
        store_.Edit(QString::number(a), {QStringLiteral("F/"), QStringLiteral("A2"), QStringLiteral("http://elsewhere/")});
        EXPECT_EQ(db_.Tables(), tables);  // nothing differs, nothing written
    }
}

TEST_P(FirefoxSchemas, ServesHiddenPlacesButTouchesNothingItDoesNotServe)
{
    const std::int64_t separator = db_.Row(3, 0, db_.Menu(), QStringLiteral("Work"));  // a titled separator
    const std::int64_t folder = db_.Folder(db_.Menu(), QStringLiteral("Work"));
    const std::int64_t toolbar = db_.Bookmark(3, QStringLiteral("Toolbar"), QStringLiteral("http://t/"));
    // Firefox 3 marked bookmarks of unvisited addresses hidden; later versions redirect sources.
    const std::int64_t hidden = db_.Bookmark(folder, QStringLiteral("Hidden"), QStringLiteral("http://hidden/"));
    db_.Run("UPDATE moz_places SET hidden = 1 WHERE url = 'http://hidden/'");
    const std::int64_t untitled = db_.Bookmark(db_.Menu(), QString(), QStringLiteral("http://untitled/"));
    // Firefox 3's "Recently Bookmarked" in the menu: a search, not an address.
    const std::int64_t query = db_.Bookmark(db_.Menu(), QStringLiteral("Recently Bookmarked"),
                                            QStringLiteral("place:folder=BOOKMARKS_MENU&sort=12&maxResults=10"));
    db_.Run("UPDATE moz_places SET hidden = 1 WHERE url LIKE 'place:%'");
    const std::int64_t excluded = db_.Bookmark(db_.Menu(), QStringLiteral("Add-ons"), CFirefox::kExcludedAddress);
    const std::int64_t listed = db_.Bookmark(folder, QStringLiteral("Listed"), QStringLiteral("http://l/"));
    store_.AtSyncStart();
    EXPECT_EQ(Ids(store_), (std::vector<QString>{QString::number(hidden), QString::number(listed),
                                                 QString::number(untitled)}));
    EXPECT_EQ(Get(store_, hidden), (BookmarkRecord{"Work/", "Hidden", "http://hidden/"}));
    EXPECT_EQ(Get(store_, untitled), (BookmarkRecord{"", "", "http://untitled/"}));
    EXPECT_EQ(store_.IDtoCRC32(QString::number(untitled)),
              Crc32OfText(QString::number(untitled) + QStringLiteral("http://untitled/")));
    // Sent back as read, the untitled bookmark keeps its NULL title.
    store_.Edit(QString::number(untitled), {"", "", "http://untitled/"});
    EXPECT_EQ(db_.Query(QStringLiteral("SELECT title IS NULL FROM moz_bookmarks WHERE id = %1").arg(untitled)), "1");

    // Get and Edit of a row it does not serve fail; Delete of one succeeds (it may be gone on
    // both sides). None of them changes anything.
    const QString tables = db_.Tables();
    for (const std::int64_t id : {std::int64_t{1}, db_.Menu(), folder, separator, toolbar, query, excluded,
                                  std::int64_t{999}, std::int64_t{-1}}) {
        BookmarkRecord record;
        EXPECT_THROW(store_.Get(QString::number(id), record), AgentError) << id;
        EXPECT_THROW(store_.Edit(QString::number(id), {QStringLiteral("Created/Folder"), "n", "u"}), AgentError) << id;
        store_.Delete(QString::number(id));
    }
    EXPECT_THROW(store_.Edit(QStringLiteral("x"), {QStringLiteral("Created"), QString(), QString()}), AgentError);
    EXPECT_THROW(store_.Delete(QStringLiteral("x")), AgentError);
    EXPECT_EQ(db_.Tables(), tables);

    // The separator that bears a folder's name is passed over by the folder search.
    store_.Add({QStringLiteral("Work"), QStringLiteral("n"), QStringLiteral("u")});
    EXPECT_EQ(db_.Int(QStringLiteral("SELECT COUNT(*) FROM moz_bookmarks WHERE parent = %1").arg(separator)), 0);

    store_.DeleteAll();
    EXPECT_TRUE(Ids(store_).empty());
    EXPECT_EQ(db_.Query(QStringLiteral("SELECT id FROM moz_bookmarks WHERE id IN (%1, %2, %3, %4, %5) ORDER BY id")
                            .arg(folder)
                            .arg(separator)
                            .arg(toolbar)
                            .arg(query)
                            .arg(excluded))
                  .split('\n')
                  .size(),
              5);
    EXPECT_EQ(db_.Int("SELECT COUNT(*) FROM moz_places WHERE url = 'http://l/'"), 1);
}

TEST_P(FirefoxSchemas, APathDeeperThanTheLimitIsRefusedBeforeAnythingIsWritten)
{
    const std::int64_t id = db_.Bookmark(db_.Menu(), QStringLiteral("B"), QStringLiteral("http://b/"));
    store_.AtSyncStart();
    const QString tables = db_.Tables();
    const QString tooDeep = QStringLiteral("F/").repeated(kMaxBookmarkFolderDepth + 1);
    EXPECT_THROW(store_.Add({tooDeep, "n", "http://n/"}), AgentError);
    EXPECT_THROW(store_.Edit(QString::number(id), {tooDeep, "B", "http://b/"}), AgentError);
    EXPECT_EQ(db_.Tables(), tables);

    const QString deepest = QStringLiteral("F/").repeated(kMaxBookmarkFolderDepth);
    const QString added = store_.Add({deepest, "n", "http://n/"});
    EXPECT_EQ(Get(store_, added.toLongLong()).path, deepest);
}

TEST_P(FirefoxSchemas, FailedChangeLeavesNothingBehind)
{
    store_.AtSyncStart();
    db_.Run("CREATE TRIGGER refuse BEFORE INSERT ON moz_places BEGIN SELECT RAISE(ABORT, 'refused'); END");
    const QString tables = db_.Tables();
    EXPECT_THROW(store_.Add({QStringLiteral("New/Deeper"), QStringLiteral("n"), QStringLiteral("http://new/")}), AgentError);
    EXPECT_EQ(db_.Tables(), tables);
    // The store goes on serving.
    db_.Run("DROP TRIGGER refuse");
    store_.Add({QStringLiteral("New/Deeper"), QStringLiteral("n"), QStringLiteral("http://new/")});
    EXPECT_EQ(Ids(store_).size(), 1u);
}

TEST_P(FirefoxSchemas, SeesChangesAnotherProgramCommitted)
{
    const std::int64_t id = db_.Bookmark(db_.Menu(), QStringLiteral("Before"), QStringLiteral("http://b/"));
    store_.AtSyncStart();
    EXPECT_EQ(Get(store_, id).name, QStringLiteral("Before"));
    db_.Run(QStringLiteral("UPDATE moz_bookmarks SET title = 'After' WHERE id = %1").arg(id));
    EXPECT_EQ(Get(store_, id).name, QStringLiteral("After"));
    const std::int64_t added = db_.Bookmark(db_.Menu(), QStringLiteral("New"), QStringLiteral("http://n/"));
    EXPECT_EQ(Ids(store_).back(), QString::number(added));
}

INSTANTIATE_TEST_SUITE_P(Schemas, FirefoxSchemas, ::testing::Values(Schema::Firefox3, Schema::Current),
                         [](const auto& info) { return info.param == Schema::Current ? "Current" : "Firefox3"; });

TEST(FirefoxStore, ADeepTreeCostsMemoryInItsSizeNotInTheSquareOfItsDepth)
{
    // A chain of folders, each with a bookmark, as an agent without a depth limit could make.
    constexpr int kDepth = 3000;
    PlacesDatabase db(Schema::Firefox3);
    db.Run(QStringLiteral(
               "INSERT INTO moz_places (id, url) VALUES (1, 'http://deep/');"
               "WITH RECURSIVE chain(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM chain WHERE n < %1) "
               "INSERT INTO moz_bookmarks (id, type, fk, parent, position, title) "
               "SELECT 1000 + n, 2, NULL, CASE n WHEN 1 THEN 2 ELSE 999 + n END, 0, 'Folder ' || n FROM chain "
               "UNION ALL SELECT 100000 + n, 1, 1, 1000 + n, 1, 'B' || n FROM chain;")
               .arg(kDepth));
    CFirefox store(db.Path());
    store.AtSyncStart();
    const std::size_t before = HeapInUse();
    ASSERT_EQ(store.GetIDs().size(), std::size_t(kDepth));
    const std::size_t kept = HeapInUse() - before;
    // Every folder's Path text kept would be about 100 MB here; the tree and SQLite's cache
    // take a few.
    EXPECT_LT(kept, std::size_t(16) << 20);

    const QString deepest = QString::number(100000 + kDepth);
    BookmarkRecord record;
    store.Get(deepest, record);
    QString path;
    for (int n = 1; n <= kDepth; ++n) path += QStringLiteral("Folder %1/").arg(n);
    EXPECT_EQ(record, (BookmarkRecord{path, QStringLiteral("B%1").arg(kDepth), "http://deep/"}));
    EXPECT_EQ(store.IDtoCRC32(deepest), Crc32OfText(deepest + path + record.name + record.url));
    // A change below it is refused by the depth limit, not made deeper still.
    EXPECT_THROW(store.Edit(deepest, {path + "More", record.name, record.url}), AgentError);
}

TEST(FirefoxStore, OpensNoFifoInThePlaceOfItsDatabase)
{
    QTemporaryDir dir;
    const QString places = dir.path() + QStringLiteral("/places.sqlite");
    ASSERT_EQ(::mkfifo(QFile::encodeName(places).constData(), 0600), 0);
    CFirefox store(places);
    EXPECT_THROW(store.AtSyncStart(), AgentError);
    EXPECT_FALSE(store.IsOpen());

    // Nor in the place of the journal SQLite would read first.
    PlacesDatabase db(Schema::Firefox3);
    ASSERT_EQ(::mkfifo(QFile::encodeName(db.Path() + "-journal").constData(), 0600), 0);
    CFirefox journaled(db.Path());
    EXPECT_THROW(journaled.AtSyncStart(), AgentError);
}

TEST(FirefoxStore, DeletingKeepsPositionsAndTellsSyncOfUploadedBookmarks)
{
    PlacesDatabase db(Schema::Current);
    db.Run("UPDATE moz_bookmarks SET syncStatus = 2 WHERE id = 9");
    CFirefox store(db.Path());
    store.AtSyncStart();
    const QString guid = db.Query("SELECT guid FROM moz_bookmarks WHERE id = 9");
    const std::int64_t before = PlacesTimeNow();
    store.Delete(QStringLiteral("9"));
    store.Delete(QStringLiteral("8"));  // never uploaded: nothing to tell
    EXPECT_EQ(db.Query("SELECT guid, dateRemoved >= " + QString::number(before) + " FROM moz_bookmarks_deleted"),
              guid + "|1");
    EXPECT_EQ(db.Query("SELECT id, position FROM moz_bookmarks WHERE parent = 7 ORDER BY position"), "10|0\n11|1");
    EXPECT_EQ(db.Query("SELECT foreign_count FROM moz_places WHERE id IN (1, 2)"), "0\n0");
}

TEST(FirefoxStore, OpensOnlyAnExistingUnlockedPlacesDatabase)
{
    QTemporaryDir dir;
    const QString missing = dir.path() + QStringLiteral("/places.sqlite");
    CFirefox store(missing);
    EXPECT_THROW(store.AtSyncStart(), AgentError);
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_THROW(store.GetIDs(), AgentError);  // closed: nothing is served

    // Not Firefox's, or without a menu root.
    {
        Sql(missing).Run("CREATE TABLE t (x)");
        EXPECT_THROW(store.AtSyncStart(), AgentError);
        Sql(missing).Run(QString::fromLatin1(kFirefox3Schema) + "DELETE FROM moz_bookmarks_roots WHERE root_name = 'menu';");
        EXPECT_THROW(store.AtSyncStart(), AgentError);
    }

    // A running Firefox holds its database exclusively.
    PlacesDatabase db(Schema::Current);
    const QByteArray bytes = db.Bytes();
    Sql firefox(db.Path());
    firefox.Run("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE");
    CFirefox locked(db.Path());
    try {
        locked.AtSyncStart();
        ADD_FAILURE() << "opened a locked database";
    } catch (const AgentError& e) {
        EXPECT_NE(std::string(e.what()).find("locked"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(locked.IsOpen());
    firefox.Run("COMMIT");
    EXPECT_EQ(db.Bytes(), bytes);

    // Locked after the start: the change fails whole and says why.
    firefox.Run("PRAGMA locking_mode = NORMAL; SELECT 1 FROM moz_bookmarks;");
    locked.AtSyncStart();
    locked.AtSyncStart();  // a second start closes the first connection
    EXPECT_EQ(Ids(locked).size(), 4u);
    firefox.Run("BEGIN EXCLUSIVE");
    EXPECT_THROW(locked.Add({QStringLiteral("New"), QStringLiteral("n"), QStringLiteral("u")}), AgentError);
    firefox.Run("COMMIT");
    EXPECT_EQ(db.Int("SELECT COUNT(*) FROM moz_bookmarks WHERE title = 'New'"), 0);
    locked.AtSyncEnd();
    EXPECT_THROW(locked.Delete(QStringLiteral("8")), AgentError);
}

}  // namespace
