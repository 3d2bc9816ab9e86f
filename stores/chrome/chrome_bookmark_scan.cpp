#include "stores/chrome/chrome_bookmark_scan.h"

#include <optional>
#include <string>

#include "common/errors.h"

namespace {

// Follows the parser's events with a stack of the open containers. Objects at or below the
// synchronised folder get a record (their name and the record of the object around them), so a
// bookmark's Path can be put together once the names of its folders, which Chrome writes after
// their children, are known.
class Scanner {
public:
    using Json = ChromeJson;

    bool null() { return Scalar(); }
    bool boolean(bool) { return Scalar(); }
    bool number_integer(Json::number_integer_t) { return Scalar(); }
    bool number_unsigned(Json::number_unsigned_t) { return Scalar(); }
    bool number_float(Json::number_float_t, const Json::string_t&) { return Scalar(); }
    bool binary(Json::binary_t&) { return Scalar(); }
    bool string(Json::string_t& value)
    {
        Slot slot = BeginValue(false);
        if (slot.member) Remember(*slot.member, &value);
        return true;
    }
    bool start_object(std::size_t)
    {
        Slot slot = BeginValue(true);
        if (slot.member) Remember(*slot.member, nullptr);
        Frame frame;
        frame.object = true;
        frame.inFolder = slot.isFolder || (slot.parent && slot.parent->inFolder);
        frame.roots = slot.isRoots;
        frame.depth = stack_.empty() ? 0 : stack_.back().depth + 1;
        frame.namesStart = names_.size();
        if (frame.inFolder) {
            frame.record = static_cast<int>(records_.size());
            records_.push_back({slot.isFolder ? -1 : NearestRecord(), std::nullopt});
        }
        Push(std::move(frame));
        return true;
    }
    bool key(Json::string_t& name)
    {
        Frame& frame = stack_.back();
        RequireChromeMemberNameUnique(names_, frame.namesStart, name);
        ++frame.members;
        frame.key = name;
        return true;
    }
    bool end_object()
    {
        Frame frame = std::move(stack_.back());
        stack_.pop_back();
        names_.resize(frame.namesStart);
        if (frame.depth == 0 && !sawRoots_) Fail("the document has no \"roots\"");
        if (frame.roots && !sawFolder_) Fail("the roots has no \"other\"");
        if (frame.inFolder && frame.url) found_.push_back({frame.record, std::move(frame.date), std::move(*frame.url)});
        return true;
    }
    bool start_array(std::size_t)
    {
        Slot slot = BeginValue(false);
        if (slot.member) Remember(*slot.member, nullptr);
        Frame frame;
        frame.inFolder = slot.parent && slot.parent->inFolder;
        frame.depth = stack_.empty() ? 0 : stack_.back().depth + 1;
        Push(std::move(frame));
        return true;
    }
    bool end_array()
    {
        stack_.pop_back();
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e)
    {
        throw AgentError(std::string("Chrome bookmarks file is not valid JSON in UTF-8: ") + e.what());
    }

    std::vector<ChromeBookmark> Bookmarks()
    {
        if (!sawDocumentObject_) Fail("the document is not an object");
        std::vector<std::optional<QString>> paths(records_.size());
        std::vector<ChromeBookmark> bookmarks;
        bookmarks.reserve(found_.size());
        for (Found& f : found_) {
            const Record& own = records_[std::size_t(f.record)];
            bookmarks.push_back({QString::fromStdString(f.date),
                                 {PathOf(own.parent, paths), own.name ? QString::fromStdString(*own.name) : QString(),
                                  QString::fromStdString(f.url)}});
        }
        return bookmarks;
    }

private:
    struct Record {
        int parent;  // -1 for the synchronised folder
        std::optional<std::string> name;
    };
    struct Frame {
        bool object = false;
        bool inFolder = false;
        bool roots = false;  // the document's "roots"
        std::size_t depth = 0;
        int members = 0;            // keys seen so far (objects)
        std::size_t namesStart = 0; // where its member names start in names_
        std::string key;
        int record = -1;
        std::string date;
        std::optional<std::string> url;
        std::size_t elements = 0;   // values seen so far (arrays)
    };
    // Where a value stands: in which container, as which member.
    struct Slot {
        Frame* parent = nullptr;
        const std::string* member = nullptr;  // the key, for a member of an object at or below the folder
        std::size_t index = 0;
        bool isRoots = false;
        bool isFolder = false;
    };
    struct Found {
        int record;
        std::string date;
        std::string url;
    };

    [[noreturn]] static void Fail(const char* what)
    {
        throw AgentError(std::string("Chrome bookmarks file: ") + what);
    }

    void Push(Frame frame)
    {
        if (stack_.size() + 1 > std::size_t(kMaxChromeNesting))
            throw AgentError("Chrome bookmarks file nested deeper than " + std::to_string(kMaxChromeNesting) +
                             " levels");
        stack_.push_back(std::move(frame));
    }

    int NearestRecord() const
    {
        for (auto it = stack_.rbegin(); it != stack_.rend(); ++it)
            if (it->record >= 0) return it->record;
        return -1;
    }

    Slot BeginValue(bool isObject)
    {
        Slot slot;
        if (stack_.empty()) {
            if (!isObject) Fail("the document is not an object");
            sawDocumentObject_ = true;
            return slot;
        }
        Frame& parent = stack_.back();
        slot.parent = &parent;
        if (!parent.object) {
            if (parent.inFolder && !isObject)
                Fail("an array below the synchronised folder holds a value that is not an object");
            slot.index = parent.elements++;
            return slot;
        }
        slot.index = std::size_t(parent.members - 1);
        // Chrome takes its roots by name, whatever order the members stand in.
        if (parent.depth == 0 && parent.key == "roots") {
            if (!isObject) Fail("\"roots\" in the document is not an object");
            slot.isRoots = true;
            sawRoots_ = true;
        }
        if (parent.roots && parent.key == "other") {
            if (!isObject) Fail("\"other\" in the roots is not an object");
            slot.isFolder = true;
            sawFolder_ = true;
        }
        if (parent.inFolder) slot.member = &parent.key;
        return slot;
    }

    // A member's value of the object on top: "name", "date_added" and "url" count only as texts.
    void Remember(const std::string& member, const std::string* text)
    {
        Frame& frame = stack_.back();
        if (member == "name") {
            records_[std::size_t(frame.record)].name = text ? std::optional(*text) : std::nullopt;
        } else if (member == "date_added") {
            frame.date = text ? *text : std::string();
        } else if (member == "url") {
            frame.url = text ? std::optional(*text) : std::nullopt;
        }
    }

    bool Scalar()
    {
        Slot slot = BeginValue(false);
        if (slot.member) Remember(*slot.member, nullptr);
        return true;
    }

    // The names of the objects from below the synchronised folder down to `record`, joined by "/".
    // Walks up to the nearest folder whose Path is known, then fills the Paths in on the way back
    // down, so the depth of the folders costs no stack.
    QString PathOf(int record, std::vector<std::optional<QString>>& paths) const
    {
        std::vector<int> chain;  // records whose Path is still unknown, the deepest first
        for (int r = record; r >= 0 && records_[std::size_t(r)].parent >= 0 && !paths[std::size_t(r)];
             r = records_[std::size_t(r)].parent)
            chain.push_back(r);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const Record& r = records_[std::size_t(*it)];
            const QString name = r.name ? QString::fromStdString(*r.name) : QString();
            // The synchronised folder's own name is no part of a Path.
            paths[std::size_t(*it)] = records_[std::size_t(r.parent)].parent < 0
                                          ? name
                                          : *paths[std::size_t(r.parent)] + QLatin1Char('/') + name;
        }
        if (record < 0 || records_[std::size_t(record)].parent < 0) return {};
        return *paths[std::size_t(record)];
    }

    std::vector<Frame> stack_;
    std::vector<std::string> names_;
    std::vector<Record> records_;
    std::vector<Found> found_;
    bool sawDocumentObject_ = false;
    bool sawRoots_ = false;
    bool sawFolder_ = false;
};

}  // namespace

std::vector<ChromeBookmark> ScanChromeBookmarks(const QByteArray& bytes)
{
    // As the document reader refuses it: the parser would stop reading at the NUL byte.
    if (bytes.contains('\0')) throw AgentError("Chrome bookmarks file holds a NUL byte");
    Scanner scanner;
    ChromeJson::sax_parse(bytes.constBegin(), bytes.constEnd(), &scanner);
    return scanner.Bookmarks();
}
