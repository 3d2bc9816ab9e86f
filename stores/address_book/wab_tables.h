#pragma once
// Reading a contents table of the address book whole, as the store needs its rows.

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/address_book/address_book.h"

namespace ContactsXp {

// (object type, entry identifier) of every row, in table order, from one QueryRows of the whole
// row count. Throws WabError when the table cannot be read: never a part of it.
std::vector<std::pair<std::int32_t, wab::EntryId>> ReadEntryRows(wab::ContentsTable table);

}  // namespace ContactsXp
