#pragma once
#include <QByteArray>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// The bytes of Chrome's "Bookmarks" file and the document they hold. Members keep the order
// they have in the file, so that a rewrite changes nothing the store did not change.
using ChromeJson = nlohmann::ordered_json;

// The deepest nesting of objects and arrays read: Chrome's own reader refuses a deeper file, so
// such a file is damaged for the browser too. Every walk of a document is bounded by it, since
// the store never makes a file deeper (its Paths are bounded well inside it).
constexpr int kMaxChromeNesting = 200;

// Reads a whole Bookmarks file. Chrome writes UTF-8: raw (current versions) or with every
// character beyond ASCII as a \u escape (older ones); both read to the same text. Throws
// AgentError naming the fault for bytes that are not UTF-8, not JSON, nested deeper than
// kMaxChromeNesting (measured before anything is parsed), or with an object that names a
// member twice (Chrome never writes one; which value counts could not be told).
ChromeJson ParseChromeBookmarks(const QByteArray& bytes);

// For the readers of the file: `names` holds the member names of the open objects, those of the
// innermost from `objectStart`; adds `name`, or throws AgentError when that object has it already.
void RequireChromeMemberNameUnique(std::vector<std::string>& names, std::size_t objectStart, const std::string& name);

// The document as one line of pure ASCII: no white space between tokens, every UTF-16 unit
// from 0x80 up written as \u with four upper-case hexadecimal digits (a character beyond the
// Basic Multilingual Plane as its two surrogates), the escapes JSON requires kept. Walks the
// document without recursion, whatever its depth.
QByteArray SerializeChromeBookmarks(const ChromeJson& document);

// Chrome's checksum of the document: the lower-case hexadecimal MD5 over the nodes of
// roots.bookmark_bar, roots.other and roots.synced, each folder before its children. A folder
// adds its "id" (ASCII), its "name" as UTF-16LE and "folder"; a bookmark its "id", its "name"
// as UTF-16LE, "url" and its "url" as UTF-8. A member that is missing adds nothing. Chrome
// renumbers every node when the stored checksum differs from this one.
std::string ChromeBookmarksChecksum(const ChromeJson& document);

// Recomputes the document's "checksum" when it holds one as a string (a document without
// one is left so).
void UpdateChromeBookmarksChecksum(ChromeJson& document);
