#include "stores/windows_calendar/ics_dates.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <cstdio>

#include "common/dates.h"
#include "platform/local_time.h"
#include "platform/time_zone.h"
#include "platform/time_zone_names.h"

namespace {

constexpr std::int64_t kUnitsPerSecond = 10'000'000;

QString Format(const char* form, const SystemTime& t)
{
    char text[40];
    std::snprintf(text, sizeof text, form, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return QString::fromLatin1(text);
}

int Digits(QStringView text)
{
    return text.toInt();
}

}  // namespace

std::optional<QTimeZone> KnownIcsZone(const QString& tzid)
{
    // No zone's name, IANA or Windows, comes near this length; a longer one is not looked up, nor
    // kept in the memory below for as long as the agent runs.
    constexpr qsizetype kLongestZoneName = 128;
    const QString name = tzid.trimmed();
    if (name.isEmpty() || name.size() > kLongestZoneName) return std::nullopt;
    // Building a zone reads its rules from the system; a calendar names a handful, again and again.
    thread_local QHash<QString, std::optional<QTimeZone>> known;
    if (const auto found = known.constFind(name); found != known.constEnd()) return *found;
    // Only a name the system lists reaches the zone backend, which would open any other text as
    // a path below the zone folder. IANA names are matched without regard to case (Google writes
    // "Europe/lisbon" beside "Europe/Lisbon"); Windows names come from Qt's own table.
    std::optional<QTimeZone> zone;
    QString listed = ListedTimeZoneName(name);
    if (listed.isEmpty()) listed = ListedTimeZoneName(QString::fromLatin1(QTimeZone::windowsIdToDefaultIanaId(name.toUtf8())));
    if (!listed.isEmpty()) {
        QTimeZone named(listed.toLatin1());
        if (named.isValid()) zone = named;
    }
    if (known.size() < 256) known.insert(name, zone);
    return zone;
}

namespace {

QDateTime ToQDateTime(const SystemTime& t, const QTimeZone& zone)
{
    return QDateTime(QDate(t.wYear, t.wMonth, t.wDay), QTime(t.wHour, t.wMinute, t.wSecond), zone);
}

SystemTime FromQDateTime(const QDateTime& t)
{
    SystemTime out;
    out.wYear = t.date().year();
    out.wMonth = t.date().month();
    out.wDay = t.date().day();
    out.wDayOfWeek = t.date().dayOfWeek() % 7;
    out.wHour = t.time().hour();
    out.wMinute = t.time().minute();
    out.wSecond = t.time().second();
    return out;
}

// A wall-clock time in a zone as UTC. A time the clock skips at a change is taken as the moment
// the clock reads after it (Qt's rule), as the machine's own conversion does.
SystemTime ZoneTimeToUtc(const QTimeZone& zone, const SystemTime& wall)
{
    const QDateTime t = ToQDateTime(wall, zone);
    if (!t.isValid()) return LocalTimeToUtc(wall);
    return FromQDateTime(t.toUTC());
}

}  // namespace

SystemTime UtcToZoneTime(const QTimeZone& zone, const SystemTime& utc)
{
    return FromQDateTime(ToQDateTime(utc, QTimeZone::utc()).toTimeZone(zone));
}

std::optional<IcsDateTime> ParseIcsDateTime(const QString& value, const QString& tzid)
{
    const QString v = value.trimmed();
    const auto allDigits = [&](qsizetype from, qsizetype count) {
        for (qsizetype i = from; i < from + count; ++i)
            if (v[i] < u'0' || v[i] > u'9') return false;
        return true;
    };
    IcsDateTime out;
    if (v.size() == 8 && allDigits(0, 8)) {
        out.kind = IcsDateTime::Kind::Date;
    } else if ((v.size() == 15 || (v.size() == 16 && (v[15] == u'Z' || v[15] == u'z'))) && allDigits(0, 8) &&
               v[8].toUpper() == u'T' && allDigits(9, 6)) {
        out.kind = v.size() == 16 ? IcsDateTime::Kind::Utc : IcsDateTime::Kind::Local;
        out.fields.wHour = Digits(QStringView(v).mid(9, 2));
        out.fields.wMinute = Digits(QStringView(v).mid(11, 2));
        out.fields.wSecond = Digits(QStringView(v).mid(13, 2));
    } else {
        return std::nullopt;
    }
    out.fields.wYear = Digits(QStringView(v).mid(0, 4));
    out.fields.wMonth = Digits(QStringView(v).mid(4, 2));
    out.fields.wDay = Digits(QStringView(v).mid(6, 2));
    // A leap second (":60") is the last second of its minute.
    if (out.fields.wSecond == 60) out.fields.wSecond = 59;
    // Years before 1601 have no place on the platform's time line that zone rules work on.
    if (out.fields.wYear < 1601 || !SystemTimeToOleDate(out.fields)) return std::nullopt;
    if (out.kind == IcsDateTime::Kind::Local)
        if (const std::optional<QTimeZone> zone = KnownIcsZone(tzid)) out.zone = *zone;
    return out;
}

QString FormatIcsDate(const SystemTime& t)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", t.wYear, t.wMonth, t.wDay);
    return QString::fromLatin1(text);
}

QString FormatIcsLocalTime(const SystemTime& t)
{
    return Format("%04d%02d%02dT%02d%02d%02d", t);
}

QString FormatIcsUtcTime(const SystemTime& t)
{
    return Format("%04d%02d%02dT%02d%02d%02dZ", t);
}

SystemTime IcsToUtc(const IcsDateTime& value)
{
    if (value.kind == IcsDateTime::Kind::Utc) return value.fields;
    if (value.zone.isValid()) return ZoneTimeToUtc(value.zone, value.fields);
    return LocalTimeToUtc(value.fields);
}

SystemTime IcsToLocal(const IcsDateTime& value)
{
    if (value.kind == IcsDateTime::Kind::Utc || value.zone.isValid()) return UtcToLocalTime(IcsToUtc(value));
    return value.fields;
}

SystemTime UtcToLocalTime(const SystemTime& utc)
{
    return SystemTimeToTzSpecificLocalTime(GetTimeZoneInformation(), utc);
}

std::optional<std::int64_t> ParseIcsDurationSeconds(const QString& text)
{
    static const QRegularExpression kForm(
        QStringLiteral(
            "^([+-]?)P(?:([0-9]+)W)?(?:([0-9]+)D)?(?:T(?:([0-9]+)H)?(?:([0-9]+)M)?(?:([0-9]+)S)?)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = kForm.match(text.trimmed());
    if (!m.hasMatch()) return std::nullopt;
    bool any = false;
    for (int i = 2; i <= 6; ++i) any = any || m.hasCaptured(i);
    if (!any) return std::nullopt;
    const auto part = [&](int i) -> std::int64_t {
        // Larger values are no duration anyone meant (100,000 weeks are nearly two millennia);
        // the cap keeps the arithmetic far from overflowing.
        return m.hasCaptured(i) ? std::min<std::int64_t>(m.capturedView(i).toLongLong(), 100'000) : 0;
    };
    const std::int64_t seconds =
        part(2) * 7 * 86400 + part(3) * 86400 + part(4) * 3600 + part(5) * 60 + part(6);
    return m.capturedView(1) == u"-" ? -seconds : seconds;
}

SystemTime AddSeconds(const SystemTime& t, std::int64_t seconds)
{
    return FileTimeToSystemTime(SystemTimeToFileTime(t) + seconds * kUnitsPerSecond);
}

std::int64_t SecondsBetween(const SystemTime& from, const SystemTime& to)
{
    return (SystemTimeToFileTime(to) - SystemTimeToFileTime(from)) / kUnitsPerSecond;
}
