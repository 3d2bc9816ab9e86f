#include "stores/windows/contact_xml.h"

#include <string>
#include <vector>

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

void CollectMatches(pugi::xml_node from, const std::vector<std::pair<std::string, int>>& steps, std::size_t at,
                    pugi::xml_node& found)
{
    const auto& [name, index] = steps[at];
    int seen = 0;
    for (pugi::xml_node child = from.first_child(); child && !found; child = child.next_sibling()) {
        if (child.type() != pugi::node_element || name != child.name()) continue;
        if (index >= 0 && seen++ != index) continue;
        if (at + 1 == steps.size())
            found = child;
        else
            CollectMatches(child, steps, at + 1, found);
        if (index >= 0) break;
    }
}

void AppendText(pugi::xml_node element, std::string& text)
{
    for (pugi::xml_node node : element.children()) {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
            text += node.value();
        else if (node.type() == pugi::node_element)
            AppendText(node, text);
    }
}

}  // namespace

bool ContactXml::Load(const QByteArray& bytes)
{
    doc_.reset();
    separators_.clear();
    trailer_.clear();
    bom_.clear();
    const pugi::xml_parse_result result = doc_.load_buffer(bytes.constData(), bytes.size(), kParseOptions);
    if (!result || !doc_.document_element()) {
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
        node.print(writer, "", pugi::format_raw, encoding_);
        ++index;
    }
    if (encoding_ == pugi::encoding_utf8) writer.out += trailer_;
    return QByteArray::fromStdString(writer.out);
}

pugi::xml_node ContactXml::Select(std::string_view path) const { return SelectPath(doc_, path); }

pugi::xml_node SelectPath(pugi::xml_node from, std::string_view path)
{
    std::vector<std::pair<std::string, int>> steps;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        std::string_view step = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        int index = -1;
        if (const std::size_t open = step.find('['); open != std::string_view::npos && step.back() == ']') {
            index = 0;
            for (char c : step.substr(open + 1, step.size() - open - 2)) index = index * 10 + (c - '0');
            step = step.substr(0, open);
        }
        steps.emplace_back(std::string(step), index);
    }
    pugi::xml_node found;
    if (!steps.empty()) CollectMatches(from, steps, 0, found);
    return found;
}

QString ElementText(pugi::xml_node element)
{
    std::string text;
    AppendText(element, text);
    QString result = QString::fromUtf8(text);
    if (result.contains(u'\r')) {
        result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        result.replace(u'\r', u'\n');
    }
    return result;
}

void SetElementText(pugi::xml_node element, const QString& text, bool keepNil)
{
    while (element.first_child()) element.remove_child(element.first_child());
    if (!text.isEmpty()) element.append_child(pugi::node_pcdata).set_value(text.toUtf8().constData());
    if (!keepNil) RemoveNil(element);
}

pugi::xml_node AppendElement(pugi::xml_node parent, const char* name, const QString& text)
{
    pugi::xml_node element = parent.append_child(name);
    if (!text.isEmpty()) element.append_child(pugi::node_pcdata).set_value(text.toUtf8().constData());
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

}  // namespace ContactsVista
