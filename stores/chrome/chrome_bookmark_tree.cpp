#include "stores/chrome/chrome_bookmark_tree.h"

#include <QDateTime>
#include <charconv>
#include <limits>

#include "common/errors.h"
#include "stores/chrome/chrome_twin_dates.h"

namespace {

// Microseconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kChromeEpochOffset = 11644473600000000;

using NameChain = std::vector<const std::string*>;

const std::string* StringMember(const ChromeJson& object, const char* key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? &it->get_ref<const std::string&>() : nullptr;
}

// The member `name` of `object`, which must be there and hold an object.
ChromeJson& ObjectMember(ChromeJson& object, const char* name, const char* where)
{
    const auto it = object.find(name);
    if (it == object.end())
        throw AgentError(std::string("Chrome bookmarks file: ") + where + " has no \"" + name + "\"");
    if (!it->is_object())
        throw AgentError(std::string("Chrome bookmarks file: \"") + name + "\" in " + where + " is not an object");
    return *it;
}

// Chrome reads its roots by name, and so does the store: older Chrome wrote the members of an
// object sorted by name and other programs write them in any order, so a position names
// different folders in different files.
ChromeJson& SynchronisedFolder(ChromeJson& document)
{
    if (!document.is_object()) throw AgentError("Chrome bookmarks file: the document is not an object");
    return ObjectMember(ObjectMember(document, "roots", "the document"), "other", "the roots");
}

const ChromeJson& SynchronisedFolder(const ChromeJson& document)
{
    return SynchronisedFolder(const_cast<ChromeJson&>(document));
}

ChromeJson& ChildrenOf(ChromeJson& folder)
{
    const auto it = folder.find("children");
    if (it == folder.end() || !it->is_array())
        throw AgentError("Chrome bookmarks file: a folder's \"children\" is missing or not an array");
    return *it;
}

[[noreturn]] void ThrowNotAnObject()
{
    throw AgentError("Chrome bookmarks file: an array below the synchronised folder holds a value that is "
                     "not an object");
}

// Visits every bookmark below `object` in document order, the objects inside one before it.
// `chain` holds the names of the objects above `object`; `array` and `index` tell where
// `object` stands when it is an array element. Below the synchronised folder (strict) every
// array element must be an object; elsewhere other values are passed over.
template <class Visit>
void WalkBookmarks(ChromeJson& object, NameChain& chain, bool strict, Visit& visit, ChromeJson* array,
                   std::size_t index)
{
    chain.push_back(StringMember(object, "name"));
    for (auto it = object.begin(); it != object.end(); ++it) {
        ChromeJson& value = it.value();
        if (value.is_object()) {
            WalkBookmarks(value, chain, strict, visit, nullptr, 0);
        } else if (value.is_array()) {
            for (std::size_t i = 0; i < value.size(); ++i) {
                ChromeJson& element = value[i];
                if (element.is_object()) WalkBookmarks(element, chain, strict, visit, &value, i);
                else if (strict) ThrowNotAnObject();
            }
        }
    }
    chain.pop_back();
    if (const std::string* url = StringMember(object, "url")) visit(object, chain, *url, array, index);
}

QString Text(const std::string* s)
{
    return s ? QString::fromStdString(*s) : QString();
}

// The names below the synchronised folder's own, joined by "/".
QString PathOf(const NameChain& chain)
{
    QString path;
    for (std::size_t i = 1; i < chain.size(); ++i) {
        if (i > 1) path += QLatin1Char('/');
        path += Text(chain[i]);
    }
    return path;
}

std::optional<std::int64_t> DecimalDate(const std::string& text)
{
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
    return value;
}

void CollectDates(const ChromeJson& value, std::vector<std::int64_t>& dates)
{
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (it.key() == "date_added" && it->is_string()) {
                if (const auto date = DecimalDate(it->get_ref<const std::string&>())) dates.push_back(*date);
            } else {
                CollectDates(it.value(), dates);
            }
        }
    } else if (value.is_array()) {
        for (const ChromeJson& element : value) CollectDates(element, dates);
    }
}

void CollectLargestDate(const ChromeJson& value, std::optional<std::int64_t>& largest)
{
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (it.key() == "date_added" && it->is_string()) {
                if (const auto date = DecimalDate(it->get_ref<const std::string&>()))
                    if (!largest || *date > *largest) largest = date;
            } else {
                CollectLargestDate(it.value(), largest);
            }
        }
    } else if (value.is_array()) {
        for (const ChromeJson& element : value) CollectLargestDate(element, largest);
    }
}

bool IsBookmark(const ChromeJson& object)
{
    return StringMember(object, "url") != nullptr;
}

void RemoveBookmarksBelow(ChromeJson& object, std::size_t& removed)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        ChromeJson& value = it.value();
        if (value.is_object()) {
            RemoveBookmarksBelow(value, removed);
        } else if (value.is_array()) {
            for (std::size_t i = 0; i < value.size();) {
                ChromeJson& element = value[i];
                if (!element.is_object()) ThrowNotAnObject();
                if (IsBookmark(element)) {
                    value.erase(i);
                    ++removed;
                } else {
                    RemoveBookmarksBelow(element, removed);
                    ++i;
                }
            }
        }
    }
}

std::string Utf8(const QString& s)
{
    return s.toStdString();
}

}  // namespace

std::vector<ChromeBookmark> ListChromeBookmarks(const ChromeJson& document)
{
    std::vector<ChromeBookmark> bookmarks;
    auto visit = [&](const ChromeJson& object, const NameChain& chain, const std::string& url, ChromeJson*,
                     std::size_t) {
        bookmarks.push_back({Text(StringMember(object, "date_added")),
                             {PathOf(chain), Text(StringMember(object, "name")), QString::fromStdString(url)}});
    };
    NameChain chain;
    WalkBookmarks(const_cast<ChromeJson&>(SynchronisedFolder(document)), chain, true, visit, nullptr, 0);
    return bookmarks;
}

std::vector<ChromeDateChange> GiveChromeBookmarksOwnDates(ChromeJson& document)
{
    std::vector<ChromeJson*> bookmarks;
    std::vector<ChromeTwinInput> inputs;
    auto visit = [&](ChromeJson& object, const NameChain&, const std::string&, ChromeJson*, std::size_t) {
        auto text = [&](const char* member) {
            const std::string* value = StringMember(object, member);
            return value ? *value : std::string();
        };
        bookmarks.push_back(&object);
        inputs.push_back({text("date_added"), text("id"), text("guid")});
    };
    NameChain chain;
    WalkBookmarks(SynchronisedFolder(document), chain, true, visit, nullptr, 0);
    std::vector<std::int64_t> fileDates;
    CollectDates(document, fileDates);
    std::vector<ChromeDateChange> changes;
    for (const ChromeDateChoice& choice : ChooseOwnChromeDates(inputs, std::move(fileDates))) {
        ChromeJson& bookmark = *bookmarks[choice.bookmark];
        changes.push_back({Text(StringMember(bookmark, "name")), QString::fromStdString(inputs[choice.bookmark].date),
                           QString::fromStdString(choice.date)});
        bookmark["date_added"] = choice.date;
    }
    return changes;
}

bool RemoveChromeBookmark(ChromeJson& document, const std::string& id)
{
    ChromeJson* array = nullptr;
    std::size_t index = 0;
    auto visit = [&](const ChromeJson& object, const NameChain&, const std::string&, ChromeJson* inArray,
                     std::size_t at) {
        const std::string* date = StringMember(object, "date_added");
        if (inArray && date && *date == id) {
            array = inArray;
            index = at;
        }
    };
    NameChain chain;
    WalkBookmarks(SynchronisedFolder(document), chain, true, visit, nullptr, 0);
    if (!array) WalkBookmarks(document, chain, false, visit, nullptr, 0);
    if (!array) return false;
    array->erase(index);
    return true;
}

std::size_t RemoveAllChromeBookmarks(ChromeJson& document)
{
    std::size_t removed = 0;
    RemoveBookmarksBelow(SynchronisedFolder(document), removed);
    return removed;
}

std::optional<std::int64_t> LargestChromeDate(const ChromeJson& document)
{
    std::optional<std::int64_t> largest;
    CollectLargestDate(document, largest);
    return largest;
}

ChromeJson& ReachChromeFolder(ChromeJson& document, const QStringList& folders, std::int64_t& counter)
{
    ChromeJson* children = &ChildrenOf(SynchronisedFolder(document));
    for (const QString& folderName : folders) {
        const std::string name = Utf8(folderName);
        ChromeJson* found = nullptr;
        for (ChromeJson& element : *children) {
            if (!element.is_object()) ThrowNotAnObject();
            const auto n = element.find("name");
            const auto t = element.find("type");
            if ((n != element.end() && !n->is_string()) || (t != element.end() && !t->is_string()))
                throw AgentError("Chrome bookmarks file: a node's name or type is not a text");
            if (n != element.end() && t != element.end() && n->get_ref<const std::string&>() == name &&
                t->get_ref<const std::string&>() == "folder") {
                found = &element;
                break;
            }
        }
        if (found) {
            children = &ChildrenOf(*found);
            continue;
        }
        if (counter == std::numeric_limits<std::int64_t>::max())
            throw AgentError("Chrome bookmarks file: no number left for a new folder");
        ++counter;
        ChromeJson folder = ChromeJson::object();
        folder["children"] = ChromeJson::array();
        folder["date_added"] = std::to_string(static_cast<std::uint64_t>(counter));
        folder["name"] = name;
        folder["type"] = "folder";
        children->push_back(std::move(folder));
        children = &children->back()["children"];
    }
    return *children;
}

void AppendChromeBookmark(ChromeJson& children, const QString& id, const BookmarkRecord& record)
{
    ChromeJson bookmark = ChromeJson::object();
    bookmark["date_added"] = Utf8(id);
    bookmark["name"] = Utf8(record.name);
    bookmark["type"] = "url";
    bookmark["url"] = Utf8(record.url);
    children.push_back(std::move(bookmark));
}

QStringList SplitChromeFolderPath(const QString& path)
{
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

std::int64_t ChromeTimeNow()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000 + kChromeEpochOffset;
}
