#include "common/clock.h"

#include <algorithm>
#include <ctime>
#include <mutex>

#include "common/ole_date.h"

namespace {

std::mutex& ClockMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::optional<double>& FixedNow()
{
    static std::optional<double> now;
    return now;
}

}  // namespace

double LocalNowOleDate()
{
    {
        std::lock_guard lock(ClockMutex());
        if (FixedNow()) return *FixedNow();
    }
    // localtime_r follows TZ, as every other local-time conversion of the agent does.
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    SystemTime fields;
    fields.wYear = local.tm_year + 1900;
    fields.wMonth = local.tm_mon + 1;
    fields.wDay = local.tm_mday;
    fields.wHour = local.tm_hour;
    fields.wMinute = local.tm_min;
    fields.wSecond = std::min(local.tm_sec, 59);  // a leap second is not a date field
    return SystemTimeToOleDate(fields).value_or(0.0);
}

void SetLocalNowOleDate(std::optional<double> now)
{
    std::lock_guard lock(ClockMutex());
    FixedNow() = now;
}
