#include "core/log_file.h"
#include "core/log_text.h"

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

namespace {

TEST_F(LogFileTest, APeersTextCannotForgeLinesOrGrowTheLogWithoutBound)
{
    {
        LogFile log;
        log.WriteLogLine(QStringLiteral("AS_MACHINE_ID: evil\r\nAS_LOGIN...ok\x01"));
        log.WriteLogLine(QStringLiteral("\t- Body - fine\ttabs stay"));
        log.WriteLogLine(QString(10'000, QLatin1Char('x')));
    }
    const std::string log = Log();
    EXPECT_NE(log.find("AS_MACHINE_ID: evil\\r\\nAS_LOGIN...ok\\x01\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("\nAS_LOGIN"), std::string::npos);
    EXPECT_NE(log.find("\t- Body - fine\ttabs stay\n"), std::string::npos);
    EXPECT_NE(log.find(std::string(kMaxLogLineUnits, 'x') + " [" + std::to_string(10'000 - kMaxLogLineUnits) +
                       " more characters left out]\n"),
              std::string::npos);
}

TEST(LogLineTextTest, EveryControlCharacterButTabIsEscaped)
{
    const struct {
        QString line;
        QString written;
    } cases[] = {
        {QStringLiteral("a\rb\nc"), QStringLiteral("a\\rb\\nc")},
        {QStringLiteral("a\x01z\x1f"), QStringLiteral("a\\x01z\\x1f")},
        {QStringLiteral("del\x7f"), QStringLiteral("del\\x7f")},
        // C1: NEL ends a line for some readers; the whole range goes as bytes would.
        {QStringLiteral("AS_MACHINE_ID: x\u0085AS_LOGIN...ok"),
         QStringLiteral("AS_MACHINE_ID: x\\x85AS_LOGIN...ok")},
        {QStringLiteral("\u0080\u009f"), QStringLiteral("\\x80\\x9f")},
        // Not controls: kept as they are.
        {QStringLiteral("tab\tnbsp\u00a0caf\u00e9"), QStringLiteral("tab\tnbsp\u00a0caf\u00e9")},
        {QStringLiteral("ends in its own mark\n"), QStringLiteral("ends in its own mark\n")},
    };
    for (const auto& c : cases) EXPECT_EQ(LogLineText(c.line), c.written) << c.line.toStdString();
}

TEST_F(LogFileTest, AFullLogIsRotatedKeepingOnePreviousFile)
{
    {
        LogFile log;
        log.SetRotationLimitForTesting(1000);
        for (int i = 0; i < 100; ++i) log.WriteLogLine(QStringLiteral("line %1 of a rather chatty peer").arg(i));
    }
    QFile current(LogPath());
    QFile previous(LogPath() + QStringLiteral(".1"));
    ASSERT_TRUE(current.open(QIODevice::ReadOnly));
    ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
    EXPECT_LE(current.size(), 1000);
    EXPECT_LE(previous.size(), 1000);
    EXPECT_TRUE(current.readAll().contains("line 99 of"));
    EXPECT_FALSE(QFile::exists(LogPath() + QStringLiteral(".2")));
}

}  // namespace
