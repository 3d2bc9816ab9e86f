#include "stores/chrome/chrome_twin_dates.h"

#include <gtest/gtest.h>

namespace {

struct Choice {
    std::size_t bookmark;
    std::string date;
    bool operator==(const Choice&) const = default;
};

std::vector<Choice> Choose(const std::vector<std::string>& dates, const std::vector<std::int64_t>& others = {})
{
    // The file's dates: the bookmarks' own that read as numbers, and those of folders and others.
    std::vector<std::int64_t> fileDates = others;
    for (const std::string& d : dates) {
        std::int64_t v = 0;
        if (IsCanonicalChromeDate(d, &v)) fileDates.push_back(v);
    }
    std::vector<Choice> out;
    for (const ChromeDateChoice& c : ChooseOwnChromeDates(dates, fileDates)) out.push_back({c.bookmark, c.date});
    return out;
}

TEST(ChromeTwinDates, EveryBookmarkGetsANumberOfItsOwnAndTheLastTwinKeepsTheDate)
{
    const struct {
        const char* what;
        std::vector<std::string> dates;
        std::vector<std::int64_t> others;
        std::vector<Choice> expected;
    } cases[] = {
        {"own dates stay", {"30", "10", "20"}, {}, {}},
        {"twins count down from the shared date", {"100", "100", "100"}, {}, {{0, "98"}, {1, "99"}}},
        {"taken numbers are passed over, folders' too", {"100", "99", "100", "100"}, {97}, {{0, "96"}, {2, "98"}}},
        {"two groups, interleaved", {"50", "80", "50", "80"}, {}, {{0, "49"}, {1, "79"}}},
        {"no number left below: above every date", {"1", "1", "5"}, {}, {{0, "6"}}},
        {"no usable date: above every date, in order", {"", "007", "x", "40"}, {90}, {{0, "91"}, {1, "92"}, {2, "93"}}},
        {"a number too large for 63 bits is no date", {"9223372036854775808", "3"}, {}, {{0, "4"}}},
    };
    for (const auto& c : cases) EXPECT_EQ(Choose(c.dates, c.others), c.expected) << c.what;
}

TEST(ChromeTwinDates, FailsWhenNoNumberIsLeft)
{
    EXPECT_THROW(Choose({"", "9223372036854775807"}), std::exception);
}

}  // namespace
