#pragma once
// The version sets of the contact field tables, one bit per object-model version.

#include "stores/outlook/contact_fields.h"

namespace contact_versions {

inline constexpr ContactVersions kV8 = 1, kV9 = 2, kV11 = 4, kV12 = 8, kV14 = 16;
inline constexpr ContactVersions kNone = 0;
inline constexpr ContactVersions kAll = kV8 | kV9 | kV11 | kV12 | kV14;
inline constexpr ContactVersions kFrom9 = kV9 | kV11 | kV12 | kV14;
inline constexpr ContactVersions kFrom11 = kV11 | kV12 | kV14;
inline constexpr ContactVersions k12And14 = kV12 | kV14;
inline constexpr ContactVersions k8To11 = kV8 | kV9 | kV11;

}  // namespace contact_versions
