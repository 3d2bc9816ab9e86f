#include "stores/outlook/id_convert.h"

#include <pugixml.hpp>

#include "common/errors.h"
#include "common/item_id.h"
#include "common/xml_characters.h"
#include "platform/agent_file_names.h"
#include "stores/base/store_family.h"
#include "platform/atomic_file.h"
#include "platform/regular_file_read.h"
#include "platform/known_folders.h"
#include "platform/safe_name.h"
#include "stores/base/diagnostics.h"

namespace {

constexpr qsizetype kLongIdUnits = 140;

// The text an XML node stands for: its own text, or the texts of everything below it in document
// order. Walked without recursion, so a map nested however deep costs no stack.
QString TextOf(const pugi::xml_node& node)
{
    const auto isText = [](const pugi::xml_node& n) {
        return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata;
    };
    if (isText(node)) return QString::fromUtf8(node.value());
    QString text;
    pugi::xml_node n = node.first_child();
    while (n) {
        if (isText(n)) text += QString::fromUtf8(n.value());
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n != node && !n.next_sibling()) n = n.parent();
        if (n == node) break;
        n = n.next_sibling();
    }
    return text;
}

// A map larger than this is not read: it is taken as damaged, like one that does not parse.
constexpr qint64 kMaxMapFileBytes = 256 * 1024 * 1024;

struct ByteWriterSink : pugi::xml_writer {
    QByteArray bytes;
    void write(const void* data, size_t size) override
    {
        bytes.append(static_cast<const char*>(data), static_cast<qsizetype>(size));
    }
};

bool LoadDocument(pugi::xml_document& doc, const QString& path)
{
    // Only a regular file is read, and only up to the cap: no FIFO or device can hold the agent.
    const BoundedFileRead read = ReadBoundedRegularFile(path, kMaxMapFileBytes);
    if (read.outcome == BoundedFileRead::Outcome::Missing) return false;
    if (!read.Ok()) {
        qCWarning(lcStores).noquote() << "the identifier map" << path << "is taken as damaged:"
                                      << QString::fromStdString(read.Reason(kMaxMapFileBytes));
        return false;
    }
    return static_cast<bool>(doc.load_buffer(read.bytes.constData(), static_cast<size_t>(read.bytes.size()),
                                             pugi::parse_default | pugi::parse_declaration));
}

// A text as XML 1.0 admits it, in UTF-8.
QByteArray XmlText(const QString& text)
{
    return XmlCharactersOnly(text).toUtf8();
}

}  // namespace

const char* CIdConvert::EmptyMapText()
{
    return "<?xml version='1.0' encoding='utf-8'?><ids>  <contacts></contacts>  "
           "<appointments></appointments>  "
           "<notes></notes>  <tasks></tasks></ids>";
}

void CIdConvert::Clear()
{
    pairs_.clear();
    longOf_.clear();
}

void CIdConvert::Append(Pair pair)
{
    if (!longOf_.contains(pair.first)) longOf_.insert(pair.first, pair.second);
    pairs_.push_back(std::move(pair));
}

int CIdConvert::Load(IdMapKind kind, const QString& machineId)
{
    const QString name = QStringLiteral("ids_") + machineId + QStringLiteral(".xml");
    RequireSafeFileNameComponent(name, "identifier map name");
    RequireOwnAgentFileName(name, AgentFileFamily::IdentifierMap, BookmarkStateParts(), "identifier map name");
    path_ = AgentDataDir() + QLatin1Char('/') + name;
    Clear();
    kind_ = kind;
    switch (kind) {
        case IdMapKind::Contacts:
            sectionName_ = QStringLiteral("contacts");
            break;
        case IdMapKind::Appointments:
            sectionName_ = QStringLiteral("appointments");
            break;
        case IdMapKind::Notes:
            sectionName_ = QStringLiteral("notes");
            break;
        case IdMapKind::Tasks:
            sectionName_ = QStringLiteral("tasks");
            break;
        default:
            return 0;  // another number leaves the section as it was
    }
    sectionPath_ = QStringLiteral("ids/") + sectionName_;

    pugi::xml_document doc;
    if (!LoadDocument(doc, path_)) return 0;
    const pugi::xml_node section = doc.first_element_by_path(sectionPath_.toUtf8().constData());
    if (!section) return 0;
    for (const pugi::xml_node& item : section.children()) {
        Pair pair;
        int position = 0;
        for (const pugi::xml_node& child : item.children()) {
            if (position == 0)
                pair.first = TextOf(child);
            else if (position == 1)
                pair.second = TextOf(child);
            ++position;
        }
        Append(std::move(pair));
    }
    return 0;
}

int CIdConvert::Save()
{
    if (path_.isEmpty() || sectionName_.isEmpty()) return 0;
    pugi::xml_document doc;
    if (!LoadDocument(doc, path_) || !doc.child("ids"))
        doc.load_string(EmptyMapText(), pugi::parse_default | pugi::parse_declaration);
    pugi::xml_node ids = doc.child("ids");
    const QByteArray sectionName = sectionName_.toUtf8();
    // Readers take the first section of a name, so none may stay in front of the new one.
    while (pugi::xml_node old = ids.child(sectionName.constData())) ids.remove_child(old);
    pugi::xml_node section = ids.append_child(sectionName.constData());
    for (const Pair& pair : pairs_) {
        pugi::xml_node item = section.append_child("item");
        item.append_child("id48").text().set(XmlText(pair.first).constData());
        item.append_child("id140").text().set(XmlText(pair.second).constData());
    }
    ByteWriterSink sink;
    doc.save(sink, "", pugi::format_raw, pugi::encoding_utf8);
    try {
        WriteFileAtomically(path_, sink.bytes, 0600);
    } catch (const std::exception& e) {
        throw AgentError(QStringLiteral("the identifier map %1 could not be written: %2")
                             .arg(path_, QString::fromUtf8(e.what())));
    }
    return 0;
}

QString CIdConvert::Get140(const QString& shortId) const
{
    const auto it = longOf_.constFind(shortId);
    return it != longOf_.cend() ? it.value() : QStringLiteral("error in CIdConvert::Get140");
}

void CIdConvert::ConvertIDs(QStringList& ids)
{
    // The first pair of a long identifier wins.
    QHash<QString, QString> shortOf;
    shortOf.reserve(static_cast<qsizetype>(pairs_.size()));
    for (const Pair& pair : pairs_)
        if (!shortOf.contains(pair.second)) shortOf.insert(pair.second, pair.first);
    for (QString& id : ids)
        if (const auto it = shortOf.constFind(id); it != shortOf.cend()) id = it.value();
    for (QString& id : ids)
        if (id.size() == kLongIdUnits) id = Add(id);
}

std::optional<QString> CIdConvert::Find140(const QString& shortId) const
{
    if (const auto it = longOf_.constFind(shortId); it != longOf_.cend()) return it.value();
    return std::nullopt;
}

QString CIdConvert::Remove(const QString& shortId)
{
    for (auto it = pairs_.begin(); it != pairs_.end(); ++it) {
        if (it->first != shortId) continue;
        QString longId = std::move(it->second);
        pairs_.erase(it);
        longOf_.remove(shortId);
        for (const Pair& pair : pairs_)
            if (pair.first == shortId) {
                longOf_.insert(shortId, pair.second);
                break;
            }
        return longId;
    }
    return {};
}

QString CIdConvert::Add(const QString& longId)
{
    QString shortId = NewItemId();
    Append({shortId, longId});
    return shortId;
}
