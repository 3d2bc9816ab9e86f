#pragma once

// The bookmark check list and the bookmark stores (filled in with the bookmark requests).
class BookmarkSyncState {
public:
    // Closes what a client's synchronisation left open (the Firefox database).
    void ReleaseForClientClose(unsigned browserId) {}
};
