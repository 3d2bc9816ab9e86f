#include "platform/path_map.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <mutex>

#include "common/errors.h"
#include "platform/local_name_codec.h"

namespace {

constexpr char16_t kBackslashStandIn = 0xF05C;
// Marks a local name's own stand-in or escape character, so the mapping stays one to one.
constexpr char16_t kStandInEscape = 0xF05D;

bool IsSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

// --- Reading the mount table ---------------------------------------------------------------

// Mount table fields escape blanks, tabs, line feeds and backslashes as three octal digits.
QString DecodeMountField(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = true;
            for (char d : digits)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                out.append(static_cast<char>(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return DecodeLocalPath(out);
}

bool IsAtOrBelow(const QString& path, const QString& dir)
{
    return path == dir || path.startsWith(dir + QLatin1Char('/'));
}

// File systems of the kernel and of the system's own machinery: never a user's volume.
bool IsPseudoFileSystem(const QString& type)
{
    static const QStringList kTypes = {
        QStringLiteral("proc"),        QStringLiteral("sysfs"),
        QStringLiteral("devtmpfs"),    QStringLiteral("devpts"),
        QStringLiteral("cgroup"),      QStringLiteral("cgroup2"),
        QStringLiteral("securityfs"),  QStringLiteral("debugfs"),
        QStringLiteral("tracefs"),     QStringLiteral("pstore"),
        QStringLiteral("bpf"),         QStringLiteral("configfs"),
        QStringLiteral("fusectl"),     QStringLiteral("hugetlbfs"),
        QStringLiteral("mqueue"),      QStringLiteral("autofs"),
        QStringLiteral("binfmt_misc"), QStringLiteral("efivarfs"),
        QStringLiteral("nsfs"),        QStringLiteral("rpc_pipefs"),
        QStringLiteral("selinuxfs"),   QStringLiteral("nfsd"),
        QStringLiteral("overlay"),     QStringLiteral("squashfs"),
        QStringLiteral("fuse.lxcfs"),  QStringLiteral("fuse.gvfsd-fuse"),
        QStringLiteral("fuse.portal"), QStringLiteral("fuse.snapfuse"),
        QStringLiteral("rootfs"),
    };
    return kTypes.contains(type);
}

// Mount points inside the system's own trees (kernel interfaces, boot, runtime and package
// state): removable media that the desktop mounts below /run/media are the one exception.
bool IsSystemMountPoint(const QString& mountPoint)
{
    if (IsAtOrBelow(mountPoint, QStringLiteral("/run/media")))
        return false;
    static const QStringList kTrees = {
        QStringLiteral("/proc"),    QStringLiteral("/sys"),      QStringLiteral("/dev"),
        QStringLiteral("/run"),     QStringLiteral("/boot"),     QStringLiteral("/efi"),
        QStringLiteral("/snap"),    QStringLiteral("/tmp"),      QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lib"), QStringLiteral("/var/snap"), QStringLiteral("/var/run"),
    };
    return std::any_of(kTrees.begin(), kTrees.end(),
                       [&](const QString& tree) { return IsAtOrBelow(mountPoint, tree); });
}

bool IsRemoteFileSystem(const QString& type, const QString& source)
{
    static const QStringList kTypes = {
        QStringLiteral("nfs"),         QStringLiteral("nfs4"),       QStringLiteral("cifs"),
        QStringLiteral("smb3"),        QStringLiteral("smbfs"),      QStringLiteral("ncpfs"),
        QStringLiteral("afs"),         QStringLiteral("coda"),       QStringLiteral("9p"),
        QStringLiteral("ceph"),        QStringLiteral("glusterfs"),  QStringLiteral("lustre"),
        QStringLiteral("davfs"),       QStringLiteral("fuse.sshfs"), QStringLiteral("fuse.rclone"),
        QStringLiteral("fuse.davfs2"), QStringLiteral("fuse.s3fs"),  QStringLiteral("fuse.glusterfs"),
        QStringLiteral("fuse.cephfs"),
    };
    return kTypes.contains(type) || source.startsWith(QLatin1String("//"));
}

DriveType ClassifyMount(const QString& source, const QString& mountPoint, const QString& type,
                        const MountTableProbes& probes)
{
    if (IsRemoteFileSystem(type, source))
        return DriveType::Remote;
    if (type == QLatin1String("iso9660") || type == QLatin1String("udf") ||
        source.startsWith(QLatin1String("/dev/sr")) || source.startsWith(QLatin1String("/dev/cdrom")))
        return DriveType::CdRom;
    if (type == QLatin1String("tmpfs") || type == QLatin1String("ramfs") ||
        source.startsWith(QLatin1String("/dev/ram")) || source.startsWith(QLatin1String("/dev/zram")))
        return DriveType::RamDisk;
    if (IsAtOrBelow(mountPoint, QStringLiteral("/media")) ||
        IsAtOrBelow(mountPoint, QStringLiteral("/run/media")))
        return DriveType::Removable;
    if (source.startsWith(QLatin1String("/dev/")) && probes.isRemovableDevice &&
        probes.isRemovableDevice(source))
        return DriveType::Removable;
    return DriveType::Fixed;
}

// Whether the block device behind a device path is removable media, as the kernel reports it
// for the whole disk (a partition inherits its disk's flag).
bool SysfsSaysRemovable(const QString& device)
{
    const QString name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    if (name.isEmpty())
        return false;
    const QString node = QFileInfo(QStringLiteral("/sys/class/block/") + name).canonicalFilePath();
    if (node.isEmpty())
        return false;
    for (const QString& dir : {node, QFileInfo(node).path()}) {
        QFile flag(dir + QStringLiteral("/removable"));
        if (flag.open(QIODevice::ReadOnly))
            return flag.readAll().trimmed() == "1";
    }
    return false;
}

// --- The drive table -----------------------------------------------------------------------

struct DriveTableCache {
    std::mutex mutex;
    std::vector<DriveInfo> testTable;
    std::vector<DriveInfo> systemTable;
    bool systemTableValid = false;
    int mountsFd = -1;  // /proc/self/mounts, polled for changes of the mount table
};

DriveTableCache& Cache()
{
    static DriveTableCache cache;
    return cache;
}

QByteArray ReadAllFromFd(int fd)
{
    QByteArray all;
    if (lseek(fd, 0, SEEK_SET) != 0)
        return all;
    char buffer[8192];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        all.append(buffer, n);
    }
    return all;
}

// The kernel flags the mount table file with POLLPRI once after every change of the table.
bool MountTableChanged(int fd)
{
    pollfd p{fd, POLLPRI, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR)) != 0;
}

std::vector<DriveInfo> SystemDrives(DriveTableCache& cache)
{
    if (cache.mountsFd < 0)
        cache.mountsFd = open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (cache.mountsFd < 0)
        return {DriveInfo{'C', QStringLiteral("/"), DriveType::Fixed}};
    const bool changed = MountTableChanged(cache.mountsFd);
    if (!cache.systemTableValid || changed) {
        MountTableProbes probes;
        probes.isRemovableDevice = SysfsSaysRemovable;
        probes.isDirectory = [](const QString& path) { return QFileInfo(path).isDir(); };
        cache.systemTable = DrivesFromMountTable(ReadAllFromFd(cache.mountsFd), probes);
        cache.systemTableValid = true;
    }
    return cache.systemTable;
}

// The drive that holds a clean absolute local path: the one with the deepest mount point.
const DriveInfo* DriveHolding(const std::vector<DriveInfo>& drives, const QString& path)
{
    const DriveInfo* best = nullptr;
    for (const DriveInfo& d : drives) {
        const bool holds = d.mountPoint == QLatin1String("/") || IsAtOrBelow(path, d.mountPoint);
        if (holds && (!best || d.mountPoint.size() > best->mountPoint.size()))
            best = &d;
    }
    return best;
}

}  // namespace

QString DriveInfo::PeerRoot() const
{
    return QString(QLatin1Char(letter)) + QStringLiteral(":\\");
}

std::vector<DriveInfo> DrivesFromMountTable(const QByteArray& mountTable, const MountTableProbes& probes)
{
    DriveInfo root{'C', QStringLiteral("/"), DriveType::Fixed};
    std::vector<DriveInfo> others;
    for (const QByteArray& line : mountTable.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3)
            continue;
        const QString source = DecodeMountField(fields[0]);
        const QString mountPoint = QDir::cleanPath(DecodeMountField(fields[1]));
        const QString type = DecodeMountField(fields[2]);
        if (!mountPoint.startsWith(QLatin1Char('/')))
            continue;
        if (mountPoint == QLatin1String("/")) {
            // A later mount on "/" hides the earlier one (rootfs, then the real root).
            if (type != QLatin1String("rootfs"))
                root.type = ClassifyMount(source, mountPoint, type, probes);
            continue;
        }
        if (IsPseudoFileSystem(type) || IsSystemMountPoint(mountPoint))
            continue;
        if (probes.isDirectory && !probes.isDirectory(mountPoint))
            continue;
        const DriveType driveType = ClassifyMount(source, mountPoint, type, probes);
        auto same = std::find_if(others.begin(), others.end(),
                                 [&](const DriveInfo& d) { return d.mountPoint == mountPoint; });
        if (same != others.end()) {
            // Mounted over an earlier volume: the point keeps its letter, the newer volume shows.
            same->type = driveType;
            continue;
        }
        if (others.size() >= static_cast<std::size_t>('Z' - 'C'))
            continue;
        others.push_back(DriveInfo{static_cast<char>('D' + others.size()), mountPoint, driveType});
    }
    std::vector<DriveInfo> drives{root};
    drives.insert(drives.end(), others.begin(), others.end());
    return drives;
}

std::vector<DriveInfo> Drives()
{
    DriveTableCache& cache = Cache();
    std::lock_guard lock(cache.mutex);
    if (!cache.testTable.empty())
        return cache.testTable;
    return SystemDrives(cache);
}

std::optional<DriveInfo> DriveOfLetter(QChar letter)
{
    const char16_t u = letter.toUpper().unicode();
    if (u < u'A' || u > u'Z')
        return std::nullopt;
    for (const DriveInfo& d : Drives()) {
        if (d.letter == static_cast<char>(u))
            return d;
    }
    return std::nullopt;
}

bool IsDriveRoot(const QString& localPath)
{
    const QString clean = QDir::cleanPath(localPath);
    const std::vector<DriveInfo> drives = Drives();
    return std::any_of(drives.begin(), drives.end(),
                       [&](const DriveInfo& d) { return d.mountPoint == clean; });
}

void SetDriveTableForTesting(std::vector<DriveInfo> table)
{
    for (DriveInfo& d : table) {
        d.letter = static_cast<char>(QChar(QLatin1Char(d.letter)).toUpper().toLatin1());
        d.mountPoint = QDir::cleanPath(d.mountPoint);
    }
    std::sort(table.begin(), table.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
    DriveTableCache& cache = Cache();
    std::lock_guard lock(cache.mutex);
    cache.testTable = std::move(table);
}

QString PeerNameOfLocalName(const QString& localName)
{
    QString name;
    name.reserve(localName.size());
    for (const QChar c : localName) {
        if (c == QLatin1Char('\\')) {
            name.append(QChar(kBackslashStandIn));
            continue;
        }
        if (c.unicode() == kBackslashStandIn || c.unicode() == kStandInEscape) name.append(QChar(kStandInEscape));
        name.append(c);
    }
    return name;
}

QString LocalNameOfPeerName(const QString& peerName)
{
    QString name;
    name.reserve(peerName.size());
    for (qsizetype i = 0; i < peerName.size(); ++i) {
        const char16_t u = peerName[i].unicode();
        if (u == kBackslashStandIn) {
            name.append(QLatin1Char('\\'));
        } else if (u == kStandInEscape) {
            if (i + 1 == peerName.size() ||
                (peerName[i + 1].unicode() != kBackslashStandIn && peerName[i + 1].unicode() != kStandInEscape))
                throw AgentError("a file name holds a stray escape character: \"" + peerName.left(300).toStdString() +
                                 "\"");
            name.append(peerName[++i]);
        } else {
            name.append(peerName[i]);
        }
    }
    return name;
}

QString PeerToLocalPath(const QString& peerPath)
{
    const auto refuse = [&](const char* why) {
        return AgentError(std::string(why) + ": \"" + peerPath.left(300).toStdString() + "\"");
    };
    if (peerPath.contains(QChar(0)))
        throw refuse("path holds a zero character");
    if (HasUnpairedSurrogate(peerPath))
        throw refuse("path holds an unpaired UTF-16 surrogate");
    if (peerPath.size() < 2 || peerPath[1] != QLatin1Char(':') || !peerPath[0].isLetter() ||
        peerPath[0].unicode() > 0x7F)
        throw refuse("path names no drive");
    const std::optional<DriveInfo> drive = DriveOfLetter(peerPath[0]);
    if (!drive)
        throw refuse("no such drive");
    if (peerPath.size() > 2 && !IsSeparator(peerPath[2]))
        throw refuse("path is relative to the drive's current folder");

    // Windows resolves "." and ".." by the text; ".." at the root stays at the root.
    QStringList components;
    qsizetype start = 2;
    for (qsizetype i = 2; i <= peerPath.size(); ++i) {
        if (i < peerPath.size() && !IsSeparator(peerPath[i]))
            continue;
        const QString component = peerPath.mid(start, i - start);
        start = i + 1;
        if (component.isEmpty() || component == QLatin1String("."))
            continue;
        if (component == QLatin1String("..")) {
            if (!components.isEmpty())
                components.removeLast();
            continue;
        }
        components.append(LocalNameOfPeerName(component));
    }
    if (components.isEmpty())
        return drive->mountPoint;
    const QString joined = components.join(QLatin1Char('/'));
    (void)EncodeLocalPath(joined);  // refuses a text that names no local file, before anyone uses it
    return drive->mountPoint == QLatin1String("/") ? QLatin1Char('/') + joined
                                                   : drive->mountPoint + QLatin1Char('/') + joined;
}

QString LocalToPeerPath(const QString& localPath)
{
    if (!localPath.startsWith(QLatin1Char('/')))
        throw AgentError("not an absolute path: \"" + localPath.left(300).toStdString() + "\"");
    const QString clean = QDir::cleanPath(localPath);
    const std::vector<DriveInfo> drives = Drives();
    const DriveInfo* drive = DriveHolding(drives, clean);
    if (!drive)
        throw AgentError("path lies on no drive: \"" + localPath.left(300).toStdString() + "\"");
    const QString below =
        drive->mountPoint == QLatin1String("/") ? clean.mid(1) : clean.mid(drive->mountPoint.size() + 1);
    QStringList components;
    for (const QString& name : below.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        components.append(PeerNameOfLocalName(name));
    return drive->PeerRoot() + components.join(QLatin1Char('\\'));
}
