#pragma once
#include <QString>

class LogFile;

// Tells the user something without holding up the agent: a window that does not block the
// caller on a desktop; on a platform without a screen (offscreen, minimal) a log line, since
// no one could ever close a box there.
void ShowMessageBox(const QString& text, LogFile* log);

// Whether the platform has no screen a person looks at.
bool IsScreenlessPlatform();
