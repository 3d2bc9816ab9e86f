// Chrome's bookmarks through the dispatcher, as a peer reads and changes them, over a Bookmarks
// file in a temporary home.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include <QDir>
#include <QFile>

#include "common/byte_io.h"
#include "dispatch/bookmark_id.h"
#include "dispatch/bookmark_record_codec.h"
#include "dispatch/bookmark_request_bytes.h"
#include "stores/chrome/chrome.h"
#include "stores/chrome/chrome_bookmarks_json.h"
#include "support/dispatch_harness.h"
#include "wire/message_header.h"

namespace {

const QString kBookmarks = QStringLiteral(".config/google-chrome/Default/Bookmarks");

// Imported bookmarks share a date: three twins, a bookmark whose date is the twins' less one
// microsecond, and a folder. Laid out as Chrome writes, not as the agent does.
constexpr const char* kShared = "13264454202000000";
const QByteArray kTwinsFile = R"({
   "checksum": "0",
   "roots": {
      "bookmark_bar": { "children": [  ], "date_added": "10", "id": "1", "name": "Bar", "type": "folder" },
      "other": { "children": [ {
            "children": [ { "date_added": "13264454202000000", "id": "5", "name": "A", "type": "url", "url": "http://a/" },
                          { "date_added": "13264454202000000", "id": "6", "name": "B", "type": "url", "url": "http://b/" } ],
            "date_added": "13264454100000000", "id": "4", "name": "Imported", "type": "folder"
         }, { "date_added": "13264454201999999", "id": "7", "name": "D", "type": "url", "url": "http://d/" },
            { "date_added": "13264454202000000", "id": "8", "name": "C", "type": "url", "url": "http://c/" } ],
         "date_added": "11", "id": "2", "name": "Other", "type": "folder" },
      "synced": { "children": [  ], "date_added": "12", "id": "3", "name": "Mobile", "type": "folder" }
   },
   "version": 1
}
)";

BookmarkId Id(std::uint64_t date)
{
    return BookmarkId::FromValue(date);
}

struct Report {
    std::vector<BookmarkId> added, edited, deleted;
};

class ChromeBookmarkRequests : public ::testing::Test {
protected:
    void SetUp() override { h_.agent.browserId = static_cast<std::uint32_t>(BrowserKind::Chrome); }

    void Plant(const QByteArray& bytes) { h_.home.WriteFile(kBookmarks, bytes); }
    QByteArray Bytes() const { return h_.home.ReadFile(kBookmarks).value_or("<missing>"); }
    QString File() const { return h_.home.Path(kBookmarks); }

    QByteArray Ok(std::uint16_t code, const QByteArray& payload = {})
    {
        const SentMessage reply = h_.Send(code, payload);
        EXPECT_EQ(reply.code, code + 1) << "request " << code;
        return reply.payload;
    }
    // The request fails with AS_ERROR and a line giving the reason.
    void Refused(std::uint16_t code, const QByteArray& payload, const char* reason)
    {
        h_.TakeLogLines();
        EXPECT_EQ(h_.Send(code, payload).code, AS_ERROR) << "request " << code;
        const QString log = h_.TakeLogLines().join('\n');
        EXPECT_TRUE(log.contains(QLatin1String(reason))) << reason << "\n" << log.toStdString();
    }
    Report Check()
    {
        ByteReader r(Ok(AS_CHECK_BOOKMARKS, Utf16z(QString())));
        Report report;
        for (std::vector<BookmarkId>* section : {&report.added, &report.edited, &report.deleted}) {
            const std::uint16_t n = r.U16();
            for (int i = 0; i < n; ++i) section->push_back(BookmarkId::Read(r));
        }
        return report;
    }
    BookmarkRecord Get(BookmarkId id)
    {
        const QByteArray reply = Ok(AS_GET_BOOKMARK, IdBytes(id));
        ByteReader r(reply);
        EXPECT_EQ(BookmarkId::Read(r), id);
        return DecodeBookmarkFields(r);
    }

    DispatchHarness h_;
};

TEST_F(ChromeBookmarkRequests, TwinsAreEachReadEditedAndDeletedOnTheirOwn)
{
    Plant(kTwinsFile);
    const std::uint64_t shared = std::stoull(kShared);
    // The newest twin (largest id) keeps the date; the others take the date less their id.
    const BookmarkId a = Id(shared - 5), b = Id(shared - 6), c = Id(shared), d = Id(shared - 1);
    h_.TakeLogLines();
    EXPECT_EQ(Check().added, (std::vector<BookmarkId>{a, b, d, c}));
    const QStringList log = h_.TakeLogLines();
    EXPECT_EQ(log.filter(QStringLiteral("Chrome bookmarks file")),
              QStringList{QStringLiteral("Chrome bookmarks file %1: 2 bookmarks that shared a date or had none were "
                                         "given their own")
                              .arg(File())});
    // Written once: the file holds the new dates, still a file Chrome accepts.
    const ChromeJson written = ParseChromeBookmarks(Bytes());
    EXPECT_EQ(written.at("checksum").get<std::string>(), ChromeBookmarksChecksum(written));
    EXPECT_EQ(written["roots"]["other"]["children"][0]["children"][0]["date_added"], "13264454201999995");
    Ok(AS_SAVE_BOOKMARKS_STATE);
    EXPECT_TRUE(Check().added.empty());

    // A running Chrome writes the old dates back: the same bookmarks keep the same identifiers.
    Plant(kTwinsFile);
    const Report again = Check();
    EXPECT_TRUE(again.added.empty() && again.edited.empty() && again.deleted.empty());

    const BookmarkRecord recordOf[] = {{QStringLiteral("Imported"), QStringLiteral("A"), QStringLiteral("http://a/")},
                                       {QStringLiteral("Imported"), QStringLiteral("B"), QStringLiteral("http://b/")},
                                       {QString(), QStringLiteral("C"), QStringLiteral("http://c/")}};
    const BookmarkId twins[] = {a, b, c};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Get(twins[i]), recordOf[i]);

    // Each twin edited on its own, the file's old dates planted again before each.
    BookmarkRecord now[3] = {recordOf[0], recordOf[1], recordOf[2]};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Plant(kTwinsFile);
        now[0] = recordOf[0], now[1] = recordOf[1], now[2] = recordOf[2];
        now[i] = {QStringLiteral("Moved"), QStringLiteral("Edited %1").arg(i), QStringLiteral("http://e/")};
        EXPECT_EQ(Ok(AS_SET_BOOKMARK, IdBytes(twins[i]) + Fields(now[i])), IdBytes(twins[i]));
        for (int j = 0; j < 3; ++j) EXPECT_EQ(Get(twins[j]), now[j]) << j;
        EXPECT_EQ(Get(d).name, QStringLiteral("D"));
    }

    // Each twin deleted on its own, first from the file with the old dates.
    Plant(kTwinsFile);
    bool deleted[3] = {false, false, false};
    for (int i : {2, 0, 1}) {
        SCOPED_TRACE(i);
        Ok(AS_DEL_BOOKMARK, IdBytes(twins[i]));
        deleted[i] = true;
        for (int j = 0; j < 3; ++j) EXPECT_EQ(Get(twins[j]), deleted[j] ? BookmarkRecord{} : recordOf[j]) << j;
    }
    EXPECT_EQ(Get(d).name, QStringLiteral("D"));
    Ok(AS_SAVE_BOOKMARKS_STATE);
    const Report last = Check();
    EXPECT_TRUE(last.added.empty() && last.edited.empty() && last.deleted.empty());
    const ChromeJson doc = ParseChromeBookmarks(Bytes());
    EXPECT_EQ(doc["roots"]["other"]["children"][0]["children"].size(), 0u);
    EXPECT_EQ(doc.at("checksum").get<std::string>(), ChromeBookmarksChecksum(doc));
}

TEST_F(ChromeBookmarkRequests, ACheckThatFailsWritesNothing)
{
    // More bookmarks than the reply can count, two of them twins: the check answers AS_ERROR, and
    // the dates it chose are not written.
    QByteArray children;
    for (int i = 0; i < 65536; ++i) {
        if (i > 0) children += ',';
        children += R"({"date_added":")" + QByteArray::number(1000 + (i == 1 ? 0 : i)) + R"(","type":"url","url":""})";
    }
    const QByteArray file = R"({"roots":{"other":{"children":[)" + children + R"(]}}})";
    Plant(file);
    EXPECT_EQ(h_.Send(AS_CHECK_BOOKMARKS, Utf16z(QString())).code, AS_ERROR);
    EXPECT_EQ(Bytes(), file);
}

TEST_F(ChromeBookmarkRequests, GetAfterTheFileChangedUnderneathReadsTheNewFile)
{
    const QByteArray before = kTwinsFile;
    QByteArray after = before;
    after.replace("\"name\": \"D\"", "\"name\": \"E\"");  // the same size
    const BookmarkId d = Id(std::stoull(kShared) - 1);
    const struct {
        const char* how;
        bool replace;  // a new file renamed over the old one, else rewritten in place
    } cases[] = {{"rewritten in place, a later modification time", false},
                 {"replaced, the same size and modification time", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        Plant(before);
        Check();
        EXPECT_EQ(Get(d).name, QStringLiteral("D"));
        struct stat old;
        ASSERT_EQ(::stat(QFile::encodeName(File()).constData(), &old), 0);
        const QByteArray now = Bytes();
        QByteArray changed = now;
        changed.replace("\"name\":\"D\"", "\"name\":\"E\"");
        ASSERT_NE(changed, now);
        if (c.replace) {
            h_.home.WriteFile(kBookmarks + QStringLiteral(".new"), changed);
            const timespec times[2] = {old.st_atim, old.st_mtim};
            ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(File() + QStringLiteral(".new")).constData(), times, 0), 0);
            ASSERT_EQ(::rename(QFile::encodeName(File() + QStringLiteral(".new")).constData(),
                               QFile::encodeName(File()).constData()),
                      0);
        } else {
            QFile f(File());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(changed);
            f.close();
            const timespec times[2] = {old.st_atim, {old.st_mtim.tv_sec + 1, old.st_mtim.tv_nsec}};
            ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(File()).constData(), times, 0), 0);
        }
        EXPECT_EQ(Get(d).name, QStringLiteral("E"));
    }
}

// The end of a synchronisation or the client's departure lets the store forget what it read:
// the next synchronisation's Get and check read the file as it is then.
TEST_F(ChromeBookmarkRequests, AfterTheReleaseGetAndCheckReadTheFileAsItIsThen)
{
    const BookmarkId d = Id(std::stoull(kShared) - 1);
    const std::function<void()> releases[] = {[this] { Ok(AS_END_SYNC); },
                                              [this] { h_.dispatcher.ReleaseClientResources(); }};
    for (const auto& release : releases) {
        Plant(kTwinsFile);
        Ok(AS_START_SYNC);
        Check();
        Ok(AS_SAVE_BOOKMARKS_STATE);
        EXPECT_EQ(Get(d).name, QStringLiteral("D"));
        release();

        QByteArray changed = Bytes();
        changed.replace("\"name\":\"D\"", "\"name\":\"E\"");
        ASSERT_NE(changed, Bytes());
        Plant(changed);
        Ok(AS_START_SYNC);
        EXPECT_EQ(Get(d).name, QStringLiteral("E"));
        EXPECT_EQ(Check().edited, std::vector<BookmarkId>{d});
        Ok(AS_END_SYNC);
    }
}

QByteArray DeepPath(int folders)
{
    QStringList names;
    for (int i = 0; i < folders; ++i) names << QStringLiteral("f%1").arg(i);
    return names.join('/').toUtf8();
}

TEST_F(ChromeBookmarkRequests, PathsTooDeepForChromeAreRefusedBeforeAnythingIsWritten)
{
    Plant(kTwinsFile);
    Check();
    const QByteArray original = Bytes();
    const BookmarkRecord tooDeep{QString::fromUtf8(DeepPath(CChrome::kMaxChromeFolderDepth + 1)), "N", "http://n/"};
    Refused(AS_ADD_BOOKMARK, Fields(tooDeep), "Path of 65 folders refused");
    Refused(AS_SET_BOOKMARK, IdBytes(Id(std::stoull(kShared))) + Fields(tooDeep), "Path of 65 folders refused");
    EXPECT_EQ(Bytes(), original);

    // The deepest Path allowed makes a file the store and Chrome still read.
    const BookmarkRecord deepest{QString::fromUtf8(DeepPath(CChrome::kMaxChromeFolderDepth)), "N", "http://n/"};
    const QByteArray added = Ok(AS_ADD_BOOKMARK, Fields(deepest));
    ByteReader r(added);
    EXPECT_EQ(Get(BookmarkId::Read(r)), deepest);
    int depth = 0, deepestLevel = 0;
    for (const char ch : Bytes()) {
        if (ch == '{' || ch == '[') deepestLevel = std::max(deepestLevel, ++depth);
        if (ch == '}' || ch == ']') --depth;
    }
    EXPECT_LT(deepestLevel, kMaxChromeNesting);
}

TEST_F(ChromeBookmarkRequests, FilesTooDeepOrNotRegularAreRefusedUnchangedAndTheAgentGoesOn)
{
    // Nested past what Chrome reads, in a member of the bookmarks bar.
    QByteArray deep = kTwinsFile;
    deep.replace("\"id\": \"1\"", "\"id\": \"1\", \"x\": " + QByteArray(kMaxChromeNesting, '[') +
                                      QByteArray(kMaxChromeNesting, ']'));
    Plant(deep);
    Refused(AS_CHECK_BOOKMARKS, Utf16z(QString()), "nested deeper than 200 levels");
    Refused(AS_ADD_BOOKMARK, Fields({QString(), "N", "http://n/"}), "nested deeper than 200 levels");
    EXPECT_EQ(Bytes(), deep);

    // A FIFO in the file's place is never waited on.
    QFile::remove(File());
    ASSERT_EQ(::mkfifo(QFile::encodeName(File()).constData(), 0600), 0);
    Refused(AS_CHECK_BOOKMARKS, Utf16z(QString()), "not a regular file");
    Refused(AS_GET_BOOKMARK, IdBytes(Id(1)), "not a regular file");
    Refused(AS_DEL_BOOKMARK, IdBytes(Id(1)), "not a regular file");

    QFile::remove(File());
    Plant(kTwinsFile);
    EXPECT_EQ(Check().added.size(), 4u);
}

TEST(ChromeBookmarksWriter, WritesADocumentOfAnyDepthWithoutRecursion)
{
    constexpr int kLevels = 100000;
    ChromeJson document = ChromeJson::object();
    ChromeJson* at = &document;
    for (int i = 0; i < kLevels; ++i) at = &((*at)["c"] = ChromeJson::array()).emplace_back(ChromeJson::object());
    (*at)["n"] = "\xC3\xA9";
    const QByteArray out = SerializeChromeBookmarks(document);
    EXPECT_EQ(out.size(), qsizetype(kLevels * 8 + 14));
    EXPECT_TRUE(out.contains(R"({"n":"\u00E9"})"));
}

}  // namespace
