#include "stores/outlook/outlook_peer_dates.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/errors.h"
#include "support/scoped_time_zone.h"
#include "support/system_time_fields.h"

namespace {

double Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    const std::optional<double> date = SystemTimeToOleDate(MakeSystemTime(year, month, day, hour, minute, second));
    EXPECT_TRUE(date);
    return date.value_or(0.0);
}

std::string FailureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const AgentError& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(PeerDates, AnUnreadableTextFailsNamingKeyAndText)
{
    for (const char* text : {"", "hello", "02-30-2010", "03-07-2010 25:00"}) {
        const std::string failure = FailureOf([&] { RequirePeerDate("Start", QString::fromLatin1(text)); });
        EXPECT_NE(failure.find("\"Start\""), std::string::npos) << failure;
        EXPECT_NE(failure.find('"' + std::string(text) + '"'), std::string::npos) << failure;
        EXPECT_THROW(RequirePeerUtcDateAsLocal("End", QString::fromLatin1(text)), AgentError) << text;
    }
    // A long text is cut in the message, not copied whole into the log.
    const std::string failure = FailureOf([] { RequirePeerDate("End", QString(5000, u'x')); });
    EXPECT_LT(failure.size(), 200u);
}

TEST(PeerDates, ReadsTheDatesLayerForms)
{
    EXPECT_EQ(RequirePeerDate("Start", "06-15-2010 12:30:00"), Date(2010, 6, 15, 12, 30));
    EXPECT_EQ(RequirePeerDate("Start", "15.06.2010"), Date(2010, 6, 15));
    EXPECT_EQ(RequirePeerDate("PatternEndDate", "06-15-2010 12:30:00", DateTextPart::DateOnly), Date(2010, 6, 15));
}

TEST(PeerDates, UtcTravelsAndLocalIsStoredInEveryZone)
{
    const struct {
        const char* zone;
        double local;  // 15 June 2010 12:00 UTC
    } cases[] = {
        {"Europe/Berlin", Date(2010, 6, 15, 14)},
        {"Australia/Sydney", Date(2010, 6, 15, 22)},
        {"<+02>-2", Date(2010, 6, 15, 14)},
    };
    for (const auto& c : cases) {
        ScopedTimeZone zone(c.zone);
        EXPECT_EQ(RequirePeerUtcDateAsLocal("Start", "06-15-2010 12:00:00"), c.local) << c.zone;
        EXPECT_EQ(LocalDateAsPeerUtcText("Start", c.local), "06-15-2010 12:00:00") << c.zone;
        // The no-date value is no moment: it stays empty text, never a time on 31 December 4500.
        EXPECT_EQ(LocalDateAsPeerUtcText("Start", kNoDate), "") << c.zone;
        EXPECT_EQ(DateAsPeerText("Start", kNoDate), "") << c.zone;
    }
}

TEST(PeerDates, DatesOutsideTheRangeAreRefusedNotPrinted)
{
    ScopedTimeZone zone("Australia/Sydney");
    // Converting would leave the representable range: not written...
    EXPECT_FALSE(RequirePeerUtcDateAsLocal("End", "12-31-9999 20:00:00"));
    // ...and never read as "-01-..." fields.
    for (double stored : {Date(100, 1, 1, 5), 1e9}) {
        const std::string failure = FailureOf([&] { LocalDateAsPeerUtcText("End", stored); });
        EXPECT_NE(failure.find("\"End\""), std::string::npos) << failure;
    }
    EXPECT_THROW(DateAsPeerText("CreationTime", -1e9), AgentError);
    EXPECT_EQ(DateAsPeerText("CreationTime", Date(100, 1, 1, 5)), "01-01-0100 05:00:00");
}

}  // namespace
