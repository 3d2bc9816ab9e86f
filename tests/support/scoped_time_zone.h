#pragma once
#include <QByteArray>
#include <optional>

// Puts the process in a given time zone for one test, whatever the machine's own zone, and puts
// the previous one back afterwards. `zone` is anything TZ takes: a zone name ("Europe/Berlin")
// or a POSIX rule ("CET-1CEST,M3.5.0,M10.5.0/3").
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const QByteArray& zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<QByteArray> previous_;
};
