#pragma once
#include <QString>

class LogFile;
class QMessageBox;

// Tells the user something without holding up the agent: a window that does not block the
// caller on a desktop; on a platform without a screen (offscreen, minimal) a log line, since
// no one could ever close a box there.
void ShowMessageBox(const QString& text, LogFile* log);

// The window of ShowMessageBox, opened on any platform: it returns at once, before anyone
// answers, and the box deletes itself when it is closed.
QMessageBox* OpenMessageBox(const QString& text);

// Whether the platform has no screen a person looks at.
bool IsScreenlessPlatform();
