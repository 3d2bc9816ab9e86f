#include "common/crc32.h"

#include <array>

namespace {

constexpr std::array<std::uint32_t, 256> MakeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t length)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t c = ~crc;
    for (std::size_t i = 0; i < length; ++i)
        c = kTable[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return ~c;
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
