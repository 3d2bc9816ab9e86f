#include "platform/local_time.h"

#include "platform/time_zone.h"

namespace {

DateValue ConvertDate(double date, SystemTime (*convert)(const TimeZoneInformation&, const SystemTime&))
{
    if (date == kNoDate || date == kNoDateOnly) return {date, true};
    const std::optional<SystemTime> fields = OleDateToSystemTime(date);
    if (!fields) return {date, false};
    const std::optional<double> converted = SystemTimeToOleDate(convert(GetTimeZoneInformation(), *fields));
    if (!converted) return {date, false};
    return {*converted, true};
}

}  // namespace

SystemTime LocalTimeToUtc(const SystemTime& local)
{
    return TzSpecificLocalTimeToSystemTime(GetTimeZoneInformation(), local);
}

DateValue LocalDateToUtc(double localDate)
{
    return ConvertDate(localDate, &TzSpecificLocalTimeToSystemTime);
}

DateValue UtcDateToLocal(double utcDate)
{
    return ConvertDate(utcDate, &SystemTimeToTzSpecificLocalTime);
}
