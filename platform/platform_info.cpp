#include "platform/platform_info.h"

namespace {

std::optional<WindowsVersion>& Override()
{
    static std::optional<WindowsVersion> version;
    return version;
}

}  // namespace

WindowsVersion ReportedWindowsVersion()
{
    return Override().value_or(WindowsVersion{});
}

void SetReportedWindowsVersion(const WindowsVersion& version)
{
    Override() = version;
}

void ResetReportedWindowsVersion()
{
    Override().reset();
}
