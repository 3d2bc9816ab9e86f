#include "support/scoped_time_zone.h"

#include <cstdlib>
#include <ctime>

ScopedTimeZone::ScopedTimeZone(const QByteArray& zone)
{
    if (const char* tz = std::getenv("TZ")) previous_ = QByteArray(tz);
    ::setenv("TZ", zone.constData(), 1);
    ::tzset();  // the C library's own conversions, which tests compare with, cache the zone
}

ScopedTimeZone::~ScopedTimeZone()
{
    if (previous_)
        ::setenv("TZ", previous_->constData(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}
