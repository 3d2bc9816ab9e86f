#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Chrome bookmarks are known by their "date_added", which is not unique: bookmarks imported
// together often share one. So that each is known by a number of its own, every bookmark whose
// date is not its own gets a free one:
// - among bookmarks sharing a date, the last in document order keeps it (it is the one that date
//   always named), and the others, from the last backwards, take the nearest free numbers below
//   it, a microsecond apart, so they keep their order and, nearly, their time;
// - a bookmark without a date in canonical decimal form (missing, not a number, leading zeros)
//   takes the next free number above every date of the file.
// A number is free when no "date_added" of the whole file holds it and no earlier choice took it.
// The choice depends only on the file, so reading the same file again, or the old dates a running
// Chrome writes back, gives the same numbers.

struct ChromeDateChoice {
    std::size_t bookmark;  // its index in the dates handed in
    std::string date;      // its new "date_added"
};

// `dates`: the "date_added" texts of the synchronised bookmarks in document order (empty for
// none); `fileDates`: every date of the file that reads as a decimal number. The choices come in
// the order of the bookmarks; none when every date is already its own. Throws AgentError when no
// number is left (a file whose dates fill the 63-bit range).
std::vector<ChromeDateChoice> ChooseOwnChromeDates(const std::vector<std::string>& dates,
                                                   std::vector<std::int64_t> fileDates);

// The number `text` holds when it is the canonical decimal form of a number of 0 to 2^63-1.
bool IsCanonicalChromeDate(const std::string& text, std::int64_t* value = nullptr);
