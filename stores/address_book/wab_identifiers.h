#pragma once
// How the address-book store names contacts and lists in texts: an entry identifier as
// hexadecimal text ("%02X" per byte, first byte first: 00 00 01 2A is "0000012A"), and the item
// identifier of a contact, that text followed by forty "0", 48 units in all.

#include <QString>
#include <optional>

#include "platform/address_book/wab_types.h"

namespace ContactsXp {

inline constexpr int kWabContactIdLength = 48;
inline constexpr int kWabContactTextLength = 8;

QString EntryIdToHex(const wab::EntryId& id);

// The item identifier of a contact: its hex text padded with "0" to 48 units.
QString WabContactId(const wab::EntryId& id);

// Reads a hex text back into bytes, from its end, two characters a byte; an odd first character
// gives the low four bits of the first byte. '0'-'9' count 0 to 9, any other character the low
// four bits of (its upper-case code minus 55), so 'A'-'F' and 'a'-'f' count 10 to 15.
wab::EntryId HexToEntryId(const QString& hex);

// The contact text of an item identifier: its first 8 units in upper case. Nothing when the
// identifier is not 48 units long or those 8 units are not all hexadecimal digits: such an
// identifier names no contact of this store.
std::optional<QString> ContactTextOf(const QString& itemId);

}  // namespace ContactsXp
