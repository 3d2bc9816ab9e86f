#include "app/runtime/install_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileInfo>
#include <QTemporaryDir>

namespace {

TEST(InstallLock, SecondHolderOfTheSessionIsRefusedUntilTheFirstEnds)
{
    QTemporaryDir session, global;
    InstallLock first(session.path(), global.path());
    InstallLock second(session.path(), global.path());
    EXPECT_EQ(first.Acquire(), InstallLock::Outcome::Taken);
    EXPECT_EQ(second.Acquire(), InstallLock::Outcome::HeldElsewhere);
    EXPECT_EQ(QFileInfo(first.SessionLockPath()).fileName(),
              QStringLiteral("_7C52A1E0-3B9F-4d16-8E47-D2B05F9C6A13"));
    EXPECT_EQ(QFileInfo(first.GlobalLockPath()).fileName(),
              QStringLiteral("Global_7C52A1E0-3B9F-4d16-8E47-D2B05F9C6A13"));
    first.Release();
    EXPECT_EQ(second.Acquire(), InstallLock::Outcome::Taken);
}

TEST(InstallLock, GlobalFileIsOpenToEveryUserAndSharedAcrossSessions)
{
    QTemporaryDir sessionA, sessionB, global;
    InstallLock a(sessionA.path(), global.path());
    InstallLock b(sessionB.path(), global.path());
    int errorA = -1, errorB = -1;
    EXPECT_EQ(a.Acquire(&errorA), InstallLock::Outcome::Taken);
    EXPECT_EQ(b.Acquire(&errorB), InstallLock::Outcome::Taken);  // another session may run its own agent
    EXPECT_EQ(errorA, 0);
    EXPECT_EQ(errorB, 0);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(a.GlobalLockPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u);
}

TEST(InstallLock, GlobalFailureIsReportedButDoesNotStopTheAgent)
{
    QTemporaryDir session;
    InstallLock lock(session.path(), session.filePath(QStringLiteral("missing-folder")));
    int error = 0;
    EXPECT_EQ(lock.Acquire(&error), InstallLock::Outcome::Taken);
    EXPECT_NE(error, 0);
}

TEST(InstallLock, UnusableSessionFolderCountsAsHeld)
{
    QTemporaryDir global;
    InstallLock lock(global.filePath(QStringLiteral("missing-folder")), global.path());
    EXPECT_EQ(lock.Acquire(), InstallLock::Outcome::HeldElsewhere);
}

}  // namespace
