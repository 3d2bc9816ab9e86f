#include "stores/apps/chrome.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <limits>

#include "common/bookmark_checksums.h"
#include "common/errors.h"
#include "platform/atomic_file.h"
#include "platform/browser_probe.h"
#include "stores/apps/chrome_bookmark_scan.h"
#include "stores/apps/chrome_bookmark_tree.h"

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

}  // namespace

CChrome::CChrome() = default;

CChrome::CChrome(QString bookmarksFile) : fixedFile_(std::move(bookmarksFile)) {}

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

std::optional<QByteArray> CChrome::ReadBytes(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists()) return std::nullopt;
        throw AgentError("cannot open " + Text(path) + ": " + Text(file.errorString()));
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AgentError("cannot read " + Text(path) + ": " + Text(file.errorString()));
    return bytes;
}

std::optional<ChromeJson> CChrome::Read(const QString& path) const
{
    const std::optional<QByteArray> bytes = ReadBytes(path);
    if (!bytes) return std::nullopt;
    try {
        return ParseChromeBookmarks(*bytes);
    } catch (const AgentError& e) {
        throw AgentError(Text(path) + ": " + e.what());
    }
}

ChromeJson CChrome::ReadExisting(const QString& path) const
{
    std::optional<ChromeJson> document = Read(path);
    if (!document)
        throw AgentError("Chrome bookmarks file " + Text(path) + " does not exist; the agent does not create it");
    return std::move(*document);
}

void CChrome::Write(const QString& path, ChromeJson& document)
{
    UpdateChromeBookmarksChecksum(document);
    // A linked file is replaced where it really lives, and keeps its mode (Chrome's is 0600).
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.canonicalFilePath() : path;
    struct stat st;
    const mode_t mode = ::stat(QFile::encodeName(target).constData(), &st) == 0 ? st.st_mode & 07777 : 0600;
    checksums_.reset();
    WriteFileAtomically(target, SerializeChromeBookmarks(document), mode);
}

void CChrome::IndexBookmarks(std::vector<UrlFileEntry>* ids)
{
    // Computed before anything is kept, so a file that fails leaves no half index. The check
    // reads the bookmarks without building the document.
    const QString file = BookmarksFile();
    const std::optional<QByteArray> bytes = file.isEmpty() ? std::nullopt : ReadBytes(file);
    QHash<QString, std::uint32_t> checksums;
    if (bytes) {
        std::vector<ChromeBookmark> bookmarks;
        try {
            bookmarks = ScanChromeBookmarks(*bytes);
        } catch (const AgentError& e) {
            throw AgentError(Text(file) + ": " + e.what());
        }
        checksums.reserve(qsizetype(bookmarks.size()));
        if (ids) ids->reserve(bookmarks.size());
        for (ChromeBookmark& b : bookmarks) {
            // The last bookmark with a date is the one the identifier names.
            checksums.insert(b.id, BookmarkCrc32(b.record.path, b.record.name, b.record.url));
            if (ids) ids->push_back({std::move(b.id), 0, 0, 0});
        }
    }
    checksums_ = std::move(checksums);
}

std::vector<UrlFileEntry> CChrome::GetIDs()
{
    std::vector<UrlFileEntry> ids;
    IndexBookmarks(&ids);
    return ids;
}

std::uint32_t CChrome::IDtoCRC32(const QString& id)
{
    if (!checksums_) IndexBookmarks(nullptr);
    return checksums_->value(id, 0);
}

void CChrome::Get(const QString& id, BookmarkRecord& record)
{
    const QString file = BookmarksFile();
    const std::optional<ChromeJson> document = file.isEmpty() ? std::nullopt : Read(file);
    if (!document) return;
    const std::vector<ChromeBookmark> bookmarks = ListChromeBookmarks(*document);
    for (auto it = bookmarks.rbegin(); it != bookmarks.rend(); ++it) {
        if (it->id == id) {
            record = it->record;
            return;
        }
    }
}

QString CChrome::Add(const BookmarkRecord& record)
{
    const QString file = RequireBookmarksFile();
    ChromeJson document = ReadExisting(file);
    std::int64_t counter = LargestChromeDate(document).value_or(ChromeTimeNow());
    ChromeJson& folder = ReachChromeFolder(document, SplitChromeFolderPath(record.path), counter);
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
    const QString file = RequireBookmarksFile();
    const ChromeJson before = ReadExisting(file);
    ChromeJson document = before;
    // Numbers for new folders follow every date of the file as it was, the edited one's too.
    std::int64_t counter = LargestChromeDate(document).value_or(ChromeTimeNow());
    RemoveChromeBookmark(document, Text(id));
    ChromeJson& folder = ReachChromeFolder(document, SplitChromeFolderPath(record.path), counter);
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
