#include "stores/address_book/wab_identifiers.h"

namespace ContactsXp {

namespace {

int NibbleOf(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    return (c.toUpper().unicode() - 55) & 0x0F;
}

bool IsHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f');
}

}  // namespace

QString EntryIdToHex(const wab::EntryId& id)
{
    return QString::fromLatin1(id.Bytes().toHex().toUpper());
}

QString WabContactId(const wab::EntryId& id)
{
    return EntryIdToHex(id).leftJustified(kWabContactIdLength, QLatin1Char('0'));
}

wab::EntryId HexToEntryId(const QString& hex)
{
    const qsizetype n = hex.size();
    QByteArray bytes((n + 1) / 2, '\0');
    qsizetype at = n;
    for (qsizetype b = bytes.size() - 1; b >= 0; --b) {
        int value = NibbleOf(hex[--at]);
        if (at > 0) value |= NibbleOf(hex[--at]) << 4;
        bytes[b] = static_cast<char>(value);
    }
    return wab::EntryId(bytes);
}

std::optional<QString> ContactTextOf(const QString& itemId)
{
    if (itemId.size() != kWabContactIdLength) return std::nullopt;
    const QString text = itemId.left(kWabContactTextLength);
    for (const QChar c : text)
        if (!IsHexDigit(c)) return std::nullopt;
    return text.toUpper();
}

}  // namespace ContactsXp
