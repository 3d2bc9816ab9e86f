#pragma once
#include <QByteArray>
#include <QString>
#include <QStringView>
#include <initializer_list>
#include <cstddef>
#include <cstdint>

// CRC-32 (IEEE 802.3: reflected polynomial 0xEDB88320, initial value and final inversion
// 0xFFFFFFFF). It hashes the whole buffer: a length cut to 16 bits would hash only a prefix
// of items of 64 KiB or more (long notes, contact pictures), and their edits would go unseen.
std::uint32_t Crc32(const void* data, std::size_t length);
inline std::uint32_t Crc32(const QByteArray& bytes) { return Crc32(bytes.constData(), static_cast<std::size_t>(bytes.size())); }

// Continues a checksum over a further buffer, as if the buffers were one: pass the previous
// result (0 to start).
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t length);

// The checksum of two buffers joined, from the checksum of each and the second one's length in
// bytes, without the bytes themselves.
std::uint32_t Crc32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength);

// The checksum of a text's UTF-16LE bytes.
std::uint32_t Crc32OfUtf16(const QString& text);
// The same over texts joined without separators, without joining them.
std::uint32_t Crc32OfUtf16(std::initializer_list<QStringView> parts);
