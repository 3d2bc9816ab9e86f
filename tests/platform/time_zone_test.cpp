#include "platform/time_zone.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "common/errors.h"
#include "support/scoped_env.h"
#include "support/scoped_time_zone.h"
#include "support/system_time_fields.h"

namespace {

SystemTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    const SystemTime t = MakeSystemTime(year, month, day, hour, minute, second);
    return FileTimeToSystemTime(SystemTimeToFileTime(t));  // fills the weekday
}

SystemTime Rule(int month, int week, int weekday, int hour, int minute = 0)
{
    SystemTime rule;
    rule.wMonth = month;
    rule.wDay = week;
    rule.wDayOfWeek = weekday;
    rule.wHour = hour;
    rule.wMinute = minute;
    return rule;
}

std::string Show(const SystemTime& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return text;
}

// Central European rules as the record states them: daylight time from the last Sunday of March,
// 02:00, to the last Sunday of October, 03:00.
TimeZoneInformation CentralEurope()
{
    TimeZoneInformation zone;
    zone.Bias = -60;
    zone.StandardName = QStringLiteral("CET");
    zone.StandardBias = 0;
    zone.StandardDate = Rule(10, 5, 0, 3);
    zone.DaylightName = QStringLiteral("CEST");
    zone.DaylightBias = -60;
    zone.DaylightDate = Rule(3, 5, 0, 2);
    return zone;
}

TimeZoneInformation EasternAustralia()
{
    TimeZoneInformation zone;
    zone.Bias = -600;
    zone.StandardName = QStringLiteral("AEST");
    zone.StandardDate = Rule(4, 1, 0, 3);
    zone.DaylightName = QStringLiteral("AEDT");
    zone.DaylightBias = -60;
    zone.DaylightDate = Rule(10, 1, 0, 2);
    return zone;
}

struct Conversion {
    SystemTime local;
    SystemTime utc;
    const char* why;
};

void ExpectLocalToUtc(const TimeZoneInformation& zone, const Conversion& c)
{
    EXPECT_EQ(Show(TzSpecificLocalTimeToSystemTime(zone, c.local)), Show(c.utc))
        << c.why << ", local " << Show(c.local);
}

void ExpectUtcToLocal(const TimeZoneInformation& zone, const Conversion& c)
{
    EXPECT_EQ(Show(SystemTimeToTzSpecificLocalTime(zone, c.utc)), Show(c.local))
        << c.why << ", UTC " << Show(c.utc);
}

TEST(TimeZone, CentralEuropeanLocalTimeToUtc)
{
    const Conversion cases[] = {
        {At(2010, 7, 15, 12, 0), At(2010, 7, 15, 10, 0), "summer"},
        {At(2010, 1, 15, 12, 0), At(2010, 1, 15, 11, 0), "winter"},
        {At(2010, 3, 28, 1, 30), At(2010, 3, 28, 0, 30), "before clocks go forward"},
        {At(2010, 3, 28, 2, 30), At(2010, 3, 28, 1, 30), "skipped hour, read as standard time"},
        {At(2010, 3, 28, 3, 0), At(2010, 3, 28, 1, 0), "the first daylight moment"},
        {At(2010, 3, 28, 3, 30), At(2010, 3, 28, 1, 30), "after clocks go forward"},
        {At(2010, 10, 31, 1, 59, 59), At(2010, 10, 30, 23, 59, 59), "before the repeated hour"},
        {At(2010, 10, 31, 2, 30), At(2010, 10, 31, 0, 30), "repeated hour, first occurrence"},
        {At(2010, 10, 31, 3, 0), At(2010, 10, 31, 2, 0), "the first standard moment"},
        {At(2010, 10, 31, 4, 30), At(2010, 10, 31, 3, 30), "after clocks go back"},
        {At(2010, 10, 31, 5, 30), At(2010, 10, 31, 4, 30), "after clocks go back"},
        {At(2011, 3, 27, 3, 0), At(2011, 3, 27, 1, 0), "another year's last Sunday"},
        {At(2010, 1, 1, 0, 30), At(2009, 12, 31, 23, 30), "across the turn of the year"},
    };
    for (const Conversion& c : cases) ExpectLocalToUtc(CentralEurope(), c);
}

TEST(TimeZone, CentralEuropeanUtcToLocal)
{
    const Conversion cases[] = {
        {At(2010, 3, 28, 1, 59, 59), At(2010, 3, 28, 0, 59, 59), "last standard second"},
        {At(2010, 3, 28, 3, 0), At(2010, 3, 28, 1, 0), "clocks go forward"},
        {At(2010, 10, 31, 2, 59, 59), At(2010, 10, 31, 0, 59, 59), "last daylight second"},
        {At(2010, 10, 31, 2, 0), At(2010, 10, 31, 1, 0), "clocks go back"},
        {At(2010, 7, 15, 12, 0), At(2010, 7, 15, 10, 0), "summer"},
        {At(2010, 1, 1, 0, 30), At(2009, 12, 31, 23, 30), "across the turn of the year"},
    };
    for (const Conversion& c : cases) ExpectUtcToLocal(CentralEurope(), c);
}

// Daylight time across the turn of the year: from the first Sunday of October, 02:00, to the first
// Sunday of April, 03:00.
TEST(TimeZone, SouthernZoneBothWays)
{
    const Conversion both[] = {
        {At(2010, 1, 15, 12, 0), At(2010, 1, 15, 1, 0), "summer"},
        {At(2010, 7, 15, 12, 0), At(2010, 7, 15, 2, 0), "winter"},
        {At(2010, 1, 1, 5, 0), At(2009, 12, 31, 18, 0), "summer, across the turn of the year"},
        {At(2010, 4, 4, 1, 59, 59), At(2010, 4, 3, 14, 59, 59), "before the repeated hour"},
        {At(2010, 4, 4, 2, 30), At(2010, 4, 3, 15, 30), "repeated hour, first occurrence"},
        {At(2010, 4, 4, 2, 59, 59), At(2010, 4, 3, 15, 59, 59), "last daylight second"},
        {At(2010, 4, 4, 3, 0), At(2010, 4, 3, 17, 0), "the first standard moment"},
        {At(2010, 10, 3, 1, 59, 59), At(2010, 10, 2, 15, 59, 59), "last standard second"},
        {At(2010, 10, 3, 3, 0), At(2010, 10, 2, 16, 0), "clocks go forward"},
        {At(2010, 12, 31, 23, 0), At(2010, 12, 31, 12, 0), "new year's eve"},
    };
    for (const Conversion& c : both) {
        ExpectLocalToUtc(EasternAustralia(), c);
        ExpectUtcToLocal(EasternAustralia(), c);
    }
    ExpectUtcToLocal(EasternAustralia(), {At(2010, 4, 4, 2, 0), At(2010, 4, 3, 16, 0), "clocks go back"});
    ExpectLocalToUtc(EasternAustralia(), {At(2010, 10, 3, 2, 30), At(2010, 10, 2, 16, 30), "skipped hour"});
}

TEST(TimeZone, ZoneWithoutDaylightRulesUsesTheBiasAlone)
{
    TimeZoneInformation zone;
    zone.Bias = -120;
    zone.StandardBias = 30;  // not added without rules
    zone.DaylightBias = -60;
    zone.DaylightDate = Rule(3, 5, 0, 2);  // ignored: StandardDate.wMonth is 0
    for (const SystemTime& local : {At(2010, 1, 15, 12, 0), At(2010, 7, 15, 1, 0), At(2010, 3, 28, 2, 30)}) {
        const SystemTime utc =
            FileTimeToSystemTime(SystemTimeToFileTime(local) - 120 * kFileTimeUnitsPerMinute);
        ExpectLocalToUtc(zone, {local, utc, "no daylight time"});
        ExpectUtcToLocal(zone, {local, utc, "no daylight time"});
    }
}

TEST(TimeZone, RefusesFieldsThatNameNoMoment)
{
    EXPECT_THROW(TzSpecificLocalTimeToSystemTime(CentralEurope(), SystemTime{}), AgentError);
    SystemTime february30 = At(2010, 2, 28);
    february30.wDay = 30;
    EXPECT_THROW(SystemTimeToTzSpecificLocalTime(CentralEurope(), february30), AgentError);
}

TEST(TransitionRules, TransitionDateOfRelativeRules)
{
    const struct {
        SystemTime dayInMonth;
        SystemTime rule;
        int expectedDay;
    } cases[] = {
        {At(2010, 3, 1), Rule(3, 5, 0, 2), 28},     // last Sunday of March
        {At(2010, 3, 31), Rule(3, 5, 0, 2), 28},    // found from any day of the month
        {At(2010, 10, 17), Rule(10, 5, 0, 3), 31},  // the last Sunday is the 31st
        {At(2010, 3, 9), Rule(3, 2, 0, 2), 14},     // second Sunday
        {At(2010, 11, 30), Rule(11, 1, 0, 2), 7},   // first Sunday
        {At(2010, 8, 1), Rule(8, 1, 0, 0), 1},      // first Sunday on the 1st
        {At(2010, 8, 1), Rule(8, 1, 6, 0), 7},      // first Saturday, the 1st being a Sunday
        // February's last week by each year's own length, in any order of years.
        {At(2004, 2, 10), Rule(2, 5, 0, 2), 29},
        {At(2015, 2, 10), Rule(2, 5, 0, 2), 22},
        {At(2000, 2, 10), Rule(2, 5, 2, 2), 29},
        {At(2100, 2, 10), Rule(2, 5, 1, 2), 22},
        {At(2004, 2, 10), Rule(2, 5, 0, 2), 29},
        {At(2015, 2, 10), Rule(2, 5, 0, 2), 22},
    };
    for (const auto& c : cases) {
        const SystemTime transition = GetTransitionDate(c.dayInMonth, c.rule);
        EXPECT_EQ(transition.wYear, c.dayInMonth.wYear);
        EXPECT_EQ(transition.wMonth, c.rule.wMonth);
        EXPECT_EQ(transition.wDay, c.expectedDay) << Show(c.dayInMonth);
        EXPECT_EQ(transition.wHour, c.rule.wHour);
        EXPECT_EQ(At(transition.wYear, transition.wMonth, transition.wDay).wDayOfWeek, c.rule.wDayOfWeek);
    }
}

TEST(TransitionRules, PastTransition)
{
    SystemTime absolute = Rule(3, 10, 0, 12);
    absolute.wYear = 2010;
    const struct {
        SystemTime t;
        SystemTime rule;
        bool past;
    } cases[] = {
        {At(2010, 2, 28, 23, 59), Rule(3, 5, 0, 2), false},  // month before
        {At(2010, 4, 1), Rule(3, 5, 0, 2), true},            // month after
        {At(2010, 3, 28, 1, 59, 59), Rule(3, 5, 0, 2), false},
        {At(2010, 3, 28, 2, 0), Rule(3, 5, 0, 2), true},  // the transition moment itself
        {At(2010, 3, 27, 23, 0), Rule(3, 5, 0, 2), false},
        {At(2010, 3, 10, 12, 0), absolute, true},  // an absolute rule is that very date
        {At(2010, 3, 10, 11, 59, 59), absolute, false},
        {At(2009, 3, 20), absolute, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPastTransition(c.t, c.rule), c.past) << Show(c.t);
}

TEST(PosixTz, ShapesRulesAsTheRecord)
{
    TimeZoneInformation utc;
    utc.StandardName = QStringLiteral("UTC");
    TimeZoneInformation tehran;
    tehran.StandardName = QStringLiteral("+0330");
    tehran.Bias = -210;

    TimeZoneInformation lordHowe;  // half-hour daylight time
    lordHowe.Bias = -630;
    lordHowe.StandardName = QStringLiteral("+1030");
    lordHowe.StandardDate = Rule(4, 1, 0, 2);
    lordHowe.DaylightName = QStringLiteral("+11");
    lordHowe.DaylightDate = Rule(10, 1, 0, 2);
    lordHowe.DaylightBias = -30;

    TimeZoneInformation dublin;  // winter "daylight" time behind summer "standard" time, turned round
    dublin.Bias = 0;
    dublin.StandardName = QStringLiteral("GMT");
    dublin.StandardDate = Rule(10, 5, 0, 2);
    dublin.DaylightName = QStringLiteral("IST");
    dublin.DaylightDate = Rule(3, 5, 0, 1);
    dublin.DaylightBias = -60;

    TimeZoneInformation jerusalem;  // 26:00 on the 4th Thursday: 02:00 on a Friday
    jerusalem.Bias = -120;
    jerusalem.StandardName = QStringLiteral("IST");
    jerusalem.StandardDate = Rule(10, 5, 0, 2);
    jerusalem.DaylightName = QStringLiteral("IDT");
    jerusalem.DaylightDate = Rule(3, 4, 5, 2);
    jerusalem.DaylightBias = -60;

    TimeZoneInformation greenland;  // -1:00 on the last Sunday: 23:00 on a Saturday
    greenland.Bias = 120;
    greenland.StandardName = QStringLiteral("-02");
    greenland.StandardDate = Rule(10, 5, 0, 0);
    greenland.DaylightName = QStringLiteral("-01");
    greenland.DaylightDate = Rule(3, 5, 6, 23);
    greenland.DaylightBias = -60;

    TimeZoneInformation usDefault;  // daylight time named without rules
    usDefault.Bias = 300;
    usDefault.StandardName = QStringLiteral("EST");
    usDefault.StandardDate = Rule(11, 1, 0, 2);
    usDefault.DaylightName = QStringLiteral("EDT");
    usDefault.DaylightDate = Rule(3, 2, 0, 2);
    usDefault.DaylightBias = -60;

    TimeZoneInformation dayOfYearRules;  // not expressible: no daylight time
    dayOfYearRules.StandardName = QStringLiteral("XYZ");
    dayOfYearRules.DaylightName = QStringLiteral("ABC");
    dayOfYearRules.DaylightBias = -60;

    const struct {
        const char* tz;
        TimeZoneInformation zone;
    } cases[] = {
        {"CET-1CEST,M3.5.0,M10.5.0/3", CentralEurope()},
        {"AEST-10AEDT,M10.1.0,M4.1.0/3", EasternAustralia()},
        {"UTC0", utc},
        {"<+0330>-3:30", tehran},
        {"<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", lordHowe},
        {"IST-1GMT0,M10.5.0,M3.5.0/1", dublin},
        {"IST-2IDT,M3.4.4/26,M10.5.0", jerusalem},
        {"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", greenland},
        {"EST5EDT", usDefault},
        {"XYZ0ABC,J60,J300", dayOfYearRules},
    };
    for (const auto& c : cases) {
        const std::optional<TimeZoneInformation> zone = TimeZoneFromPosixTz(QString::fromLatin1(c.tz));
        ASSERT_TRUE(zone) << c.tz;
        EXPECT_EQ(*zone, c.zone) << c.tz;
    }
}

TEST(PosixTz, RefusesWhatIsNoRule)
{
    for (const char* tz :
         {"", "C-1", "CET", "CET-1CEST,M13.1.0,M10.5.0", "CET-1CEST,M3.5.0", "CET-1CEST,M3.6.0,M10.5.0",
          "CET-25", "CET-1CEST,M3.5.0,M10.5.0/3 ", "<CET-1", "CET-1CEST,M3.5.7,M10.5.0", "CET-1:60",
          "CET-1CEST,M3.5.0/200,M10.5.0", "Europe/No_Such_Zone"})
        EXPECT_FALSE(TimeZoneFromPosixTz(QString::fromLatin1(tz))) << tz;
}

TEST(TimeZoneFiles, ReadsTheTzDatabase)
{
    TimeZoneInformation berlin = CentralEurope();
    EXPECT_EQ(TimeZoneByName(QStringLiteral("Europe/Berlin")), berlin);
    EXPECT_EQ(TimeZoneByName(QStringLiteral("Australia/Sydney")), EasternAustralia());
    EXPECT_THROW(TimeZoneByName(QStringLiteral("Europe/No_Such_Zone")), AgentError);
    EXPECT_THROW(TimeZoneByName(QStringLiteral("../../etc/passwd")), AgentError);
    EXPECT_THROW(TimeZoneByName(QStringLiteral("/etc/passwd")), AgentError);
    EXPECT_THROW(TimeZoneByName(QString()), AgentError);
}

QByteArray ReadSystemZone(const char* name)
{
    QFile file(QStringLiteral("/usr/share/zoneinfo/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);  // a new file, as a package update makes it
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray BigEndian(std::uint32_t v)
{
    QByteArray b;
    for (int shift = 24; shift >= 0; shift -= 8) b.append(static_cast<char>(v >> shift));
    return b;
}

// A version-1 file holds no rule text; the offset of its last transition is all it says.
QByteArray VersionOneFile(std::uint8_t lastType)
{
    QByteArray f("TZif");
    f.append(QByteArray(16, '\0'));
    for (std::uint32_t count : {0u, 0u, 0u, 1u, 2u, 8u})  // UTC/std flags, leaps, transitions, types, chars
        f.append(BigEndian(count));
    f.append(BigEndian(0));                                // the transition's time
    f.append(static_cast<char>(lastType));                 // its type
    f.append(BigEndian(0)).append('\0').append('\0');      // type 0: UTC, "LMT"
    f.append(BigEndian(19800)).append('\0').append('\4');  // type 1: +05:30, "IST"
    f.append("LMT\0IST\0", 8);
    return f;
}

TEST(TimeZoneFiles, CopesWithOldAndDamagedFiles)
{
    QTemporaryDir dir;
    ScopedEnv tzdir("TZDIR", QFile::encodeName(dir.path()));
    WriteFile(dir.filePath("Old/Zone"), VersionOneFile(1));
    WriteFile(dir.filePath("Bad/Type"), VersionOneFile(2));
    WriteFile(dir.filePath("Bad/Cut"), ReadSystemZone("Europe/Berlin").left(100));
    WriteFile(dir.filePath("Bad/Text"), "not a zone file at all");

    const TimeZoneInformation old = TimeZoneByName(QStringLiteral("Old/Zone"));
    EXPECT_EQ(old.Bias, -330);
    EXPECT_EQ(old.StandardName, QStringLiteral("IST"));
    EXPECT_EQ(old.StandardDate.wMonth, 0);
    for (const char* name : {"Bad/Type", "Bad/Cut", "Bad/Text"})
        EXPECT_THROW(TimeZoneByName(QLatin1String(name)), MalformedData) << name;

    // The machine's zone falls back to UTC rather than failing every date.
    ScopedTimeZone zone("Bad/Cut");
    EXPECT_EQ(GetTimeZoneInformation().Bias, 0);
}

TEST(MachineZone, FollowsTz)
{
    TimeZoneInformation utc;
    utc.StandardName = QStringLiteral("UTC");
    const struct {
        QByteArray tz;
        TimeZoneInformation zone;
    } cases[] = {
        {"Europe/Berlin", CentralEurope()},
        {":Australia/Sydney", EasternAustralia()},
        {"/usr/share/zoneinfo/Europe/Berlin", CentralEurope()},
        {"AEST-10AEDT,M10.1.0,M4.1.0/3", EasternAustralia()},
        {"", utc},
        {"Europe/No_Such_Zone", utc},
        {":CET-1CEST,M3.5.0,M10.5.0/3", utc},  // a colon names a file only
        {"/dev/zero", utc},
    };
    for (const auto& c : cases) {
        ScopedTimeZone zone(c.tz);
        EXPECT_EQ(GetTimeZoneInformation(), c.zone) << c.tz.constData();
    }
}

TEST(MachineZone, NoticesAChangedZoneFile)
{
    QTemporaryDir dir;
    ScopedEnv tzdir("TZDIR", QFile::encodeName(dir.path()));
    ScopedTimeZone zone("Test/Zone");
    WriteFile(dir.filePath("Test/Zone"), ReadSystemZone("Europe/Berlin"));
    EXPECT_EQ(GetTimeZoneInformation(), CentralEurope());
    WriteFile(dir.filePath("Test/Zone"), ReadSystemZone("Australia/Sydney"));
    EXPECT_EQ(GetTimeZoneInformation(), EasternAustralia());
}

// Our record-based conversions against the C library's own reading of the tz database, every
// 20 minutes over five years for zones whose current rules held then, each with its own shape:
// northern, southern, western, half-hour daylight time, and daylight time behind standard time.
TEST(MachineZone, AgreesWithTheCLibrary)
{
    for (const char* name : {"Europe/Berlin", "Australia/Sydney", "Pacific/Auckland", "America/New_York",
                             "Australia/Lord_Howe", "Europe/Dublin"}) {
        SCOPED_TRACE(name);
        ScopedTimeZone scoped(name);
        const TimeZoneInformation zone = GetTimeZoneInformation();
        ASSERT_NE(zone.StandardDate.wMonth, 0);
        const std::time_t from = 1325376000;  // 2012-01-01 UTC
        const std::time_t to = 1483228800;    // 2017-01-01 UTC
        int failures = 0;
        for (std::time_t u = from; u < to && failures < 5; u += 20 * 60) {
            std::tm tm{};
            gmtime_r(&u, &tm);
            const SystemTime utc = At(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
            localtime_r(&u, &tm);
            const SystemTime expected =
                At(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
            const SystemTime local = SystemTimeToTzSpecificLocalTime(zone, utc);
            if (local != expected) {
                ADD_FAILURE() << "UTC " << Show(utc) << " gave " << Show(local) << ", C library "
                              << Show(expected);
                ++failures;
                continue;
            }
            // Back to UTC: the same moment, except that the second pass of a repeated hour reads
            // as its first.
            const SystemTime back = TzSpecificLocalTimeToSystemTime(zone, local);
            if (back != utc && SystemTimeToTzSpecificLocalTime(zone, back) != local) {
                ADD_FAILURE() << "local " << Show(local) << " gave UTC " << Show(back) << ", expected "
                              << Show(utc);
                ++failures;
            }
        }
    }
}

}  // namespace
