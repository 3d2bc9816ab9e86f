#pragma once
// Internet Explorer's favourite files (".url"), apart from where they are kept
// (stores/internet_explorer/internet_explorer.h): an INI-like text of one byte per character (Latin-1),
// CR LF line ends. Of its sections and keys only the address counts.

#include <QByteArray>
#include <QString>
#include <optional>

// The address: the text after "URL=" on the first line that starts so, whichever section it is
// in (a frame section's "BASEURL=" or "ORIGURL=" line is no such line; "url=" neither). A line
// ends at LF, with one CR before it dropped. Nothing when no line starts so.
std::optional<QString> UrlFileAddress(const QByteArray& content);

// The bytes of a new favourite file for the address: exactly the lines "[InternetShortcut]" and
// "URL=<address>". Throws AgentError for an address that has no 8-bit form (a character beyond
// U+00FF) or that would break the file into more lines (CR, LF).
QByteArray UrlFileContent(const QString& url);

// An existing favourite file with another address: the "URL=" line of its [InternetShortcut]
// section takes it, keeping that line's end, and every other byte stays (the icon, the shell's
// IDList, property and frame sections), so that Internet Explorer and the shell keep what they
// stored there. A section without such a line gets one right below its header; a file without
// the section gets it appended. Refuses the addresses UrlFileContent refuses.
QByteArray UrlFileWithAddress(const QByteArray& content, const QString& url);
