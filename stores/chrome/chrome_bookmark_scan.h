#pragma once
#include <QByteArray>
#include <vector>

#include "stores/chrome/chrome_bookmark_tree.h"

// The bookmarks of the synchronised folder read straight from a Bookmarks file's bytes, without
// building the document: the change check needs every bookmark's texts and nothing else, and a
// document of tens of thousands of nodes costs far more to build than to read.
//
// Gives exactly what ParseChromeBookmarks followed by ListChromeBookmarks gives, and throws
// AgentError where they throw (bytes that are not JSON in UTF-8, a document without the shape
// the store navigates).
std::vector<ChromeBookmark> ScanChromeBookmarks(const QByteArray& bytes);
