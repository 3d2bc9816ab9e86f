#include "stores/outlook/date_window.h"

#include <cmath>

#include "common/dates.h"

namespace {

// 00:00 of the day `days` after the day of `now`. OLE dates from 30 December 1899 on count whole
// days in their integer part, so the day's start is its floor.
double DayStart(double now, int days)
{
    return std::floor(now) + days;
}

bool IsNoDate(double date)
{
    return date == kNoDate || date == kNoDateOnly;
}

}  // namespace

DateWindow MakeDateWindow(double now, std::int16_t weeksBack, std::int16_t weeksAhead)
{
    DateWindow window;
    if (weeksAhead != -1) window.upper = DayStart(now, 7 * weeksAhead + 1);
    if (weeksBack != -1) window.lower = DayStart(now, -(7 * weeksBack + 1));
    return window;
}

bool AppointmentInWindow(const DateWindow& window, double start, double end, bool recurring)
{
    if (window.upper && start > *window.upper) return false;
    if (window.lower && !recurring && end < *window.lower) return false;
    return true;
}

bool TaskInWindow(const DateWindow& window, double startDate, double end)
{
    if (window.upper && startDate > *window.upper) return false;
    if (window.lower && !IsNoDate(end) && end < *window.lower) return false;
    return true;
}
