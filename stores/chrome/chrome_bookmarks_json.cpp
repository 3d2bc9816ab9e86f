#include "stores/chrome/chrome_bookmarks_json.h"

#include <QCryptographicHash>
#include <cctype>
#include <vector>
#include <QString>

#include "common/errors.h"

namespace {

void RequireModestNesting(const QByteArray& bytes)
{
    // The parser takes a NUL byte for the end of its input: what follows would go unread here
    // and by the change check's scan alike, so such a file is no JSON for either.
    if (bytes.contains('\0')) throw AgentError("Chrome bookmarks file holds a NUL byte");
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : bytes) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxChromeNesting)
                throw AgentError("Chrome bookmarks file nested deeper than " + std::to_string(kMaxChromeNesting) +
                                 " levels");
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

char HexDigit(unsigned v)
{
    return "0123456789ABCDEF"[v & 0xF];
}

void AppendEscape(QByteArray& out, char32_t unit)
{
    out += '\\';
    out += 'u';
    out += HexDigit(unit >> 12);
    out += HexDigit(unit >> 8);
    out += HexDigit(unit >> 4);
    out += HexDigit(unit);
}

// Walks a root and its descendants in Chrome's order, feeding the hash as Chrome does.
void HashNode(QCryptographicHash& md5, const ChromeJson& node)
{
    if (!node.is_object()) return;
    auto text = [&](const char* member) -> const std::string* {
        const auto it = node.find(member);
        return it != node.end() && it->is_string() ? &it->get_ref<const std::string&>() : nullptr;
    };
    if (const std::string* id = text("id")) md5.addData(QByteArrayView(id->data(), qsizetype(id->size())));
    if (const std::string* name = text("name")) {
        const QString title = QString::fromStdString(*name);
        QByteArray utf16le;
        utf16le.reserve(title.size() * 2);
        for (const QChar c : title) {
            utf16le += char(c.unicode() & 0xFF);
            utf16le += char(c.unicode() >> 8);
        }
        md5.addData(utf16le);
    }
    const std::string* type = text("type");
    if (type && *type == "url") {
        md5.addData(QByteArrayView("url"));
        if (const std::string* url = text("url")) md5.addData(QByteArrayView(url->data(), qsizetype(url->size())));
        return;
    }
    md5.addData(QByteArrayView("folder"));
    const auto children = node.find("children");
    if (children != node.end() && children->is_array())
        for (const ChromeJson& child : *children) HashNode(md5, child);
}

// Follows the parser through a document that parsed, and refuses one whose objects name a
// member twice: the parser keeps the last value in the first one's place, so which of the two
// the browser means cannot be told, and a rewrite would lose the other.
class UniqueMemberNames : public nlohmann::json_sax<ChromeJson> {
public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override
    {
        starts_.push_back(names_.size());
        return true;
    }
    bool key(string_t& name) override
    {
        RequireChromeMemberNameUnique(names_, starts_.back(), name);
        return true;
    }
    bool end_object() override
    {
        names_.resize(starts_.back());
        starts_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    std::vector<std::string> names_;
    std::vector<std::size_t> starts_;
};

}  // namespace

void RequireChromeMemberNameUnique(std::vector<std::string>& names, std::size_t objectStart, const std::string& name)
{
    for (std::size_t i = objectStart; i < names.size(); ++i)
        if (names[i] == name)
            throw AgentError("Chrome bookmarks file: an object names its member \"" + name.substr(0, 100) + "\" twice");
    names.push_back(name);
}

ChromeJson ParseChromeBookmarks(const QByteArray& bytes)
{
    RequireModestNesting(bytes);
    ChromeJson document;
    try {
        // The parser refuses bytes that are not UTF-8 and escapes that pair no surrogates.
        document = ChromeJson::parse(bytes.constBegin(), bytes.constEnd());
    } catch (const ChromeJson::exception& e) {
        throw AgentError(std::string("Chrome bookmarks file is not valid JSON in UTF-8: ") + e.what());
    }
    UniqueMemberNames names;
    ChromeJson::sax_parse(bytes.constBegin(), bytes.constEnd(), &names);
    return document;
}

QByteArray SerializeChromeBookmarks(const ChromeJson& document)
{
    // Every text in the document came from valid UTF-8, so the strict handler never fires; the
    // compact form holds bytes from 0x80 up only inside strings, where they become escapes. The
    // library writes containers by recursion, so it is left only the scalars and the keys.
    std::string compact;
    auto scalar = [&](const ChromeJson& value) {
        compact += value.dump(-1, ' ', false, ChromeJson::error_handler_t::strict);
    };
    struct Open {
        const ChromeJson* container;
        ChromeJson::const_iterator next;
    };
    std::vector<Open> open;
    auto begin = [&](const ChromeJson& value) {
        if (!value.is_structured()) return scalar(value);
        compact += value.is_object() ? '{' : '[';
        open.push_back({&value, value.cbegin()});
    };
    begin(document);
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next == top.container->cend()) {
            compact += top.container->is_object() ? '}' : ']';
            open.pop_back();
            continue;
        }
        if (top.next != top.container->cbegin()) compact += ',';
        const ChromeJson::const_iterator it = top.next++;
        if (top.container->is_object()) {
            scalar(ChromeJson(it.key()));
            compact += ':';
        }
        begin(*it);  // may grow `open`; `top` is not used after it
    }
    QByteArray out;
    out.reserve(qsizetype(compact.size() + compact.size() / 8));
    const auto* p = reinterpret_cast<const unsigned char*>(compact.data());
    const auto* end = p + compact.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c == '\\' && p + 1 < end) {
            // The library's own escapes: \" \\ \n ... and \u00XX for control characters,
            // whose digits are written upper-case like every other escape here.
            out += char(c);
            out += char(p[1]);
            if (p[1] == 'u' && p + 6 <= end) {
                for (int i = 2; i < 6; ++i) out += char(std::toupper(p[i]));
                p += 6;
            } else {
                p += 2;
            }
            continue;
        }
        if (c < 0x80) {
            out += char(c);
            ++p;
            continue;
        }
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        char32_t code = c & (0x3F >> (length - 1));
        for (int i = 1; i < length && p + i < end; ++i) code = code << 6 | (p[i] & 0x3F);
        p += length;
        if (code >= 0x10000) {
            code -= 0x10000;
            AppendEscape(out, 0xD800 + (code >> 10));
            AppendEscape(out, 0xDC00 + (code & 0x3FF));
        } else {
            AppendEscape(out, code);
        }
    }
    return out;
}

std::string ChromeBookmarksChecksum(const ChromeJson& document)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    if (document.is_object()) {
        const auto roots = document.find("roots");
        if (roots != document.end() && roots->is_object())
            for (const char* root : {"bookmark_bar", "other", "synced"}) {
                const auto it = roots->find(root);
                if (it != roots->end()) HashNode(md5, *it);
            }
    }
    return md5.result().toHex().toStdString();
}

void UpdateChromeBookmarksChecksum(ChromeJson& document)
{
    if (!document.is_object()) return;
    const auto it = document.find("checksum");
    if (it != document.end() && it->is_string()) *it = ChromeBookmarksChecksum(document);
}
