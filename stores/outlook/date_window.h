#pragma once
// The window of whole weeks around today that a change check of appointments or tasks may ask
// for: new items outside it are neither reported nor recorded. All dates are local OLE dates,
// as Outlook holds them.

#include <cstdint>
#include <optional>

struct DateWindow {
    // 00:00 of the day 7 * weeksAhead + 1 days after today; an item starting later is outside.
    std::optional<double> upper;
    // 00:00 of the day 7 * weeksBack + 1 days before today; an item ending earlier is outside.
    std::optional<double> lower;
};

// -1 for a side means no bound there; every other value, negative ones too, is a number of weeks.
DateWindow MakeDateWindow(double now, std::int16_t weeksBack, std::int16_t weeksAhead);

// A recurring appointment always passes the lower bound.
bool AppointmentInWindow(const DateWindow& window, double start, double end, bool recurring);
// `end` is DateCompleted, or the pattern's end of a recurring task; the no-date values never
// fail the lower bound, while a start without date lies after every upper bound.
bool TaskInWindow(const DateWindow& window, double startDate, double end);
