#pragma once
// Writing a peer's record onto an Outlook contact, for creation (Add) and update (Edit).
// The entries are taken in the record's order; each name is compared whole and case-sensitively
// with the keys the operation knows in the store's version (the contact field table), a match is
// written to its property, and every other name is passed over. A key given twice is written
// twice, the later value staying; properties the record does not carry are not touched.
//
// Every value is converted before the first put: a date that cannot be read, or a picture
// shorter than its count, fails the write with nothing written, so no half-written contact can
// be saved.

#include <vector>

#include "common/item_record.h"
#include "platform/dispatch_driver.h"
#include "stores/outlook/contact_fields.h"
#include "stores/outlook/contact_picture.h"

// Throws AgentError (MalformedData for the picture) before any put for a value that cannot be
// converted; automation failures of the puts and of the picture import pass as they come. The
// files of the pictures given to the contact are handed back: Outlook reads them at Save, so
// they are kept until the contact is saved.
[[nodiscard]] std::vector<ContactPictureFile> WriteContactFields(const DispatchDriver& contact,
                                                                 const ItemRecord& record, int version,
                                                                 ContactOperation operation);
