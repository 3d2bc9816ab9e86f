#pragma once
#include <QString>
#include <cstdint>

// Where the browsers keep their data on this machine, and which of them left any. This replaces
// the system's list of registered browsers and the version resources of their programs: a
// browser counts as present when its profile data is where it keeps it below the user's home
// (so tests plant profiles in a temporary home).
struct BrowserFootprint {
    // ~/.mozilla/firefox/profiles.ini exists; the newest version that ran one of its profiles
    // (compatibility.ini "LastVersion"), major in the high word, minor in the low; 0 unknown.
    bool firefoxProfiles = false;
    std::uint32_t firefoxVersion = 0;
    // ~/.opera exists; the version from operaprefs.ini ("Newest Used Version"; a preferences
    // file without it is at least 10.0, the release that introduced that file); 0 unknown.
    bool operaProfile = false;
    std::uint32_t operaVersion = 0;
    // A Chrome or Chromium profile folder below the configuration folder.
    bool chromeProfile = false;
    // The Favorites folder that the Internet Explorer favourites live in.
    bool internetExplorerFavorites = false;
    // Safari's data folder in the application-data folder.
    bool safariData = false;
};

BrowserFootprint ProbeBrowsers();

// "<home>/.mozilla/firefox".
QString FirefoxDataDir();
// The profile folder whose bookmarks are synchronised, chosen from FirefoxDataDir()'s
// profiles.ini as Firefox chooses the profile it starts with: the profile that the first
// "[Install...]" section names by its "Default=" path, else the "[Profile...]" marked "Default=1",
// else the only profile. "IsRelative=0" paths are absolute, the others below FirefoxDataDir().
// Empty when profiles.ini is missing or names no profile this way; throws AgentError when it is
// there but no regular file of at most 1 MiB.
QString FirefoxProfileDir();
// The same choice made from the text of a profiles.ini in `dataDir`.
QString ChooseFirefoxProfile(const QString& dataDir, const QByteArray& profilesIni);
// "<profile>/places.sqlite" of FirefoxProfileDir(), whether it exists or not; empty when no
// profile is chosen.
QString FirefoxPlacesPath();
// Chrome's bookmarks file of the default profile: "<config>/google-chrome/Default/Bookmarks",
// or Chromium's "<config>/chromium/Default/Bookmarks" when only Chromium's folder exists
// (<config> is $XDG_CONFIG_HOME, default ~/.config). Whether the file exists or not; empty
// when the configuration folder cannot be determined.
QString ChromeBookmarksPath();
// "<home>/.opera": Opera's profile with its bookmarks, contacts, notes and mail.
QString OperaProfileDir();
// "<application data>/Apple Computer/Safari/Bookmarks.plist", whether it exists or not.
QString SafariBookmarksPath();

// "12.16.1860" or "115.0esr_2023..." -> major << 16 | minor; 0 when the text has no number.
std::uint32_t ParseProgramVersion(const QString& text);
