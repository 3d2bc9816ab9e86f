#include "media/wpl_playlist.h"

#include <pugixml.hpp>
#include <sstream>

#include "common/errors.h"
#include "common/xml_characters.h"
#include "platform/regular_file_read.h"
#include "platform/replace_user_file.h"
#include "stores/base/xml_depth.h"
#include "version.h"

namespace {

// A playlist of a hundred thousand entries is a few MiB.
constexpr qint64 kMaxPlaylistBytes = 64 * 1024 * 1024;

QString Text(const pugi::char_t* s)
{
    return QString::fromUtf8(s);
}

std::string Utf8(const QString& s)
{
    return s.toStdString();
}

pugi::xml_node Smil(const pugi::xml_document& doc)
{
    return doc.child("smil");
}

pugi::xml_node Sequence(const pugi::xml_document& doc)
{
    return Smil(doc).child("body").child("seq");
}

// The player finds its playlists by this instruction, ahead of any element.
void EnsureWplInstruction(pugi::xml_document& doc)
{
    for (pugi::xml_node node : doc.children())
        if (node.type() == pugi::node_pi && std::string(node.name()) == "wpl") return;
    pugi::xml_node pi = doc.prepend_child(pugi::node_pi);
    pi.set_name("wpl");
    pi.set_value("version=\"1.0\"");
}

void UpdateItemCount(pugi::xml_document& doc)
{
    const pugi::xml_node seq = Sequence(doc);
    int count = 0;
    for (pugi::xml_node media = seq.child("media"); media; media = media.next_sibling("media")) ++count;
    for (pugi::xml_node meta : Smil(doc).child("head").children("meta"))
        if (std::string(meta.attribute("name").value()) == "ItemCount")
            meta.attribute("content").set_value(std::to_string(count).c_str());
}

bool OpensWithByteOrderMark(const QByteArray& bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
           bytes.startsWith(QByteArrayView("\0\0\xFE\xFF", 4));
}

// The line end of the file's first line that has one, LF for a file of one line. Read in the
// file's code units: in UTF-16 a CR is two bytes, and a byte 0x0D may be half of another character.
QByteArray FirstLineEnd(const QByteArray& bytes, pugi::xml_encoding encoding)
{
    std::size_t unit = 1;
    bool bigEndian = false;
    if (encoding == pugi::encoding_utf16_le || encoding == pugi::encoding_utf16_be) unit = 2;
    if (encoding == pugi::encoding_utf32_le || encoding == pugi::encoding_utf32_be) unit = 4;
    if (encoding == pugi::encoding_utf16_be || encoding == pugi::encoding_utf32_be) bigEndian = true;
    const auto size = static_cast<std::size_t>(bytes.size());
    const auto codeUnit = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < unit; ++i)
            value = (value << 8) | static_cast<std::uint8_t>(bytes[static_cast<qsizetype>(
                                       at + (bigEndian ? i : unit - 1 - i))]);
        return value;
    };
    for (std::size_t at = 0; unit <= size - at; at += unit) {
        const std::uint32_t c = codeUnit(at);
        if (c == '\n') return QByteArrayLiteral("\n");
        if (c == '\r')
            return unit <= size - at - unit && codeUnit(at + unit) == '\n' ? QByteArrayLiteral("\r\n")
                                                                          : QByteArrayLiteral("\r");
    }
    return QByteArrayLiteral("\n");
}

// Every line break written as `lineEnd`. XML reads CR LF, CR and LF alike, in text as between
// elements, so what a reader gets stays the same; the file keeps the form its writer chose.
QByteArray WithLineEnds(QByteArray xml, const QByteArray& lineEnd)
{
    xml.replace("\r\n", "\n").replace('\r', '\n');
    return lineEnd == "\n" ? xml : xml.replace("\n", lineEnd);
}

}  // namespace

WplPlaylist::WplPlaylist() : doc_(std::make_unique<pugi::xml_document>()) {}
WplPlaylist::WplPlaylist(WplPlaylist&&) noexcept = default;
WplPlaylist& WplPlaylist::operator=(WplPlaylist&&) noexcept = default;
WplPlaylist::~WplPlaylist() = default;

WplPlaylist WplPlaylist::New(const QString& title)
{
    WplPlaylist playlist;
    pugi::xml_document& doc = *playlist.doc_;
    EnsureWplInstruction(doc);
    pugi::xml_node smil = doc.append_child("smil");
    pugi::xml_node head = smil.append_child("head");
    pugi::xml_node generator = head.append_child("meta");
    generator.append_attribute("name") = "Generator";
    generator.append_attribute("content") = "TwinLark -- " TWINLARK_VERSION_TEXT;
    pugi::xml_node count = head.append_child("meta");
    count.append_attribute("name") = "ItemCount";
    count.append_attribute("content") = "0";
    head.append_child("title");
    smil.append_child("body").append_child("seq");
    playlist.SetTitle(title);
    return playlist;
}

WplPlaylist WplPlaylist::Parse(const QByteArray& bytes)
{
    WplPlaylist playlist;
    const pugi::xml_parse_result result = playlist.doc_->load_buffer(
        bytes.constData(), static_cast<std::size_t>(bytes.size()),
        pugi::parse_default | pugi::parse_pi | pugi::parse_comments | pugi::parse_declaration,
        pugi::encoding_auto);
    if (!result)
        throw MalformedData(std::string("playlist is not well-formed XML: ") + result.description() +
                            " at offset " + std::to_string(result.offset));
    if (DeeperThan(*playlist.doc_, kMaxXmlDepth))
        throw MalformedData("playlist nests elements deeper than " + std::to_string(kMaxXmlDepth) + " levels");
    if (!Smil(*playlist.doc_)) throw MalformedData("playlist has no <smil> element");
    EnsureWplInstruction(*playlist.doc_);
    playlist.lineEnd_ = FirstLineEnd(bytes, result.encoding);
    playlist.byteOrderMark_ = OpensWithByteOrderMark(bytes);
    return playlist;
}

WplPlaylist WplPlaylist::Load(const QString& path)
{
    const BoundedFileRead read = ReadBoundedRegularFile(path, kMaxPlaylistBytes);
    if (read.outcome == BoundedFileRead::Outcome::Unreadable || read.outcome == BoundedFileRead::Outcome::Missing)
        throw AgentError("cannot read " + path.toStdString() + ": " + read.Reason(kMaxPlaylistBytes));
    if (!read.Ok()) throw MalformedData(path.toStdString() + " is " + read.Reason(kMaxPlaylistBytes));
    return Parse(read.bytes);
}

QString WplPlaylist::Title() const
{
    return Text(Smil(*doc_).child("head").child("title").text().get());
}

void WplPlaylist::SetTitle(const QString& title)
{
    pugi::xml_node smil = Smil(*doc_);
    pugi::xml_node head = smil.child("head");
    if (!head) head = smil.prepend_child("head");
    pugi::xml_node node = head.child("title");
    if (!node) node = head.append_child("title");
    node.text().set(Utf8(XmlCharactersOnly(title)).c_str());
}

bool WplPlaylist::IsAutoPlaylist() const
{
    return static_cast<bool>(Smil(*doc_).child("body").find_node(
        [](const pugi::xml_node& n) { return std::string(n.name()) == "smartPlaylist"; }));
}

QStringList WplPlaylist::Sources() const
{
    QStringList sources;
    for (pugi::xml_node media : Sequence(*doc_).children("media"))
        sources << Text(media.attribute("src").value());
    return sources;
}

void WplPlaylist::Append(const QString& source)
{
    pugi::xml_node smil = Smil(*doc_);
    pugi::xml_node body = smil.child("body");
    if (!body) body = smil.append_child("body");
    pugi::xml_node seq = body.child("seq");
    if (!seq) seq = body.append_child("seq");
    // A path is no text to clean: without its characters it would name another file.
    if (!HasOnlyXmlCharacters(source))
        throw AgentError("a playlist cannot hold the path " + Utf8(source) + ": XML cannot carry its characters");
    seq.append_child("media").append_attribute("src") = Utf8(source).c_str();
    UpdateItemCount(*doc_);
}

int WplPlaylist::RemoveWhere(const std::function<bool(const QString& source)>& match)
{
    pugi::xml_node seq = Sequence(*doc_);
    int removed = 0;
    for (pugi::xml_node media = seq.child("media"); media;) {
        const pugi::xml_node next = media.next_sibling("media");
        if (match(Text(media.attribute("src").value()))) {
            seq.remove_child(media);
            ++removed;
        }
        media = next;
    }
    if (removed) UpdateItemCount(*doc_);
    return removed;
}

QByteArray WplPlaylist::Serialize() const
{
    std::ostringstream out;
    // Control characters a file from elsewhere held as references are dropped, not written back
    // as references a strict reader refuses.
    doc_->save(out, "    ",
               pugi::format_indent | pugi::format_no_declaration | pugi::format_skip_control_chars |
                   (byteOrderMark_ ? pugi::format_write_bom : 0u),
               pugi::encoding_utf8);
    return WithLineEnds(QByteArray::fromStdString(out.str()), lineEnd_);
}

void WplPlaylist::Save(const QString& path) const
{
    // A playlist linked into the folder is rewritten where the link points, so the link and
    // the user's own file stay one; the file keeps its permissions (a private one stays private),
    // and a new playlist is readable by all, as the player makes them.
    ReplaceUserFile(path, Serialize(), LinkAtPath::WriteThrough, 0644);
}
