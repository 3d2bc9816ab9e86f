#pragma once
#include <QFile>

// The logs keep the newest lines within a fixed size: when a write would take a log past its
// limit, the log becomes "<name>.1" (replacing the one kept before) and a new log is begun, so a
// peer that makes the agent log a great deal cannot fill the disk.
inline constexpr qint64 kMaxLogBytes = 8 * 1024 * 1024;

// Rotates `file` (open for writing) when `incoming` more bytes would pass `limit`. The new log
// is created readable and writable by the user alone. False when the new log cannot be opened
// (later lines are then lost, as with a log that could not be opened at start).
bool RotateLogIfFull(QFile& file, qint64 incoming, qint64 limit = kMaxLogBytes);
