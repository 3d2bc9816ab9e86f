#include "stores/chrome/chrome.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <limits>

#include "common/bookmark_checksums.h"
#include "common/errors.h"
#include "platform/browser_probe.h"
#include "platform/regular_file_read.h"
#include "platform/replace_user_file.h"
#include "stores/chrome/chrome_bookmark_scan.h"
#include "stores/chrome/chrome_bookmark_tree.h"
#include "stores/chrome/chrome_twin_dates.h"

namespace {

std::string Text(const QString& s)
{
    return s.toStdString();
}

// The peer names a Chrome bookmark by the decimal text of its 64-bit number; a key of any other
// form is none of the file's and is refused before anything is read or written.
void RequireIdentifier(const QString& id)
{
    bool ok = false;
    id.toULongLong(&ok);
    if (!ok || id.isEmpty() || !id.front().isDigit())
        throw AgentError("not a Chrome bookmark identifier: \"" + Text(id.left(100)) + "\"");
}

QString FolderDepthCheck(const QString& path)
{
    const qsizetype folders = SplitChromeFolderPath(path).size();
    if (folders > CChrome::kMaxChromeFolderDepth)
        throw AgentError("Chrome bookmark Path of " + std::to_string(folders) + " folders refused; at most " +
                         std::to_string(CChrome::kMaxChromeFolderDepth) +
                         " keep the file within the depth Chrome reads");
    return path;
}

// Whether some bookmarks share a date or have none that can name them.
bool DatesNeedChoosing(const std::vector<ChromeBookmark>& bookmarks)
{
    QSet<QString> seen;
    seen.reserve(qsizetype(bookmarks.size()));
    for (const ChromeBookmark& b : bookmarks) {
        if (!IsCanonicalChromeDate(b.id.toStdString())) return true;
        const qsizetype before = seen.size();
        seen.insert(b.id);
        if (seen.size() == before) return true;
    }
    return false;
}

}  // namespace

CChrome::CChrome() = default;

CChrome::CChrome(QString bookmarksFile) : fixedFile_(std::move(bookmarksFile)) {}

void CChrome::Close()
{
    index_.reset();
}

QString CChrome::BookmarksFile() const
{
    return fixedFile_ ? *fixedFile_ : ChromeBookmarksPath();
}

QString CChrome::RequireBookmarksFile() const
{
    const QString file = BookmarksFile();
    if (file.isEmpty()) throw AgentError("Chrome bookmarks: the configuration folder cannot be determined");
    return file;
}

std::optional<QByteArray> CChrome::ReadBytes(const QString& path, LoadedFileIdentity* stamp) const
{
    // Only a regular file (a FIFO planted under the name must not hold the agent), never more
    // than the limit, whatever size the system reports.
    std::optional<RegularFileForReading> file = RegularFileForReading::Open(path);
    if (!file) {
        if (stamp) *stamp = {};
        return std::nullopt;
    }
    QByteArray bytes = file->ReadAll(kMaxChromeFileBytes);
    if (stamp) *stamp = LoadedFileIdentity::OfStatus(file->Status(), {});
    return bytes;
}

ChromeJson CChrome::ReadExisting(const QString& path)
{
    const std::optional<QByteArray> bytes = ReadBytes(path);
    if (!bytes)
        throw AgentError("Chrome bookmarks file " + Text(path) + " does not exist; the agent does not create it");
    ChromeJson document;
    try {
        document = ParseChromeBookmarks(*bytes);
    } catch (const AgentError& e) {
        throw AgentError(Text(path) + ": " + e.what());
    }
    GiveOwnDates(path, document);
    return document;
}

void CChrome::Log(const QString& line) const
{
    if (log_) log_(line);
}

bool CChrome::GiveOwnDates(const QString& path, ChromeJson& document)
{
    const std::vector<ChromeDateChange> changes = GiveChromeBookmarksOwnDates(document);
    for (const ChromeDateChange& c : changes)
        Log(QStringLiteral("Chrome bookmarks file %1: bookmark \"%2\" shared its date %3 with another; its own is %4")
                .arg(path, c.name.left(100), c.from.isEmpty() ? QStringLiteral("(none)") : c.from.left(40), c.to));
    return !changes.empty();
}

void CChrome::Write(const QString& path, ChromeJson& document)
{
    UpdateChromeBookmarksChecksum(document);
    index_.reset();
    // A linked file is replaced where it really lives, and keeps its mode (Chrome's is 0600).
    ReplaceUserFile(path, SerializeChromeBookmarks(document), LinkAtPath::WriteThrough, 0600);
}

void CChrome::IndexBookmarks(std::vector<UrlFileEntry>* ids, bool writeOwnDates)
{
    // Built whole before it is kept, so a file that fails leaves no half index. The usual file,
    // every date its own, is read without building the document.
    Index index;
    index.file = BookmarksFile();
    const std::optional<QByteArray> bytes = index.file.isEmpty() ? std::nullopt : ReadBytes(index.file, &index.stamp);
    if (bytes) {
        std::vector<ChromeBookmark> bookmarks;
        try {
            bookmarks = ScanChromeBookmarks(*bytes);
            if (DatesNeedChoosing(bookmarks)) {
                ChromeJson document = ParseChromeBookmarks(*bytes);
                if (writeOwnDates) GiveOwnDates(index.file, document);
                else GiveChromeBookmarksOwnDates(document);
                bookmarks = ListChromeBookmarks(document);
                if (writeOwnDates) {
                    // Once written, the dates hold when the user moves the bookmarks; unwritten,
                    // the same choice is made again at every read, so the identifiers hold too.
                    try {
                        Write(index.file, document);
                        index.stamp = LoadedFileIdentity::Of(index.file);
                    } catch (const AgentError& e) {
                        Log(QStringLiteral("Chrome bookmarks file %1: the bookmarks' own dates are not written: %2")
                                .arg(index.file, QString::fromUtf8(e.what())));
                    }
                }
            }
        } catch (const AgentError& e) {
            throw AgentError(Text(index.file) + ": " + e.what());
        }
        index.byId.reserve(qsizetype(bookmarks.size()));
        if (ids) ids->reserve(bookmarks.size());
        for (ChromeBookmark& b : bookmarks) {
            const std::uint32_t checksum = BookmarkCrc32(b.record.path, b.record.name, b.record.url);
            // Copies of their own, side by side: the check list keeps the identifiers after the
            // index is forgotten, and sharing the texts read from the file they would hold on to
            // the pages of names and addresses around them.
            if (ids) ids->push_back({QString(b.id.constData(), b.id.size()), 0, 0, 0});
            index.byId.insert(std::move(b.id), {checksum, std::move(b.record)});
        }
    }
    index_ = std::move(index);
}

std::vector<UrlFileEntry> CChrome::GetIDs()
{
    std::vector<UrlFileEntry> ids;
    IndexBookmarks(&ids, true);
    return ids;
}

std::uint32_t CChrome::IDtoCRC32(const QString& id)
{
    if (!index_) IndexBookmarks(nullptr, false);
    const auto it = index_->byId.constFind(id);
    return it == index_->byId.cend() ? 0 : it->checksum;
}

void CChrome::Get(const QString& id, BookmarkRecord& record)
{
    if (!index_ || index_->file != BookmarksFile() || index_->stamp != LoadedFileIdentity::Of(index_->file))
        IndexBookmarks(nullptr, false);
    const auto it = index_->byId.constFind(id);
    if (it != index_->byId.cend()) record = it->record;
}

QString CChrome::Add(const BookmarkRecord& record)
{
    const QStringList folders = SplitChromeFolderPath(FolderDepthCheck(record.path));
    const QString file = RequireBookmarksFile();
    ChromeJson document = ReadExisting(file);
    std::int64_t counter = LargestChromeDate(document).value_or(ChromeTimeNow());
    ChromeJson& folder = ReachChromeFolder(document, folders, counter);
    if (counter == std::numeric_limits<std::int64_t>::max())
        throw AgentError("Chrome bookmarks file: no number left for a new bookmark");
    const QString id = QString::number(static_cast<std::uint64_t>(counter + 1));
    AppendChromeBookmark(folder, id, record);
    Write(file, document);
    return id;
}

QString CChrome::Edit(const QString& id, const BookmarkRecord& record)
{
    RequireIdentifier(id);
    const QStringList folders = SplitChromeFolderPath(FolderDepthCheck(record.path));
    const QString file = RequireBookmarksFile();
    const ChromeJson before = ReadExisting(file);
    ChromeJson document = before;
    // Numbers for new folders follow every date of the file as it was, the edited one's too.
    std::int64_t counter = LargestChromeDate(document).value_or(ChromeTimeNow());
    RemoveChromeBookmark(document, Text(id));
    ChromeJson& folder = ReachChromeFolder(document, folders, counter);
    AppendChromeBookmark(folder, id, record);
    // Sending a bookmark back as it stands, already last in its folder, changes nothing.
    if (document != before) Write(file, document);
    return id;
}

void CChrome::Delete(const QString& id)
{
    RequireIdentifier(id);
    const QString file = RequireBookmarksFile();
    ChromeJson document = ReadExisting(file);
    if (RemoveChromeBookmark(document, Text(id))) Write(file, document);
}

void CChrome::DeleteAll()
{
    const QString file = RequireBookmarksFile();
    ChromeJson document = ReadExisting(file);
    if (RemoveAllChromeBookmarks(document) > 0) Write(file, document);
}
