#pragma once
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

#include "common/bookmark_store.h"
#include "dispatch/bookmark_check_list.h"
#include "dispatch/bookmark_state_file.h"

// The bookmark side of the agent: the stores of the browsers, the check list the bookmark
// requests keep in step, and the suffix that names the state file. Lives as long as the agent.
class BookmarkSyncState {
public:
    // Constructs the stores available here (Internet Explorer's favourites).
    BookmarkSyncState();
    ~BookmarkSyncState();

    // The bookmarks as the peer last saw them.
    BookmarkCheckList checkList;
    // Ends the state file's name; set by every change check, used by the load and save.
    QString suffix;

    // The store for the stored browser kind, or nullptr when the kind selects none (Safari,
    // an unknown kind, or a browser whose store is not present).
    BookmarkStore* SelectStore(std::uint32_t browserKind) const;
    // Installs (or with nullptr removes) the store of Internet Explorer, Firefox, Opera or Chrome.
    void SetStore(BrowserKind kind, std::unique_ptr<BookmarkStore> store);

    // The reset request for bookmarks: empties the check list and, for a browser with a state
    // file, empties the file named with `resetSuffix` (the kept suffix does not change).
    void ResetState(std::uint32_t browserKind, const QString& machineId, const QString& resetSuffix);

    // Closes what a client's synchronisation left open (the Firefox database).
    void ReleaseForClientClose(std::uint32_t browserId);

private:
    // By BrowserKind: Internet Explorer, Firefox, Opera, Chrome.
    std::array<std::unique_ptr<BookmarkStore>, 4> stores_;
};
