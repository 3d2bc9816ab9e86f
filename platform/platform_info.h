#pragma once
#include <cstdint>
#include <optional>

// The Windows version the agent reports to its peer and decides its sources by. The peer only
// knows Windows, so this machine presents itself as Windows 7 (6.1), which offers the
// Windows Contacts, Windows Calendar and Sticky Notes sources. Tests set other versions.
struct WindowsVersion {
    int major = 6;
    int minor = 1;
    // The edition as the product-info call reports it (1 Ultimate, 3 Home Premium, 6 Business,
    // ...); nothing when that call is not available.
    std::optional<std::uint32_t> productType = 1;
};

inline constexpr std::uint32_t kProductUltimate = 1;
inline constexpr std::uint32_t kProductHomePremium = 3;
inline constexpr std::uint32_t kProductBusiness = 6;

WindowsVersion ReportedWindowsVersion();
// Replaces the reported version until ResetReportedWindowsVersion (tests).
void SetReportedWindowsVersion(const WindowsVersion& version);
void ResetReportedWindowsVersion();
