#pragma once
#include <optional>

// "Now" for the code that compares dates with today (the date window of appointments and
// tasks): the machine's local time as an OLE date. Tests, and the emulated-Outlook agent,
// set it to a fixed moment; unset, it is the real clock.
double LocalNowOleDate();

// A fixed "now" (local time, OLE date) for everything that reads LocalNowOleDate, or the
// real clock again with nullopt.
void SetLocalNowOleDate(std::optional<double> now);

// Sets a fixed "now" for one scope.
class ScopedLocalNow {
public:
    explicit ScopedLocalNow(double now) { SetLocalNowOleDate(now); }
    ~ScopedLocalNow() { SetLocalNowOleDate(std::nullopt); }
    ScopedLocalNow(const ScopedLocalNow&) = delete;
    ScopedLocalNow& operator=(const ScopedLocalNow&) = delete;
};
