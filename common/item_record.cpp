#include "common/item_record.h"

#include "common/byte_io.h"

QByteArray ItemRecord::PictureImage() const
{
    if (pictureBytes.size() < 4)
        return {};
    const std::uint32_t count = GetU32(reinterpret_cast<const std::uint8_t*>(pictureBytes.constData()));
    return pictureBytes.mid(4, static_cast<qsizetype>(std::min<std::uint64_t>(count, pictureBytes.size() - 4)));
}

void ItemRecord::SetPicture(const QByteArray& image)
{
    pictureBytes.clear();
    ByteWriter w(pictureBytes);
    w.U32(static_cast<std::uint32_t>(image.size()));
    w.Bytes(image);
}
