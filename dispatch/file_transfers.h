#pragma once

// The read and the write transfer file of the file requests (filled in with those requests).
class FileTransfers {
public:
    // Closes both files and forgets their paths.
    void CloseAll() {}
};
