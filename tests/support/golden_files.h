#pragma once
// Golden files of a format: tests/data/<format>/ holds the inputs, each with the output expected
// of it beside it, named as the input with ".expected" added ("a.wpl", "a.wpl.expected"). A new
// case is a new pair of files, not new code:
//
//   class WplRewrite : public ::testing::TestWithParam<GoldenCase> {};
//   TEST_P(WplRewrite, MatchesItsExpectedFile)
//   {
//       ExpectGolden(GetParam(), WplPlaylist::Parse(GetParam().Input()).Serialize());
//   }
//   INSTANTIATE_TEST_SUITE_P(Files, WplRewrite, ::testing::ValuesIn(GoldenCases("wmp-playlists", ".wpl")),
//                            GoldenCaseName);
//
// With TWINLARK_UPDATE_GOLDEN=1 in the environment ExpectGolden writes what the code gives as
// the expected file instead of comparing: review that change like code before committing it.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct GoldenCase {
    QString name;  // the input's file name
    QString inputPath;
    QString expectedPath;

    QByteArray Input() const;
    // Nothing when the expected file is missing.
    std::optional<QByteArray> Expected() const;
};

// Every input of tests/data/<format>/ whose name ends in `inputSuffix`, by name. Fails the test
// program when there is none, so that a misspelt folder cannot pass by running nothing.
std::vector<GoldenCase> GoldenCases(const QString& format, const QString& inputSuffix);

// Compares the output with the case's expected file (or writes it, see above).
void ExpectGolden(const GoldenCase& golden, const QByteArray& actual);

// The case's name for the test's name: its file name with every character but letters and
// digits turned into "_".
std::string GoldenCaseName(const ::testing::TestParamInfo<GoldenCase>& info);
void PrintTo(const GoldenCase& golden, std::ostream* out);
