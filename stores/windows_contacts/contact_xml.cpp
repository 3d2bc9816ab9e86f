#include "stores/windows_contacts/contact_xml.h"

#include <cstring>
#include <string_view>
#include <string>
#include <vector>

#include "common/xml_characters.h"
#include "stores/base/xml_depth.h"

namespace ContactsVista {

namespace {

constexpr unsigned kParseOptions = (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol;

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

// The white space that stands right before the markup of a node starting at `offset` (which
// pugixml gives just after the '<' and any '?', '!' or '--').
std::string SpaceBefore(const QByteArray& bytes, std::ptrdiff_t offset)
{
    qsizetype lt = bytes.lastIndexOf('<', offset < 0 ? 0 : offset);
    if (lt <= 0) return {};
    qsizetype start = lt;
    while (start > 0 && IsXmlSpace(bytes[start - 1])) --start;
    return bytes.mid(start, lt - start).toStdString();
}

// The first element on `path` below `from`, in document order. Steps are taken from the path as
// the search goes, so no look-up allocates.
pugi::xml_node Find(pugi::xml_node from, std::string_view path)
{
    const std::size_t slash = path.find('/');
    std::string_view step = path.substr(0, slash);
    const std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    int index = -1;
    if (const std::size_t open = step.find('['); open != std::string_view::npos && step.back() == ']') {
        index = 0;
        for (char c : step.substr(open + 1, step.size() - open - 2)) index = index * 10 + (c - '0');
        step = step.substr(0, open);
    }
    int seen = 0;
    for (pugi::xml_node child = from.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element || !NameIs(child.name(), step)) continue;
        if (index >= 0 && seen++ != index) continue;
        if (rest.empty()) return child;
        if (pugi::xml_node found = Find(child, rest)) return found;
        if (index >= 0) break;
    }
    return {};
}

// Walks the subtree in document order without recursion.
void AppendText(pugi::xml_node element, std::string& text)
{
    pugi::xml_node node = element.first_child();
    while (node && node != element) {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
            text += node.value();
        else if (node.type() == pugi::node_element && node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node != element && !node.next_sibling()) node = node.parent();
        if (node != element) node = node.next_sibling();
    }
}

// The element after `node` in document order below `top` (empty after the last), without recursion.
pugi::xml_node NextElement(pugi::xml_node node, pugi::xml_node top)
{
    for (;;) {
        if (node.first_child()) {
            node = node.first_child();
        } else {
            while (node != top && !node.next_sibling()) node = node.parent();
            if (node == top) return {};
            node = node.next_sibling();
        }
        if (node.type() == pugi::node_element) return node;
    }
}

// The end of the markup that starts at `lt` ("<"): one past its last byte, or npos when it is cut.
std::size_t MarkupEnd(std::string_view text, std::size_t lt)
{
    const std::string_view rest = text.substr(lt);
    const auto past = [&](std::string_view close) {
        const std::size_t at = text.find(close, lt + 1);
        return at == std::string_view::npos ? at : at + close.size();
    };
    if (rest.starts_with("<!--")) return past("-->");
    if (rest.starts_with("<![CDATA[")) return past("]]>");
    if (rest.starts_with("<?")) return past("?>");
    if (rest.starts_with("<!") || rest.starts_with("</")) return past(">");
    char quote = 0;
    for (std::size_t i = lt + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// The start tag the element had in the loaded bytes when its name and its attributes (names,
// values and order) are still what that tag says, and it still closes the same way; else empty.
// A value with a reference in it is not compared, and its tag is written anew.
std::string_view LoadedStartTag(const QByteArray& loaded, pugi::xml_node element, bool selfClosing)
{
    const std::ptrdiff_t offset = element.offset_debug();
    if (offset <= 0 || offset > loaded.size() || loaded.at(static_cast<qsizetype>(offset - 1)) != '<') return {};
    const std::string_view bytes(loaded.constData(), static_cast<std::size_t>(loaded.size()));
    const std::size_t lt = static_cast<std::size_t>(offset - 1);
    const std::size_t end = MarkupEnd(bytes, lt);
    if (end == std::string_view::npos) return {};
    const std::string_view tag = bytes.substr(lt, end - lt);
    if (tag.ends_with("/>") != selfClosing) return {};
    const auto isSpace = [](char c) { return IsXmlSpace(c); };
    std::size_t i = 1;
    const auto word = [&](auto stop) {
        const std::size_t from = i;
        while (i < tag.size() && !stop(tag[i])) ++i;
        return tag.substr(from, i - from);
    };
    const auto skipSpace = [&] {
        while (i < tag.size() && isSpace(tag[i])) ++i;
    };
    if (word([&](char c) { return isSpace(c) || c == '/' || c == '>'; }) != element.name()) return {};
    pugi::xml_attribute attribute = element.first_attribute();
    for (;;) {
        skipSpace();
        if (i >= tag.size() || tag[i] == '/' || tag[i] == '>') break;
        const std::string_view name = word([&](char c) { return isSpace(c) || c == '='; });
        skipSpace();
        if (i >= tag.size() || tag[i] != '=') return {};
        ++i;
        skipSpace();
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) return {};
        const char quote = tag[i++];
        const std::string_view value = word([&](char c) { return c == quote; });
        ++i;
        if (!attribute || name != attribute.name() || value.find('&') != std::string_view::npos) return {};
        // Attribute values are read with their white space characters as spaces.
        const char* now = attribute.value();
        if (std::strlen(now) != value.size()) return {};
        for (std::size_t k = 0; k < value.size(); ++k)
            if ((isSpace(value[k]) ? ' ' : value[k]) != now[k]) return {};
        attribute = attribute.next_attribute();
    }
    return attribute ? std::string_view() : tag;
}

// The declaration as it stood in the loaded bytes; empty when it cannot be found there.
std::string_view LoadedDeclaration(const QByteArray& loaded, pugi::xml_node declaration)
{
    const std::ptrdiff_t offset = declaration.offset_debug();
    if (offset < 2 || offset > loaded.size() || loaded.at(static_cast<qsizetype>(offset - 2)) != '<' ||
        loaded.at(static_cast<qsizetype>(offset - 1)) != '?')
        return {};
    const std::string_view bytes(loaded.constData(), static_cast<std::size_t>(loaded.size()));
    const std::size_t end = MarkupEnd(bytes, static_cast<std::size_t>(offset - 2));
    return end == std::string_view::npos ? std::string_view() : bytes.substr(offset - 2, end - (offset - 2));
}

// The printed element and everything below it, with every start tag the change left as it was
// in its loaded form: its attributes keep their lines, spaces and quotes.
void KeepLoadedStartTags(const QByteArray& loaded, pugi::xml_node top, std::string& out, std::size_t from)
{
    const std::string printed = out.substr(from);
    out.resize(from);
    std::size_t at = 0;
    pugi::xml_node element = top;
    while (at < printed.size()) {
        const std::size_t lt = printed.find('<', at);
        if (lt == std::string::npos) break;
        out.append(printed, at, lt - at);
        const std::size_t end = MarkupEnd(printed, lt);
        if (end == std::string::npos) {
            at = lt;
            break;
        }
        const std::string_view tag = std::string_view(printed).substr(lt, end - lt);
        const bool isStartTag = tag.size() > 1 && tag[1] != '/' && tag[1] != '!' && tag[1] != '?';
        std::string_view kept;
        if (isStartTag && element) {
            kept = LoadedStartTag(loaded, element, tag.ends_with("/>"));
            element = NextElement(element, top);
        }
        out.append(kept.empty() ? tag : kept);
        at = end;
    }
    out.append(printed, at);
}

}  // namespace

bool ContactXml::Load(const QByteArray& bytes)
{
    doc_.reset();
    separators_.clear();
    trailer_.clear();
    bom_.clear();
    loaded_.clear();
    const pugi::xml_parse_result result = doc_.load_buffer(bytes.constData(), bytes.size(), kParseOptions);
    if (!result || !doc_.document_element() || DeeperThan(doc_, kMaxXmlDepth)) {
        doc_.reset();
        return false;
    }
    encoding_ = result.encoding;
    if (bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        bom_ = bytes.left(bytes.startsWith('\xEF') ? 3 : 2).toStdString();
    bool first = true;
    for (pugi::xml_node node : doc_.children()) {
        if (!first) separators_.push_back(encoding_ == pugi::encoding_utf8 ? SpaceBefore(bytes, node.offset_debug()) : "");
        first = false;
    }
    if (encoding_ == pugi::encoding_utf8) {
        qsizetype end = bytes.size();
        while (end > 0 && IsXmlSpace(bytes[end - 1])) --end;
        trailer_ = bytes.mid(end).toStdString();
        loaded_ = bytes;  // shared with the caller's copy, not copied
    }
    return true;
}

void ContactXml::SetTopLevelBreaks(std::string beforeRoot, std::string afterRoot)
{
    separators_.assign(1, std::move(beforeRoot));
    trailer_ = std::move(afterRoot);
}

QByteArray ContactXml::Save() const
{
    StringWriter writer;
    if (!bom_.empty()) writer.out = bom_;
    std::size_t index = 0;
    for (pugi::xml_node node : doc_.children()) {
        if (index > 0 && index - 1 < separators_.size()) {
            // Separators are ASCII white space; in a UTF-16 document they are dropped.
            if (encoding_ == pugi::encoding_utf8) writer.out += separators_[index - 1];
        }
        // Control characters XML forbids are dropped, not written as character references a
        // strict reader refuses (a file loaded from an older or lenient writer may hold them).
        const std::size_t start = writer.out.size();
        node.print(writer, "", pugi::format_raw | pugi::format_skip_control_chars, encoding_);
        if (!loaded_.isEmpty()) {
            if (node.type() == pugi::node_element) KeepLoadedStartTags(loaded_, node, writer.out, start);
            // No store changes the XML declaration: it keeps its quotes and spaces.
            if (node.type() == pugi::node_declaration)
                if (const std::string_view loaded = LoadedDeclaration(loaded_, node); !loaded.empty())
                    writer.out.replace(start, std::string::npos, loaded);
        }
        ++index;
    }
    if (encoding_ == pugi::encoding_utf8) writer.out += trailer_;
    return QByteArray::fromStdString(writer.out);
}

pugi::xml_node ContactXml::Select(std::string_view path) const { return SelectPath(doc_, path); }

pugi::xml_node SelectPath(pugi::xml_node from, std::string_view path)
{
    return path.empty() ? pugi::xml_node() : Find(from, path);
}

QString ElementText(pugi::xml_node element)
{
    QString result;
    pugi::xml_node first = element.first_child();
    if (!first) return result;
    if (!first.next_sibling() && first.type() == pugi::node_pcdata) {
        result = QString::fromUtf8(first.value());  // the usual case: one text, nothing else
    } else {
        std::string text;
        AppendText(element, text);
        result = QString::fromUtf8(text);
    }
    if (result.contains(u'\r')) {
        result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        result.replace(u'\r', u'\n');
    }
    return result;
}

void SetElementText(pugi::xml_node element, const QString& text, bool keepNil)
{
    while (element.first_child()) element.remove_child(element.first_child());
    const QString clean = XmlCharactersOnly(text);
    if (!clean.isEmpty()) element.append_child(pugi::node_pcdata).set_value(clean.toUtf8().constData());
    if (!keepNil) RemoveNil(element);
}

pugi::xml_node AppendElement(pugi::xml_node parent, const char* name, const QString& text)
{
    pugi::xml_node element = parent.append_child(name);
    const QString clean = XmlCharactersOnly(text);
    if (!clean.isEmpty()) element.append_child(pugi::node_pcdata).set_value(clean.toUtf8().constData());
    return element;
}

pugi::xml_node ChildOrAppend(pugi::xml_node parent, const char* name)
{
    pugi::xml_node child = parent.child(name);
    return child ? child : parent.append_child(name);
}

bool HasNil(pugi::xml_node element) { return static_cast<bool>(element.attribute("xsi:nil")); }

void RemoveNil(pugi::xml_node element)
{
    while (element.remove_attribute("xsi:nil")) {
    }
}

void MarkNil(pugi::xml_node element)
{
    pugi::xml_attribute nil = element.attribute("xsi:nil");
    if (!nil) nil = element.append_attribute("xsi:nil");
    nil.set_value("true");
}

pugi::xml_node StartContactDocument(ContactXml& xml)
{
    pugi::xml_document& doc = xml.Document();
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    decl.append_attribute("encoding").set_value("utf-8");
    pugi::xml_node root = doc.append_child("c:contact");
    root.append_attribute("c:Version").set_value("1");
    root.append_attribute("xmlns:c").set_value(kContactNamespace);
    root.append_attribute("xmlns:xsi").set_value(kSchemaInstanceNamespace);
    root.append_attribute("xmlns:MSP2P").set_value(kMsp2pNamespace);
    root.append_attribute("xmlns:MSWABMAPI").set_value(kMswabmapiNamespace);
    xml.SetTopLevelBreaks("\r\n", "\r\n");
    return root;
}

pugi::xml_node AppendEntry(pugi::xml_node collection, const char* name, const char* elementId)
{
    pugi::xml_node entry = collection.append_child(name);
    entry.append_attribute("c:ElementID").set_value(elementId);
    return entry;
}

void AppendLabels(pugi::xml_node entry, std::initializer_list<const char*> labels)
{
    pugi::xml_node collection = entry.append_child("c:LabelCollection");
    for (const char* label : labels) AppendElement(collection, "c:Label", QString::fromLatin1(label));
}

}  // namespace ContactsVista
