#include "core/log_file.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace {

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        hadOld_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        old_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir_.path()));
    }
    void TearDown() override
    {
        if (hadOld_)
            qputenv("XDG_DATA_HOME", old_);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    QString LogPath() const { return dir_.path() + QStringLiteral("/TwinLark/TwinLark.log"); }
    // As std::string, so a mismatch prints as text.
    std::string Log() const
    {
        QFile f(LogPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
    }

    QTemporaryDir dir_;
    bool hadOld_ = false;
    QByteArray old_;
};

TEST_F(LogFileTest, TwoRunsAppendToOneLogInTheDataFolder)
{
    for (int run = 0; run < 2; ++run) {
        LogFile log;
        EXPECT_EQ(log.GetLogPath(), LogPath());
        EXPECT_TRUE(log.IsOpen());
        log.WriteLogLine(QStringLiteral("Init TwinLark.."));
        // Every line is on disk when the call returns, not only at close.
        EXPECT_TRUE(QByteArray::fromStdString(Log()).endsWith("Init TwinLark..\n"));
    }
    EXPECT_EQ(Log(), std::string("Init TwinLark..\nclose programm\n\n"
                                 "Init TwinLark..\nclose programm\n\n"));
}

TEST_F(LogFileTest, DumpItemProperties)
{
    ItemRecord record;
    record.Add(QStringLiteral("Importance"), 1);
    record.Add(QStringLiteral("Subject"), QStringLiteral("Hello"));
    record.Add(QStringLiteral("Body"), QStringLiteral("two\nlines\n"));
    record.Add(QStringLiteral("Duration"), -30);
    record.Add(QStringLiteral("Notes%1"),
               QStringLiteral("%2 stays"));  // markers in peer texts are no markers
    record.Add(QStringLiteral("Size%2"), 5);
    {
        LogFile log;
        log.DumpItemProperties(record);
        log.DumpItemProperties(ItemRecord{});  // writes nothing
    }
    EXPECT_EQ(Log(), std::string("\t- Importance - 1\n"
                                 "\t- Subject - Hello\n"
                                 "\t- Body - two lines \n"
                                 "\t- Duration - -30\n"
                                 "\t- Notes%1 - %2 stays\n"
                                 "\t- Size%2 - 5\n"
                                 "close programm\n\n"));
}

TEST_F(LogFileTest, NonAsciiLineIsWrittenWholeAsUtf8)
{
    const QString line = QString::fromUtf8("machineID = Jürgen’s 東京 PC 😀 done");
    {
        LogFile log;
        log.WriteLogLine(line);
        log.WriteLogLine(QStringLiteral("AS_GET_OWNER...error\n"));
    }
    EXPECT_EQ(Log(), line.toStdString() + "\nAS_GET_OWNER...error\n\nclose programm\n\n");
}

TEST_F(LogFileTest, LogThatCannotBeOpenedIsSilent)
{
    const QString path = dir_.path() + QStringLiteral("/no/such/folder/TwinLark.log");
    auto log = std::make_unique<LogFile>(path);
    EXPECT_FALSE(log->IsOpen());
    log->WriteLogLine(QStringLiteral("lost"));
    log.reset();
    EXPECT_FALSE(QFile::exists(path));
}

}  // namespace
