#include "stores/base/bookmark_naming.h"

QString BookmarkKeyOfId(BookmarkNaming naming, std::uint64_t id)
{
    switch (naming) {
        case BookmarkNaming::RowNumber:
            return QString::number(static_cast<std::int32_t>(static_cast<std::uint32_t>(id)));
        case BookmarkNaming::SignedNumber:
            return QString::number(static_cast<std::int64_t>(id));
        case BookmarkNaming::UnsignedNumber:
            return QString::number(id);
        case BookmarkNaming::FilePath:
        case BookmarkNaming::NoIdentifier:
            break;
    }
    return {};
}

std::uint64_t BookmarkIdOfKeyText(BookmarkNaming naming, const QString& key)
{
    switch (naming) {
        case BookmarkNaming::RowNumber:
            return static_cast<std::uint32_t>(DecimalToInt32(key));
        case BookmarkNaming::SignedNumber:
        case BookmarkNaming::UnsignedNumber:
            return static_cast<std::uint64_t>(DecimalToInt64(key));
        case BookmarkNaming::FilePath:
        case BookmarkNaming::NoIdentifier:
            break;
    }
    return 0;
}

bool BookmarkKeyNamesId(BookmarkNaming naming, const QString& key, std::uint64_t id)
{
    switch (naming) {
        // A row number's high word means nothing: only the row number counts.
        case BookmarkNaming::RowNumber:
            return static_cast<std::uint32_t>(DecimalToInt32(key)) == static_cast<std::uint32_t>(id);
        case BookmarkNaming::SignedNumber:
        case BookmarkNaming::UnsignedNumber:
            return key == BookmarkKeyOfId(naming, id);
        case BookmarkNaming::FilePath:
        case BookmarkNaming::NoIdentifier:
            break;
    }
    return false;
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
