#include "platform/loaded_file_identity.h"

#include <sys/stat.h>

#include <xxhash.h>

#include <QFile>
#include <new>

#include "platform/regular_file_read.h"

// XXH3 with 128 bits: every load of a hotlist or calendar passes each byte through it, and the
// question it answers is whether a program rewrote the file, not whether someone forged one (a
// program that can write the file needs no collision to change it). A cryptographic digest cost
// a fifth of an Opera synchronisation; this one costs a small part of reading the bytes.
void ContentDigest::FreeState::operator()(XXH3_state_s* state) const
{
    XXH3_freeState(state);
}

ContentDigest::ContentDigest() : state_(XXH3_createState())
{
    if (!state_ || XXH3_128bits_reset(state_.get()) != XXH_OK) throw std::bad_alloc();
}

void ContentDigest::Add(QByteArrayView bytes)
{
    if (bytes.isEmpty()) return;
    XXH3_128bits_update(state_.get(), bytes.data(), static_cast<std::size_t>(bytes.size()));
}

QByteArray ContentDigest::Result() const
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state_.get()));
    return QByteArray(reinterpret_cast<const char*>(canonical.digest), sizeof canonical.digest);
}

QByteArray ContentDigest::Of(QByteArrayView bytes)
{
    ContentDigest digest;
    digest.Add(bytes);
    return digest.Result();
}

LoadedFileIdentity LoadedFileIdentity::Of(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return OfStatus(st, {});
}

LoadedFileIdentity LoadedFileIdentity::OfStatus(const struct stat& status, QByteArray digest)
{
    LoadedFileIdentity identity;
    identity.exists = true;
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
    identity.size = status.st_size;
    identity.modifiedSeconds = status.st_mtim.tv_sec;
    identity.modifiedNanoseconds = status.st_mtim.tv_nsec;
    identity.digest = std::move(digest);
    return identity;
}

LoadedFileIdentity LoadedFileIdentity::OfRead(const BoundedFileRead& read)
{
    if (!read.Ok()) return {};
    return OfStatus(read.status, ContentDigest::Of(read.bytes));
}

LoadedFileIdentity::Now LoadedFileIdentity::Compare(const QString& path, qint64 maxBytes) const
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    const bool there = ::stat(native.constData(), &st) == 0;
    if (!exists) {
        // Nothing was there at load: still nothing is as loaded; a regular file that appeared
        // is another program's.
        if (!there) return Now::AsLoaded;
        return S_ISREG(st.st_mode) ? Now::Replaced : Now::Unavailable;
    }
    if (!there || !S_ISREG(st.st_mode)) return Now::Unavailable;
    LoadedFileIdentity now = OfStatus(st, {});
    now.digest = digest;
    if (now != *this) return Now::Replaced;
    if (digest.isEmpty()) return Now::AsLoaded;

    const BoundedFileRead read = ReadBoundedRegularFile(path, maxBytes);
    switch (read.outcome) {
    case BoundedFileRead::Outcome::Read:
        break;
    case BoundedFileRead::Outcome::TooLarge:
        return Now::Replaced;  // grew past what was read since the stat above
    default:
        return Now::Unavailable;
    }
    // Identity again from the descriptor that was read, so that a swap between the stat and the
    // read cannot pass.
    return OfRead(read) == *this ? Now::AsLoaded : Now::Replaced;
}
