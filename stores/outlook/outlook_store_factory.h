#pragma once
#include <memory>

#include "stores/outlook/outlook_store_frame.h"

// The Outlook store of one item kind and object-model version (8, 9, 11, 12, 14): CContact14,
// CAppointment9, ... Null for another version.
std::unique_ptr<OutlookStoreFrame> MakeOutlookStore(OutlookKind kind, int version);
