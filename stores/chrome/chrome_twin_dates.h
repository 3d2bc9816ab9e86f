#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Chrome bookmarks are known by their "date_added", which is not unique: bookmarks imported
// together often share one. So that each is known by a number of its own, every bookmark whose
// date is not its own gets a free one, which depends on the bookmark alone as far as it can:
// a running Chrome writes the shared dates back after the user deleted or moved one twin, and
// the others must then come back with the numbers they had, or the peer is told one was deleted
// and another edited into its content.
// - Among bookmarks sharing a date, the one with the largest Chrome "id" keeps it (Chrome
//   numbers nodes as it creates them, so that is the newest, which the date always named); where
//   no twin has a usable "id", the last in document order keeps it.
// - Every other twin takes the shared date less its own "id" (a few microseconds earlier, in the
//   order Chrome created them); where its "id" is missing, not a number or repeated, the date
//   less 2^32 less the CRC-32 of its "guid"; where that is missing or repeated too, the date less
//   2^33 less its rank among such twins from the last (1 for the last). Never below 1.
// - A bookmark without a date in canonical decimal form (missing, not a number, leading zeros)
//   asks for the number above every date of the file.
// Where the number asked for is taken, the next free one above it; where none is free above it,
// the nearest free one below. A number is free when no "date_added" of the whole file holds it
// and no earlier choice took it. The choice depends only on the file, so reading the same file
// again, or the old dates a running Chrome writes back, gives the same numbers. It costs a sort
// of the file's dates and one pass over them, however close the twins' dates stand.

// A bookmark of the synchronised folder as the choice sees it: its "date_added", "id" and "guid"
// texts, each empty where the bookmark has none.
struct ChromeTwinInput {
    std::string date;
    std::string id;
    std::string guid;
};

struct ChromeDateChoice {
    std::size_t bookmark;  // its index in the bookmarks handed in
    std::string date;      // its new "date_added"
};

// `bookmarks`: the synchronised bookmarks in document order; `fileDates`: every date of the file
// that reads as a decimal number. The choices come in the order of the bookmarks; none when every
// date is already its own. Throws AgentError when no number is left (a file whose dates fill the
// 63-bit range).
std::vector<ChromeDateChoice> ChooseOwnChromeDates(const std::vector<ChromeTwinInput>& bookmarks,
                                                   std::vector<std::int64_t> fileDates);

// The number `text` holds when it is the canonical decimal form of a number of 0 to 2^63-1.
bool IsCanonicalChromeDate(const std::string& text, std::int64_t* value = nullptr);
