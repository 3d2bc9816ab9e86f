#pragma once
// Record values as the Outlook stores write them.

#include <QString>
#include <cstdint>

#include "common/item_record.h"

// A value as Outlook keeps a text: a number in decimal, a text up to its first NUL.
QString OutlookText(const ItemValue& value);
// A value as a number: an integer, or text holding one. Throws AgentError naming the item kind
// ("task", "contact" ...), the key and the value when it holds none.
std::int32_t RequireOutlookInteger(const char* itemKind, const QString& key, const ItemValue& value);
