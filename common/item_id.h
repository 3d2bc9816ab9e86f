#pragma once
#include <QString>

// Every item identifier on the wire and in the state files is exactly 48 UTF-16 code units.
inline constexpr int kItemIdUnits = 48;
inline constexpr int kItemIdBytes = 2 * kItemIdUnits;

// A fresh identifier: a new GUID's 32 upper-case hexadecimal digits, then 16 zeros.
QString NewItemId();

inline bool IsItemId(const QString& id) { return id.size() == kItemIdUnits; }

// Throws AgentError unless `id` is exactly 48 units: such an identifier would be cut or
// padded in a state file or change report and no longer match the item it names.
void RequireItemId(const QString& id);

// A shorter native identifier padded with '0' characters to 48 units.
QString PadItemId(const QString& nativeId);
