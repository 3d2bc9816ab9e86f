#include "dispatch/bookmark_sync_state.h"

void BookmarkSyncState::ResetState(std::uint32_t browserKind, const QString& machineId,
                                   const QString& resetSuffix)
{
    checkList.clear();
    if (BookmarkStateFile::HoldsRecords(browserKind))
        BookmarkStateFile(static_cast<BrowserKind>(browserKind), machineId, resetSuffix).Truncate();
}
