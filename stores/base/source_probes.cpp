#include "stores/base/source_probes.h"

#include "platform/platform_info.h"

namespace {

bool IsWindows(int major, int minor)
{
    const WindowsVersion v = ReportedWindowsVersion();
    return static_cast<int>(v.major) == major && (minor < 0 || static_cast<int>(v.minor) == minor);
}

}  // namespace

bool IsWindowsXp()
{
    return IsWindows(5, -1);
}

bool IsWindowsVista()
{
    return IsWindows(6, 0);
}

bool IsWindows7()
{
    return IsWindows(6, 1);
}

bool IsWindows7WithStickyNotes()
{
    const WindowsVersion v = ReportedWindowsVersion();
    return v.major == 6 && v.minor == 1 && v.productType &&
           (*v.productType == kProductUltimate || *v.productType == kProductHomePremium ||
            *v.productType == kProductBusiness);
}
