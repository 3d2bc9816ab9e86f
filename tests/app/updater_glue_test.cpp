// The main window's use of the updater library, with a recording stand-in for it.
#include <gtest/gtest.h>

#include <QFile>

#include "app/runtime/norvane_library.h"
#include "app/ui/twinlark_dlg.h"
#include "net/agent_server.h"
#include "support/planted_settings.h"
#include "support/qt_event_loop.h"
#include "support/scoped_env.h"
#include "support/widget_application.h"

namespace {

const QString kInit =
    QStringLiteral("Update_Init(text:,text:%1)").arg(QString::fromLatin1(kUpdaterSettingsAddress));

class UpdaterGlueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_WIDGET_APPLICATION();
        PlantSettings(home_, {{QStringLiteral("langID"), 1049}});
        callLog_ = home_.Path(QStringLiteral("updater-calls.txt"));
        logEnv_.emplace("FAKE_NORVANE_LOG", callLog_.toLocal8Bit());
    }
    // The window with the stand-in library; `terminated` records an end demanded at start-up.
    CTwinLarkDlg& Open(const char* library = TWINLARK_FAKE_NORVANE)
    {
        library_ = NorvaneLibrary::Load(QString::fromLatin1(library));
        EXPECT_NE(library_, nullptr);
        dialog_ = std::make_unique<CTwinLarkDlg>();
        dialog_->SetUpdater(library_.get());
        dialog_->SetProcessTerminator([this] { terminated_ = true; });
        dialog_->OnInitDialog();
        return *dialog_;
    }
    QStringList Calls() const
    {
        QFile file(callLog_);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString Log() const
    {
        return QString::fromUtf8(
            home_.ReadFile(QStringLiteral(".local/share/TwinLark/TwinLark.log")).value_or(""));
    }
    void TearDown() override
    {
        dialog_.reset();
        library_.reset();
    }

    TempHome home_;
    QString callLog_;
    std::optional<ScopedEnv> logEnv_;
    std::unique_ptr<NorvaneLibrary> library_;
    std::unique_ptr<CTwinLarkDlg> dialog_;
    bool terminated_ = false;
};

const QStringList kStartupCalls = {
    QStringLiteral("Set_OnCloseApplication(context)"),
    kInit,
    QStringLiteral("Update_SetProductName(text:TwinLark)"),
    QStringLiteral("Update_SetLanguage(text:1049)"),
    QStringLiteral("Update_SetSendStats(bool:0)"),
    QStringLiteral("Update_SetWhenCheckForUpdate(int:1)"),
    QStringLiteral("Update_SetVisibleButtons(int:15)"),
    QStringLiteral("Update_Check"),
};

const QStringList kManualCalls = {
    QStringLiteral("Update_Close"),
    QStringLiteral("Set_OnNoUpdatesAvailable(none)"),
    QStringLiteral("Set_OnCloseApplication(context)"),
    QStringLiteral("Set_OnError(none)"),
    QStringLiteral("Update_SetParentWnd"),
    kInit,
    QStringLiteral("Update_SetProductName(text:TwinLark)"),
    QStringLiteral("Update_SetLanguage(text:1049)"),
    QStringLiteral("Update_SetSendStats(bool:0)"),
    QStringLiteral("Update_SetVisibleButtons(int:15)"),
    QStringLiteral("Update_SetWhenCheckForUpdate(int:1)"),
    QStringLiteral("Update_CheckManual"),
};

TEST_F(UpdaterGlueTest, StartupAndManualCheckCallInTheirOrder)
{
    CTwinLarkDlg& dlg = Open();
    EXPECT_EQ(Calls(), kStartupCalls);
    dlg.OnCommand(32779);
    EXPECT_EQ(Calls(), kStartupCalls + kManualCalls);
    dlg.OnExit();
    EXPECT_EQ(Calls().last(), QStringLiteral("Update_Close"));
    EXPECT_FALSE(terminated_);
}

TEST_F(UpdaterGlueTest, InitAnswersChangeTheCourse)
{
    {
        ScopedEnv init("FAKE_NORVANE_INIT", QByteArray("-1"));
        CTwinLarkDlg& dlg = Open();
        EXPECT_EQ(Calls(), (QStringList{QStringLiteral("Set_OnCloseApplication(context)"), kInit}));
        EXPECT_TRUE(dlg.Server().IsRunning());  // the agent goes on without the rest of the set-up
        dlg.OnCommand(32779);
        EXPECT_EQ(Calls().last(), kInit);  // a manual check stops there too
        EXPECT_FALSE(dlg.ExitStarted());
    }
    TearDown();
    QFile::remove(callLog_);
    {
        ScopedEnv init("FAKE_NORVANE_INIT", QByteArray("1"));
        Open();
        EXPECT_TRUE(terminated_);  // at start-up: the process ends at once
        EXPECT_EQ(Calls().size(), 2);
        terminated_ = false;
        dialog_->OnCommand(32779);
        EXPECT_TRUE(dialog_->ExitStarted());  // in a manual check: the ordinary exit
        EXPECT_FALSE(terminated_);
    }
}

TEST_F(UpdaterGlueTest, CallbacksReachTheWindow)
{
    ScopedEnv noUpdates("FAKE_NORVANE_NO_UPDATES_ON", QByteArray("Update_CheckManual"));
    ScopedEnv error("FAKE_NORVANE_ERROR_ON", QByteArray("Update_CheckManual:404"));
    ScopedEnv close("FAKE_NORVANE_CLOSE_ON", QByteArray("Update_CheckManual"));
    CTwinLarkDlg& dlg = Open();
    dlg.OnCommand(32779);
    // Message boxes cannot be answered on the offscreen platform: they go to the log.
    ASSERT_TRUE(ProcessEventsUntil([&] { return dlg.ExitStarted(); }));
    ASSERT_TRUE(ProcessEventsUntil([&] { return Log().contains(QStringLiteral(" - 404")); }));
    EXPECT_TRUE(
        Log().contains(QStringLiteral("Вы используете последнюю версию модуля TwinLark для Windows\n")));
    EXPECT_TRUE(Log().contains(QStringLiteral("При поиске обновлений произошла ошибка - 404\n")));
}

TEST_F(UpdaterGlueTest, ErrorTexts)
{
    EXPECT_EQ(CTwinLarkDlg::UpdateErrorText(1033, 404),
              QStringLiteral("An error occurred while searching for updates - 404"));
    EXPECT_EQ(CTwinLarkDlg::UpdateErrorText(1033, 12029),
              QStringLiteral("An error occurred while searching for updates - 12029"));
    EXPECT_TRUE(CTwinLarkDlg::UpdateErrorText(1033, 2).startsWith(QStringLiteral(" - 2 ")));
    EXPECT_TRUE(CTwinLarkDlg::UpdateErrorText(1033, 600).startsWith(QStringLiteral(" - 600 ")));
}

TEST_F(UpdaterGlueTest, LibraryLackingExportsStillRuns)
{
    CTwinLarkDlg& dlg = Open(TWINLARK_FAKE_NORVANE_PARTIAL);
    EXPECT_FALSE(Calls().contains(QStringLiteral("Update_Check")));
    EXPECT_TRUE(Calls().contains(QStringLiteral("Update_SetVisibleButtons(int:15)")));
    dlg.OnCommand(32779);
    EXPECT_EQ(Calls().last(), QStringLiteral("Update_CheckManual"));
}

}  // namespace
