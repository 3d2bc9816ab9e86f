#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The peer names files the Windows way: "C:\Users\alice\x.txt" (or with '/'). This is the one
// place where such paths become local paths and local paths become peer paths.
//
// Drives: C: is the root file system "/"; every further mounted volume that a user would call a
// disk (block devices, network shares, CD-ROMs, RAM disks outside the system's own trees) gets
// the next letter, D:, E:, ..., in the order of the mount table. A path belongs to the drive
// with the deepest mount point that contains it, so a file on a volume mounted at /media/stick
// maps back to "D:\x" and not to "C:\media\stick\x"; both peer names lead to the same file.
//
// Names: a local name may hold '\', which a peer path cannot carry inside a name; it travels
// as U+F05C (the private-use stand-in other Windows/POSIX bridges use) and returns as '\'.

// The drive types of the Windows drive query, with their numbers on the wire.
enum class DriveType : std::uint32_t {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

struct DriveInfo {
    char letter = 'C';   // upper case
    QString mountPoint;  // absolute local path without trailing '/' (except "/" itself)
    DriveType type = DriveType::Fixed;

    // The drive's root as the peer writes it: "C:\".
    QString PeerRoot() const;
};

// The local path of a peer path. Accepts '\' and '/' as separators and a drive letter of
// either case; empty components and "." are dropped and ".." goes up without ever leaving the
// drive. Throws AgentError for a path on no drive, a relative or drive-relative path ("x",
// "C:x", "\\server\share") and a path holding a zero character.
QString PeerToLocalPath(const QString& peerPath);

// The peer path of an absolute local path, with '\' separators ("C:\" for the drive's root).
// Throws AgentError for a relative path or one that lies on no drive.
QString LocalToPeerPath(const QString& localPath);

// One local file name as the peer sees it, and back (see "Names" above).
QString PeerNameOfLocalName(const QString& localName);
QString LocalNameOfPeerName(const QString& peerName);

// Whether a local path is the root of a drive (the whole volume: never deleted or moved as one
// item on the peer's behalf).
bool IsDriveRoot(const QString& localPath);

// The drives in letter order (C: first). Follows the mount table as it is at the moment of
// the call, unless a test has set its own table.
std::vector<DriveInfo> Drives();
// The drive of a letter (either case), if there is one.
std::optional<DriveInfo> DriveOfLetter(QChar letter);

// Builds the drive table from the text of a mount table (/proc/self/mounts format).
// `isRemovableDevice` answers whether a block device ("/dev/sdb1") is removable media;
// `isDirectory` whether a mount point is a folder (bind-mounted files are no drives).
struct MountTableProbes {
    std::function<bool(const QString& device)> isRemovableDevice;
    std::function<bool(const QString& mountPoint)> isDirectory;
};
std::vector<DriveInfo> DrivesFromMountTable(const QByteArray& mountTable, const MountTableProbes& probes);

// Replaces the system's drive table (tests point C: at a temporary folder); an empty table
// returns to the system's.
void SetDriveTableForTesting(std::vector<DriveInfo> table);

// Sets a drive table for the lifetime of the object.
class ScopedDriveTableForTesting {
public:
    explicit ScopedDriveTableForTesting(std::vector<DriveInfo> table)
    {
        SetDriveTableForTesting(std::move(table));
    }
    ~ScopedDriveTableForTesting() { SetDriveTableForTesting({}); }
    ScopedDriveTableForTesting(const ScopedDriveTableForTesting&) = delete;
    ScopedDriveTableForTesting& operator=(const ScopedDriveTableForTesting&) = delete;
};
