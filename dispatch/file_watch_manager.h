#pragma once

// The folder watches and their change lists (filled in with the folder-watching requests).
class FileWatchManager {
public:
    void StopAllFileWatches() {}
};
