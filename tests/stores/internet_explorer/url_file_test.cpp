// Favourite files read and written without a store: each tests/data/ie-favorites/*.url beside its
// ".expected", the file after the peer changed its address to the one read with "?edited"
// appended (http://example.org/?edited for a file without one). The refusals of addresses a
// file cannot hold are the store's tests.
#include "stores/internet_explorer/url_file.h"

#include <gtest/gtest.h>

#include "support/golden_files.h"

namespace {

class UrlFileRewrite : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(UrlFileRewrite, MatchesItsExpectedFile)
{
    const QByteArray input = GetParam().Input();
    const std::optional<QString> address = UrlFileAddress(input);
    if (address) {
        EXPECT_EQ(UrlFileWithAddress(input, *address), input) << "the same address changes no byte";
    }
    const QString edited = address ? *address + QStringLiteral("?edited") : QStringLiteral("http://example.org/?edited");
    const QByteArray written = UrlFileWithAddress(input, edited);
    EXPECT_EQ(UrlFileAddress(written), edited) << "the changed line is the one read back";
    ExpectGolden(GetParam(), written);
}

TEST(UrlFile, ANewFavouriteIsTwoLinesAndAFileWithoutTheSectionGetsIt)
{
    EXPECT_EQ(UrlFileContent("http://example.org/"), "[InternetShortcut]\r\nURL=http://example.org/\r\n");
    EXPECT_EQ(UrlFileWithAddress("[DEFAULT]\nBASEURL=http://a/", "http://b/"),
              "[DEFAULT]\nBASEURL=http://a/\r\n[InternetShortcut]\r\nURL=http://b/\r\n");
    EXPECT_EQ(UrlFileWithAddress("[InternetShortcut]", "http://b/"), "[InternetShortcut]\r\nURL=http://b/\r\n");
    EXPECT_EQ(UrlFileWithAddress({}, "http://b/"), "[InternetShortcut]\r\nURL=http://b/\r\n");
}
INSTANTIATE_TEST_SUITE_P(Files, UrlFileRewrite, ::testing::ValuesIn(GoldenCases("ie-favorites", ".url")),
                         GoldenCaseName);

}  // namespace
