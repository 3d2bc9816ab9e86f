#include "dispatch/bookmark_sync_state.h"

#include "stores/apps/internet_explorer.h"

BookmarkSyncState::BookmarkSyncState()
{
    SetStore(BrowserKind::InternetExplorer, std::make_unique<CInternetExplorer>());
}

BookmarkSyncState::~BookmarkSyncState() = default;

BookmarkStore* BookmarkSyncState::SelectStore(std::uint32_t browserKind) const
{
    return browserKind < stores_.size() ? stores_[browserKind].get() : nullptr;
}

void BookmarkSyncState::SetStore(BrowserKind kind, std::unique_ptr<BookmarkStore> store)
{
    const auto index = static_cast<std::size_t>(kind);
    if (index < stores_.size()) stores_[index] = std::move(store);
}

void BookmarkSyncState::ResetState(std::uint32_t browserKind, const QString& machineId,
                                   const QString& resetSuffix)
{
    checkList.clear();
    if (browserKind < stores_.size())
        BookmarkStateFile(static_cast<BrowserKind>(browserKind), machineId, resetSuffix).Truncate();
}

void BookmarkSyncState::ReleaseForClientClose(std::uint32_t browserId)
{
    if (BookmarkStore* store = SelectStore(browserId)) store->ReleaseForClientClose();
}
