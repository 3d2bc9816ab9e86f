#include "dispatch/bookmark_check_list.h"

#include <QHash>
#include <limits>

#include "common/bookmark_checksums.h"
#include "common/byte_io.h"

namespace {

// Entries of bookmarks whose keys are file paths are matched by the identifier words they carry.
bool MatchesById(BrowserKind kind)
{
    return KeysArePaths(NamingOf(kind));
}

// Internet Explorer entries are told apart by their identifier words alone.
std::uint64_t IdKey(const UrlFileEntry& e)
{
    return BookmarkId{e.idLow, e.idHigh}.Value();
}

constexpr std::size_t kNoEntry = std::numeric_limits<std::size_t>::max();

// Where each key's entries stand in the list: `first` the first of each key, `next` from each
// entry the next with the same key (keys repeat rarely, so no list per key is kept).
template <typename Key, typename KeyOf>
void ChainByKey(const BookmarkCheckList& list, KeyOf keyOf, QHash<Key, std::size_t>& first,
                std::vector<std::size_t>& next)
{
    next.assign(list.size(), kNoEntry);
    for (std::size_t i = list.size(); i-- > 0;) {
        const auto slot = first.find(keyOf(list[i]));
        if (slot == first.end()) {
            first.insert(keyOf(list[i]), i);
        } else {
            next[i] = *slot;
            *slot = i;
        }
    }
}

// The same passes over either kind of match key.
template <typename Key, typename KeyOf>
BookmarkChanges Compare(BrowserKind kind, BookmarkCheckList& list, const std::vector<UrlFileEntry>& current,
                        const std::vector<std::uint32_t>& currentCrcs, KeyOf keyOf)
{
    BookmarkChanges changes;
    // Appended entries join the chains as they are added.
    QHash<Key, std::size_t> first;
    first.reserve(static_cast<qsizetype>(list.size() + current.size()));
    std::vector<std::size_t> next;
    next.reserve(list.size() + current.size());
    ChainByKey(list, keyOf, first, next);

    // Which entries of the list a current bookmark matches, and which current bookmarks match
    // one: whatever no current bookmark matches is deleted, whatever matches none is added.
    const std::size_t listed = list.size();
    std::vector<char> entryPresent(listed, 0);
    std::vector<char> matched(current.size(), 0);
    for (std::size_t c = 0; c < current.size(); ++c) {
        const auto found = first.constFind(keyOf(current[c]));
        if (found == first.cend()) continue;
        matched[c] = 1;
        for (std::size_t i = *found; i != kNoEntry; i = next[i]) {
            entryPresent[i] = 1;
            if (list[i].crc != currentCrcs[c]) {
                list[i].crc = currentCrcs[c];
                changes.edited.push_back(IdOfEntry(kind, list[i]));
            }
        }
    }

    for (std::size_t c = 0; c < current.size(); ++c) {
        if (matched[c]) continue;
        const Key key = keyOf(current[c]);
        // Listed twice: added once.
        if (first.contains(key)) continue;
        BookmarkCheckEntry entry = current[c];
        entry.crc = currentCrcs[c];
        first.insert(key, list.size());
        next.push_back(kNoEntry);
        list.push_back(std::move(entry));
        changes.added.push_back(IdOfEntry(kind, list.back()));
    }

    // Entries just added are present by their making.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i < listed && !entryPresent[i]) {
            changes.deleted.push_back(IdOfEntry(kind, list[i]));
            continue;
        }
        if (kept != i) list[kept] = std::move(list[i]);
        ++kept;
    }
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(kept), list.end());
    return changes;
}

}  // namespace

bool EntryCarriesId(BrowserKind kind, const BookmarkCheckEntry& entry, BookmarkId id)
{
    if (MatchesById(kind)) return entry.idLow == id.low && entry.idHigh == id.high;
    return BookmarkKeyNamesId(NamingOf(kind), entry.key, id.Value());
}

BookmarkCheckEntry EntryForKey(BrowserKind kind, const QString& key, std::uint32_t crc)
{
    if (!MatchesById(kind)) return {key, crc, 0, 0};
    const FavoriteId id = FavoriteIdOfPath(key);
    return {key, crc, id.low, id.high};
}

BookmarkId IdOfEntry(BrowserKind kind, const BookmarkCheckEntry& entry)
{
    if (MatchesById(kind)) return {entry.idLow, entry.idHigh};
    return BookmarkIdOfKey(kind, entry.key);
}

std::vector<std::size_t> BookmarkIdIndex::EntriesCarrying(BrowserKind kind, const BookmarkCheckList& list,
                                                          BookmarkId id)
{
    std::vector<std::size_t> found;
    // Only identifier words can be looked up; the other browsers' keys are compared as text.
    if (!MatchesById(kind)) {
        for (std::size_t i = 0; i < list.size(); ++i)
            if (EntryCarriesId(kind, list[i], id)) found.push_back(i);
        return found;
    }
    if (!built_ || kind_ != kind) Build(kind, list);
    for (std::size_t i = first_.value(id.Value(), kNoEntry); i != kNoEntry; i = next_[i]) found.push_back(i);
    return found;
}

void BookmarkIdIndex::Appended(BrowserKind kind, const BookmarkCheckList& list)
{
    if (!built_ || kind_ != kind || list.size() != next_.size() + 1) {
        Drop();
        return;
    }
    const std::size_t at = list.size() - 1;
    next_.push_back(kNoEntry);
    const auto slot = first_.find(IdKey(list[at]));
    if (slot == first_.end()) {
        first_.insert(IdKey(list[at]), at);
        return;
    }
    std::size_t last = *slot;
    while (next_[last] != kNoEntry) last = next_[last];
    next_[last] = at;
}

void BookmarkIdIndex::Drop()
{
    built_ = false;
    first_ = {};
    next_ = {};
}

void BookmarkIdIndex::Build(BrowserKind kind, const BookmarkCheckList& list)
{
    Drop();
    first_.reserve(static_cast<qsizetype>(list.size()));
    ChainByKey(list, IdKey, first_, next_);
    built_ = true;
    kind_ = kind;
}

BookmarkChanges UpdateCheckList(BrowserKind kind, BookmarkCheckList& list,
                                const std::vector<UrlFileEntry>& current,
                                const std::function<std::uint32_t(const QString&)>& checksum)
{
    std::vector<std::uint32_t> crcs;
    crcs.reserve(current.size());
    for (const UrlFileEntry& e : current) crcs.push_back(MatchesById(kind) ? e.crc : checksum(e.key));

    if (MatchesById(kind)) return Compare<std::uint64_t>(kind, list, current, crcs, IdKey);
    // The other browsers' entries carry no identifier words, whatever the store handed in.
    std::vector<UrlFileEntry> keys;
    keys.reserve(current.size());
    for (const UrlFileEntry& e : current) keys.push_back({e.key, 0, 0, 0});
    return Compare<QString>(kind, list, keys, crcs,
                            [](const UrlFileEntry& e) -> const QString& { return e.key; });
}

QByteArray EncodeBookmarkChanges(const BookmarkChanges& changes)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(
        6 + 8 * (changes.added.size() + changes.edited.size() + changes.deleted.size())));
    ByteWriter w(out);
    for (const std::vector<BookmarkId>* section : {&changes.added, &changes.edited, &changes.deleted}) {
        if (section->size() > std::numeric_limits<std::uint16_t>::max())
            throw AgentError("a change report section of " + std::to_string(section->size()) +
                             " bookmarks does not fit its 16-bit count");
        w.U16(static_cast<std::uint16_t>(section->size()));
        for (const BookmarkId& id : *section) id.Write(w);
    }
    return out;
}
