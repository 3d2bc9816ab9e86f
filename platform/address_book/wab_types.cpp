#include "platform/address_book/wab_types.h"

namespace wab {

EntryId EntryId::FromRow(std::int64_t row)
{
    QByteArray bytes(4, '\0');
    for (int i = 3; i >= 0; --i) {
        bytes[i] = static_cast<char>(row & 0xFF);
        row >>= 8;
    }
    return EntryId(bytes);
}

std::optional<std::int64_t> EntryId::Row() const
{
    if (bytes_.size() != 4) return std::nullopt;
    std::int64_t row = 0;
    for (const char byte : bytes_) row = (row << 8) | static_cast<unsigned char>(byte);
    if (row == 0) return std::nullopt;
    return row;
}

}  // namespace wab
