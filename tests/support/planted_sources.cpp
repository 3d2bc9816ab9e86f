#include "support/planted_sources.h"

#include <gtest/gtest.h>

#include <QFile>

#include "platform/automation_servers.h"
#include "support/temp_home.h"

void PlantFirefox(const TempHome& home, const QString& version)
{
    QFile ini(QStringLiteral(TWINLARK_TEST_DATA "/firefox/profiles-modern-two-profiles-esr.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    home.WriteFile(QStringLiteral(".mozilla/firefox/profiles.ini"), ini.readAll());
    // The other profile of that file last ran an old Firefox; the newest version counts.
    home.WriteFile(QStringLiteral(".mozilla/firefox/ab612nev.default/compatibility.ini"),
                   "[Compatibility]\nLastVersion=3.6.28_20120306/20120306\n");
    if (!version.isEmpty())
        home.WriteFile(QStringLiteral(".mozilla/firefox/mz8hqsuw.default-esr/compatibility.ini"),
                       "[Compatibility]\r\nLastVersion=" + version.toUtf8() +
                           "_20230920/20230920\r\nLastOSABI=Linux_x86_64-gcc3\r\n");
}

void PlantChrome(const TempHome& home, bool chromium)
{
    home.WriteFile(chromium ? QStringLiteral(".config/chromium/Default/Preferences")
                            : QStringLiteral(".config/google-chrome/Default/Preferences"),
                   "{}");
}

void PlantOpera(const TempHome& home, const QString& version, std::optional<int> mailAccounts, bool notes)
{
    if (version == QLatin1String("9"))
        home.WriteFile(QStringLiteral(".opera/opera6.ini"), "Opera Preferences version 2.1\n");
    else
        home.WriteFile(
            QStringLiteral(".opera/operaprefs.ini"),
            "Opera Preferences version 2.1\n\n[Install]\n" +
                (version.isEmpty() ? QByteArray() : "Newest Used Version=" + version.toUtf8() + "\n"));
    if (mailAccounts)
        home.WriteFile(
            QStringLiteral(".opera/mail/accounts.ini"),
            "Opera Preferences version 2.1\n\n[Accounts]\nCount=" + QByteArray::number(*mailAccounts) + "\n");
    if (notes) home.WriteFile(QStringLiteral(".opera/notes.adr"), "Opera Hotlist version 2.0\n");
}

void PlantFavorites(const TempHome& home)
{
    home.WriteFile(QStringLiteral("Favorites/Bing.url"),
                   "[InternetShortcut]\r\nURL=http://www.bing.com/\r\n");
}

void PlantSafari(const TempHome& home)
{
    home.WriteFile(QStringLiteral(".local/share/Apple Computer/Safari/Bookmarks.plist"), "bplist00");
}

ScopedOutlookServers::ScopedOutlookServers(const QStringList& versions)
    : outlook_(std::make_unique<OutlookEmulation>())
{
    std::vector<int> numbers;
    for (const QString& v : versions) numbers.push_back(v.toInt());
    outlook_->SetVersions(numbers);
    outlook_->Register();
}

ScopedOutlookServers::~ScopedOutlookServers() = default;

ScopedWindowsVersion::ScopedWindowsVersion(int major, int minor, std::optional<std::uint32_t> productType)
{
    SetReportedWindowsVersion({major, minor, productType});
}

ScopedWindowsVersion::~ScopedWindowsVersion()
{
    ResetReportedWindowsVersion();
}
