#pragma once

constexpr int kMaxBookmarkFolderDepth = 64;
