#include "stores/chrome/chrome_twin_dates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <set>

#include "common/crc32.h"

namespace {

struct Choice {
    std::size_t bookmark;
    std::string date;
    bool operator==(const Choice&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Choice& c)
{
    return out << c.bookmark << ":" << c.date;
}

std::vector<Choice> Choose(const std::vector<ChromeTwinInput>& bookmarks, const std::vector<std::int64_t>& others = {})
{
    // The file's dates: the bookmarks' own that read as numbers, and those of folders and others.
    std::vector<std::int64_t> fileDates = others;
    for (const ChromeTwinInput& b : bookmarks) {
        std::int64_t v = 0;
        if (IsCanonicalChromeDate(b.date, &v)) fileDates.push_back(v);
    }
    std::vector<Choice> out;
    for (const ChromeDateChoice& c : ChooseOwnChromeDates(bookmarks, fileDates)) out.push_back({c.bookmark, c.date});
    return out;
}

std::string Less(std::int64_t date, std::int64_t by)
{
    return std::to_string(date - by);
}

constexpr std::int64_t kShared = 13300000000000000;
const std::string kS = std::to_string(kShared);
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

TEST(ChromeTwinDates, TheNewestTwinKeepsTheDateAndEveryOtherTakesOneFromItsOwnId)
{
    const std::string guidA = "5e3b2a0c-0000-4000-8000-00000000000a";
    const std::string guidB = "5e3b2a0c-0000-4000-8000-00000000000b";
    const std::int64_t crcA = Crc32(guidA.data(), guidA.size());
    const struct {
        const char* what;
        std::vector<ChromeTwinInput> bookmarks;
        std::vector<std::int64_t> others;
        std::vector<Choice> expected;
    } cases[] = {
        {"own dates stay", {{"30", "1", ""}, {"10", "2", ""}, {"20", "3", ""}}, {}, {}},
        {"the largest id keeps the date, wherever it stands",
         {{kS, "7", ""}, {kS, "12", ""}, {kS, "9", ""}},
         {},
         {{0, Less(kShared, 7)}, {2, Less(kShared, 9)}}},
        {"a taken number: the next free one above it, folders' dates too",
         {{kS, "5", ""}, {Less(kShared, 5), "6", ""}, {kS, "8", ""}},
         {kShared - 4},
         {{0, Less(kShared, 3)}}},
        {"an id missing, repeated or not a number: the guid decides",
         {{kS, "", guidA}, {kS, "x", "g2"}, {kS, "4", "g3"}, {"77", "4", "g4"}, {kS, "20", ""}},
         {},
         {{0, Less(kShared, (std::int64_t(1) << 32) + crcA)},
          {1, Less(kShared, (std::int64_t(1) << 32) + Crc32("g2", 2))},
          {2, Less(kShared, (std::int64_t(1) << 32) + Crc32("g3", 2))}}},
        {"neither id nor guid: the last keeps the date, the others count down by rank",
         {{kS, "", guidB}, {kS, "", guidB}, {kS, "", ""}},
         {},
         {{0, Less(kShared, (std::int64_t(1) << 33) + 2)}, {1, Less(kShared, (std::int64_t(1) << 33) + 1)}}},
        {"a small date: never below 1", {{"3", "9", ""}, {"3", "10", ""}, {"1", "11", ""}}, {}, {{0, "2"}}},
        {"no usable date: above every date, in order",
         {{"", "1", ""}, {"007", "2", ""}, {"x", "3", ""}, {"40", "4", ""}},
         {90},
         {{0, "91"}, {1, "92"}, {2, "93"}}},
        {"a number too large for 63 bits is no date", {{"9223372036854775808", "1", ""}, {"3", "2", ""}}, {}, {{0, "4"}}},
        // Almost every number is free: the two without a date take the largest free ones.
        {"the largest date and two without one",
         {{"", "1", ""}, {std::to_string(kMax), "2", ""}, {"", "3", ""}},
         {},
         {{0, std::to_string(kMax - 1)}, {2, std::to_string(kMax - 2)}}},
        {"twins at the largest date, one without: below what is taken",
         {{std::to_string(kMax), "1", ""}, {std::to_string(kMax), "3", ""}, {"", "", ""}},
         {kMax - 2},
         {{0, std::to_string(kMax - 1)}, {2, std::to_string(kMax - 3)}}},
    };
    for (const auto& c : cases) EXPECT_EQ(Choose(c.bookmarks, c.others), c.expected) << c.what;
}

TEST(ChromeTwinDates, ATwinKeepsItsNumberWhateverBecomesOfTheOthers)
{
    // Chrome writes the shared date back after the user deleted or moved one twin: each remaining
    // twin's number stays the one it had.
    const std::vector<ChromeTwinInput> all = {
        {kS, "21", ""}, {kS, "22", ""}, {kS, "23", ""}, {kS, "24", ""}, {Less(kShared, 100), "30", ""}};
    ASSERT_EQ(Choose(all),
              (std::vector<Choice>{{0, Less(kShared, 21)}, {1, Less(kShared, 22)}, {2, Less(kShared, 23)}}));
    auto numberOf = [](const std::vector<ChromeTwinInput>& bookmarks, const std::string& id) {
        const std::vector<Choice> chosen = Choose(bookmarks);
        for (std::size_t i = 0; i < bookmarks.size(); ++i)
            if (bookmarks[i].id == id) {
                for (const Choice& c : chosen)
                    if (c.bookmark == i) return c.date;
                return bookmarks[i].date;
            }
        return std::string("gone");
    };
    for (const char* gone : {"21", "22", "23"}) {
        SCOPED_TRACE(gone);
        std::vector<ChromeTwinInput> rest;
        for (const ChromeTwinInput& b : all)
            if (b.id != gone) rest.push_back(b);
        // Moved to another place in the document: the order does not count either.
        std::reverse(rest.begin(), rest.end());
        for (const ChromeTwinInput& b : rest) EXPECT_EQ(numberOf(rest, b.id), numberOf(all, b.id)) << b.id;
    }
}

TEST(ChromeTwinDates, ManyTwinsOnConsecutiveDatesEachGetAFreeNumber)
{
    // Every twin's own number is held by another pair's date, so each looks further: all must
    // still be distinct, and none a date of the file.
    std::vector<ChromeTwinInput> bookmarks;
    for (int i = 0; i < 2000; ++i) bookmarks.push_back({std::to_string(kShared + i / 2), std::to_string(1 + i), ""});
    const std::vector<Choice> chosen = Choose(bookmarks);
    ASSERT_EQ(chosen.size(), 1000u);
    std::set<std::string> numbers;
    for (const ChromeTwinInput& b : bookmarks) numbers.insert(b.date);
    for (const Choice& c : chosen) EXPECT_TRUE(numbers.insert(c.date).second) << c.date;
}

}  // namespace
