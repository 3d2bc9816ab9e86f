#include "app/runtime/norvane_library.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

class NorvaneLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        callLog_ = dir_.filePath(QStringLiteral("calls.txt"));
        qputenv("FAKE_NORVANE_LOG", callLog_.toLocal8Bit());
    }
    void TearDown() override
    {
        qunsetenv("FAKE_NORVANE_LOG");
        qunsetenv("FAKE_NORVANE_INIT");
        qunsetenv(kNorvaneLibraryVariable);
    }
    QStringList Calls() const
    {
        QFile file(callLog_);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir dir_;
    QString callLog_;
};

TEST_F(NorvaneLibraryTest, MissingLibraryIsNoError)
{
    EXPECT_EQ(NorvaneLibrary::Load(dir_.filePath(QStringLiteral("libNorvane.so"))), nullptr);
    EXPECT_EQ(NorvaneLibrary::LibraryPath(), QStringLiteral("libNorvane.so"));
    qputenv(kNorvaneLibraryVariable, TWINLARK_FAKE_NORVANE);
    EXPECT_EQ(NorvaneLibrary::LibraryPath(), QStringLiteral(TWINLARK_FAKE_NORVANE));
}

TEST_F(NorvaneLibraryTest, ValuesReachTheLibraryAsTaggedValues)
{
    auto library = NorvaneLibrary::Load(QStringLiteral(TWINLARK_FAKE_NORVANE));
    ASSERT_NE(library, nullptr);
    qputenv("FAKE_NORVANE_INIT", "-1");
    EXPECT_EQ(library->Init(QString(), QStringLiteral("https://example.invalid/settings.xml")), -1);
    library->SetProductName(QStringLiteral("TwinLark"));
    library->SetLanguage(QStringLiteral("1049"));
    library->SetSendStats(false);
    library->SetWhenCheckForUpdate(1);
    library->SetVisibleButtons(15);
    library->Check();
    library->Close();
    EXPECT_EQ(Calls(), (QStringList{
                           QStringLiteral("Update_Init(text:,text:https://example.invalid/settings.xml)"),
                           QStringLiteral("Update_SetProductName(text:TwinLark)"),
                           QStringLiteral("Update_SetLanguage(text:1049)"),
                           QStringLiteral("Update_SetSendStats(bool:0)"),
                           QStringLiteral("Update_SetWhenCheckForUpdate(int:1)"),
                           QStringLiteral("Update_SetVisibleButtons(int:15)"),
                           QStringLiteral("Update_Check"),
                           QStringLiteral("Update_Close"),
                       }));
}

TEST_F(NorvaneLibraryTest, MissingExportsAreSkipped)
{
    auto library = NorvaneLibrary::Load(QStringLiteral(TWINLARK_FAKE_NORVANE_PARTIAL));
    ASSERT_NE(library, nullptr);
    EXPECT_FALSE(library->HasExport("Update_Check"));
    EXPECT_TRUE(library->HasExport("Update_Init"));
    library->SetLanguage(QStringLiteral("1033"));
    library->Check();
    library->CheckManual();
    EXPECT_EQ(Calls(), QStringList{QStringLiteral("Update_CheckManual")});
}

}  // namespace
