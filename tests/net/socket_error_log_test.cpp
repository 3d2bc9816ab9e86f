// The socket log: one escaped line per event, and no one else's to read.
#include "net/socket_error_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>

#include "support/temp_home.h"

namespace {

mode_t ModeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(SocketErrorLogTest, AForgedLineArrivesEscapedInAFileOfTheUsersAlone)
{
    TempHome home;
    const QString kLog = QStringLiteral(".local/share/TwinLark/logSocket.log");
    for (const bool existed : {false, true}) {
        SCOPED_TRACE(existed);
        if (existed) {
            home.WriteFile(kLog, "an earlier run\n");
            ASSERT_TRUE(QFile::setPermissions(
                home.Path(kLog), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
        } else {
            QFile::remove(home.Path(kLog));
        }
        {
            SocketErrorLog log;
            log.Write(QStringLiteral("Receive Size == -1\r\nAS_LOGIN...ok\u0085AS_GET_DRIVES...ok\n"));
        }
        EXPECT_EQ(home.ReadFile(kLog), "Receive Size == -1\\r\\nAS_LOGIN...ok\\x85AS_GET_DRIVES...ok\n");
        EXPECT_EQ(ModeOf(home.Path(kLog)), 0600u);
    }
}

}  // namespace
