#include "platform/time_zone_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QTimeZone>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/regular_file_read.h"

namespace {

// No zone name comes near these: the longest is under 40 characters, the deepest three levels,
// and a full tz database with its "posix" and "right" copies lists under 6,000 files.
constexpr qsizetype kLongestName = 128;
constexpr qsizetype kMostNames = 8192;
constexpr int kDeepestFolder = 4;
constexpr qint64 kLargestSource = 4 * 1024 * 1024;

// Letters, digits and "/_+-" (and ":" of Qt's offset names, "UTC+05:30"): every zone name is
// spelt so; the folder's tables ("zone.tab", "tzdata.zi") and anything else are not.
bool IsZoneSpelling(QStringView name)
{
    if (name.isEmpty() || name.size() > kLongestName || name.startsWith(u'/') || name.endsWith(u'/')) return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '/' ||
                        u == '_' || u == '+' || u == '-' || u == ':';
        if (!ok) return false;
    }
    return !name.contains(u"//");
}

class Listing {
public:
    explicit Listing(QString folder) : folder_(std::move(folder))
    {
        for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) Add(QString::fromLatin1(id));
        AddLinksOfSource();
        AddFolderFiles();
        names_.squeeze();
    }

    const QString& Folder() const { return folder_; }

    QString Find(const QString& name) const
    {
        if (!IsZoneSpelling(name)) return {};
        return names_.value(name.toCaseFolded());
    }

private:
    void Add(const QString& name)
    {
        if (names_.size() >= kMostNames || !IsZoneSpelling(name)) return;
        // The first spelling listed wins; the tz database has no two names that differ in case alone.
        const QString folded = name.toCaseFolded();
        if (!names_.contains(folded)) names_.insert(folded, name);
    }

    // "L <target> <link>" lines of the compiled source.
    void AddLinksOfSource()
    {
        const BoundedFileRead read = ReadBoundedRegularFile(folder_ + QStringLiteral("/tzdata.zi"), kLargestSource);
        if (!read.Ok()) return;
        for (const QByteArray& line : read.bytes.split('\n')) {
            if (!line.startsWith("L ")) continue;
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() != 3) continue;
            Add(QString::fromLatin1(fields[1]));
            Add(QString::fromLatin1(fields[2]));
        }
    }

    // Regular files, through symbolic links (the links of the tz database are often installed so),
    // in folders that are no links, by a walk that keeps its own list rather than recursing.
    void AddFolderFiles()
    {
        struct Pending {
            QString relative;  // "" for the zone folder itself, else "Area/" and so on
            int depth;
        };
        std::vector<Pending> pending{{QString(), 0}};
        while (!pending.empty() && names_.size() < kMostNames) {
            const Pending at = pending.back();
            pending.pop_back();
            DIR* dir = ::opendir(QFile::encodeName(folder_ + u'/' + at.relative).constData());
            if (!dir) continue;
            while (const dirent* entry = ::readdir(dir)) {
                const QString name = QFile::decodeName(entry->d_name);
                if (name.startsWith(u'.') || !IsZoneSpelling(name)) continue;
                struct stat st {};
                if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                if (S_ISDIR(st.st_mode)) {
                    if (at.depth + 1 < kDeepestFolder) pending.push_back({at.relative + name + u'/', at.depth + 1});
                    continue;
                }
                if (S_ISLNK(st.st_mode) && ::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0) continue;
                if (S_ISREG(st.st_mode)) Add(at.relative + name);
                if (names_.size() >= kMostNames) break;
            }
            ::closedir(dir);
        }
    }

    QString folder_;
    QHash<QString, QString> names_;  // case-folded name to the system's spelling
};

QString ZoneFolder()
{
    const QString dir = qEnvironmentVariable("TZDIR");
    return dir.isEmpty() ? QStringLiteral("/usr/share/zoneinfo") : dir;
}

}  // namespace

QString ListedTimeZoneName(const QString& name)
{
    static std::mutex mutex;
    static std::optional<Listing> listing;
    const QString folder = ZoneFolder();
    std::lock_guard lock(mutex);
    // Listed once; a change of zone folder (tests point TZDIR elsewhere) lists the new one instead.
    if (!listing || listing->Folder() != folder) listing.emplace(folder);
    return listing->Find(name);
}
