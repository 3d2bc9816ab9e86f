#pragma once
// The XML layer under the Windows Contacts ".contact" and ".group" files: a document that keeps
// every byte it does not change, and the path selector the formats address elements with.
//
// Paths are chains of qualified names as written in the file, prefix included
// ("c:contact/c:NameCollection/c:Name/c:GivenName"); "[n]" after a name picks the n-th element
// of that name among its siblings, counting from 0. Without an index the first match in
// document order is taken, whichever branch it is in. This is not XPath.

#include <QByteArray>
#include <QString>
#include <initializer_list>
#include <pugixml.hpp>
#include <string_view>

namespace ContactsVista {

inline constexpr char kContactNamespace[] = "http://schemas.microsoft.com/Contact";
inline constexpr char kSchemaInstanceNamespace[] = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr char kMsp2pNamespace[] = "http://schemas.microsoft.com/Contact/Extended/MSP2P";
inline constexpr char kMswabmapiNamespace[] = "http://schemas.microsoft.com/Contact/Extended/MSWABMAPI";

class ContactXml {
public:
    // Parses the bytes; false when they are not a well-formed document with a root element, or
    // when elements nest deeper than kMaxXmlDepth (real files nest about eight deep; pugixml
    // removes and copies subtrees recursively, so no deeper document is ever kept).
    bool Load(const QByteArray& bytes);
    // The document as bytes: what was loaded comes back byte for byte where nothing changed
    // (the white space around the root element and a byte-order mark included). The XML
    // declaration and every start tag whose element keeps its name and attributes keep their
    // loaded bytes (attributes on several lines, single quotes); a start tag whose attributes
    // changed is written anew on one line. Texts and end tags are written as XML writes them: a
    // character reference or a ">" in a text comes back as the character or "&gt;", an empty
    // element "<a></a>" as "<a/>".
    QByteArray Save() const;

    pugi::xml_document& Document() { return doc_; }
    const pugi::xml_document& Document() const { return doc_; }
    pugi::xml_node Root() const { return doc_.document_element(); }

    // The first element on the path, or an empty node.
    pugi::xml_node Select(std::string_view path) const;

    // Sets the separators written around the root of a document built from nothing.
    void SetTopLevelBreaks(std::string beforeRoot, std::string afterRoot);

private:
    pugi::xml_document doc_;
    std::string bom_;
    std::vector<std::string> separators_;  // before each top-level node after the first
    std::string trailer_;
    QByteArray loaded_;  // the bytes loaded, for the start tags a change leaves alone (UTF-8 only)
    pugi::xml_encoding encoding_ = pugi::encoding_utf8;
};

// The first element at `path` below `from` (the path's first name is a child of `from`).
pugi::xml_node SelectPath(pugi::xml_node from, std::string_view path);

// Whether an element's qualified name is exactly `wanted`.
// Inline: a change check compares every element name it passes on its way, and most differ
// within the first few characters.
inline bool NameIs(const char* name, std::string_view wanted)
{
    for (const char c : wanted)
        if (*name++ != c) return false;
    return *name == '\0';
}

// All text below the element, line ends as XML reads them (CR LF and CR become LF).
QString ElementText(pugi::xml_node element);
// The element's whole content becomes the text (without the characters XML 1.0 forbids, see
// XmlCharactersOnly); its "xsi:nil" goes unless `keepNil`.
void SetElementText(pugi::xml_node element, const QString& text, bool keepNil = false);
// Appends a child element with a text (none when `text` is null), cleaned as SetElementText does.
pugi::xml_node AppendElement(pugi::xml_node parent, const char* name, const QString& text = QString());
// The existing child of that name, or a new one appended.
pugi::xml_node ChildOrAppend(pugi::xml_node parent, const char* name);
bool HasNil(pugi::xml_node element);
void RemoveNil(pugi::xml_node element);
void MarkNil(pugi::xml_node element);

// Starts a ".contact" or ".group" file built from nothing: the XML declaration and the
// "c:contact" root with the namespaces these files declare, a line end either side of it. The root.
pugi::xml_node StartContactDocument(ContactXml& xml);
// Appends an entry of a collection, with the element id that tells the program's entries apart.
pugi::xml_node AppendEntry(pugi::xml_node collection, const char* name, const char* elementId);
// Appends the entry's label collection holding `labels`.
void AppendLabels(pugi::xml_node entry, std::initializer_list<const char*> labels);

}  // namespace ContactsVista
