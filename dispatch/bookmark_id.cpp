#include "dispatch/bookmark_id.h"

#include "common/bookmark_checksums.h"
#include "common/byte_io.h"

BookmarkId BookmarkId::OfFavoritePath(const QString& path)
{
    const FavoriteId id = FavoriteIdOfPath(path);
    return {id.low, id.high};
}

BookmarkId BookmarkId::Read(ByteReader& r)
{
    BookmarkId id;
    id.low = r.U32();
    id.high = r.U32();
    return id;
}

void BookmarkId::Write(ByteWriter& w) const
{
    w.U32(low);
    w.U32(high);
}

QString BookmarkKeyText(BrowserKind kind, BookmarkId id)
{
    switch (kind) {
        case BrowserKind::Firefox:
            return QString::number(static_cast<std::int32_t>(id.low));
        case BrowserKind::Opera:
            return QString::number(static_cast<std::int64_t>(id.Value()));
        case BrowserKind::Chrome:
            return QString::number(id.Value());
        default:
            return {};
    }
}

BookmarkId BookmarkIdOfKey(BrowserKind kind, const QString& key)
{
    switch (kind) {
        case BrowserKind::Firefox:
            return {static_cast<std::uint32_t>(DecimalToInt32(key)), 0};
        case BrowserKind::Opera:
        case BrowserKind::Chrome:
            return BookmarkId::FromValue(static_cast<std::uint64_t>(DecimalToInt64(key)));
        default:
            return {};
    }
}

std::int64_t DecimalToInt64(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i)
        value = value * 10 + static_cast<std::uint64_t>(text[i].unicode() - u'0');
    return static_cast<std::int64_t>(negative ? 0 - value : value);
}

std::int32_t DecimalToInt32(const QString& text)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(DecimalToInt64(text)));
}
