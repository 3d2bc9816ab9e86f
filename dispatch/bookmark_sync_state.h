#pragma once
#include <QString>
#include <cstdint>

#include "common/bookmark_store.h"
#include "dispatch/bookmark_check_list.h"
#include "dispatch/bookmark_state_file.h"

// The bookmark side of the agent's state: the check list the bookmark requests keep in step,
// and the suffix that names the state file. Lives as long as the agent; the browsers' stores
// are the store set's (StoreSet::Select).
class BookmarkSyncState {
public:
    // The bookmarks as the peer last saw them.
    BookmarkCheckList checkList;
    // Ends the state file's name; set by every change check, used by the load and save.
    QString suffix;

    // The reset request for bookmarks: empties the check list and, for a browser with a state
    // file, empties the file named with `resetSuffix` (the kept suffix does not change).
    void ResetState(std::uint32_t browserKind, const QString& machineId, const QString& resetSuffix);
};
