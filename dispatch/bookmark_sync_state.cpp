#include "dispatch/bookmark_sync_state.h"

void BookmarkSyncState::AppendToCheckList(BrowserKind kind, BookmarkCheckEntry entry)
{
    checkList_.push_back(std::move(entry));
    index_.Appended(kind, checkList_);
}

std::vector<std::size_t> BookmarkSyncState::EntriesCarrying(BrowserKind kind, BookmarkId id)
{
    return index_.EntriesCarrying(kind, checkList_, id);
}

void BookmarkSyncState::ResetState(std::uint32_t browserKind, const QString& machineId,
                                   const QString& resetSuffix)
{
    EditCheckList().clear();
    if (BookmarkStateFile::HoldsRecords(browserKind))
        BookmarkStateFile(static_cast<BrowserKind>(browserKind), machineId, resetSuffix).Truncate();
}
