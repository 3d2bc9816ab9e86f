#include "stores/chrome/chrome.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <set>

#include "common/bookmark_checksums.h"
#include "common/errors.h"
#include "stores/chrome/chrome_bookmark_tree.h"
#include "support/file_size_limit.h"
#include "support/temp_home.h"

namespace {

const QString kBookmarks = QStringLiteral(".config/google-chrome/Default/Bookmarks");

QByteArray RealFile(const QString& name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/chrome-bookmarks/") + name);
    if (!f.open(QIODevice::ReadOnly)) ADD_FAILURE() << "missing fixture " << name.toStdString();
    return f.readAll();
}

const QString kRealFiles[] = {QStringLiteral("chrome2014-linux-escaped.Bookmarks"),
                              QStringLiteral("chrome2021-fresh-profile.Bookmarks"),
                              QStringLiteral("chrome2023-utf8.Bookmarks")};

// A small file in Chrome's layout: the synchronised folder is "other".
QByteArray SmallFile(const char* otherChildren, const char* barChildren = "")
{
    return QByteArray(R"({"checksum":"0","roots":{"bookmark_bar":{"children":[)") + barChildren +
           R"(],"date_added":"10","id":"1","name":"Bar","type":"folder"},"other":{"children":[)" +
           otherChildren + R"(],"date_added":"11","id":"2","name":"Other","type":"folder"}},"version":1})";
}

class ChromeTest : public ::testing::Test {
protected:
    void Plant(const QByteArray& bytes) { home_.WriteFile(kBookmarks, bytes); }
    QByteArray Bytes() const { return home_.ReadFile(kBookmarks).value_or("<missing>"); }
    ChromeJson Document() const { return ParseChromeBookmarks(Bytes()); }
    ChromeJson& Other(ChromeJson& doc) const { return doc["roots"]["other"]; }
    std::vector<QString> Ids()
    {
        std::vector<QString> ids;
        for (const UrlFileEntry& e : store_.GetIDs()) ids.push_back(e.key);
        return ids;
    }
    BookmarkRecord Get(const QString& id)
    {
        BookmarkRecord r;
        store_.Get(id, r);
        return r;
    }
    // The file Chrome would accept: it parses and its checksum is Chrome's.
    void ExpectSound() const
    {
        const ChromeJson doc = Document();
        EXPECT_EQ(doc.at("checksum").get<std::string>(), ChromeBookmarksChecksum(doc));
        EXPECT_FALSE(Bytes().contains('\n'));
    }

    TempHome home_;
    CChrome store_;  // follows the temporary home
};

TEST_F(ChromeTest, FindsTheFileWhereChromeOrChromiumKeepsIt)
{
    EXPECT_EQ(store_.BookmarksFile(), home_.Path(kBookmarks));
    QDir().mkpath(home_.Path(QStringLiteral(".config/chromium/Default")));
    EXPECT_EQ(store_.BookmarksFile(), home_.Path(QStringLiteral(".config/chromium/Default/Bookmarks")));
    QDir().mkpath(home_.Path(QStringLiteral(".config/google-chrome")));
    EXPECT_EQ(store_.BookmarksFile(), home_.Path(kBookmarks));
}

TEST_F(ChromeTest, ListsTheBookmarksOfOtherBookmarksInRealFiles)
{
    Plant(RealFile(kRealFiles[0]));
    const std::vector<QString> ids = Ids();
    EXPECT_EQ(ids, (std::vector<QString>{"13025340697362058", "13025341091385738", "13029213800972077",
                                         "13031113405448172", "13031659578284521"}));
    const BookmarkRecord postfix = Get(QStringLiteral("13025341091385738"));
    EXPECT_EQ(postfix, (BookmarkRecord{QString(), QString::fromUtf8("Postfix 正體中文首頁"),
                                       QStringLiteral("http://postfix.fsftw.org/")}));
    EXPECT_EQ(Get(QStringLiteral("13031659578284521")).name, QString::fromUtf8("Zabbix 分类 | 静思学吧"));
    for (const QString& id : ids) {
        const BookmarkRecord r = Get(id);
        EXPECT_EQ(store_.IDtoCRC32(id), BookmarkCrc32(r.path, r.name, r.url));
    }
    // A bookmark of the bookmarks bar is not served.
    EXPECT_EQ(store_.IDtoCRC32(QStringLiteral("13021980851833067")), 0u);
    EXPECT_EQ(Get(QStringLiteral("13021980851833067")), BookmarkRecord{});

    for (const QString& name : {kRealFiles[1], kRealFiles[2]}) {
        Plant(RealFile(name));
        EXPECT_TRUE(Ids().empty()) << name.toStdString();
    }
}

TEST_F(ChromeTest, OtherBookmarksIsFoundByNameWhateverOrderTheMembersStandIn)
{
    // Older Chrome sorted every object's members, so "meta_info" stands second among the roots;
    // Brave writes "roots" first and a folder's children last.
    const struct {
        const char* file;
        std::vector<QString> ids;
        BookmarkRecord nested;
    } cases[] = {
        {"chrome2012-sorted-members.Bookmarks",
         {"12988000000000000", "12990013111000000", "12990013222000000"},
         {QStringLiteral("Work"), QStringLiteral("Tickets"), QStringLiteral("http://tickets.example.net/")}},
        {"brave-roots-first.Bookmarks",
         {"13290000300000000", "13290000400000000"},
         {QStringLiteral("Recipes"), QStringLiteral("Soup"), QStringLiteral("https://soup.example.org/")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QByteArray original = RealFile(QString::fromLatin1(c.file));
        Plant(original);
        EXPECT_EQ(Ids(), c.ids);
        EXPECT_EQ(Get(c.ids[c.ids.size() == 3 ? 2 : 0]), c.nested);
        store_.AfterCheck();
        EXPECT_EQ(Bytes(), original);  // every date its own: nothing written

        // A change lands in the same folder, and the document stays one Chrome reads.
        const QString id = store_.Add({c.nested.path, QStringLiteral("n"), QStringLiteral("u")});
        EXPECT_EQ(Get(id), (BookmarkRecord{c.nested.path, QStringLiteral("n"), QStringLiteral("u")}));
        const ChromeJson doc = Document();
        if (doc.contains("checksum")) EXPECT_EQ(doc["checksum"].get<std::string>(), ChromeBookmarksChecksum(doc));
        else EXPECT_EQ(doc.begin().key(), "roots");
        store_.Delete(id);
        EXPECT_EQ(Document(), ParseChromeBookmarks(original));
    }
}

TEST_F(ChromeTest, AnOddLargestDateLeavesTheOthersPlentyOfNumbers)
{
    // One bookmark holds the largest date there is, two have none.
    Plant(SmallFile(R"({"name":"a","type":"url","url":"u1"},)"
                    R"({"date_added":"9223372036854775807","name":"b","type":"url","url":"u2"},)"
                    R"({"date_added":"","name":"c","type":"url","url":"u3"})"));
    EXPECT_EQ(Ids(), (std::vector<QString>{"9223372036854775806", "9223372036854775807", "9223372036854775805"}));
    EXPECT_EQ(Get(QStringLiteral("9223372036854775805")).name, QStringLiteral("c"));
    // Nothing is left above it for a new bookmark: refused, the file unchanged.
    const QByteArray bytes = Bytes();
    try {
        store_.Add({QString(), QStringLiteral("n"), QStringLiteral("u")});
        ADD_FAILURE() << "added";
    } catch (const AgentError& e) {
        EXPECT_NE(std::string(e.what()).find("no number left"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Bytes(), bytes);
}

TEST_F(ChromeTest, TheCheckWritesItsDatesOnlyOverTheFileAsItWasRead)
{
    const QByteArray twins = SmallFile(R"({"date_added":"500","id":"7","name":"a","type":"url","url":"u1"},)"
                                       R"({"date_added":"500","id":"9","name":"b","type":"url","url":"u2"})");
    std::vector<QString> log;
    store_.SetLog([&](const QString& line) { log.push_back(line); });

    // Nothing happened in between: written, with one line for the lot.
    Plant(twins);
    EXPECT_EQ(Ids(), (std::vector<QString>{"493", "500"}));
    EXPECT_EQ(Bytes(), twins);  // not before the reply is on its way
    store_.AfterCheck();
    EXPECT_EQ(Document()["roots"]["other"]["children"][0]["date_added"], "493");
    ExpectSound();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].endsWith(QStringLiteral(": 1 bookmarks that shared a date or had none were given their own")))
        << log[0].toStdString();
    store_.AfterCheck();  // once only
    EXPECT_EQ(log.size(), 1u);

    // Chrome saved a bookmark meanwhile, of the same size and time as before: it is kept, and the
    // dates are chosen once more on that file.
    Plant(twins);
    Ids();
    QByteArray saved = twins;
    saved.replace(R"("u2")", R"("u9")");
    const QString file = home_.Path(kBookmarks);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    Plant(saved);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
    store_.AfterCheck();
    ChromeJson doc = Document();
    EXPECT_EQ(doc["roots"]["other"]["children"][0]["date_added"], "493");
    EXPECT_EQ(doc["roots"]["other"]["children"][1]["url"], "u9");
    EXPECT_EQ(Get(QStringLiteral("500")).url, QStringLiteral("u9"));

    // Chrome saved its own dates meanwhile: nothing left to write.
    Plant(twins);
    Ids();
    const QByteArray own = SmallFile(R"({"date_added":"501","id":"7","name":"a","type":"url","url":"u1"},)"
                                     R"({"date_added":"500","id":"9","name":"b","type":"url","url":"u2"})");
    Plant(own);
    store_.AfterCheck();
    EXPECT_EQ(Bytes(), own);

    // The file went away: nothing is created, and the log says why.
    Plant(twins);
    Ids();
    ASSERT_TRUE(QFile::remove(file));
    log.clear();
    store_.AfterCheck();
    EXPECT_FALSE(home_.Exists(kBookmarks));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].contains(QStringLiteral("not written"))) << log[0].toStdString();

    // A check that is listed again, or ends with the session, before its reply leaves nothing to
    // write.
    Plant(twins);
    Ids();
    store_.AtSyncEnd();
    store_.AfterCheck();
    EXPECT_EQ(Bytes(), twins);
}

TEST_F(ChromeTest, ChangesToRealFilesKeepTheRestOfTheDocumentAndAValidChecksum)
{
    const QString name = QString::fromUtf8("Ünïcødé 日本語 😀 \"q\" back\\slash");
    for (const QString& file : kRealFiles) {
        SCOPED_TRACE(file.toStdString());
        const QByteArray original = RealFile(file);
        Plant(original);
        const ChromeJson before = ParseChromeBookmarks(original);

        // Add then Delete into the folder itself gives back the very document, checksum too.
        const QString id = store_.Add({QString(), name, QStringLiteral("https://example.org/ü")});
        ExpectSound();
        EXPECT_EQ(Get(id), (BookmarkRecord{QString(), name, QStringLiteral("https://example.org/ü")}));
        EXPECT_EQ(Ids().back(), id);
        store_.Delete(id);
        EXPECT_EQ(Document(), before);

        // Into new folders, then edited and moved back up.
        const QString nested = store_.Add({QStringLiteral("Ä/B"), name, QStringLiteral("u")});
        ExpectSound();
        EXPECT_EQ(Get(nested).path, QString::fromUtf8("Ä/B"));
        store_.Edit(nested, {QString(), QStringLiteral("renamed"), QStringLiteral("v")});
        ExpectSound();
        EXPECT_EQ(Get(nested), (BookmarkRecord{QString(), QStringLiteral("renamed"), QStringLiteral("v")}));
        ChromeJson after = Document();
        ChromeJson expected = before;
        // The folders, then the bookmark, take ascending numbers; none handed out before comes back.
        const std::int64_t n = nested.toLongLong() - 3;
        EXPECT_GT(n, id.toLongLong() - 1);
        ChromeJson folderB = {{"children", ChromeJson::array()},
                              {"date_added", std::to_string(n + 2)},
                              {"name", "B"},
                              {"type", "folder"}};
        ChromeJson folderA = {{"children", ChromeJson::array({folderB})},
                              {"date_added", std::to_string(n + 1)},
                              {"name", "\xC3\x84"},
                              {"type", "folder"}};
        Other(expected)["children"].push_back(folderA);
        Other(expected)["children"].push_back(
            {{"date_added", nested.toStdString()}, {"name", "renamed"}, {"type", "url"}, {"url", "v"}});
        expected["checksum"] = ChromeBookmarksChecksum(expected);
        EXPECT_EQ(after, expected);
    }
}

TEST_F(ChromeTest, NewNumbersAreTheClockOrAboveTheLargestDateOfTheWholeFile)
{
    // Years old: the new folders and bookmark take the clock, in Chrome's unit, ascending.
    Plant(SmallFile(R"({"date_added":"13025340697362058","name":"a","type":"url","url":"u"})"));
    const std::int64_t before = ChromeTimeNow();
    const QString first = store_.Add({QStringLiteral("/New//Two/"), QStringLiteral("n"), QStringLiteral("u")});
    EXPECT_GE(first.toLongLong(), before + 2);
    EXPECT_LE(first.toLongLong(), ChromeTimeNow() + 2);
    ChromeJson doc = Document();
    const ChromeJson& added = Other(doc)["children"][1];
    EXPECT_EQ(added["date_added"], std::to_string(first.toLongLong() - 2));
    EXPECT_EQ(added["children"][0]["date_added"], std::to_string(first.toLongLong() - 1));
    // Exactly the members Chrome's own nodes have, in this order.
    const ChromeJson& bookmark = added["children"][0]["children"][0];
    EXPECT_EQ(bookmark.dump(), R"({"date_added":")" + first.toStdString() + R"(","name":"n","type":"url","url":"u"})");
    EXPECT_EQ(added.dump(), std::string(R"({"children":[{"children":[)") + bookmark.dump() + R"(],"date_added":")" +
                                std::to_string(first.toLongLong() - 1) +
                                R"(","name":"Two","type":"folder"}],"date_added":")" +
                                std::to_string(first.toLongLong() - 2) + R"(","name":"New","type":"folder"})");
    // A second Add finds the folders again.
    store_.Add({QStringLiteral("New/Two"), QStringLiteral("m"), QStringLiteral("u")});
    doc = Document();
    EXPECT_EQ(Other(doc)["children"].size(), 2u);
    EXPECT_EQ(Other(doc)["children"][1]["children"][0]["children"].size(), 2u);

    // The largest date lies in the future, outside the synchronised folder (a clock set back):
    // still above it.
    Plant(SmallFile(R"({"date_added":"20","name":"a","type":"url","url":"u"})",
                    R"({"date_added":"99999999999999999","name":"x","type":"url","url":"u"})"));
    EXPECT_EQ(store_.Add({QStringLiteral("F"), QStringLiteral("n"), QStringLiteral("u")}),
              QStringLiteral("100000000000000001"));
    EXPECT_EQ(Document()["roots"]["other"]["children"][1]["date_added"], "100000000000000000");
}

TEST_F(ChromeTest, AnIdentifierHandedOutIsNeverHandedOutAgain)
{
    // Add X, delete X, add Y, faster than the clock moves: Y is not X.
    Plant(SmallFile(R"({"date_added":"5","name":"a","type":"url","url":"u"})"));
    std::set<QString> seen;
    for (int i = 0; i < 5; ++i) {
        const QString x = store_.Add({QString(), QStringLiteral("x"), QStringLiteral("u")});
        EXPECT_TRUE(seen.insert(x).second) << x.toStdString();
        store_.Delete(x);
    }
    // The same from an Edit's new folder.
    store_.Edit(QStringLiteral("5"), {QStringLiteral("Fresh"), QStringLiteral("a"), QStringLiteral("u")});
    const std::string folder = Document()["roots"]["other"]["children"][0]["date_added"];
    EXPECT_TRUE(seen.insert(QString::fromStdString(folder)).second);
    EXPECT_GT(store_.Add({QString(), QStringLiteral("y"), QStringLiteral("u")}).toLongLong(), std::stoll(folder));
}

TEST_F(ChromeTest, DeleteRemovesOnlyTheBookmarkTheDateNames)
{
    // An imported folder, its bookmark and a second bookmark share one date; a bar bookmark
    // has it too.
    Plant(SmallFile(R"({"children":[{"date_added":"7","id":"3","name":"in","type":"url","url":"u1"}],)"
                    R"("date_added":"7","id":"5","name":"F","type":"folder"},)"
                    R"({"date_added":"7","id":"4","name":"last","type":"url","url":"u2"})",
                    R"({"date_added":"7","id":"6","name":"bar","type":"url","url":"u3"})"));
    // The folder's bookmark, the older, gives up the shared date for the date less its id.
    EXPECT_EQ(Ids(), (std::vector<QString>{"4", "7"}));
    EXPECT_EQ(Get(QStringLiteral("7")).name, QStringLiteral("last"));
    store_.Delete(QStringLiteral("7"));
    ChromeJson doc = Document();
    ASSERT_EQ(Other(doc)["children"].size(), 1u);
    EXPECT_EQ(Other(doc)["children"][0]["children"].size(), 1u);  // the folder and its bookmark stay
    EXPECT_EQ(Get(QStringLiteral("4")), (BookmarkRecord{QStringLiteral("F"), QStringLiteral("in"), "u1"}));
    store_.Delete(QStringLiteral("7"));  // none left in the folder: the bar's goes
    doc = Document();
    EXPECT_EQ(Other(doc)["children"].size(), 1u);
    EXPECT_EQ(Other(doc)["children"][0]["children"].size(), 1u);
    EXPECT_TRUE(doc["roots"]["bookmark_bar"]["children"].empty());
    ExpectSound();

    // Nothing carries the date any more (the folder is no bookmark): nothing is written.
    const QByteArray bytes = Bytes();
    store_.Delete(QStringLiteral("7"));
    store_.Delete(QStringLiteral("99"));
    EXPECT_EQ(Bytes(), bytes);
}

TEST_F(ChromeTest, EditMovesTheBookmarkToItsTargetFolderInTheDocumentAsItNowStands)
{
    // The bookmark stands in front of its target folder in one array, so removing it moves
    // the folder; the edit must not reach it through a stale position.
    Plant(SmallFile(R"({"date_added":"5","name":"b","type":"url","url":"u","extra":"x"},)"
                    R"({"children":[],"date_added":"6","name":"T","type":"folder"})"));
    EXPECT_EQ(store_.Edit(QStringLiteral("5"), {QStringLiteral("T"), QStringLiteral("b2"), QStringLiteral("u2")}),
              QStringLiteral("5"));
    ChromeJson doc = Document();
    ASSERT_EQ(Other(doc)["children"].size(), 1u);
    EXPECT_EQ(Other(doc)["children"][0]["children"].dump(),
              R"([{"date_added":"5","name":"b2","type":"url","url":"u2"}])");
    ExpectSound();

    // Sent back as it stands (already last, only the four members): nothing is written.
    const QByteArray bytes = Bytes();
    store_.Edit(QStringLiteral("5"), {QStringLiteral("T"), QStringLiteral("b2"), QStringLiteral("u2")});
    EXPECT_EQ(Bytes(), bytes);

    // An unknown number is added with that number.
    store_.Edit(QStringLiteral("90"), {QString(), QStringLiteral("x"), QStringLiteral("y")});
    EXPECT_EQ(Get(QStringLiteral("90")), (BookmarkRecord{QString(), "x", "y"}));
    // A new folder takes the clock, as an Add's does.
    const std::int64_t before = ChromeTimeNow();
    store_.Edit(QStringLiteral("90"), {QStringLiteral("N"), QStringLiteral("x"), QStringLiteral("y")});
    doc = Document();
    const std::int64_t folder = std::stoll(Other(doc)["children"][1]["date_added"].get<std::string>());
    EXPECT_GE(folder, before);
    EXPECT_LE(folder, ChromeTimeNow());
    EXPECT_EQ(Get(QStringLiteral("90")), (BookmarkRecord{QStringLiteral("N"), "x", "y"}));
}

TEST_F(ChromeTest, DeleteAllEmptiesTheFolderAtEveryDepthAndKeepsFolders)
{
    Plant(SmallFile(R"({"date_added":"1","name":"a","type":"url","url":"u"},)"
                    R"({"children":[{"date_added":"2","name":"b","type":"url","url":"u"},)"
                    R"({"children":[{"date_added":"3","name":"c","type":"url","url":"u"}],)"
                    R"("date_added":"4","name":"G","type":"folder"}],"date_added":"5","name":"F","type":"folder"})",
                    R"({"date_added":"6","name":"bar","type":"url","url":"u"})"));
    store_.DeleteAll();
    ChromeJson doc = Document();
    EXPECT_EQ(Other(doc)["children"].dump(),
              R"([{"children":[{"children":[],"date_added":"4","name":"G","type":"folder"}],)"
              R"("date_added":"5","name":"F","type":"folder"}])");
    EXPECT_EQ(doc["roots"]["bookmark_bar"]["children"].size(), 1u);
    EXPECT_TRUE(Ids().empty());
    ExpectSound();
}

TEST_F(ChromeTest, MalformedFilesAreRefusedAndNeverWritten)
{
    const QByteArray cases[] = {
        "not json",
        "{\"checksum\":\"0\",\"roots\":{\"a\":{},\"other\":{\"name\":\"\xE9t\xE9\",\"children\":[]}}}",
        "[1, 2]",
        R"({"roots":{"only":{"children":[]}}})",
        R"({"a":1,"roots":{"x":{},"other":[]}})",
        R"({"a":1,"roots":"text"})",
        SmallFile(R"(1)"),
        SmallFile(R"({"children":"no","date_added":"5","name":"F","type":"folder"})"),
        SmallFile(R"({"children":[],"date_added":"5","name":["F"],"type":"folder"})"),
        R"({"a":1,"roots":{"x":{},"other":{"name":"children no array","children":{}}}})",
        SmallFile(R"({"date_added":"5","name":"a","name":"b","type":"url","url":"u"})"),
    };
    for (const QByteArray& bytes : cases) {
        SCOPED_TRACE(bytes.toStdString());
        Plant(bytes);
        // Whatever a request gets to before failing, the file stays as it was.
        try {
            store_.GetIDs();
        } catch (const AgentError&) {
        }
        EXPECT_THROW(store_.Add({QStringLiteral("F"), QStringLiteral("n"), QStringLiteral("u")}), AgentError);
        try {
            store_.Delete(QStringLiteral("5"));
            store_.DeleteAll();
        } catch (const AgentError&) {
        }
        EXPECT_EQ(Bytes(), bytes);
    }
    // Those the listing cannot read fail it, rather than reporting every bookmark deleted.
    for (const QByteArray& bytes : {cases[0], cases[1], cases[3], cases[4], cases[6], cases[10]}) {
        Plant(bytes);
        EXPECT_THROW(store_.GetIDs(), AgentError) << bytes.toStdString();
    }
}

TEST_F(ChromeTest, MissingFileHasNoBookmarksAndIsNeverCreated)
{
    EXPECT_TRUE(Ids().empty());
    EXPECT_EQ(Get(QStringLiteral("1")), BookmarkRecord{});
    EXPECT_EQ(store_.IDtoCRC32(QStringLiteral("1")), 0u);
    EXPECT_THROW(store_.Add({QString(), QStringLiteral("n"), QStringLiteral("u")}), AgentError);
    EXPECT_THROW(store_.Edit(QStringLiteral("1"), {QString(), QStringLiteral("n"), QStringLiteral("u")}), AgentError);
    EXPECT_THROW(store_.Delete(QStringLiteral("1")), AgentError);
    EXPECT_THROW(store_.DeleteAll(), AgentError);
    EXPECT_FALSE(home_.Exists(kBookmarks));
}

TEST_F(ChromeTest, FailedWriteKeepsTheOldFileAndAWriteKeepsItsMode)
{
    const QByteArray original = RealFile(kRealFiles[0]);
    Plant(original);
    ASSERT_EQ(::chmod(QFile::encodeName(home_.Path(kBookmarks)).constData(), 0600), 0);
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(store_.Add({QString(), QStringLiteral("n"), QStringLiteral("u")}), AgentError);
    }
    EXPECT_EQ(Bytes(), original);
    EXPECT_EQ(QDir(home_.Path(QStringLiteral(".config/google-chrome/Default"))).entryList(QDir::Files),
              QStringList{QStringLiteral("Bookmarks")});

    store_.Add({QString(), QStringLiteral("n"), QStringLiteral("u")});
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(home_.Path(kBookmarks)).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(ChromeTest, ChecksumsComeFromTheDocumentTheListingRead)
{
    Plant(SmallFile(R"({"date_added":"5","name":"b","type":"url","url":"u"})"));
    Ids();
    const std::uint32_t crc = store_.IDtoCRC32(QStringLiteral("5"));
    EXPECT_EQ(crc, BookmarkCrc32(QString(), QStringLiteral("b"), QStringLiteral("u")));
    // The store's own change is seen at once; the check lists again before asking anyway.
    store_.Edit(QStringLiteral("5"), {QString(), QStringLiteral("c"), QStringLiteral("u")});
    EXPECT_EQ(store_.IDtoCRC32(QStringLiteral("5")), BookmarkCrc32(QString(), QStringLiteral("c"), QStringLiteral("u")));
}

}  // namespace
