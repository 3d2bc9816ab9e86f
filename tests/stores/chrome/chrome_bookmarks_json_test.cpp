#include "stores/chrome/chrome_bookmarks_json.h"

#include <gtest/gtest.h>

#include <QFile>

#include "common/errors.h"
#include "stores/chrome/chrome_bookmark_tree.h"
#include "support/golden_files.h"

namespace {

QByteArray RealFile(const char* name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/chrome-bookmarks/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly)) ADD_FAILURE() << "missing fixture " << name;
    return f.readAll();
}

const char* const kRealFiles[] = {"chrome2014-linux-escaped.Bookmarks", "chrome2021-fresh-profile.Bookmarks",
                                  "chrome2023-utf8.Bookmarks"};

TEST(ChromeBookmarksJson, ChecksumOfEveryRealFileEqualsTheOneChromeStored)
{
    for (const char* name : kRealFiles) {
        const ChromeJson doc = ParseChromeBookmarks(RealFile(name));
        EXPECT_EQ(ChromeBookmarksChecksum(doc), doc.at("checksum").get<std::string>()) << name;
    }
}

TEST(ChromeBookmarksJson, ChecksumFollowsNamesUrlsAndIdsOnly)
{
    ChromeJson doc = ParseChromeBookmarks(RealFile("chrome2021-fresh-profile.Bookmarks"));
    const std::string original = ChromeBookmarksChecksum(doc);
    ChromeJson& bookmark = doc["roots"]["bookmark_bar"]["children"][0];
    bookmark["date_added"] = "1";
    bookmark["guid"] = "other";
    EXPECT_EQ(ChromeBookmarksChecksum(doc), original);
    for (const char* member : {"name", "url", "id"}) {
        ChromeJson changed = doc;
        changed["roots"]["bookmark_bar"]["children"][0][member] = "x";
        EXPECT_NE(ChromeBookmarksChecksum(changed), original) << member;
    }
    // A node without "id" (as the store creates them) hashes as if its id were empty.
    ChromeJson withoutId = doc;
    withoutId["roots"]["bookmark_bar"]["children"][0].erase("id");
    ChromeJson emptyId = doc;
    emptyId["roots"]["bookmark_bar"]["children"][0]["id"] = "";
    EXPECT_EQ(ChromeBookmarksChecksum(withoutId), ChromeBookmarksChecksum(emptyId));

    UpdateChromeBookmarksChecksum(withoutId);
    EXPECT_EQ(withoutId["checksum"], ChromeBookmarksChecksum(withoutId));
    ChromeJson noChecksum = {{"roots", ChromeJson::object()}};
    UpdateChromeBookmarksChecksum(noChecksum);
    EXPECT_FALSE(noChecksum.contains("checksum"));
}

TEST(ChromeBookmarksJson, WritesOneAsciiLineWithUpperCaseEscapes)
{
    ChromeJson doc = ChromeJson::object();
    doc["a"] = "caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80";  // é, 中, an emoji beyond the BMP
    doc["b"] = "back\\slash \"quoted\" \\u00e9 tab\t\x01";
    doc["c"] = ChromeJson::array({1, "x"});
    const QByteArray out = SerializeChromeBookmarks(doc);
    EXPECT_EQ(out,
              QByteArray(R"({"a":"caf\u00E9 \u4E2D \uD83D\uDE00","b":"back\\slash \"quoted\" \\u00e9 tab\t\u0001",)"
                         R"("c":[1,"x"]})"));
    // What was written reads back to the same document, literal backslashes included.
    EXPECT_EQ(ParseChromeBookmarks(out), doc);
}

TEST(ChromeBookmarksJson, RealFilesSurviveBeingWrittenCompact)
{
    for (const char* name : kRealFiles) {
        const ChromeJson doc = ParseChromeBookmarks(RealFile(name));
        const QByteArray out = SerializeChromeBookmarks(doc);
        EXPECT_FALSE(out.contains('\n')) << name;
        for (const char c : out) ASSERT_LT(static_cast<unsigned char>(c), 0x80) << name;
        EXPECT_EQ(ParseChromeBookmarks(out), doc) << name;
    }
    // The 2023 file's raw UTF-8 reads as the characters, not as one character per byte.
    const ChromeJson doc = ParseChromeBookmarks(RealFile("chrome2023-utf8.Bookmarks"));
    EXPECT_NE(doc.dump().find("\xC3\xBC"), std::string::npos);  // ü
    EXPECT_NE(SerializeChromeBookmarks(doc).indexOf("\\u00FC"), -1);
}

TEST(ChromeBookmarksJson, RefusesWhatIsNotJsonInUtf8)
{
    const QByteArray cases[] = {
        "",
        "not json",
        "{\"roots\": {",
        "{\"a\": \"\xC3\x28\"}",          // broken UTF-8 sequence
        "{\"a\": \"\xE9t\xE9\"}",         // Latin-1, not UTF-8
        "{\"a\": \"\xED\xA0\x80\"}",      // a surrogate encoded as UTF-8
        "{\"a\": \"\\uD800 alone\"}",     // an escape of half a pair
        "{\"a\": 1} trailing",
        QByteArray(2000, '[') + QByteArray(2000, ']'),
    };
    for (const QByteArray& bytes : cases)
        EXPECT_THROW(ParseChromeBookmarks(bytes), AgentError) << bytes.left(40).toStdString();
}

// What the store writes after an Add: the document as read, one bookmark (and its folders) more,
// the checksum recomputed, in the one-line ASCII form.
class ChromeRewrite : public ::testing::TestWithParam<GoldenCase> {};
TEST_P(ChromeRewrite, MatchesItsExpectedFile)
{
    ChromeJson doc = ParseChromeBookmarks(GetParam().Input());
    std::int64_t counter = *LargestChromeDate(doc);
    ChromeJson& folder = ReachChromeFolder(doc, {QStringLiteral("Golden"), QString::fromUtf8("Ünï")}, counter);
    AppendChromeBookmark(folder, QString::number(counter + 1),
                         {QString(), QString::fromUtf8("Name «ü» 😀 \\ \"q\""), QStringLiteral("http://example.org/?a=1&b='2'")});
    UpdateChromeBookmarksChecksum(doc);
    ExpectGolden(GetParam(), SerializeChromeBookmarks(doc));
}
INSTANTIATE_TEST_SUITE_P(Files, ChromeRewrite, ::testing::ValuesIn(GoldenCases("chrome-bookmarks", ".Bookmarks")),
                         GoldenCaseName);

}  // namespace
