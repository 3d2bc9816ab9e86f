#pragma once
#include <QString>

// The local path of a peer path, or an empty text when it names no local path (no such drive,
// or a path the path map refuses). File requests answer such a path as a missing file.
QString LocalPathOf(const QString& peerPath);
