#pragma once
// Start at log-in the freedesktop way: a desktop entry in "$XDG_CONFIG_HOME/autostart/", which
// the desktop session runs when the user logs in.

#include <QByteArray>
#include <QString>

// "<config>/autostart/<entryName>.desktop"; empty when the configuration folder is unknown.
QString XdgAutostartPath(const QString& entryName);

// The entry's text: an application named `displayName` whose command line is the quoted
// `program` path, quoted and escaped so any path (blanks, quotes, dollars, percent signs,
// backslashes) reaches the program unchanged.
QByteArray XdgAutostartEntry(const QString& displayName, const QString& program);

// Writes the entry atomically, creating the folder; false when it cannot be written.
bool WriteXdgAutostart(const QString& entryName, const QString& displayName, const QString& program);
// True when no entry is left afterwards.
bool RemoveXdgAutostart(const QString& entryName);
