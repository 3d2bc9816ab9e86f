#include "stores/opera/opera_bookmarks.h"

#include <QUuid>
#include <limits>
#include <optional>

#include "common/bookmark_checksums.h"
#include "common/bookmark_depth.h"
#include "common/crc32.h"
#include "stores/opera/opera_visible_items.h"

namespace {

const QString kName = QStringLiteral("NAME");
const QString kUrl = QStringLiteral("URL");
const QString kDescription = QStringLiteral("DESCRIPTION");
const QString kUniqueId = QStringLiteral("UNIQUEID");
const QString kId = QStringLiteral("ID");

// Leading hexadecimal digits as an unsigned 64-bit number, wrapping as the platform's reader does.
std::uint64_t LeadingHex(QStringView text)
{
    std::uint64_t value = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        std::uint64_t digit = 0;
        if (u >= u'0' && u <= u'9')
            digit = u - u'0';
        else if (u >= u'a' && u <= u'f')
            digit = u - u'a' + 10;
        else if (u >= u'A' && u <= u'F')
            digit = u - u'A' + 10;
        else
            break;
        value = (value << 4) | digit;
    }
    return value;
}

// The two halves of a UNIQUEID XORed, the number its identifier's text gives.
std::int64_t BookmarkNumber(QStringView uniqueId)
{
    const std::uint64_t x = LeadingHex(uniqueId.left(16));
    const std::uint64_t y = uniqueId.size() > 16 ? LeadingHex(uniqueId.sliced(16)) : 0;
    return static_cast<std::int64_t>(x ^ y);
}

// The number an identifier names when its text is exactly what OperaBookmarkId gives for it
// (decimal digits, "-" before a negative one, no leading zero); none for any other text, which
// names no bookmark.
std::optional<std::int64_t> NumberOfKey(QStringView key)
{
    const bool negative = key.startsWith(QLatin1Char('-'));
    const QStringView digits = negative ? key.sliced(1) : key;
    if (digits.isEmpty() || digits.size() > 19 || (digits[0] == QLatin1Char('0') && (negative || digits.size() > 1)))
        return std::nullopt;
    std::uint64_t magnitude = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        magnitude = magnitude * 10 + (c.unicode() - u'0');  // 19 digits cannot wrap
    }
    const std::uint64_t limit = std::uint64_t{std::numeric_limits<std::int64_t>::max()} + (negative ? 1 : 0);
    if (magnitude > limit) return std::nullopt;
    return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

// The folders a Path names. Refuses, before anything changes, a Path deeper than other
// programs reading the file (and the peer) can follow.
QStringList PathFolders(const QString& path)
{
    const QStringList folders = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    RequireBookmarkFolderDepth(folders.size(), path);
    return folders;
}

}  // namespace

COperaBookmarks::COperaBookmarks()
    : COperaBookmarks(OperaHotlistFile(QStringLiteral("bookmarks.adr"), QStringLiteral("#URL")))
{
}

COperaBookmarks::COperaBookmarks(const QString& path)
    : COperaBookmarks(OperaHotlistFile::AtPath(path, QStringLiteral("#URL")))
{
}

COperaBookmarks::COperaBookmarks(OperaHotlistFile file) : file_(std::move(file))
{
    // The index goes with its hotlist.
    file_.OnContentReplaced([this] {
        index_.clear();
        std::vector<UrlFileEntry>().swap(ids_);
        std::vector<QString>().swap(paths_);
        indexStale_ = true;
    });
}

QString COperaBookmarks::OperaBookmarkId(const QString& uniqueId)
{
    return QString::number(BookmarkNumber(uniqueId));
}

QString COperaBookmarks::NewOperaUniqueId()
{
    return QUuid::createUuid().toString(QUuid::Id128).toUpper();
}

bool COperaBookmarks::AtSyncStart()
{
    if (file_.Start()) RequireReadableDepth();
    return true;
}

void COperaBookmarks::RequireReadableDepth()
{
    // Every bookmark is served with the names of all its folders: a planted file nesting folders
    // thousands deep would cost memory by the square of its depth. Such a file is damaged for
    // this store, as one that does not parse: nothing is served and nothing written.
    const AdrDocument& doc = file_.Document();
    std::vector<int> depth(static_cast<std::size_t>(doc.BlockCount()), 0);
    for (int b = 0; b < doc.BlockCount(); ++b) {
        // A folder stands in the table after the folder holding it.
        const int parent = doc.Block(b).parent;
        depth[static_cast<std::size_t>(b)] = parent < 0 ? 1 : depth[static_cast<std::size_t>(parent)] + 1;
        if (doc.Block(b).kind == AdrBlockKind::Folder && depth[static_cast<std::size_t>(b)] > kMaxReadFolderDepth) {
            const QString path = file_.Path();
            file_.Drop();
            throw AgentError(QStringLiteral("\"%1\" nests folders more than %2 deep").arg(path).arg(kMaxReadFolderDepth).toStdString());
        }
    }
}

CommitOutcome COperaBookmarks::CommitChanges()
{
    // The state saved after it is the synchronisation's, which goes on with the hotlist.
    file_.Close();
    return {};
}

void COperaBookmarks::Index()
{
    const AdrDocument& doc = file_.Document();
    if (!indexStale_) return;
    index_.clear();
    ids_.clear();
    paths_.clear();
    const std::vector<OperaVisibleItem> visible = VisibleItems(doc);
    index_.reserve(static_cast<qsizetype>(visible.size()));
    ids_.reserve(visible.size());
    QHash<int, int> pathOf;  // folder block to its place in paths_
    for (const OperaVisibleItem& item : visible) {
        // Keyed by the number: the change check looks every bookmark up, and a number is
        // hashed and compared without reaching for the text.
        const std::int64_t number = BookmarkNumber(doc.ValueView(item.block, kUniqueId));
        ids_.push_back({QString::number(number), 0, 0, 0});
        auto path = pathOf.find(item.folder);
        if (path == pathOf.end()) {
            path = pathOf.insert(item.folder, static_cast<int>(paths_.size()));
            paths_.push_back(FolderPath(doc, item.folder));
        }
        // A later bookmark with the same identifier replaces the earlier one.
        index_.insert(number, {item.block, *path});
    }
    indexStale_ = false;
}

const COperaBookmarks::Indexed* COperaBookmarks::Lookup(const QString& key)
{
    Index();
    const std::optional<std::int64_t> number = NumberOfKey(key);
    if (!number) return nullptr;
    const auto it = index_.constFind(*number);
    return it == index_.cend() ? nullptr : &*it;
}

COperaBookmarks::Found COperaBookmarks::Find(const QString& key)
{
    const Indexed* found = Lookup(key);
    if (!found) return {};
    return {found->block, paths_[static_cast<std::size_t>(found->path)]};
}

COperaBookmarks::Found COperaBookmarks::Require(const QString& key)
{
    const Found f = Find(key);
    if (f.block < 0)
        throw AgentError(QStringLiteral("no Opera bookmark outside the trash has the identifier \"%1\"")
                             .arg(key.left(40))
                             .toStdString());
    return f;
}

std::vector<UrlFileEntry> COperaBookmarks::GetIDs()
{
    Index();
    return ids_;
}

std::uint32_t COperaBookmarks::IDtoCRC32(const QString& key)
{
    const Indexed* found = Lookup(key);
    if (!found) return 0;
    const AdrDocument& doc = file_.Document();
    // BookmarkCrc32 of the three texts, without joining them.
    return Crc32OfUtf16({paths_[static_cast<std::size_t>(found->path)], doc.ValueView(found->block, kName),
                         doc.ValueView(found->block, kUrl)});
}

void COperaBookmarks::Get(const QString& key, BookmarkRecord& record)
{
    const Found f = Require(key);
    const AdrDocument& doc = file_.Document();
    record.path = f.path;
    record.name = doc.Value(f.block, kName);
    record.url = doc.Value(f.block, kUrl);
}

int COperaBookmarks::ReachFolder(AdrDocument& doc, const QStringList& folders)
{
    int folder = AdrDocument::kTopLevel;
    for (const QString& part : folders) {
        int found = -1;
        // Trash folders count here: a bookmark added into one is put there.
        for (const AdrEntry& e : doc.Level(folder))
            if (e.IsBlock() && doc.Block(e.block).kind == AdrBlockKind::Folder &&
                doc.Value(e.block, kName) == part) {
                found = e.block;
                break;
            }
        if (found < 0) {
            found =
                doc.NewBlock(AdrBlockKind::Folder,
                             {{kId, QString()}, {kName, ToAdrValue(part)}, {kUniqueId, NewOperaUniqueId()}});
            doc.Insert(found, folder);
        }
        folder = found;
    }
    return folder;
}

QString COperaBookmarks::Add(const BookmarkRecord& record)
{
    const QStringList folders = PathFolders(record.path);
    AdrDocument& doc = file_.Change();
    indexStale_ = true;
    const int folder = ReachFolder(doc, folders);
    const QString uniqueId = NewOperaUniqueId();
    const int block = doc.NewBlock(AdrBlockKind::Item, {{kName, ToAdrValue(record.name)},
                                                        {kUrl, ToAdrValue(record.url)},
                                                        {kDescription, QString()},
                                                        {kUniqueId, uniqueId}});
    doc.Insert(block, folder);
    return OperaBookmarkId(uniqueId);
}

QString COperaBookmarks::Edit(const QString& key, const BookmarkRecord& record)
{
    const Found f = Require(key);
    const QStringList folders = PathFolders(record.path);
    AdrDocument& doc = file_.Change();
    indexStale_ = true;
    doc.SetValue(f.block, kName, ToAdrValue(record.name));
    doc.SetValue(f.block, kUrl, ToAdrValue(record.url));
    if (f.path != record.path) {
        // The whole block moves, its ID, description and other keys with it.
        doc.Detach(f.block);
        doc.Insert(f.block, ReachFolder(doc, folders));
    }
    return key;
}

void COperaBookmarks::Delete(const QString& key)
{
    // A bookmark already gone (deleted on both sides, say) is no error: nothing changes.
    const Found f = Find(key);
    if (f.block < 0) return;
    file_.Change().Remove(f.block);
    indexStale_ = true;
}

void COperaBookmarks::DeleteAll()
{
    file_.Open();
    RequireReadableDepth();
    std::vector<int> blocks;
    for (const OperaVisibleItem& item : VisibleItems(file_.Document())) blocks.push_back(item.block);
    if (!blocks.empty()) {
        file_.Change().RemoveAll(blocks);
        indexStale_ = true;
    }
    file_.Close();
}
