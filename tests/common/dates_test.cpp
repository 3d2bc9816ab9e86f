#include "common/dates.h"

#include <gtest/gtest.h>

#include <string>

#include "common/errors.h"
#include "support/system_time_fields.h"

namespace {

double Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    const std::optional<double> date =
        SystemTimeToOleDate(MakeSystemTime(year, month, day, hour, minute, second));
    EXPECT_TRUE(date);
    return date.value_or(0.0);
}

std::string Text(const QString& s)
{
    return s.toStdString();
}

TEST(DateToText, PrintsTheMonthDayYearForm)
{
    const struct {
        DateValue date;
        const char* text;
    } cases[] = {
        {{Date(2010, 3, 7)}, "03-07-2010"},
        {{Date(2010, 3, 7, 14, 5, 9)}, "03-07-2010 14:05:09"},
        {{Date(2010, 3, 7, 0, 0, 1)}, "03-07-2010 00:00:01"},
        {{Date(2010, 3, 7) + 0.4 / 86400}, "03-07-2010"},  // rounds to midnight
        {{Date(2010, 12, 31, 23, 59, 59)}, "12-31-2010 23:59:59"},
        {{0.0}, "12-30-1899"},
        {{-1.25}, "12-29-1899 06:00:00"},
        {{Date(100, 1, 1)}, "01-01-0100"},
        {{kNoDate}, ""},
        {{kNoDate, false}, ""},  // the no-date value, whatever its status
        {{kNoDateOnly}, "12-31-4500 23:59:00"},
        // Values that cannot be broken into fields print -1 in every field.
        {{Date(2010, 3, 7), false}, "-01--01--0001 -01:-01:-01"},
        {{1e7}, "-01--01--0001 -01:-01:-01"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(DateToText(c.date)), c.text) << c.date.value;
}

TEST(DateOnlyToText, PrintsTheDayAlone)
{
    const struct {
        DateValue date;
        const char* text;
    } cases[] = {
        {{kNoDateOnly}, ""},
        {{kNoDate}, "01-01-4501"},
        {{Date(2010, 3, 7, 14, 5, 9)}, "03-07-2010"},
        {{Date(2010, 3, 7)}, "03-07-2010"},
        {{Date(2010, 3, 7, 23, 59, 59) + 0.6 / 86400}, "03-08-2010"},
        {{Date(2010, 3, 7), false}, "-01--01--0001"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(DateOnlyToText(c.date)), c.text) << c.date.value;
}

TEST(TextToDate, ReadsFixedPositions)
{
    const struct {
        const char* text;
        double expected;
    } cases[] = {
        {"03-07-2010", Date(2010, 3, 7)},
        {"03/07/2010", Date(2010, 3, 7)},  // separators are not looked at
        {"03.07.2010", Date(2010, 3, 7)},
        {"03-07-2010 14:05:09", Date(2010, 3, 7, 14, 5, 9)},
        {"03-07-2010 14:05:09 and more", Date(2010, 3, 7, 14, 5, 9)},
        {"03-07-2010 14:05:9", Date(2010, 3, 7, 14, 5, 9)},  // 18 characters: a one-digit second
        {"03-07-201", Date(201, 3, 7)},                      // 9 characters: a three-digit year
        {"12-31-4500 23:59:00", kNoDateOnly},
        {" 3- 7-2010", Date(2010, 3, 7)},  // leading blanks of a field are skipped
        {"3x-7y-2010", Date(2010, 3, 7)},  // a field ends at its first non-digit
    };
    for (const auto& c : cases) {
        const DateValue date = TextToDate(QString::fromLatin1(c.text));
        EXPECT_TRUE(date.valid) << c.text;
        EXPECT_EQ(date.value, c.expected) << c.text;
    }
}

TEST(TextToDate, FieldsThatNameNoMomentGiveAnInvalidValue)
{
    for (const char* text : {"13-01-2010", "02-30-2010", "02-29-2011", "00-10-2010", "03-07-0099",
                             "ab-cd-efgh", "03-07-2010 24:00:00", "03-07-2010 12:60:00", "-1-07-2010"}) {
        const DateValue date = TextToDate(QString::fromLatin1(text));
        EXPECT_FALSE(date.valid) << text;
        EXPECT_EQ(date.value, 0.0) << text;
    }
}

TEST(TextToDate, RefusesTextOfTheWrongLength)
{
    for (const char* text : {"", "3-7-2010", "03-07-2010 ", "03-07-2010 14:05", "03-07-2010 14:05:"})
        EXPECT_THROW(TextToDate(QString::fromLatin1(text)), AgentError) << '"' << text << '"';
}

TEST(TextToDate, ReadsBackWhatDateToTextWrites)
{
    for (double date = -657434.0; date < 2958465.0; date += 1234.56789) {
        const double whole = *SystemTimeToOleDate(*OleDateToSystemTime(date));  // whole seconds
        const QString text = DateToText(whole);
        const DateValue back = TextToDate(text);
        ASSERT_TRUE(back.valid) << text.toStdString();
        ASSERT_EQ(back.value, whole) << text.toStdString();
    }
}

TEST(ParseDateText, ReadsTheFormsPeopleWrite)
{
    const struct {
        const char* text;
        double expected;
    } cases[] = {
        {"03-07-2010", Date(2010, 3, 7)},  // DateToText's own form: month first
        {"03/07/2010", Date(2010, 3, 7)},
        {"3/7/2010", Date(2010, 3, 7)},
        {"12-31-4500 23:59:00", kNoDateOnly},
        {"03-07-2010 14:05:09", Date(2010, 3, 7, 14, 5, 9)},
        {"03-07-2010 14:05", Date(2010, 3, 7, 14, 5)},
        {"03-07-2010 4:05", Date(2010, 3, 7, 4, 5)},
        {"07.03.2010", Date(2010, 3, 7)},  // dots: day first
        {"7.3.2010 14:05", Date(2010, 3, 7, 14, 5)},
        {"2010-03-07", Date(2010, 3, 7)},  // a four-digit first field: year first
        {"2010/3/7", Date(2010, 3, 7)},
        {"2010.03.07", Date(2010, 3, 7)},
        {"2010-03-07T14:05:09", Date(2010, 3, 7, 14, 5, 9)},
        {"  03-07-2010   14:05:09 ", Date(2010, 3, 7, 14, 5, 9)},
        {"03-07-10", Date(2010, 3, 7)},  // two-digit years: 1930 to 2029
        {"07.03.29", Date(2029, 3, 7)},
        {"07.03.30", Date(1930, 3, 7)},
        {"02-29-2012", Date(2012, 2, 29)},
    };
    for (const auto& c : cases) {
        const std::optional<double> date = ParseDateText(QString::fromLatin1(c.text));
        ASSERT_TRUE(date) << c.text;
        EXPECT_EQ(*date, c.expected) << c.text;
    }
}

TEST(ParseDateText, RefusesWhatIsNoDate)
{
    for (const char* text : {"",
                             "   ",
                             "hello",
                             "2010",
                             "03-07",
                             "13-01-2010",
                             "02-30-2010",
                             "02-29-2011",
                             "31.02.2010",
                             "2010-13-01",
                             "2010-03-007",
                             "03-07-201",
                             "003-07-2010",
                             "03-07/2010",
                             "03.07-2010",
                             "03-07-2010 24:00",
                             "03-07-2010 14:60",
                             "03-07-2010 14:05:60",
                             "03-07-2010 14:5",
                             "03-07-2010 14",
                             "03-07-2010 14:05 PM",
                             "03-07-2010Z",
                             "2010-03-07T14:05:09Z",
                             "03-07-2010 14:05:09 +01:00",
                             "03-07-0099",
                             "0-07-2010",
                             "\xd9\xa0\xd9\xa3-07-2010"})
        EXPECT_FALSE(ParseDateText(QString::fromUtf8(text))) << '"' << text << '"';
}

TEST(ParseDateText, KeepsOnlyTheDayWhenAsked)
{
    EXPECT_EQ(ParseDateText(QStringLiteral("03-07-2010 14:05:09"), DateTextPart::DateOnly), Date(2010, 3, 7));
    EXPECT_EQ(ParseDateText(QStringLiteral("07.03.2010"), DateTextPart::DateOnly), Date(2010, 3, 7));
    // A malformed time still makes the text no date.
    EXPECT_FALSE(ParseDateText(QStringLiteral("03-07-2010 25:00"), DateTextPart::DateOnly));
}

}  // namespace
