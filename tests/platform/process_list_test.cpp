#include "platform/process_list.h"

#include <gtest/gtest.h>

#include "support/temp_home.h"

namespace {

TEST(ProcessList, NamesEveryProcessByItsKernelNameAndItsProgramFile)
{
    TempHome root;
    root.WriteFile("proc/1/comm", "systemd\n");
    root.WriteFile("proc/1/cmdline", QByteArray("/sbin/init\0splash\0", 18));
    // A content process: its kernel name is not its program's.
    root.WriteFile("proc/42/comm", "Web Content\n");
    root.WriteFile("proc/42/cmdline", QByteArray("/usr/lib/firefox-esr/firefox-esr\0-contentproc\0", 46));
    // A Windows program under Wine.
    root.WriteFile("proc/88/comm", "FIREFOX.EXE\n");
    root.WriteFile("proc/88/cmdline", QByteArray("C:\\Program Files\\Mozilla Firefox\\Firefox.exe\0", 45));
    // A kernel thread has no command line; a process that ended left an empty folder.
    root.WriteFile("proc/2/comm", "kthreadd\n");
    root.WriteFile("proc/2/cmdline", "");
    root.WriteFile("proc/77/.keep", "");
    root.WriteFile("proc/self/comm", "ignored\n");

    QStringList names = RunningProgramNames(root.Path("proc"));
    names.sort();
    EXPECT_EQ(names,
              (QStringList{"firefox-esr", "firefox.exe", "init", "kthreadd", "systemd", "web content"}));
    EXPECT_TRUE(RunningProgramNames(root.Path("missing")).isEmpty());
}

TEST(ProcessList, SeesThisVeryProcess)
{
    EXPECT_TRUE(RunningProgramNames().contains("unit_tests"));
}

}  // namespace
