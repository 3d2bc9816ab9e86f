#pragma once
#include <QString>
#include <cstdint>

#include "common/bookmark_store.h"
#include "stores/base/bookmark_naming.h"

class ByteReader;
class ByteWriter;

// A bookmark's 8-byte identifier on the wire: two little-endian 32-bit words, low first.
//   Internet Explorer  low = Crc32OfText(file path), high = Crc32OfInt(path length)
//   Firefox            low = the row id (signed), high = 0 in replies and ignored in requests
//   Opera              the signed 64-bit bookmark id
//   Chrome             the unsigned 64-bit "date_added" value
struct BookmarkId {
    std::uint32_t low = 0;
    std::uint32_t high = 0;

    std::uint64_t Value() const { return (static_cast<std::uint64_t>(high) << 32) | low; }
    static BookmarkId FromValue(std::uint64_t v)
    {
        return {static_cast<std::uint32_t>(v), static_cast<std::uint32_t>(v >> 32)};
    }
    // The identifier of an Internet Explorer favourite's file.
    static BookmarkId OfFavoritePath(const QString& path);

    static BookmarkId Read(ByteReader& r);
    void Write(ByteWriter& w) const;

    friend bool operator==(const BookmarkId&, const BookmarkId&) = default;
};

// The key text a store names the bookmark by, as the browser's catalogue row names its
// bookmarks (stores/base/bookmark_naming.h): Firefox "%d" of the low word, Opera the signed and
// Chrome the unsigned decimal of the 64-bit value. Keys that are file paths only the check
// list knows, and a kind without a row names none: empty here.
QString BookmarkKeyText(BrowserKind kind, BookmarkId id);

// The identifier a store's key text stands for: Firefox the text read as a 32-bit integer
// with 0 above it, Opera and Chrome read as a 64-bit integer.
BookmarkId BookmarkIdOfKey(BrowserKind kind, const QString& key);

// How the browser's catalogue row names its bookmarks; a kind without a row names none.
BookmarkNaming NamingOf(BrowserKind kind);
