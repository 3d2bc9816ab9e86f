#pragma once
#include <memory>

#include "app/runtime/install_lock.h"

class QApplication;
class NorvaneLibrary;
class CTwinLarkDlg;

// The application object: the single-instance guard, the Qt application, the updater library
// and the main window, whose life is the program's.
class CTwinLarkApp {
public:
    CTwinLarkApp(int& argc, char** argv);
    ~CTwinLarkApp();

    // InitInstance then ExitInstance; the process's exit code.
    int Run();

    // Runs the whole agent; false always (the program ends when it returns).
    bool InitInstance();
    // Releases the guard and the updater; the exit code.
    int ExitInstance();
    // False when another agent of this session holds the guard.
    bool CreateInstallMutex();

private:
    // Whether a platform with windows is there (setting Qt's choice of it); false without any
    // display.
    bool ChooseWindowPlatform();
    // The agent without a window, for machines without a display.
    void RunWithoutWindows();

    int& argc_;
    char** argv_;
    InstallLock lock_;
    int globalLockError_ = 0;
    std::unique_ptr<NorvaneLibrary> updater_;
    std::unique_ptr<QApplication> qapp_;
};
