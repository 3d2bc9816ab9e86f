#include "stores/chrome/chrome_twin_dates.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "common/crc32.h"
#include "common/errors.h"

namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
// Where the numbers derived from a guid, and then from a rank, start below the shared date: far
// below every number derived from Chrome's ids, which count the nodes a profile ever held.
constexpr std::int64_t kGuidOffset = std::int64_t(1) << 32;
constexpr std::int64_t kRankOffset = std::int64_t(1) << 33;

// A number asked for; `want` may be one past the largest, for a dateless bookmark in a file that
// holds the largest date already.
struct Request {
    std::uint64_t want;
    std::size_t bookmark;
};

// `date` less `offset` (both 0 or more), never below 1.
std::uint64_t Below(std::int64_t date, std::int64_t offset)
{
    return date - offset < 1 ? 1 : std::uint64_t(date - offset);
}

// How often each non-empty text occurs.
std::unordered_map<std::string_view, int> Occurrences(const std::vector<ChromeTwinInput>& bookmarks,
                                                      std::string ChromeTwinInput::*member)
{
    std::unordered_map<std::string_view, int> counts;
    counts.reserve(bookmarks.size());
    for (const ChromeTwinInput& b : bookmarks)
        if (!(b.*member).empty()) ++counts[b.*member];
    return counts;
}

// Gives each request the smallest free number at or above what it asks for; those that find none
// there take the largest free numbers below. `used` is sorted and holds each number once.
std::vector<std::int64_t> Allocate(std::vector<Request>& requests, const std::vector<std::int64_t>& used)
{
    std::sort(requests.begin(), requests.end(), [](const Request& a, const Request& b) {
        return a.want != b.want ? a.want < b.want : a.bookmark < b.bookmark;
    });
    std::vector<std::int64_t> answers(requests.size(), 0);
    // Both the wishes and the answers only grow, so one pass over the used numbers serves all:
    // every number from a request's wish up to the answer before it is taken already.
    std::size_t u = 0;
    std::uint64_t next = 0;
    std::size_t placed = 0;
    for (; placed < requests.size(); ++placed) {
        std::uint64_t candidate = std::max(requests[placed].want, next);
        while (u < used.size() && std::uint64_t(used[u]) < candidate) ++u;
        while (candidate <= std::uint64_t(kLargest) && u < used.size() && std::uint64_t(used[u]) == candidate) {
            ++candidate;
            ++u;
        }
        if (candidate > std::uint64_t(kLargest)) break;  // every number from here up is taken
        answers[placed] = std::int64_t(candidate);
        next = candidate + 1;
    }
    if (placed == requests.size()) return answers;

    // The rest go below the first wish that found nothing above, downwards past every number
    // taken, the answers given so far included.
    std::vector<std::int64_t> taken(used);
    taken.insert(taken.end(), answers.begin(), answers.begin() + std::ptrdiff_t(placed));
    std::sort(taken.begin(), taken.end());
    std::int64_t candidate = std::int64_t(std::min(requests[placed].want, std::uint64_t(kLargest) + 1) - 1);
    std::size_t t = taken.size();
    for (std::size_t i = placed; i < requests.size(); ++i) {
        while (t > 0 && taken[t - 1] > candidate) --t;
        while (candidate >= 1 && t > 0 && taken[t - 1] == candidate) {
            --candidate;
            --t;
        }
        if (candidate < 1)
            throw AgentError("Chrome bookmarks file: no free date left for a bookmark that shares its date or has none");
        answers[i] = candidate--;
    }
    return answers;
}

}  // namespace

bool IsCanonicalChromeDate(const std::string& text, std::int64_t* value)
{
    if (text.empty() || (text.size() > 1 && text[0] == '0')) return false;
    std::int64_t v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || v < 0) return false;
    if (value) *value = v;
    return true;
}

std::vector<ChromeDateChoice> ChooseOwnChromeDates(const std::vector<ChromeTwinInput>& bookmarks,
                                                   std::vector<std::int64_t> fileDates)
{
    // The dated bookmarks in order of their dates (document order within one date); the cheap
    // answer when every date is its own.
    std::vector<std::pair<std::int64_t, std::size_t>> dated;
    dated.reserve(bookmarks.size());
    std::vector<std::size_t> dateless;
    for (std::size_t i = 0; i < bookmarks.size(); ++i) {
        std::int64_t date = 0;
        if (IsCanonicalChromeDate(bookmarks[i].date, &date)) dated.emplace_back(date, i);
        else dateless.push_back(i);
    }
    std::sort(dated.begin(), dated.end());
    const bool shared =
        std::adjacent_find(dated.begin(), dated.end(), [](const auto& a, const auto& b) { return a.first == b.first; }) !=
        dated.end();
    std::vector<ChromeDateChoice> choices;
    if (!shared && dateless.empty()) return choices;

    const auto ids = Occurrences(bookmarks, &ChromeTwinInput::id);
    const auto guids = Occurrences(bookmarks, &ChromeTwinInput::guid);
    auto ownId = [&](std::size_t i) -> std::optional<std::int64_t> {
        std::int64_t id = 0;
        if (!IsCanonicalChromeDate(bookmarks[i].id, &id) || ids.at(bookmarks[i].id) != 1) return std::nullopt;
        return id;
    };
    auto hasOwnGuid = [&](std::size_t i) { return !bookmarks[i].guid.empty() && guids.at(bookmarks[i].guid) == 1; };

    std::vector<Request> requests;
    for (std::size_t start = 0; start < dated.size();) {
        std::size_t end = start + 1;
        while (end < dated.size() && dated[end].first == dated[start].first) ++end;
        if (end - start > 1) {
            const std::int64_t date = dated[start].first;
            std::size_t keeper = dated[end - 1].second;
            std::optional<std::int64_t> keeperId;
            for (std::size_t k = start; k < end; ++k)
                if (const auto id = ownId(dated[k].second); id && (!keeperId || *id > *keeperId)) {
                    keeperId = id;
                    keeper = dated[k].second;
                }
            std::int64_t rank = 0;
            for (std::size_t k = end; k-- > start;) {
                const std::size_t i = dated[k].second;
                if (i == keeper) continue;
                if (const auto id = ownId(i)) {
                    requests.push_back({Below(date, *id), i});
                } else if (hasOwnGuid(i)) {
                    const std::string& guid = bookmarks[i].guid;
                    requests.push_back({Below(date - std::min(date, kGuidOffset), Crc32(guid.data(), guid.size())), i});
                } else {
                    requests.push_back({Below(date - std::min(date, kRankOffset), ++rank), i});
                }
            }
        }
        start = end;
    }
    std::sort(fileDates.begin(), fileDates.end());
    fileDates.erase(std::unique(fileDates.begin(), fileDates.end()), fileDates.end());
    // A negative "date_added" is no number a choice could take.
    fileDates.erase(fileDates.begin(), std::lower_bound(fileDates.begin(), fileDates.end(), 0));
    const std::uint64_t aboveAll = fileDates.empty() ? 1 : std::uint64_t(fileDates.back()) + 1;
    for (const std::size_t i : dateless) requests.push_back({aboveAll, i});

    const std::vector<std::int64_t> answers = Allocate(requests, fileDates);
    choices.reserve(requests.size());
    for (std::size_t r = 0; r < requests.size(); ++r)
        choices.push_back({requests[r].bookmark, std::to_string(answers[r])});
    std::sort(choices.begin(), choices.end(),
              [](const ChromeDateChoice& a, const ChromeDateChoice& b) { return a.bookmark < b.bookmark; });
    return choices;
}
