#include "platform/time_zone_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/scoped_env.h"

namespace {

void Write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A zone folder of the test's own: what it lists counts, a FIFO, a link to a device and a text
// that climbs out of it never do, and the system's zone table counts whatever the folder.
TEST(TimeZoneNames, OnlyWhatTheSystemListsCountsInAnyCase)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    Write(root + "/Area/Place", "TZif");
    Write(root + "/Area/Deeper/Still", "TZif");
    Write(root + "/zone.tab", "table");
    ASSERT_EQ(::symlink("Place", QFile::encodeName(root + "/Area/Old_Place").constData()), 0);
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(root + "/Area/Device").constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/Area/Pipe").constData(), 0600), 0);
    // The compiled source names links that need not be files of the folder.
    Write(root + "/tzdata.zi", "# version\nZ Area/Place 1 - PT\nL Area/Place Other/Link\nL broken\n");
    ScopedEnv tzdir("TZDIR", QFile::encodeName(root));

    const struct {
        const char* name;
        const char* listed;
    } cases[] = {
        {"Area/Place", "Area/Place"},
        {"AREA/place", "Area/Place"},
        {"Area/Old_Place", "Area/Old_Place"},
        {"Area/Deeper/Still", "Area/Deeper/Still"},
        {"other/link", "Other/Link"},
        {"Europe/Lisbon", "Europe/Lisbon"},  // the system's zone table
        {"Area/Device", ""},
        {"Area/Pipe", ""},
        {"Area", ""},
        {"zone.tab", ""},
        {"Area/../Area/Place", ""},
        {"../../../dev/ptmx", ""},
        {"/dev/zero", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ListedTimeZoneName(QString::fromLatin1(c.name)), QString::fromLatin1(c.listed)) << c.name;
    EXPECT_EQ(ListedTimeZoneName(QString(200, u'A')), QString()) << "no name is that long";
}

}  // namespace
