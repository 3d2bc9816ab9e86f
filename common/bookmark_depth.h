#pragma once

// How many folders deep a peer's bookmark Path may reach. Every store that makes folders from a
// Path refuses a deeper one before it writes anything: Chrome reads no bookmarks file nested
// past 200 levels (each folder costs two), the stores' own readers have limits of their own,
// and nobody keeps bookmarks this deep on purpose.
inline constexpr int kMaxBookmarkFolderDepth = 64;
