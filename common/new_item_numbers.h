#pragma once
#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

// Numbers for new items of a store whose items are known by a number that also reads as the
// item's creation time (Chrome's "date_added", Opera's CREATED). A new item takes the clock's
// reading, so that the browser shows when it was added; one past the largest number of the file
// when that is larger (a clock set back, a file from the future); and one past the last number
// handed out by this store when that is larger still. The last keeps an identifier that was
// handed out and then deleted from coming back while the agent runs, even when the clock has
// not moved on: another peer that held the deleted item would be told it was edited into the new
// one.
class NewItemNumbers {
public:
    // The first number a new item (or the first of several made at once, such as the folders
    // along a Path and their bookmark) may take; none when it would pass `limit`.
    std::optional<std::int64_t> First(std::int64_t clock, std::optional<std::int64_t> largestInFile,
                                      std::int64_t limit = std::numeric_limits<std::int64_t>::max()) const
    {
        std::int64_t first = clock;
        if (largestInFile) {
            if (*largestInFile >= limit) return std::nullopt;
            first = std::max(first, *largestInFile + 1);
        }
        if (last_) {
            if (*last_ >= limit) return std::nullopt;
            first = std::max(first, *last_ + 1);
        }
        if (first > limit) return std::nullopt;
        return first;
    }

    // Records a number that was handed out, so that no later one is at or below it.
    void Handed(std::int64_t number) { last_ = last_ ? std::max(*last_, number) : number; }

private:
    std::optional<std::int64_t> last_;
};
