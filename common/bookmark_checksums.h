#pragma once
#include <QString>
#include <cstdint>

// The checksums bookmarks are identified and compared by. All are plain CRC-32 (common/crc32.h).

// Over the text's UTF-16LE bytes, no terminator.
std::uint32_t Crc32OfText(const QString& text);
// Over the four little-endian bytes of the value.
std::uint32_t Crc32OfInt(std::uint32_t value);
// Over the file's whole content. Throws AgentError when the file cannot be opened or read.
std::uint32_t Crc32OfFile(const QString& path);
// Over path, name and url joined without separator: what the peer synchronises of a bookmark.
std::uint32_t BookmarkCrc32(const QString& path, const QString& name, const QString& url);

// The identifier the peer knows an Internet Explorer favourite by: Crc32OfText of the file's
// path and Crc32OfInt of the path's length in UTF-16 units.
struct FavoriteId {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};
FavoriteId FavoriteIdOfPath(const QString& path);
