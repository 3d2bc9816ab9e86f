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
#include "common/new_item_numbers.h"
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

void CChrome::AtSyncEnd()
{
    index_.reset();
    pending_.reset();
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

std::optional<QByteArray> CChrome::ReadBytes(const QString& path, LoadedFileIdentity* stamp, bool digest) const
{
    // Only a regular file (a FIFO planted under the name must not hold the agent), never more
    // than the limit, whatever size the system reports.
    std::optional<RegularFileForReading> file = RegularFileForReading::Open(path);
    if (!file) {
        if (stamp) *stamp = {};
        return std::nullopt;
    }
    QByteArray bytes = file->ReadAll(kMaxChromeFileBytes);
    if (stamp) *stamp = LoadedFileIdentity::OfStatus(file->Status(), digest ? ContentDigest::Of(bytes) : QByteArray());
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
    // The change writes them with it.
    LogOwnDates(path, GiveChromeBookmarksOwnDates(document).size());
    return document;
}

void CChrome::Log(const QString& line) const
{
    if (log_) log_(line);
}

void CChrome::LogOwnDates(const QString& path, std::size_t count) const
{
    // One line however many: a running Chrome writes the shared dates back at every save, and
    // a line per bookmark would fill the log at every check.
    if (count > 0)
        Log(QStringLiteral("Chrome bookmarks file %1: %2 bookmarks that shared a date or had none were given their own")
                .arg(path)
                .arg(count));
}

void CChrome::Write(const QString& path, ChromeJson& document)
{
    UpdateChromeBookmarksChecksum(document);
    index_.reset();
    // A linked file is replaced where it really lives, and keeps its mode (Chrome's is 0600).
    ReplaceUserFile(path, SerializeChromeBookmarks(document), LinkAtPath::WriteThrough, 0600);
}

CChrome::Index CChrome::BuildIndex(const QString& file, const QByteArray& bytes, std::vector<UrlFileEntry>* ids,
                                   std::optional<ChromeJson>* ownDates, std::size_t* given)
{
    // Built whole before it is kept, so a file that fails leaves no half index. The usual file,
    // every date its own, is read without building the document.
    Index index;
    index.file = file;
    std::vector<ChromeBookmark> bookmarks;
    try {
        bookmarks = ScanChromeBookmarks(bytes);
        if (DatesNeedChoosing(bookmarks)) {
            ChromeJson document = ParseChromeBookmarks(bytes);
            const std::size_t count = GiveChromeBookmarksOwnDates(document).size();
            if (given) *given = count;
            bookmarks = ListChromeBookmarks(document);
            if (ownDates) *ownDates = std::move(document);
        }
    } catch (const AgentError& e) {
        throw AgentError(Text(file) + ": " + e.what());
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
    return index;
}

void CChrome::IndexBookmarks(std::vector<UrlFileEntry>* ids, bool forCheck)
{
    const QString file = BookmarksFile();
    LoadedFileIdentity read;
    const std::optional<QByteArray> bytes = file.isEmpty() ? std::nullopt : ReadBytes(file, &read);
    if (!bytes) {
        index_ = Index{file, {}, {}};
        return;
    }
    std::optional<ChromeJson> ownDates;
    std::size_t given = 0;
    Index index = BuildIndex(file, *bytes, ids, forCheck ? &ownDates : nullptr, &given);
    index.stamp = read;  // Get compares it with the file's identity alone
    index_ = std::move(index);
    if (ownDates) {
        // The bytes' digest tells, before the write, whether the file is still the one read;
        // only a file with dates to write pays for it.
        read.digest = ContentDigest::Of(*bytes);
        pending_ = PendingDates{file, read, std::move(*ownDates), given};
    }
}

void CChrome::AfterCheck()
{
    if (!pending_) return;
    PendingDates pending = std::move(*pending_);
    pending_.reset();
    // Once written, the dates hold when the user moves the bookmarks; unwritten, the same choice
    // is made again at every read, so the identifiers hold too. They are written only over the
    // file as it was read: Chrome may have saved a bookmark since, and it must not be lost.
    try {
        for (int attempt = 0; attempt < 2; ++attempt) {
            switch (pending.read.Compare(pending.file, kMaxChromeFileBytes)) {
            case LoadedFileIdentity::Now::AsLoaded: {
                // The index was built from this document, so it stays, stamped with the new file.
                std::optional<Index> kept = std::move(index_);
                Write(pending.file, pending.document);
                if (kept && kept->file == pending.file) {
                    kept->stamp = LoadedFileIdentity::Of(pending.file);
                    index_ = std::move(kept);
                }
                LogOwnDates(pending.file, pending.given);
                return;
            }
            case LoadedFileIdentity::Now::Unavailable:
                Log(QStringLiteral("Chrome bookmarks file %1: the bookmarks' own dates are not written: the file "
                                   "is gone or cannot be read")
                        .arg(pending.file));
                return;
            case LoadedFileIdentity::Now::Replaced:
                break;
            }
            if (attempt == 1) break;
            // Saved meanwhile: decided once more on the file as it is now, which is also what
            // the requests that follow serve.
            LoadedFileIdentity read;
            const std::optional<QByteArray> bytes = ReadBytes(pending.file, &read, true);
            if (!bytes) {
                Log(QStringLiteral("Chrome bookmarks file %1: the bookmarks' own dates are not written: the file "
                                   "is gone")
                        .arg(pending.file));
                return;
            }
            std::optional<ChromeJson> ownDates;
            std::size_t given = 0;
            Index index = BuildIndex(pending.file, *bytes, nullptr, &ownDates, &given);
            index.stamp = read;
            index.stamp.digest.clear();
            index_ = std::move(index);
            if (!ownDates) return;  // every date is its own now
            pending.read = std::move(read);
            pending.document = std::move(*ownDates);
            pending.given = given;
        }
        Log(QStringLiteral("Chrome bookmarks file %1 changed twice while the bookmarks' own dates were being written; "
                           "they are not written this time")
                .arg(pending.file));
    } catch (const std::exception& e) {
        Log(QStringLiteral("Chrome bookmarks file %1: the bookmarks' own dates are not written: %2")
                .arg(pending.file, QString::fromUtf8(e.what())));
    }
}

std::vector<UrlFileEntry> CChrome::GetIDs()
{
    // Dates chosen by a check whose reply was never sent are not written.
    pending_.reset();
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
    const std::optional<std::int64_t> first = numbers_.First(ChromeTimeNow(), LargestChromeDate(document));
    if (!first) throw AgentError("Chrome bookmarks file: no number left for a new bookmark");
    std::int64_t counter = *first - 1;
    ChromeJson& folder = ReachChromeFolder(document, folders, counter);
    if (counter == std::numeric_limits<std::int64_t>::max())
        throw AgentError("Chrome bookmarks file: no number left for a new bookmark");
    const QString id = QString::number(static_cast<std::uint64_t>(counter + 1));
    AppendChromeBookmark(folder, id, record);
    Write(file, document);
    numbers_.Handed(counter + 1);
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
    const std::optional<std::int64_t> first = numbers_.First(ChromeTimeNow(), LargestChromeDate(document));
    if (!first) throw AgentError("Chrome bookmarks file: no number left for a new folder");
    const std::int64_t start = *first - 1;
    std::int64_t counter = start;
    RemoveChromeBookmark(document, Text(id));
    ChromeJson& folder = ReachChromeFolder(document, folders, counter);
    AppendChromeBookmark(folder, id, record);
    // Sending a bookmark back as it stands, already last in its folder, changes nothing.
    if (document != before) Write(file, document);
    if (counter != start) numbers_.Handed(counter);
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
