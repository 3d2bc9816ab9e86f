#include "common/crc32.h"

#include <zlib.h>

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t length)
{
    // zlib's CRC-32 is this very checksum, computed several bytes at a time. A null buffer asks zlib for
    // the initial value and would restart the sum, so nothing to add leaves it as it is.
    if (length == 0) return crc;
    return static_cast<std::uint32_t>(::crc32_z(crc, static_cast<const Bytef*>(data), length));
}

std::uint32_t Crc32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength)
{
    return static_cast<std::uint32_t>(::crc32_combine(first, second, static_cast<z_off_t>(secondLength)));
}

std::uint32_t Crc32(const void* data, std::size_t length)
{
    return Crc32Update(0, data, length);
}

std::uint32_t Crc32OfUtf16(const QString& text)
{
    // QString holds UTF-16 in host order; every supported host is little-endian.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    return Crc32(text.utf16(), static_cast<std::size_t>(text.size()) * 2);
}

std::uint32_t Crc32OfUtf16(std::initializer_list<QStringView> parts)
{
    std::uint32_t crc = 0;
    for (const QStringView part : parts)
        crc = Crc32Update(crc, part.utf16(), static_cast<std::size_t>(part.size()) * sizeof(char16_t));
    return crc;
}
