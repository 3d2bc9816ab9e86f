#pragma once
#include <QString>
#include <QStringList>

// The programs running on this machine, in the place of the system's process snapshot: for
// every process below `procRoot` (normally /proc) the lower-case name of its executable, as
// the kernel keeps it (comm) and as its command line starts (the first argument's file name),
// so wrapper scripts and truncated names are both seen. Processes that end while the list is
// read, or whose details are hidden, are skipped. Nothing when `procRoot` cannot be read.
QStringList RunningProgramNames(const QString& procRoot = QStringLiteral("/proc"));
