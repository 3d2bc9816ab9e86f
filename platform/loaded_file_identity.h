#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <memory>

struct BoundedFileRead;
struct XXH3_state_s;

// A digest of a file's bytes, taken as they are read (in one piece or many). Two reads of the
// same file give the same digest only when every byte is the same, so a rewrite that keeps the
// file's size and puts its old modification time back still shows.
class ContentDigest {
public:
    ContentDigest();
    ContentDigest(const ContentDigest&) = delete;
    ContentDigest& operator=(const ContentDigest&) = delete;

    void Add(QByteArrayView bytes);
    // The digest of everything added so far; more may be added after.
    QByteArray Result() const;

    static QByteArray Of(QByteArrayView bytes);

private:
    struct FreeState {
        void operator()(XXH3_state_s* state) const;
    };
    std::unique_ptr<XXH3_state_s, FreeState> state_;
};

// A file as a store read it: whether it was there, which file it was (device and inode, through
// any link at the path), its size and its modification time, and where the store took one, the
// digest of the bytes it read. A store that writes its loaded copy back compares it with the file
// as it is then, so that a file the user's program wrote meanwhile is never overwritten with an
// older copy.
struct LoadedFileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    QByteArray digest;  // empty where the store took none

    // The file at `path` now, following links, without a digest; a path where nothing is (a
    // dangling link included) gives one that does not exist.
    static LoadedFileIdentity Of(const QString& path);
    // The file an open descriptor reported, with the digest of the bytes read from it.
    static LoadedFileIdentity OfStatus(const struct stat& status, QByteArray digest);
    // The file a bounded read took (with the digest of its bytes); one that does not exist
    // unless the read succeeded.
    static LoadedFileIdentity OfRead(const BoundedFileRead& read);

    // How the file at a path stands against this one, just before a store writes over it.
    enum class Now {
        AsLoaded,     // the same file with the same bytes (or still nothing, where nothing was)
        Replaced,     // another regular file, or other bytes: another program's file
        Unavailable,  // the file that was loaded is missing, is no regular file, or cannot be read
    };
    // Compares with the file at `path`: its identity, and where a digest was taken, its bytes read
    // again through the bounded reader (regular files only, at most `maxBytes`).
    Now Compare(const QString& path, qint64 maxBytes) const;

    friend bool operator==(const LoadedFileIdentity&, const LoadedFileIdentity&) = default;
};
