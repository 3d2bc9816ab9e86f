#include "stores/chrome/chrome_twin_dates.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "common/errors.h"

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

std::vector<ChromeDateChoice> ChooseOwnChromeDates(const std::vector<std::string>& dates,
                                                   std::vector<std::int64_t> fileDates)
{
    // Where each date's last bookmark stands; the cheap answer when every date is its own.
    std::unordered_map<std::string_view, std::size_t> last;
    last.reserve(dates.size());
    bool twins = false;
    for (std::size_t i = 0; i < dates.size(); ++i) {
        if (!IsCanonicalChromeDate(dates[i])) {
            twins = true;
            continue;
        }
        const auto [it, inserted] = last.try_emplace(dates[i], i);
        if (!inserted) {
            twins = true;
            it->second = i;
        }
    }
    std::vector<ChromeDateChoice> choices;
    if (!twins) return choices;

    std::unordered_set<std::int64_t> taken(fileDates.begin(), fileDates.end());
    const std::int64_t largest = fileDates.empty() ? 0 : *std::max_element(fileDates.begin(), fileDates.end());
    std::int64_t above = largest;
    auto takeAbove = [&]() -> std::int64_t {
        do {
            if (above == std::numeric_limits<std::int64_t>::max())
                throw AgentError("Chrome bookmarks file: no free date left for a bookmark that shares its date");
            ++above;
        } while (taken.count(above));
        taken.insert(above);
        return above;
    };

    // The bookmarks that give up their date, from the last backwards, so that the nearest free
    // number below a shared date goes to the twin just before the one that keeps it.
    std::vector<std::size_t> dateless;
    std::unordered_map<std::string_view, std::int64_t> below;  // per shared date: the last number taken
    for (std::size_t i = dates.size(); i-- > 0;) {
        std::int64_t shared = 0;
        if (!IsCanonicalChromeDate(dates[i], &shared)) {
            dateless.push_back(i);
            continue;
        }
        if (last.at(dates[i]) == i) continue;
        auto [it, first] = below.try_emplace(dates[i], shared);
        std::int64_t candidate = it->second;
        do {
            --candidate;
        } while (candidate >= 1 && taken.count(candidate));
        std::int64_t chosen = candidate;
        if (candidate < 1) {
            chosen = takeAbove();
        } else {
            taken.insert(candidate);
            it->second = candidate;
        }
        choices.push_back({i, std::to_string(chosen)});
    }
    // Dateless bookmarks take their numbers in document order, after every twin has its own.
    for (auto it = dateless.rbegin(); it != dateless.rend(); ++it) choices.push_back({*it, std::to_string(takeAbove())});
    std::sort(choices.begin(), choices.end(),
              [](const ChromeDateChoice& a, const ChromeDateChoice& b) { return a.bookmark < b.bookmark; });
    return choices;
}
