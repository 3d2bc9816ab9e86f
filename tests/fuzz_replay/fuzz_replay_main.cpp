// Replays one fuzz target's seed inputs and every input it once failed on under the ordinary
// build and its sanitizers, so a saved input keeps guarding its fault without clang or libFuzzer.
// Linked with the target's own source, which defines LLVMFuzzerTestOneInput; the target fails an
// input by aborting, which fails the test.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

QFileInfoList Inputs(const char* folder)
{
    QFileInfoList inputs;
    for (const QFileInfo& f : QDir(QString::fromUtf8(folder)).entryInfoList(QDir::Files, QDir::Name))
        if (f.fileName() != QStringLiteral("README")) inputs.append(f);
    return inputs;
}

void Replay(const QFileInfoList& inputs)
{
    static const bool initialised = [] {
        if (LLVMFuzzerInitialize) {
            int argc = 0;
            char** argv = nullptr;
            LLVMFuzzerInitialize(&argc, &argv);
        }
        return true;
    }();
    (void)initialised;
    for (const QFileInfo& input : inputs) {
        SCOPED_TRACE(input.fileName().toStdString());
        QFile f(input.absoluteFilePath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                               static_cast<std::size_t>(bytes.size()));
    }
}

TEST(FuzzReplay, SeedInputs)
{
    const QFileInfoList inputs = Inputs(TWINLARK_FUZZ_SEEDS);
    EXPECT_FALSE(inputs.isEmpty()) << "no seed input in " << TWINLARK_FUZZ_SEEDS;
    Replay(inputs);
}

TEST(FuzzReplay, SavedFailingInputs)
{
    const QFileInfoList inputs = Inputs(TWINLARK_FUZZ_CRASHES);
    if (inputs.isEmpty()) GTEST_SKIP() << "no failing input has been saved";
    Replay(inputs);
}

}  // namespace
