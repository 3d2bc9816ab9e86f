#include "platform/browser_probe.h"

#include <gtest/gtest.h>

#include <QFile>

#include "support/temp_home.h"

namespace {

TEST(BrowserProbe, VersionTextsBecomeMajorAndMinorWords)
{
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"12.16.1860", 12u << 16 | 16},
        {"115.3.1esr_20230920/20230920", 115u << 16 | 3},
        {"4.0b7", 4u << 16},
        {"3", 3u << 16},
        {" 10.63", 10u << 16 | 63},
        {"", 0},
        {"esr", 0},
        {"99999999.1", 0xFFFFu << 16 | 1},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseProgramVersion(QString::fromLatin1(text)), expected) << text;
}

QByteArray ProfilesIni(const char* name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/firefox/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly)) ADD_FAILURE() << "missing fixture " << name;
    return f.readAll();
}

TEST(BrowserProbe, ChoosesTheFirefoxProfileFirefoxStartsWith)
{
    const QString base = QStringLiteral("/home/u/.mozilla/firefox");
    const std::pair<QByteArray, QString> cases[] = {
        {ProfilesIni("profiles-classic-single-thunderbird.ini"), base + "/Profiles/v04swu2d.default"},
        // The first Default=1 profile; the second Path= line is another profile, not a suffix.
        {ProfilesIni("profiles-two-profiles-old.ini"), base + "/swiftfox"},
        {ProfilesIni("profiles-modern-install-section.ini"), base + "/Profiles/mauville.default"},
        // The installation's default wins over the profile marked Default=1.
        {ProfilesIni("profiles-modern-two-profiles-esr.ini"), base + "/mz8hqsuw.default-esr"},
        {"[Profile0]\nName=a\nIsRelative=0\nPath=/srv/profiles/a\nDefault=1\n"
         "[Install1]\nDefault=/srv/profiles/a\n",
         "/srv/profiles/a"},
        {"[Profile0]\nIsRelative=0\nPath=/srv/b\n", "/srv/b"},
        // Two profiles and nothing marks one: no choice rather than a guess.
        {"[Profile0]\nPath=a\n[Profile1]\nPath=b\n", QString()},
        {"[General]\nStartWithLastProfile=1\n", QString()},
        {"", QString()},
    };
    for (const auto& [ini, expected] : cases)
        EXPECT_EQ(ChooseFirefoxProfile(base, ini), expected) << ini.toStdString();
}

TEST(BrowserProbe, PlacesDatabaseOfTheChosenProfileInTheHome)
{
    TempHome home;
    EXPECT_TRUE(FirefoxPlacesPath().isEmpty());
    home.WriteFile(QStringLiteral(".mozilla/firefox/profiles.ini"), ProfilesIni("profiles-modern-install-section.ini"));
    EXPECT_EQ(FirefoxPlacesPath(), home.Path(QStringLiteral(".mozilla/firefox/Profiles/mauville.default/places.sqlite")));
}

}  // namespace
