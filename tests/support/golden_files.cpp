#include "support/golden_files.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cstdlib>

namespace {

std::optional<QByteArray> ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

bool Updating()
{
    return qEnvironmentVariableIntValue("TWINLARK_UPDATE_GOLDEN") == 1;
}

}  // namespace

QByteArray GoldenCase::Input() const
{
    const std::optional<QByteArray> bytes = ReadAll(inputPath);
    if (!bytes) ADD_FAILURE() << "cannot read " << inputPath.toStdString();
    return bytes.value_or(QByteArray());
}

std::optional<QByteArray> GoldenCase::Expected() const
{
    return ReadAll(expectedPath);
}

std::vector<GoldenCase> GoldenCases(const QString& format, const QString& inputSuffix)
{
    const QDir dir(QStringLiteral(TWINLARK_TEST_DATA "/") + format);
    std::vector<GoldenCase> cases;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        if (!name.endsWith(inputSuffix)) continue;
        cases.push_back({name, dir.filePath(name), dir.filePath(name + QStringLiteral(".expected"))});
    }
    if (cases.empty()) {
        // Runs before main(): a message and a failing exit, since no test can report it.
        fprintf(stderr, "no golden inputs *%s in %s\n", qPrintable(inputSuffix), qPrintable(dir.path()));
        std::abort();
    }
    return cases;
}

void ExpectGolden(const GoldenCase& golden, const QByteArray& actual)
{
    if (Updating()) {
        QSaveFile file(golden.expectedPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(actual) != actual.size() || !file.commit())
            ADD_FAILURE() << "cannot write " << golden.expectedPath.toStdString();
        return;
    }
    const std::optional<QByteArray> expected = golden.Expected();
    ASSERT_TRUE(expected) << "no expected file " << golden.expectedPath.toStdString()
                          << " (TWINLARK_UPDATE_GOLDEN=1 writes it)";
    EXPECT_EQ(actual.toStdString(), expected->toStdString()) << "output of " << golden.name.toStdString();
}

std::string GoldenCaseName(const ::testing::TestParamInfo<GoldenCase>& info)
{
    std::string name;
    for (const QChar c : info.param.name) name += c.isLetterOrNumber() && c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '_';
    return name;
}

void PrintTo(const GoldenCase& golden, std::ostream* out)
{
    *out << golden.name.toStdString();
}
