#pragma once
// What this machine offers: the checks the source catalogue's rows name as their availability
// probes. Missing folders, files and settings count as "not present" in every check.

#include <cstdint>

// The Windows version the agent reports (platform/platform_info.h).
bool IsWindowsXp();     // major 5
bool IsWindowsVista();  // 6.0
bool IsWindows7();      // 6.1
// Windows 6.1 of an edition that ships Sticky Notes (product types Ultimate, Home Premium, Business).
bool IsWindows7WithStickyNotes();

// Whether "Outlook.Application.<version>" can be created (the object is released at once).
bool IsOutlookPresent(int version);
template <int Version>
bool OutlookPresent()
{
    return IsOutlookPresent(Version);
}

struct DetectedBrowsers {
    bool firefox = false;  // Firefox 4 or later
    bool chrome = false;
    bool internetExplorer = false;
    bool opera = false;  // Opera 10 or later
    bool safari = false;
};
DetectedBrowsers DetectBrowsers();
bool IsInternetExplorerInstalled();
bool IsFirefoxInstalled();
bool IsChromeInstalled();
bool IsSafariInstalled();
// Opera 10 or later.
bool IsOperaInstalled();
// Opera's mail has an account ("Count=" above 0 in its accounts.ini).
bool HasOperaMail();
// Opera's notes file exists and opens for reading and writing.
bool HasOperaNotes();
// Opera is installed and keeps contacts (its mail has an account), or notes.
bool OperaHasContacts();
bool OperaHasNotes();
