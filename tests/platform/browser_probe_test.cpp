#include "platform/browser_probe.h"

#include <gtest/gtest.h>

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

}  // namespace
