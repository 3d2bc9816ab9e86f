#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace pugi {
class xml_document;
}

// One Windows Media Player playlist file (.wpl): SMIL in XML, opened by the processing
// instruction <?wpl version="1.0"?>:
//
//   <smil><head><meta name="Generator" .../><meta name="ItemCount" content="3"/><title>Name</title></head>
//         <body><seq><media src="..\Artist\song.mp3" tid="{...}"/>...</seq></body></smil>
//
// Everything this class does not change (other metas, attributes such as tid, unknown
// elements) is written back as it was read.
class WplPlaylist {
public:
    // An empty playlist with that title.
    static WplPlaylist New(const QString& title);
    // Reads a playlist file; throws MalformedData for bytes that are not a SMIL playlist (or nest
    // deeper than kMaxXmlDepth) and for a file that is no regular file or holds more than 64 MiB,
    // AgentError when the file cannot be read.
    static WplPlaylist Load(const QString& path);
    static WplPlaylist Parse(const QByteArray& bytes);

    WplPlaylist(WplPlaylist&&) noexcept;
    WplPlaylist& operator=(WplPlaylist&&) noexcept;
    ~WplPlaylist();

    // The <title> text ("" when there is none).
    QString Title() const;
    // Characters XML 1.0 forbids are left out (see XmlCharactersOnly).
    void SetTitle(const QString& title);
    // An auto playlist (a query, <smartPlaylist>) rather than a list of items.
    bool IsAutoPlaylist() const;

    // The src of every <media> of the sequence, in order.
    QStringList Sources() const;
    // Throws AgentError for a source XML 1.0 cannot carry (a control character in a file name).
    void Append(const QString& source);
    // Removes every <media> whose src satisfies `match`; returns how many went.
    int RemoveWhere(const std::function<bool(const QString& source)>& match);

    // The file's bytes: UTF-8, the wpl instruction first, indented as the player writes it, with
    // ItemCount (when the file has one) matching the items. A parsed file keeps its own line end
    // (that of its first line, CR LF as the player writes them) and its byte-order mark (in UTF-8);
    // a new one has LF and no mark.
    QByteArray Serialize() const;
    // Writes the file atomically through ReplaceUserFile (where a link to it points, keeping its
    // permission bits; a new playlist gets 0644); throws AgentError when it cannot.
    void Save(const QString& path) const;

private:
    WplPlaylist();
    std::unique_ptr<pugi::xml_document> doc_;
    QByteArray lineEnd_ = QByteArrayLiteral("\n");
    bool byteOrderMark_ = false;
};
