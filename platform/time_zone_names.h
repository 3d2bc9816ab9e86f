#pragma once
#include <QString>

// The zone names the system lists, for names that come from a file or a peer. Such a name is
// never handed to anything that would open it below the zone folder: "../../../dev/ptmx" would
// open a device and hold the agent. A name counts only when the system lists it: the zone table,
// the tz database's links (its compiled source, tzdata.zi, where there is one) and the regular
// files of the zone folder ($TZDIR, else /usr/share/zoneinfo), which hold the links old systems
// install as files or symbolic links (Asia/Calcutta, US/Eastern, GMT, Europe/Kiev).
//
// The lists are read once per zone folder and kept, capped in count and name length, so what a
// hostile folder holds cannot grow the agent's memory.

// The system's spelling of a zone name matched without regard to case ("europe/lisbon" gives
// "Europe/Lisbon"); empty when the system lists no such name.
QString ListedTimeZoneName(const QString& name);
