#include "stores/windows_calendar/appointment_win_vista.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/crc32.h"
#include "common/errors.h"
#include "platform/atomic_file.h"
#include "platform/confined_folder.h"
#include "platform/known_folders.h"
#include "platform/replace_user_file.h"
#include "platform/safe_name.h"
#include "stores/windows_calendar/appointment_fields.h"
#include "stores/windows_calendar/ics_dates.h"

namespace {

constexpr int kUidUnits = 36;
const QString kIdPadding = QStringLiteral("000000000000");
const QString kDefaultCalendar = QStringLiteral("DefaultCalendar");

// The UID an identifier names, or nothing when it is not one of this store's identifiers.
std::optional<QString> UidOf(const QString& id)
{
    if (id.size() != kUidUnits + kIdPadding.size() || !id.endsWith(kIdPadding)) return std::nullopt;
    return id.left(kUidUnits);
}

bool IsServedUid(const QString& uid)
{
    return uid.size() == kUidUnits;
}

// Part of a block being written: generated lines (ending in "\n", which becomes the file's own
// line end) or stored bytes kept as they are.
struct BlockPiece {
    QString text;
    QByteArray raw;
};

QByteArray Render(const std::vector<BlockPiece>& pieces, const QByteArray& lineEnd)
{
    QByteArray out;
    for (const BlockPiece& piece : pieces) {
        if (!piece.raw.isEmpty()) {
            out += piece.raw;
            continue;
        }
        QByteArray bytes = piece.text.toUtf8();
        if (lineEnd != "\n") bytes.replace("\n", lineEnd);
        out += bytes;
    }
    return out;
}

QString JoinLines(const QStringList& lines)
{
    return lines.join(QString());
}

QString CalendarNameOf(const QString& path)
{
    const QString file = QFileInfo(path).fileName();
    return file.left(file.size() - 4);
}

QString NowUtcStamp()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return now.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

QString NewUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// The bytes of the file without the given blocks.
QByteArray WithoutBlocks(const IcsCalendar& calendar, std::vector<int> blocks)
{
    std::sort(blocks.begin(), blocks.end());
    const IcsLines& lines = calendar.Lines();
    QByteArray out;
    qsizetype from = 0;
    for (int b : blocks) {
        const IcsCalendar::Event& e = calendar.Events()[static_cast<std::size_t>(b)];
        const qsizetype start = lines.StartOffset(e.begin);
        if (start < from) continue;  // events never overlap; nothing is written twice
        out += lines.Bytes().mid(from, start - from);
        from = lines.EndOffset(e.end);
    }
    out += lines.Bytes().mid(from);
    return out;
}

}  // namespace

QStringList ListCalendarFiles(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    DIR* dir = ::opendir(native.constData());
    if (!dir) {
        if (errno == ENOENT) return {};
        throw AgentError("cannot read the calendar folder " + folder.toStdString() + ": " +
                         std::strerror(errno));
    }
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) break;
        const QString name = QFile::decodeName(entry->d_name);
        if (name.size() <= 4 || !name.endsWith(QLatin1String(".ics"), Qt::CaseInsensitive)) continue;
        struct stat st {};
        // Links are not followed: a calendar is a file of this folder.
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        names.append(name);
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0)
        throw AgentError("cannot read the calendar folder " + folder.toStdString() + ": " +
                         std::strerror(error));
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    QStringList paths;
    for (const QString& name : names) paths.append(folder + u'/' + name);
    return paths;
}

CAppointmentWinVista::CAppointmentWinVista(LogSink log) : log_(std::move(log)) {}

CAppointmentWinVista::CAppointmentWinVista(QString calendarFolder, LogSink log)
    : fixedFolder_(std::move(calendarFolder)), log_(std::move(log))
{
}

QString CAppointmentWinVista::CalendarFolder() const
{
    if (fixedFolder_) return *fixedFolder_;
    const QString local = KnownFolderPath(KnownFolder::LocalAppData);
    if (local.isEmpty()) return {};
    return local + QStringLiteral("/Microsoft/Windows Calendar/Calendars");
}

QString CAppointmentWinVista::RequireFolder() const
{
    const QString folder = CalendarFolder();
    if (folder.isEmpty()) throw AgentError("the calendar folder cannot be determined");
    return folder;
}

void CAppointmentWinVista::Log(const QString& line) const
{
    if (log_) log_(line);
}

void CAppointmentWinVista::PrepareToCheck()
{
    CreateCalendarFolders();
    BuildIndex(true);
}

void CAppointmentWinVista::CreateCalendarFolders()
{
    const QString folder = CalendarFolder();
    if (!folder.isEmpty()) QDir().mkpath(folder);
}

void CAppointmentWinVista::LoadCalendarIndex()
{
    BuildIndex(false);
}

void CAppointmentWinVista::BuildIndex(bool logUnserved)
{
    index_.clear();
    fileOfUid_.clear();
    const QString folder = CalendarFolder();
    if (folder.isEmpty()) return;
    const QStringList paths = ListCalendarFiles(folder);
    cache_.Retain(paths);
    for (const QString& path : paths) {
        const std::shared_ptr<const IcsCalendar> calendar = cache_.Read(path);
        if (!calendar) continue;  // gone since the listing
        CalendarFileEntry entry{path, {}};
        if (!calendar->Damage().isEmpty() && logUnserved)
            Log(QStringLiteral("Calendar file left out and left as it is, %1: %2").arg(calendar->Damage(), path));
        for (const IcsCalendar::Event& event : calendar->Events()) {
            if (!IsServedUid(event.uid)) {
                if (logUnserved)
                    Log(QStringLiteral("Calendar event not served, its UID is not %1 characters: %2 in %3")
                            .arg(kUidUnits)
                            .arg(event.uid.isEmpty() ? QStringLiteral("(none)") : event.uid, path));
                continue;
            }
            if (fileOfUid_.contains(event.uid)) continue;
            fileOfUid_.insert(event.uid, path);
            entry.uids.append(event.uid);
        }
        index_.push_back(std::move(entry));
    }
}

void CAppointmentWinVista::Release()
{
    cache_.Clear();
    index_ = {};
    fileOfUid_ = {};
}

void CAppointmentWinVista::Remember(const QString& path, const QString& uid)
{
    ForgetUid(uid);
    auto entry = std::find_if(index_.begin(), index_.end(),
                              [&](const CalendarFileEntry& e) { return e.path == path; });
    if (entry == index_.end()) {
        index_.push_back({path, {}});
        entry = index_.end() - 1;
    }
    entry->uids.append(uid);
    fileOfUid_.insert(uid, path);
}

void CAppointmentWinVista::ForgetUid(const QString& uid)
{
    const auto found = fileOfUid_.constFind(uid);
    if (found == fileOfUid_.constEnd()) return;
    for (CalendarFileEntry& entry : index_)
        if (entry.path == *found) entry.uids.removeAll(uid);
    fileOfUid_.erase(found);
}

std::optional<CAppointmentWinVista::Located> CAppointmentWinVista::LocateIn(const QString& path,
                                                                            const QString& uid, bool forWrite)
{
    std::shared_ptr<const IcsCalendar> calendar = cache_.Read(
        path, forWrite ? CalendarFileCache::Freshness::Verified : CalendarFileCache::Freshness::Recent);
    if (!calendar) return std::nullopt;
    const std::vector<int>& blocks = calendar->EventsWithUid(uid);
    if (blocks.empty()) return std::nullopt;
    int served = blocks.front();
    for (int b : blocks)
        if (!calendar->Events()[static_cast<std::size_t>(b)].isOverride) {
            served = b;
            break;
        }
    return Located{path, std::move(calendar), &blocks, served};
}

std::optional<CAppointmentWinVista::Located> CAppointmentWinVista::Locate(const QString& id, bool forWrite)
{
    const std::optional<QString> uid = UidOf(id);
    if (!uid) return std::nullopt;
    const auto indexed = fileOfUid_.constFind(*uid);
    if (indexed != fileOfUid_.constEnd())
        if (std::optional<Located> found = LocateIn(*indexed, *uid, forWrite)) return found;
    // The index is stale (another program moved the event, or no change check ran yet): the
    // files themselves decide.
    const QString folder = CalendarFolder();
    if (folder.isEmpty()) return std::nullopt;
    for (const QString& path : ListCalendarFiles(folder)) {
        if (indexed != fileOfUid_.constEnd() && path == *indexed) continue;
        if (std::optional<Located> found = LocateIn(path, *uid, forWrite)) {
            Remember(path, *uid);
            return found;
        }
    }
    return std::nullopt;
}

QString CAppointmentWinVista::TargetFile(const QString& folder, const QString& calendarName) const
{
    const QString name = calendarName.isEmpty() ? kDefaultCalendar : calendarName;
    RequireSafeFileNameComponent(name, "calendar name");
    RequireSafeFileNameComponent(name + QStringLiteral(".ics"), "calendar name");
    for (const QString& path : ListCalendarFiles(folder))
        if (CalendarNameOf(path).compare(name, Qt::CaseInsensitive) == 0) return path;
    // A link of that name is not listed; one that leads out of the folder is refused here.
    return ConfinedFolder(folder).Resolve({name + QStringLiteral(".ics")});
}

namespace {

// Writes the block into the file before its last "END:VCALENDAR" line, or creates the file.
void AppendBlock(CalendarFileCache& cache, const QString& path, const std::vector<BlockPiece>& block)
{
    const std::shared_ptr<const IcsCalendar> calendar = cache.Read(path, CalendarFileCache::Freshness::Verified);
    if (!calendar) {
        QByteArray bytes = Render({BlockPiece{IcsFileHeader(), {}}}, "\r\n");
        bytes += Render(block, "\r\n");
        bytes += QByteArray(kIcsCalendarEnd) + "\r\n";
        cache.Forget(path);
        WriteFileAtomically(path, bytes, 0600);
        return;
    }
    if (!calendar->Damage().isEmpty())
        throw AgentError("calendar file " + path.toStdString() + " is left as it is: " +
                         calendar->Damage().toStdString());
    const int end = calendar->LastCalendarEnd();
    if (end < 0)
        throw AgentError("calendar file " + path.toStdString() +
                         " has no END:VCALENDAR line; it is left as it is");
    const IcsLines& lines = calendar->Lines();
    const qsizetype at = lines.StartOffset(end);
    QByteArray bytes = lines.Bytes().left(at);
    // A last line without a line end is ended before anything follows it.
    if (at > 0 && bytes.back() != '\n') bytes += lines.LineEnd();
    bytes += Render(block, lines.LineEnd());
    bytes += lines.Bytes().mid(at);
    cache.Forget(path);
    ReplaceUserFile(path, bytes, LinkAtPath::Replace, 0600);
}

void RewriteFile(CalendarFileCache& cache, const QString& path, const QByteArray& bytes)
{
    cache.Forget(path);
    ReplaceUserFile(path, bytes, LinkAtPath::Replace, 0600);
}

}  // namespace

void CAppointmentWinVista::Add(ItemRecord& record, QString& id)
{
    const QString folder = RequireFolder();
    VEventRecord event;
    event.DtStamp = NowUtcStamp();
    event.Uid = NewUid();
    const AppointmentRequest request = ApplyAppointmentFields(record, event);
    const QString target = TargetFile(folder, request.calendarName);
    QStringList lines;
    WriteVEvent(lines, event);
    CreateCalendarFolders();
    AppendBlock(cache_, target, {BlockPiece{JoinLines(lines), {}}});
    id = event.Uid + kIdPadding;
    Remember(target, event.Uid);
    // Another program may have changed the folder meanwhile: what the next request finds comes
    // from the files as they are now.
    LoadCalendarIndex();
}

void CAppointmentWinVista::Edit(ItemRecord& record, const QString& id)
{
    const QString folder = RequireFolder();
    const std::optional<Located> found = Locate(id, true);
    if (!found) throw AgentError("no calendar event has the identifier " + id.left(64).toStdString());
    const IcsCalendar& calendar = *found->calendar;
    const IcsCalendar::Event& old = calendar.Events()[static_cast<std::size_t>(found->served)];

    VEventRecord event;
    ParseVEvent(event, calendar.EventLines(old));
    const AppointmentRequest request = ApplyAppointmentFields(record, event);
    const QString target =
        request.calendarName.isEmpty() ? found->path : TargetFile(folder, request.calendarName);

    // What the old event holds that this store does not write stays as it stood: other
    // properties, the rule unless the record replaces or ends it, the alarms unless the record
    // gives a reminder.
    const bool keepRule = !request.ruleGiven && !(request.isRecurring && *request.isRecurring == 0);
    const bool keepAlarms = !request.reminderGiven;
    if (keepAlarms) event.HasAlarm = 0;
    // A time the record does not give keeps its lines as they stand, zone and form included.
    const bool keepStart = !request.startGiven, keepEnd = !request.endGiven;
    std::vector<BlockPiece> keptProperties, keptComponents, oldStart, oldEnd;
    const IcsLines& lines = calendar.Lines();
    int depth = 0, componentStart = -1;
    bool componentIsAlarm = false;
    for (int i = old.begin + 1; i < old.end; ++i) {
        const IcsProperty p = SplitIcsProperty(lines.Text(i));
        if (p.name == u"BEGIN") {
            if (depth++ == 0) {
                componentStart = i;
                componentIsAlarm = p.value.trimmed().compare(u"VALARM", Qt::CaseInsensitive) == 0;
            }
            continue;
        }
        if (p.name == u"END" && depth > 0) {
            if (--depth == 0 && (keepAlarms || !componentIsAlarm))
                keptComponents.push_back({{}, lines.Raw(componentStart, i)});
            continue;
        }
        if (depth > 0) continue;
        if (p.name == u"DTSTART") oldStart.push_back({{}, lines.Raw(i, i)});
        if (p.name == u"DTEND" || p.name == u"DURATION") oldEnd.push_back({{}, lines.Raw(i, i)});
        if (IsWrittenEventProperty(p.name) && !(p.name == u"RRULE" && keepRule)) continue;
        keptProperties.push_back({{}, lines.Raw(i, i)});
    }
    // Generated properties, kept properties, the new alarm or the kept components, then the end.
    QStringList written;
    WriteVEvent(written, event);
    const qsizetype alarmAt = written.indexOf(QStringLiteral("BEGIN:VALARM\n"));
    const qsizetype propertiesEnd = alarmAt >= 0 ? alarmAt : written.size() - 1;
    std::vector<BlockPiece> block;
    for (qsizetype i = 0; i < propertiesEnd; ++i) {
        const QString& line = written[i];
        if (line.startsWith(u"DTSTART")) {
            if (keepStart)
                block.insert(block.end(), oldStart.begin(), oldStart.end());
            else
                block.push_back({line, {}});
            if (keepEnd) block.insert(block.end(), oldEnd.begin(), oldEnd.end());
        } else if (!(keepEnd && (line.startsWith(u"DTEND") || line.startsWith(u"DURATION")))) {
            block.push_back({line, {}});
        }
    }
    block.insert(block.end(), keptProperties.begin(), keptProperties.end());
    block.push_back({JoinLines(written.mid(propertiesEnd, written.size() - 1 - propertiesEnd)), {}});
    block.insert(block.end(), keptComponents.begin(), keptComponents.end());
    block.push_back({QStringLiteral("END:VEVENT\n"), {}});

    if (target == found->path) {
        const qsizetype start = lines.StartOffset(old.begin), stop = lines.EndOffset(old.end);
        QByteArray bytes = lines.Bytes().left(start);
        bytes += Render(block, lines.LineEnd());
        bytes += lines.Bytes().mid(stop);
        RewriteFile(cache_, found->path, bytes);
    } else {
        // The changed occurrences of a series go along with it, as they stood.
        for (int b : *found->blocks) {
            if (b == found->served) continue;
            const IcsCalendar::Event& other = calendar.Events()[static_cast<std::size_t>(b)];
            block.push_back({{}, lines.Raw(other.begin, other.end)});
        }
        CreateCalendarFolders();
        AppendBlock(cache_, target, block);
        RewriteFile(cache_, found->path, WithoutBlocks(calendar, *found->blocks));
    }
    Remember(target, event.Uid);
}

void CAppointmentWinVista::Delete(const QString& id)
{
    if (const std::optional<Located> found = Locate(id, true)) {
        RewriteFile(cache_, found->path, WithoutBlocks(*found->calendar, *found->blocks));
        ForgetUid(found->calendar->Events()[static_cast<std::size_t>(found->served)].uid);
    }
    LoadCalendarIndex();
}

void CAppointmentWinVista::DeleteAll()
{
    std::string failures;
    for (const CalendarFileEntry& entry : index_) {
        try {
            const std::shared_ptr<const IcsCalendar> calendar =
                cache_.Read(entry.path, CalendarFileCache::Freshness::Verified);
            if (!calendar || !calendar->HasCalendarBegin()) continue;
            // A damaged file (cut short, not UTF-8, nested past reason) is nobody's to empty or
            // delete: what it holds beyond the damage is unknown. Adding to it is refused too.
            const QString damage = !calendar->Damage().isEmpty()       ? calendar->Damage()
                                   : calendar->LastCalendarEnd() < 0 ? QStringLiteral("it has no END:VCALENDAR line")
                                   : !calendar->IsUtf8()             ? QStringLiteral("it is not UTF-8")
                                                                     : QString();
            if (!damage.isEmpty())
                throw AgentError("calendar file " + entry.path.toStdString() + " is left as it is: " +
                                 damage.toStdString());
            std::vector<int> served;
            bool keepsOthers = false;
            for (std::size_t i = 0; i < calendar->Events().size(); ++i) {
                if (IsServedUid(calendar->Events()[i].uid))
                    served.push_back(static_cast<int>(i));
                else
                    keepsOthers = true;
            }
            for (const IcsCalendar::Component& component : calendar->OtherComponents())
                if (component.name != u"VTIMEZONE") keepsOthers = true;
            cache_.Forget(entry.path);
            if (!keepsOthers) {
                if (::unlink(QFile::encodeName(entry.path).constData()) != 0 && errno != ENOENT)
                    throw AgentError("cannot delete calendar file " + entry.path.toStdString() + ": " +
                                     std::strerror(errno));
            } else if (!served.empty()) {
                RewriteFile(cache_, entry.path, WithoutBlocks(*calendar, served));
            }
        } catch (const std::exception& e) {
            // The other calendars are emptied all the same; the request still reports the failure.
            failures += (failures.empty() ? "" : "; ") + std::string(e.what());
        }
    }
    index_.clear();
    fileOfUid_.clear();
    if (!failures.empty()) throw AgentError(failures);
}

void CAppointmentWinVista::Get(const QString& id, ItemRecord& record)
{
    const std::optional<Located> found = Locate(id, false);
    if (!found) throw AgentError("no calendar event has the identifier " + id.left(64).toStdString());
    VEventRecord event;
    ParseVEvent(event, found->calendar->EventLines(
                           found->calendar->Events()[static_cast<std::size_t>(found->served)]));
    const QStringList leftOut = AppendAppointmentFields(event, CalendarNameOf(found->path), record);
    if (!leftOut.isEmpty())
        Log(QStringLiteral("Calendar event served without what is no date (%1): %2 in %3")
                .arg(leftOut.join(QStringLiteral("; ")), event.Uid.left(64), found->path));
}

void CAppointmentWinVista::GetIDs(QStringList& ids)
{
    QSet<QString> listed;
    for (const CalendarFileEntry& entry : index_) {
        const std::shared_ptr<const IcsCalendar> calendar =
            cache_.Read(entry.path, CalendarFileCache::Freshness::Recent);
        if (!calendar) continue;
        for (const IcsCalendar::Event& event : calendar->Events()) {
            // A UID in several files or blocks is one appointment, listed once.
            if (!IsServedUid(event.uid) || listed.contains(event.uid)) continue;
            listed.insert(event.uid);
            ids.append(event.uid + kIdPadding);
        }
    }
}

std::uint32_t CAppointmentWinVista::IDtoCRC32(const QString& id)
{
    const std::optional<Located> found = Locate(id, false);
    if (!found) return 0;
    const IcsLines& lines = found->calendar->Lines();
    std::uint32_t crc = 0;
    for (int b : *found->blocks) {
        const IcsCalendar::Event& event = found->calendar->Events()[static_cast<std::size_t>(b)];
        const qsizetype start = lines.StartOffset(event.begin);
        crc = Crc32Update(crc, lines.Bytes().constData() + start,
                          static_cast<std::size_t>(lines.EndOffset(event.end) - start));
        // Where a known zone places the times, the moments are part of the checksum too. Events
        // of such zones were once read as the machine's local time: their checksum changed once
        // with the reading, so peers that hold the old moment get the event again.
        if (event.zoned) {
            VEventRecord record;
            ParseVEvent(record, found->calendar->EventLines(event));
            const QByteArray moments = ZonedMoments(record).toLatin1();
            if (!moments.isEmpty())
                crc = Crc32Update(crc, moments.constData(), static_cast<std::size_t>(moments.size()));
        }
    }
    return crc;
}

bool CAppointmentWinVista::IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead)
{
    const std::optional<Located> found = Locate(id, false);
    if (!found) return false;
    VEventRecord event;
    ParseVEvent(event, found->calendar->EventLines(
                           found->calendar->Events()[static_cast<std::size_t>(found->served)]));
    return IsEventInDateWindow(event, weeksBack, weeksAhead, LocalNow());
}

QString CAppointmentWinVista::GetCalendarNames()
{
    const QString folder = CalendarFolder();
    if (folder.isEmpty()) throw AgentError("Error");
    QString names;
    for (const QString& path : ListCalendarFiles(folder)) names += CalendarNameOf(path) + u',';
    return names;
}
