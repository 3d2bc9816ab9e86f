#include "stores/chrome/chrome_bookmark_scan.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <optional>

#include "common/errors.h"

namespace {

// What the document walk gives, or nothing when it refuses the bytes.
std::optional<std::vector<ChromeBookmark>> ByDocument(const QByteArray& bytes)
{
    try {
        return ListChromeBookmarks(ParseChromeBookmarks(bytes));
    } catch (const AgentError&) {
        return std::nullopt;
    }
}

std::optional<std::vector<ChromeBookmark>> ByScan(const QByteArray& bytes)
{
    try {
        return ScanChromeBookmarks(bytes);
    } catch (const AgentError&) {
        return std::nullopt;
    }
}

void ExpectSameAsTheDocument(const QByteArray& bytes, const std::string& label)
{
    const auto expected = ByDocument(bytes);
    const auto scanned = ByScan(bytes);
    ASSERT_EQ(scanned.has_value(), expected.has_value()) << label;
    if (!expected) return;
    ASSERT_EQ(scanned->size(), expected->size()) << label;
    for (std::size_t i = 0; i < expected->size(); ++i) {
        EXPECT_EQ((*scanned)[i].id, (*expected)[i].id) << label << " #" << i;
        EXPECT_EQ((*scanned)[i].record, (*expected)[i].record) << label << " #" << i;
    }
}

TEST(ChromeBookmarkScan, ReadsTheRealFilesAsTheDocumentWalkDoes)
{
    const QDir dir(QStringLiteral(TWINLARK_TEST_DATA "/chrome-bookmarks"));
    for (const QString& name : dir.entryList({QStringLiteral("*.Bookmarks")}, QDir::Files)) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        ExpectSameAsTheDocument(bytes, name.toStdString());
        // The roots renamed into each other's place: the names decide, for both alike.
        QByteArray swapped = bytes;
        swapped.replace("\"other\"", "\"zz_other\"").replace("\"bookmark_bar\"", "\"other\"").replace("\"zz_other\"", "\"bookmark_bar\"");
        ExpectSameAsTheDocument(swapped, name.toStdString() + " swapped");
    }
}

TEST(ChromeBookmarkScan, AgreesWithTheDocumentWalkOnOddShapesAndFaults)
{
    const char* const cases[] = {
        // Names after children, nested folders, objects inside bookmarks, a folder sharing a date.
        R"({"v":1,"roots":{"a":{},"other":{"children":[{"children":[{"children":[{"date_added":"3","url":"u3","name":"c"}],"name":"B"}],"date_added":"3","name":"A"},{"meta_info":{"url":"inner","name":"m"},"name":"x","date_added":"4","url":"u4"}],"name":"F"}}})",
        // Values that count only as texts.
        R"({"v":1,"roots":{"a":{},"other":{"children":[{"name":5,"date_added":7,"url":"u"},{"name":"n","url":1},{"url":null}]}}})",
        // A member named twice, wherever it stands, is refused by both.
        R"({"v":1,"v":2,"roots":{"a":{},"other":{"children":[]}}})",
        R"({"v":1,"roots":{"a":{},"other":{"children":[{"name":"n","name":"m","url":"u"}]}}})",
        R"({"v":1,"roots":{"a":{},"other":{"children":[]},"g":{"x":1,"x":1}}})",
        // The synchronised folder itself a bookmark; an empty name on the way.
        R"({"v":1,"roots":{"a":{},"other":{"url":"self","children":[{"children":[{"url":"deep","name":"d"}]}]}}})",
        R"({"v":1,"roots":{"a":{},"other":{"children":[]},"g":{"children":[{"url":"elsewhere"}]}}})",
        R"({"v":[1,"x",{}],"roots":{"a":[1,2],"other":{"children":[]}},"w":[[1]]})",
        // The roots first, the folder last or alone, members in any order.
        R"({"roots":{"other":{"name":"F","children":[{"url":"u","name":"n"}]},"bookmark_bar":{}},"version":1})",
        R"({"roots":{"other":{"children":[]}}})",
        // Faults: not an object where the store navigates, a non-object in an array below it.
        R"([])",
        R"({"only":1})",
        R"({"roots":{"bookmark_bar":{},"synced":{}},"version":1})",
        R"({"a":1,"roots":[]})",
        R"({"a":1,"roots":{"x":1}})",
        R"({"a":1,"roots":{"x":1,"other":[]}})",
        R"({"a":1,"roots":{"x":1,"other":{"children":[1]}}})",
        R"({"a":1,"roots":{"x":1,"other":{"children":[[]]}}})",
        R"({"a":1,"roots":{"x":1,"other":{"children":[{"meta":[{"url":"u"},"s"]}]}}})",
        R"({"a":1,"roots":{"x":1,"other":{}}} trailing)",
        "{\"a\":1,\"roots\":{\"x\":1,\"other\":{\"name\":\"\xC3\x28\"}}}",
        "",
    };
    for (const char* text : cases) ExpectSameAsTheDocument(QByteArray(text), text);
    EXPECT_THROW(ScanChromeBookmarks(cases[2]), AgentError);
    EXPECT_EQ(ScanChromeBookmarks(cases[1]).size(), 1u);

    // Each object after what it holds; the Path names the objects on the way, not the folder.
    const std::vector<ChromeBookmark> first = ScanChromeBookmarks(cases[0]);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].id, "3");
    EXPECT_EQ(first[0].record, (BookmarkRecord{"A/B", "c", "u3"}));
    EXPECT_EQ(first[1].record, (BookmarkRecord{"x", "m", "inner"}));
    EXPECT_EQ(first[2].record, (BookmarkRecord{"", "x", "u4"}));
    ExpectSameAsTheDocument(QByteArray(2000, '[') + QByteArray(2000, ']'), "deep");
}

}  // namespace
