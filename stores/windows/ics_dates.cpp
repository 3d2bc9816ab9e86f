#include "stores/windows/ics_dates.h"

#include <QRegularExpression>
#include <cstdio>

#include "common/dates.h"
#include "platform/local_time.h"
#include "platform/time_zone.h"

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

std::optional<IcsDateTime> ParseIcsDateTime(const QString& value)
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
    return value.kind == IcsDateTime::Kind::Utc ? value.fields : LocalTimeToUtc(value.fields);
}

SystemTime IcsToLocal(const IcsDateTime& value)
{
    return value.kind == IcsDateTime::Kind::Utc ? UtcToLocalTime(value.fields) : value.fields;
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
