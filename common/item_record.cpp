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

QString ItemValueText(const ItemValue& value)
{
    if (const auto* text = std::get_if<QString>(&value)) return *text;
    return QString::number(std::get<std::int32_t>(value));
}

std::optional<std::int32_t> ItemValueInteger(const ItemValue& value)
{
    if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
    bool ok = false;
    const int number = std::get<QString>(value).trimmed().toInt(&ok);
    return ok ? std::optional<std::int32_t>(number) : std::nullopt;
}
