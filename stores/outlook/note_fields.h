#pragma once
// The fields of an Outlook note as the peer exchanges them, the same in every version.

#include <cstdint>

#include "common/item_record.h"
#include "platform/dispatch_driver.h"

// Writes "Body", "Categories" and "Color" in record order (a key given twice: the later wins).
// A note's subject is Outlook's (the body's first line): "Subject", like every other key, is
// ignored. Throws AgentError for a "Color" that is not a number, before anything is written.
void WriteNoteFields(const DispatchDriver& note, const ItemRecord& record);
// Appends "Body", "Categories" (";" as ","), "EntryID", "Subject" and "Color".
void ReadNoteFields(const DispatchDriver& note, ItemRecord& record);
// Over Color, Body and the last modification time; categories do not count.
std::uint32_t NoteChecksum(const DispatchDriver& note);
