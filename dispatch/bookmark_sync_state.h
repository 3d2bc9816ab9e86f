#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bookmark_store.h"
#include "dispatch/bookmark_check_list.h"
#include "dispatch/bookmark_state_file.h"

// The bookmark side of the agent's state: the check list the bookmark requests keep in step,
// and the suffix that names the state file. Lives as long as the agent; the browsers' stores
// are the store set's (StoreSet::Select).
class BookmarkSyncState {
public:
    // The bookmarks as the peer last saw them.
    const BookmarkCheckList& CheckList() const { return checkList_; }
    // The list to change in place; its index is built again at the next look-up.
    BookmarkCheckList& EditCheckList()
    {
        index_.Drop();
        return checkList_;
    }
    // A new checksum for the entry at `at`; its identifier stays, and so does the index.
    void SetEntryChecksum(std::size_t at, std::uint32_t crc) { checkList_[at].crc = crc; }
    // Adds an entry at the end, keeping the index in step.
    void AppendToCheckList(BrowserKind kind, BookmarkCheckEntry entry);
    // The positions of the entries of the check list that stand for `id`, in list order.
    std::vector<std::size_t> EntriesCarrying(BrowserKind kind, BookmarkId id);

    // Ends the state file's name; set by every change check, used by the load and save.
    QString suffix;

    // Forgets the check list, memory included, when its peer leaves: the next peer loads or
    // checks before its bookmark requests.
    void ReleaseCheckList()
    {
        index_.Drop();
        BookmarkCheckList().swap(checkList_);
    }

    // The reset request for bookmarks: empties the check list and, for a browser with a state
    // file, empties the file named with `resetSuffix` (the kept suffix does not change).
    void ResetState(std::uint32_t browserKind, const QString& machineId, const QString& resetSuffix);

private:
    BookmarkCheckList checkList_;
    BookmarkIdIndex index_;
};
