// Favourite files read and written without a store: each tests/data/ie-favorites/*.url beside its
// ".expected", the file the store writes when the peer keeps the address it read ("no address"
// when the file has none). The refusals of addresses a file cannot hold are the store's tests.
#include "stores/apps/url_file.h"

#include <gtest/gtest.h>

#include "support/golden_files.h"

namespace {

class UrlFileRewrite : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(UrlFileRewrite, MatchesItsExpectedFile)
{
    const std::optional<QString> address = UrlFileAddress(GetParam().Input());
    ExpectGolden(GetParam(), address ? UrlFileContent(*address) : QByteArrayLiteral("no address\n"));
}
INSTANTIATE_TEST_SUITE_P(Files, UrlFileRewrite, ::testing::ValuesIn(GoldenCases("ie-favorites", ".url")),
                         GoldenCaseName);

}  // namespace
