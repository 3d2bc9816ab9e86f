#pragma once
// Data sources planted in a temporary home the way the programs leave them on this machine, and
// the platform facts the source detection reads (Windows version, Outlook servers), set for one
// test and restored afterwards.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/platform_info.h"
#include "support/outlook/outlook_emulation.h"

class TempHome;

// A Firefox profiles.ini (a real one with two profiles) whose profile last ran `version`
// ("115.3.1esr"); without a version the profile never ran.
void PlantFirefox(const TempHome& home, const QString& version = QStringLiteral("115.3.1esr"));
// "~/.config/chromium" or "~/.config/google-chrome".
void PlantChrome(const TempHome& home, bool chromium = true);
// Opera's profile: operaprefs.ini naming `version` (nothing: a preferences file without it;
// "9": only the old opera6.ini), a mail account count when given, and a notes file.
void PlantOpera(const TempHome& home, const QString& version = QStringLiteral("12.16.1860"),
                std::optional<int> mailAccounts = std::nullopt, bool notes = false);
void PlantFavorites(const TempHome& home);
void PlantSafari(const TempHome& home);

// An emulated Outlook installed in these versions ("12", "14") for the object's lifetime.
class ScopedOutlookServers {
public:
    explicit ScopedOutlookServers(const QStringList& versions);
    ~ScopedOutlookServers();
    ScopedOutlookServers(const ScopedOutlookServers&) = delete;
    ScopedOutlookServers& operator=(const ScopedOutlookServers&) = delete;
    OutlookEmulation& outlook() { return *outlook_; }

private:
    std::unique_ptr<OutlookEmulation> outlook_;
};

// Reports another Windows version for the object's lifetime.
class ScopedWindowsVersion {
public:
    ScopedWindowsVersion(int major, int minor, std::optional<std::uint32_t> productType = kProductUltimate);
    ~ScopedWindowsVersion();
    ScopedWindowsVersion(const ScopedWindowsVersion&) = delete;
    ScopedWindowsVersion& operator=(const ScopedWindowsVersion&) = delete;
};
