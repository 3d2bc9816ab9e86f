#include "app/ui/twinlark_app.h"

#include <QApplication>
#include <QSessionManager>

#include "app/runtime/exit_signals.h"
#include "app/runtime/headless_agent.h"
#include "app/runtime/norvane_library.h"
#include "app/ui/message_box.h"
#include "app/ui/twinlark_dlg.h"
#include "core/log_file.h"

CTwinLarkApp::CTwinLarkApp(int& argc, char** argv) : argc_(argc), argv_(argv) {}

CTwinLarkApp::~CTwinLarkApp() = default;

int CTwinLarkApp::Run()
{
    InitInstance();
    return ExitInstance();
}

bool CTwinLarkApp::CreateInstallMutex()
{
    return lock_.Acquire(&globalLockError_) == InstallLock::Outcome::Taken;
}

bool CTwinLarkApp::InitInstance()
{
    // A second agent of the session leaves at once and without a word, before it touches the
    // display or any file of the first.
    if (!CreateInstallMutex()) return false;

    if (!ChooseWindowPlatform()) {
        RunWithoutWindows();
        return false;
    }

    qapp_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setApplicationName(QStringLiteral("TwinLark"));
    // Hidden windows and closed prompts never end the agent; only its exit sequence does.
    QApplication::setQuitOnLastWindowClosed(false);

    {
        CTwinLarkDlg dialog;
        if (globalLockError_ != 0)
            ShowMessageBox(QStringLiteral("Can't create install mutex [%1]").arg(globalLockError_),
                           &dialog.Log());

        updater_ = NorvaneLibrary::Load();
        dialog.SetUpdater(updater_.get());

        // The end of the session (signals, the desktop's log-out) runs the same exit sequence.
        ExitSignalWatcher sessionEnd;
        QObject::connect(&sessionEnd, &ExitSignalWatcher::exitRequested, &dialog,
                         [&dialog] { dialog.OnEndSession(); });
        QObject::connect(qapp_.get(), &QGuiApplication::commitDataRequest, &dialog,
                         [&dialog](QSessionManager&) { dialog.OnEndSession(); });

        dialog.RunModal();
    }
    return false;
}

bool CTwinLarkApp::ChooseWindowPlatform()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;  // the user's (or the test's) choice, offscreen included
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!x11 && !wayland) return false;
    // A display that cannot be reached must not abort the agent: Qt then falls back to its
    // offscreen platform, where the window exists without a screen and the agent still serves.
    qputenv("QT_QPA_PLATFORM", wayland ? "wayland;xcb;offscreen" : "xcb;offscreen");
    return true;
}

void CTwinLarkApp::RunWithoutWindows()
{
    QCoreApplication core(argc_, argv_);
    HeadlessAgent agent;
    agent.Start();
    agent.log().WriteLogLine(QStringLiteral("no display: TwinLark serves without its window and tray icon"));
    QCoreApplication::exec();
}

int CTwinLarkApp::ExitInstance()
{
    lock_.Release();
    updater_.reset();
    qapp_.reset();
    return 0;
}
