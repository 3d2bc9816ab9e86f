#pragma once
// Reading an Outlook contact for the peer (Get) and for the change check (its checksum), each in
// its own fixed order over the contact field table.

#include <cstdint>

#include "common/item_record.h"
#include "platform/dispatch_driver.h"

// Appends the version's entries in the read order, each after its read succeeded, so a failing
// read leaves the whole entries before it; versions 8, 9 and 11 read "FullName", "FirstName"
// and "LastName" twice. The picture (11 and later) comes last. Throws AgentError for a date
// that cannot travel as text.
void ReadContactFields(const DispatchDriver& contact, ItemRecord& record, int version);

// The checksum over the version's texts joined without separators (8 and 9 without
// "IMAddress"), then the picture bytes (11 and later). Fields outside the list, such as
// "User1" or the e-mail address types, do not count.
std::uint32_t ContactChecksum(const DispatchDriver& contact, int version);
