#pragma once
#include <QString>

// What may go into one line of the agent's logs. Texts there come from the peer and from files
// too (machine identifiers, paths, item fields), so a line can never hold a line break of its
// own (a peer could forge lines such as "AS_LOGIN...ok") and never grows without bound.

// The most characters of one log line before it is cut.
inline constexpr qsizetype kMaxLogLineUnits = 2048;

// The line as written: CR as "\r", LF as "\n", every other control character but TAB (C0, DEL
// and C1, U+0080 to U+009F) as "\xNN"; one LF at its very end (the log's own mark of an empty
// line after it) is kept. A longer line is cut with a mark saying how much was left out.
QString LogLineText(const QString& line);
