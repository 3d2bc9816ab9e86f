#pragma once
#include <QString>

class RequestContext;

// What a request would do with a path: use what lies there, or remove or move the item itself,
// which takes along whatever a folder holds.
enum class PathUse { Inside, Whole };

// Whether the peer path leads into the agent's own folders (or, for PathUse::Whole, names a
// folder holding them): those are never the peer's. Logs the refusal when it does.
bool LeadsToAgentFiles(RequestContext& ctx, const QString& peerPath, PathUse use = PathUse::Inside);

// The local path of a peer path a file request may use, or an empty text when it names no local
// path (no such drive, a path the path map refuses) or leads to the agent's own files. File
// requests answer such a path as a missing file.
QString UsableLocalPathOf(RequestContext& ctx, const QString& peerPath, PathUse use = PathUse::Inside);
