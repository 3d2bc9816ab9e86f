#include "platform/path_map.h"

#include <gtest/gtest.h>

#include <QDir>

#include "common/errors.h"

namespace {

const QString kBackslashStandIn = QString(QChar(0xF05C));

class PathMapTest : public ::testing::Test {
protected:
    // C: is a folder of its own, D: a volume mounted inside it, E: one elsewhere.
    ScopedDriveTableForTesting table_{{
        {'C', QStringLiteral("/srv/peer-c"), DriveType::Fixed},
        {'D', QStringLiteral("/srv/peer-c/mnt/disk"), DriveType::Fixed},
        {'E', QStringLiteral("/media/alice/STICK"), DriveType::Removable},
    }};
};

TEST_F(PathMapTest, PeerPathsBecomeLocalPaths)
{
    const struct {
        QString peer;
        QString local;
    } cases[] = {
        {QStringLiteral("C:\\Users\\alice\\x.txt"), QStringLiteral("/srv/peer-c/Users/alice/x.txt")},
        {QStringLiteral("C:/Users/alice/x.txt"), QStringLiteral("/srv/peer-c/Users/alice/x.txt")},
        {QStringLiteral("c:\\Users/alice\\x.txt"), QStringLiteral("/srv/peer-c/Users/alice/x.txt")},
        {QStringLiteral("C:"), QStringLiteral("/srv/peer-c")},
        {QStringLiteral("C:\\"), QStringLiteral("/srv/peer-c")},
        {QStringLiteral("C:\\a\\\\b\\.\\c\\"), QStringLiteral("/srv/peer-c/a/b/c")},
        {QStringLiteral("C:\\a\\..\\..\\..\\b"), QStringLiteral("/srv/peer-c/b")},
        {QStringLiteral("E:\\..\\etc\\passwd"), QStringLiteral("/media/alice/STICK/etc/passwd")},
        {QStringLiteral("D:\\photo.jpg"), QStringLiteral("/srv/peer-c/mnt/disk/photo.jpg")},
        {QStringLiteral("C:\\x:y\\name with  blanks"), QStringLiteral("/srv/peer-c/x:y/name with  blanks")},
        {QStringLiteral("C:\\a") + kBackslashStandIn + QStringLiteral("b"),
         QStringLiteral("/srv/peer-c/a\\b")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PeerToLocalPath(c.peer), c.local) << c.peer.toStdString();
}

TEST_F(PathMapTest, PathsOnNoDriveAreRefused)
{
    const QString cases[] = {
        QString(),
        QStringLiteral("C"),
        QStringLiteral("relative\\x.txt"),
        QStringLiteral("C:relative.txt"),
        QStringLiteral("\\\\server\\share\\x"),
        QStringLiteral("/srv/peer-c/x"),
        QStringLiteral("Z:\\x"),
        QStringLiteral("1:\\x"),
        QString::fromUtf16(u"\u00C4:\\x"),
        QStringLiteral("C:\\a") + QChar(0) + QStringLiteral("b"),
    };
    for (const QString& peer : cases)
        EXPECT_THROW(PeerToLocalPath(peer), AgentError) << peer.toStdString();
}

TEST_F(PathMapTest, LocalPathsBecomePeerPathsOnTheirDeepestDrive)
{
    EXPECT_EQ(LocalToPeerPath(QStringLiteral("/srv/peer-c/Users/alice/x.txt")),
              QStringLiteral("C:\\Users\\alice\\x.txt"));
    EXPECT_EQ(LocalToPeerPath(QStringLiteral("/srv/peer-c")), QStringLiteral("C:\\"));
    EXPECT_EQ(LocalToPeerPath(QStringLiteral("/srv/peer-c/")), QStringLiteral("C:\\"));
    EXPECT_EQ(LocalToPeerPath(QStringLiteral("/srv/peer-c/mnt/disk/a//b")), QStringLiteral("D:\\a\\b"));
    EXPECT_EQ(LocalToPeerPath(QStringLiteral("/srv/peer-c/mnt/disked")), QStringLiteral("C:\\mnt\\disked"));
    EXPECT_EQ(LocalToPeerPath(QStringLiteral("/media/alice/STICK/x")), QStringLiteral("E:\\x"));
    EXPECT_EQ(LocalToPeerPath(QStringLiteral("/srv/peer-c/a\\b")),
              QStringLiteral("C:\\a") + kBackslashStandIn + "b");

    EXPECT_THROW(LocalToPeerPath(QStringLiteral("/srv/peer-cx")), AgentError);
    EXPECT_THROW(LocalToPeerPath(QStringLiteral("/etc/passwd")), AgentError);
    EXPECT_THROW(LocalToPeerPath(QStringLiteral("relative/x")), AgentError);
}

TEST_F(PathMapTest, PathsSurviveTheRoundTrip)
{
    for (const QString& local :
         {QStringLiteral("/srv/peer-c/Users/a b/c.d"), QStringLiteral("/srv/peer-c/mnt/disk/x/y"),
          QStringLiteral("/media/alice/STICK/odd\\name"), QStringLiteral("/srv/peer-c")})
        EXPECT_EQ(PeerToLocalPath(LocalToPeerPath(local)), local);
}

TEST_F(PathMapTest, DrivesComeInLetterOrder)
{
    SetDriveTableForTesting(
        {{'e', QStringLiteral("/e/"), DriveType::CdRom}, {'C', QStringLiteral("/"), DriveType::Fixed}});
    const std::vector<DriveInfo> drives = Drives();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].letter, 'C');
    EXPECT_EQ(drives[1].letter, 'E');
    EXPECT_EQ(drives[1].mountPoint, QStringLiteral("/e"));
    EXPECT_EQ(drives[1].PeerRoot(), QStringLiteral("E:\\"));
    EXPECT_EQ(DriveOfLetter(QLatin1Char('e'))->type, DriveType::CdRom);
    EXPECT_FALSE(DriveOfLetter(QLatin1Char('D')).has_value());
}

TEST(PathMapSystemTable, CIsTheRootOfTheFileSystem)
{
    const std::vector<DriveInfo> drives = Drives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives[0].letter, 'C');
    EXPECT_EQ(drives[0].mountPoint, QStringLiteral("/"));
    EXPECT_EQ(PeerToLocalPath(QStringLiteral("C:\\etc\\hostname")), QStringLiteral("/etc/hostname"));
    EXPECT_EQ(LocalToPeerPath(QDir::rootPath()), QStringLiteral("C:\\"));
    for (std::size_t i = 1; i < drives.size(); ++i)
        EXPECT_EQ(drives[i].letter, static_cast<char>('C' + i));
}

TEST(DrivesFromMountTable, GivesUserVolumesLettersInMountOrder)
{
    const QByteArray table =
        "proc /proc proc rw,nosuid 0 0\n"
        "sysfs /sys sysfs rw 0 0\n"
        "/dev/nvme0n1p2 / ext4 rw,relatime 0 0\n"
        "devtmpfs /dev devtmpfs rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "/dev/nvme0n1p1 /boot/efi vfat rw 0 0\n"
        "/dev/nvme0n1p3 /home ext4 rw 0 0\n"
        "tmpfs /run/user/1000 tmpfs rw 0 0\n"
        "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n"
        "/dev/loop3 /snap/core/1 squashfs ro 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "/dev/nvme0n1p2 /etc/hosts ext4 rw 0 0\n"
        "nas:/export /mnt/nas nfs4 rw 0 0\n"
        "//server/share /mnt/share cifs rw 0 0\n"
        "/dev/sr0 /mnt/cd iso9660 ro 0 0\n"
        "tmpfs /mnt/ram tmpfs rw 0 0\n"
        "/dev/sdb1 /media/alice/My\\040Stick vfat rw 0 0\n"
        "/dev/sdc1 /mnt/usb exfat rw 0 0\n"
        "/dev/sdd1 /mnt/usb ext4 rw 0 0\n"
        "overlay /var/lib/docker/overlay2/x/merged overlay rw 0 0\n";
    MountTableProbes probes;
    probes.isRemovableDevice = [](const QString& device) { return device == QLatin1String("/dev/sdd1"); };
    probes.isDirectory = [](const QString& path) { return path != QLatin1String("/etc/hosts"); };

    const std::vector<DriveInfo> drives = DrivesFromMountTable(table, probes);
    const struct {
        char letter;
        const char* mountPoint;
        DriveType type;
    } expected[] = {
        {'C', "/", DriveType::Fixed},
        {'D', "/home", DriveType::Fixed},
        {'E', "/mnt/nas", DriveType::Remote},
        {'F', "/mnt/share", DriveType::Remote},
        {'G', "/mnt/cd", DriveType::CdRom},
        {'H', "/mnt/ram", DriveType::RamDisk},
        {'I', "/media/alice/My Stick", DriveType::Removable},
        // Mounted over the exFAT volume: same letter, the newer volume's type.
        {'J', "/mnt/usb", DriveType::Removable},
    };
    ASSERT_EQ(drives.size(), std::size(expected));
    for (std::size_t i = 0; i < drives.size(); ++i) {
        EXPECT_EQ(drives[i].letter, expected[i].letter);
        EXPECT_EQ(drives[i].mountPoint, QString::fromUtf8(expected[i].mountPoint));
        EXPECT_EQ(drives[i].type, expected[i].type) << expected[i].mountPoint;
    }
}

TEST(DrivesFromMountTable, StopsAtZ)
{
    QByteArray table = "/dev/sda1 / ext4 rw 0 0\n";
    for (int i = 0; i < 40; ++i)
        table += "/dev/sdb" + QByteArray::number(i) + " /mnt/d" + QByteArray::number(i) + " ext4 rw 0 0\n";
    const std::vector<DriveInfo> drives = DrivesFromMountTable(table, {});
    ASSERT_EQ(drives.size(), 24u);
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().mountPoint, QStringLiteral("/mnt/d22"));
}

TEST(DrivesFromMountTable, AnEmptyTableStillHasC)
{
    const std::vector<DriveInfo> drives = DrivesFromMountTable({}, {});
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].mountPoint, QStringLiteral("/"));
    EXPECT_EQ(drives[0].type, DriveType::Fixed);
}

}  // namespace
