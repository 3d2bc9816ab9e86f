#pragma once
// The Windows version probes several families' rows name (a program that shipped with a
// version). A family's own program is probed in its folder. Missing settings count as "not
// present".

// The Windows version the agent reports (platform/platform_info.h).
bool IsWindowsXp();     // major 5
bool IsWindowsVista();  // 6.0
bool IsWindows7();      // 6.1
// Windows 6.1 of an edition that ships Sticky Notes (product types Ultimate, Home Premium, Business).
bool IsWindows7WithStickyNotes();
