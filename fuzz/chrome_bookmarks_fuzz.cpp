// Arbitrary bytes as Chrome's Bookmarks file: the change check's reading straight from the bytes
// must agree with the document walk the changes use (the same bookmarks, or both refusing), and
// a document that parses must come back whole from the one-line ASCII form the store writes,
// also after the store's own changes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include <QByteArray>

#include "common/errors.h"
#include "stores/chrome/chrome_bookmark_scan.h"
#include "stores/chrome/chrome_bookmark_tree.h"
#include "stores/chrome/chrome_bookmarks_json.h"

namespace {

void Require(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::optional<std::vector<ChromeBookmark>> scanned;
    try {
        scanned = ScanChromeBookmarks(bytes);
    } catch (const AgentError&) {
    }
    ChromeJson document;
    try {
        document = ParseChromeBookmarks(bytes);
    } catch (const AgentError&) {
        Require(!scanned);
        return 0;
    }
    Require(ParseChromeBookmarks(SerializeChromeBookmarks(document)) == document);
    std::vector<ChromeBookmark> listed;
    try {
        listed = ListChromeBookmarks(document);
    } catch (const AgentError&) {
        Require(!scanned);
        return 0;
    }
    Require(scanned && scanned->size() == listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i)
        Require((*scanned)[i].id == listed[i].id && (*scanned)[i].record == listed[i].record);

    try {
        std::int64_t counter = LargestChromeDate(document).value_or(0);
        if (!listed.empty()) RemoveChromeBookmark(document, listed.front().id.toStdString());
        ChromeJson& folder = ReachChromeFolder(document, {QStringLiteral("A"), QStringLiteral("B")}, counter);
        AppendChromeBookmark(folder, QStringLiteral("1"), {QString(), QStringLiteral("n"), QStringLiteral("u")});
        RemoveAllChromeBookmarks(document);
        UpdateChromeBookmarksChecksum(document);
        Require(ParseChromeBookmarks(SerializeChromeBookmarks(document)) == document);
    } catch (const AgentError&) {
    }
    return 0;
}
