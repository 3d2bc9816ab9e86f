#include "platform/time_zone.h"

#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/byte_io.h"
#include "common/errors.h"

namespace {

// ---- Conversions ----

bool HasDaylightTime(const TimeZoneInformation& zone)
{
    return zone.StandardDate.wMonth != 0 && zone.DaylightDate.wMonth != 0 &&
           zone.StandardDate.wMonth != zone.DaylightDate.wMonth;
}

// The bias of standard time; a zone without daylight rules uses the plain bias, as the record's
// readers always have.
int StandardTimeBias(const TimeZoneInformation& zone)
{
    return zone.StandardDate.wMonth == 0 ? zone.Bias : zone.Bias + zone.StandardBias;
}

std::int64_t Minutes(int minutes)
{
    return static_cast<std::int64_t>(minutes) * kFileTimeUnitsPerMinute;
}

// Each rule is stated on the clock that is in force before it: daylight time begins by standard
// wall-clock time and ends by daylight wall-clock time. So the UTC moment is read on both clocks
// and each rule is checked against its own, both within the year of the standard clock: in the
// hour where the clocks show different years, the daylight clock's new year has passed every
// transition of the old one.
bool IsDaylightTimeAt(const TimeZoneInformation& zone, std::int64_t utc)
{
    const SystemTime standardClock = FileTimeToSystemTime(utc - Minutes(zone.Bias + zone.StandardBias));
    const SystemTime daylightClock = FileTimeToSystemTime(utc - Minutes(zone.Bias + zone.DaylightBias));
    const bool begun = IsPastTransition(standardClock, zone.DaylightDate);
    const bool ended = daylightClock.wYear != standardClock.wYear
                           ? daylightClock.wYear > standardClock.wYear
                           : IsPastTransition(daylightClock, zone.StandardDate);
    if (zone.DaylightDate.wMonth < zone.StandardDate.wMonth)
        return begun && !ended;  // daylight time in the middle of the year
    return begun || !ended;      // daylight time across the turn of the year (southern zones)
}

void RequireMoment(const SystemTime& t, const char* what)
{
    if (!IsValidSystemTime(t))
        throw AgentError(std::string("cannot convert ") + what + ": " + std::to_string(t.wYear) + "-" +
                         std::to_string(t.wMonth) + "-" + std::to_string(t.wDay) + " " +
                         std::to_string(t.wHour) + ":" + std::to_string(t.wMinute) + ":" +
                         std::to_string(t.wSecond) + " is no moment of the calendar");
}

// ---- POSIX TZ rule texts ----

class PosixTzParser {
public:
    explicit PosixTzParser(QByteArray text) : s_(std::move(text)) {}

    std::optional<TimeZoneInformation> Parse()
    {
        QString standardName, daylightName;
        int standardOffset = 0;
        if (!Name(standardName) || !Offset(standardOffset, 24)) return std::nullopt;
        TimeZoneInformation zone;
        zone.StandardName = standardName;
        zone.Bias = RoundToMinutes(standardOffset);
        if (AtEnd()) return zone;

        if (!Name(daylightName)) return std::nullopt;
        int daylightOffset = standardOffset - 3600;
        if (Peek() != ',' && !AtEnd() && !Offset(daylightOffset, 24)) return std::nullopt;
        // Without rules the C library falls back to the United States' rules; so do we.
        RuleDate start{3, 2, 0, 7200, true}, end{11, 1, 0, 7200, true};
        if (!AtEnd()) {
            if (!Accept(',') || !Rule(start) || !Accept(',') || !Rule(end) || !AtEnd()) return std::nullopt;
        }
        zone.DaylightName = daylightName;
        zone.DaylightBias = RoundToMinutes(daylightOffset) - zone.Bias;
        if (zone.DaylightBias == 0 || !start.expressible || !end.expressible) return zone;
        zone.DaylightDate = start.ToRule();
        zone.StandardDate = end.ToRule();
        if (zone.DaylightBias > 0) {
            // "Daylight" time behind standard time: the record wants the later clock as daylight time.
            zone.Bias += zone.DaylightBias;
            zone.DaylightBias = -zone.DaylightBias;
            std::swap(zone.StandardName, zone.DaylightName);
            std::swap(zone.StandardDate, zone.DaylightDate);
        }
        return zone;
    }

private:
    struct RuleDate {
        int month, week, weekday, seconds;  // seconds after midnight, may be negative or past a day
        bool expressible;

        SystemTime ToRule() const
        {
            const int days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
            const int rest = seconds - days * 86400;
            SystemTime rule;
            rule.wMonth = month;
            rule.wDay = week;
            rule.wDayOfWeek = ((weekday + days) % 7 + 7) % 7;
            rule.wHour = rest / 3600;
            rule.wMinute = rest / 60 % 60;
            rule.wSecond = rest % 60;
            return rule;
        }
    };

    static int RoundToMinutes(int seconds)
    {
        return seconds >= 0 ? (seconds + 30) / 60 : -((-seconds + 30) / 60);
    }

    bool AtEnd() const { return pos_ >= s_.size(); }
    char Peek() const { return AtEnd() ? '\0' : s_[pos_]; }
    bool Accept(char c)
    {
        if (Peek() != c) return false;
        ++pos_;
        return true;
    }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

    bool Number(int& value, int max)
    {
        if (!IsDigit(Peek())) return false;
        value = 0;
        while (IsDigit(Peek())) {
            value = value * 10 + (s_[pos_++] - '0');
            if (value > max) return false;
        }
        return true;
    }

    bool Name(QString& name)
    {
        const qsizetype start = pos_;
        if (Accept('<')) {
            while (!AtEnd() && Peek() != '>') ++pos_;
            name = QString::fromLatin1(s_.mid(start + 1, pos_ - start - 1));
            return Accept('>') && name.size() >= 3;
        }
        while (IsAlpha(Peek())) ++pos_;
        name = QString::fromLatin1(s_.mid(start, pos_ - start));
        return name.size() >= 3;
    }

    // [+|-]hh[:mm[:ss]], in seconds, positive west of Greenwich as POSIX counts.
    bool Offset(int& seconds, int maxHours)
    {
        int sign = 1;
        if (Accept('-'))
            sign = -1;
        else
            Accept('+');
        int hours = 0, minutes = 0, secs = 0;
        if (!Number(hours, maxHours)) return false;
        if (Accept(':') && (!Number(minutes, 59) || (Accept(':') && !Number(secs, 59)))) return false;
        seconds = sign * (hours * 3600 + minutes * 60 + secs);
        return true;
    }

    bool Rule(RuleDate& rule)
    {
        rule = RuleDate{0, 0, 0, 7200, true};
        if (Accept('M')) {
            if (!Number(rule.month, 12) || rule.month < 1 || !Accept('.') || !Number(rule.week, 5) ||
                rule.week < 1 || !Accept('.') || !Number(rule.weekday, 6))
                return false;
        } else {
            int day = 0;
            Accept('J');
            if (!Number(day, 365)) return false;
            rule.expressible = false;
        }
        return !Accept('/') || Offset(rule.seconds, 167);
    }

    QByteArray s_;
    qsizetype pos_ = 0;
};

// ---- TZif files ----

constexpr qint64 kMaxZoneFileSize = 1 << 20;

std::uint32_t BigEndian32(ByteReader& r)
{
    const ByteView b = r.Bytes(4);
    return (static_cast<std::uint32_t>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
}

struct TzifCounts {
    std::size_t isUtc, isStd, leap, time, type, chars;
};

TzifCounts TzifHeader(ByteReader& r)
{
    const ByteView magic = r.Bytes(4);
    if (magic[0] != 'T' || magic[1] != 'Z' || magic[2] != 'i' || magic[3] != 'f')
        throw MalformedData("not a time-zone file");
    r.Skip(16);  // version and reserved bytes
    TzifCounts c{};
    c.isUtc = BigEndian32(r);
    c.isStd = BigEndian32(r);
    c.leap = BigEndian32(r);
    c.time = BigEndian32(r);
    c.type = BigEndian32(r);
    c.chars = BigEndian32(r);
    if (c.type == 0) throw MalformedData("time-zone file without local time types");
    return c;
}

// The zone as the file's last transition leaves it, for files without a rule text: no daylight
// rules are known, so the offset in force then is taken as the standard one.
TimeZoneInformation ZoneFromLastTransition(ByteReader& r, const TzifCounts& c, std::size_t timeSize)
{
    r.Skip(c.time * timeSize);
    const ByteView transitionTypes = r.Bytes(c.time);
    const std::size_t type = c.time ? transitionTypes[c.time - 1] : 0;
    if (type >= c.type) throw MalformedData("time-zone file names a local time type it lacks");
    const ByteView types = r.Bytes(c.type * 6);
    const ByteView chars = r.Bytes(c.chars);
    ByteReader entry(types.subspan(type * 6, 6));
    const auto utcOffset = static_cast<std::int32_t>(BigEndian32(entry));
    entry.Skip(1);  // daylight flag
    const std::size_t nameIndex = entry.U8();
    TimeZoneInformation zone;
    zone.Bias = -(utcOffset >= 0 ? (utcOffset + 30) / 60 : -((-utcOffset + 30) / 60));
    for (std::size_t i = nameIndex; i < chars.size() && chars[i] != 0; ++i)
        zone.StandardName += QChar(chars[i]);
    return zone;
}

TimeZoneInformation TimeZoneFromTzif(const QByteArray& data)
{
    ByteReader r(data);
    const TzifCounts v1 = TzifHeader(r);
    const std::uint8_t version = static_cast<std::uint8_t>(data.at(4));
    if (version == 0) return ZoneFromLastTransition(r, v1, 4);
    r.Skip(v1.time * 5 + v1.type * 6 + v1.chars + v1.leap * 8 + v1.isStd + v1.isUtc);
    const TzifCounts v2 = TzifHeader(r);
    const std::size_t blockStart = r.Position();
    r.Skip(v2.time * 9 + v2.type * 6 + v2.chars + v2.leap * 12 + v2.isStd + v2.isUtc);
    // The rule text between two newlines at the end holds the zone's current rules.
    if (!r.AtEnd() && r.U8() == '\n') {
        const ByteView rest = r.Bytes(r.Remaining());
        const QByteArray footer(reinterpret_cast<const char*>(rest.data()),
                                static_cast<qsizetype>(rest.size()));
        const qsizetype end = footer.indexOf('\n');
        if (end > 0) {
            if (auto zone = TimeZoneFromPosixTz(QString::fromLatin1(footer.left(end)))) return *zone;
        }
    }
    ByteReader block(AsBytes(data).subspan(blockStart));
    return ZoneFromLastTransition(block, v2, 8);
}

QString ZoneDirectory()
{
    const QString dir = qEnvironmentVariable("TZDIR");
    return dir.isEmpty() ? QStringLiteral("/usr/share/zoneinfo") : dir;
}

TimeZoneInformation ReadZoneFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AgentError("cannot read the time-zone file " + path.toStdString());
    const QByteArray data = file.read(kMaxZoneFileSize + 1);
    if (data.size() > kMaxZoneFileSize)
        throw MalformedData("time-zone file too large: " + path.toStdString());
    return TimeZoneFromTzif(data);
}

TimeZoneInformation Utc()
{
    TimeZoneInformation zone;
    zone.StandardName = QStringLiteral("UTC");
    return zone;
}

// Requests convert dates by the thousand; reading the zone file for each would dominate, so the
// last file read is kept while its identity and modification time stay the same.
std::optional<TimeZoneInformation> ZoneFileCached(const QString& path)
{
    struct Entry {
        QString path;
        dev_t device;
        ino_t inode;
        off_t size;
        timespec modified;
        TimeZoneInformation zone;
    };
    static std::mutex mutex;
    static std::optional<Entry> cached;

    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::lock_guard lock(mutex);
    if (cached && cached->path == path && cached->device == st.st_dev && cached->inode == st.st_ino &&
        cached->size == st.st_size && cached->modified.tv_sec == st.st_mtim.tv_sec &&
        cached->modified.tv_nsec == st.st_mtim.tv_nsec)
        return cached->zone;
    try {
        cached = Entry{path, st.st_dev, st.st_ino, st.st_size, st.st_mtim, ReadZoneFile(path)};
    } catch (const std::exception&) {
        cached.reset();
        return std::nullopt;
    }
    return cached->zone;
}

}  // namespace

TimeZoneInformation GetTimeZoneInformation()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        return ZoneFileCached(QStringLiteral("/etc/localtime")).value_or(Utc());
    QString tz = qEnvironmentVariable("TZ");
    const bool fileOnly = tz.startsWith(u':');
    if (fileOnly) tz.remove(0, 1);
    if (tz.isEmpty()) return Utc();
    const QString path = tz.startsWith(u'/') ? tz : ZoneDirectory() + u'/' + tz;
    if (QFileInfo(path).isFile()) return ZoneFileCached(path).value_or(Utc());
    if (!fileOnly) {
        if (auto zone = TimeZoneFromPosixTz(tz)) return *zone;
    }
    return Utc();
}

TimeZoneInformation TimeZoneByName(const QString& zoneName)
{
    if (zoneName.isEmpty() || zoneName.startsWith(u'/') ||
        zoneName.split(u'/').contains(QStringLiteral("..")))
        throw AgentError("not a time-zone name: \"" + zoneName.left(80).toStdString() + "\"");
    const QString path = ZoneDirectory() + u'/' + zoneName;
    if (!QFileInfo(path).isFile()) throw AgentError("unknown time zone \"" + zoneName.toStdString() + "\"");
    return ReadZoneFile(path);
}

std::optional<TimeZoneInformation> TimeZoneFromPosixTz(const QString& tz)
{
    for (QChar c : tz) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E) return std::nullopt;
    }
    return PosixTzParser(tz.toLatin1()).Parse();
}

SystemTime SystemTimeToTzSpecificLocalTime(const TimeZoneInformation& zone, const SystemTime& utc)
{
    RequireMoment(utc, "a UTC time to local time");
    const std::int64_t u = SystemTimeToFileTime(utc);
    if (!HasDaylightTime(zone)) return FileTimeToSystemTime(u - Minutes(StandardTimeBias(zone)));
    const int bias = zone.Bias + (IsDaylightTimeAt(zone, u) ? zone.DaylightBias : zone.StandardBias);
    return FileTimeToSystemTime(u - Minutes(bias));
}

SystemTime TzSpecificLocalTimeToSystemTime(const TimeZoneInformation& zone, const SystemTime& local)
{
    RequireMoment(local, "a local time to UTC");
    const std::int64_t l = SystemTimeToFileTime(local);
    if (!HasDaylightTime(zone)) return FileTimeToSystemTime(l + Minutes(StandardTimeBias(zone)));
    // Read as daylight time when the UTC moment that reading gives is in daylight time. In the
    // repeated hour both readings are consistent and daylight time wins; in the skipped hour
    // neither is, and standard time is taken.
    const std::int64_t asDaylight = l + Minutes(zone.Bias + zone.DaylightBias);
    if (IsDaylightTimeAt(zone, asDaylight)) return FileTimeToSystemTime(asDaylight);
    return FileTimeToSystemTime(l + Minutes(zone.Bias + zone.StandardBias));
}

SystemTime GetTransitionDate(const SystemTime& t, const SystemTime& rule)
{
    SystemTime transition = rule;
    transition.wYear = t.wYear;
    // The first day of the month that falls on the rule's weekday, from t's own day and weekday.
    const int firstDay = ((t.wDay - t.wDayOfWeek + rule.wDayOfWeek + 6) % 7 + 7) % 7 + 1;
    const int week = rule.wDay < 1 ? 1 : (rule.wDay > 5 ? 5 : rule.wDay);
    int day = firstDay + 7 * (week - 1);
    while (day > DaysInMonth(t.wYear, rule.wMonth) && day > 7) day -= 7;
    transition.wDay = day;
    return transition;
}

bool IsPastTransition(const SystemTime& t, const SystemTime& rule)
{
    if (rule.wMonth != t.wMonth) return rule.wMonth < t.wMonth;
    const SystemTime transition = rule.wYear != 0 ? rule : GetTransitionDate(t, rule);
    if (!IsValidSystemTime(transition)) return false;  // a rule naming no moment never takes effect
    return SystemTimeToFileTime(t) >= SystemTimeToFileTime(transition);
}
