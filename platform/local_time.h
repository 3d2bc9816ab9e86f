#pragma once
#include "common/dates.h"
#include "common/ole_date.h"

// The machine's local time to UTC under its current zone (time_zone.h), for the dates that travel
// in UTC. Throws AgentError for fields that name no moment.
SystemTime LocalTimeToUtc(const SystemTime& local);

// The same for whole date values, as the stores hold them, in both directions. The no-date values
// are no moments and stay as they are, so that an unset date still travels as empty text in any
// zone. A value that cannot be broken into fields, or whose converted fields leave the
// representable range, gives an invalid result.
DateValue LocalDateToUtc(double localDate);
DateValue UtcDateToLocal(double utcDate);
