// Replays the wire fuzz target's seed inputs and every input it once crashed on
// (fuzz/corpus, fuzz/corpus-crashes) under the ordinary build and its sanitizers.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/temp_home.h"
#include "support/wire_fuzz_driver.h"

namespace {

QFileInfoList Inputs(const QString& folder)
{
    const QDir dir(QStringLiteral(TWINLARK_FUZZ_DIR "/") + folder);
    QFileInfoList inputs;
    for (const QFileInfo& f : dir.entryInfoList(QDir::Files, QDir::Name))
        if (f.fileName() != QStringLiteral("README")) inputs.append(f);
    return inputs;
}

void Replay(const QFileInfoList& inputs)
{
    TempHome home;
    for (const QFileInfo& input : inputs) {
        SCOPED_TRACE(input.fileName().toStdString());
        QFile f(input.absoluteFilePath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        FeedWireBytes(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                      static_cast<std::size_t>(bytes.size()));
    }
}

TEST(WireFuzzReplay, SeedInputs)
{
    const QFileInfoList inputs = Inputs(QStringLiteral("corpus"));
    EXPECT_FALSE(inputs.isEmpty());
    Replay(inputs);
}

TEST(WireFuzzReplay, SavedCrashingInputs)
{
    const QFileInfoList inputs = Inputs(QStringLiteral("corpus-crashes"));
    if (inputs.isEmpty()) GTEST_SKIP() << "no crashing input has been saved";
    Replay(inputs);
}

}  // namespace
