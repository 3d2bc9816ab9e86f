// Arbitrary bytes as an Opera hotlist. Read whole and read in pieces, the lines must be the same
// (or both refused); a hotlist that reads must come back byte for byte. Then the three Opera
// stores work on it as a synchronisation does (list, checksum, read, edit, delete, add, write
// back), and what they write must read again with the items they left.
//
// The first input byte chooses the size of the pieces; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "common/bookmark_store.h"
#include "common/errors.h"
#include "common/item_record.h"
#include "stores/opera/opera_bookmarks.h"
#include "stores/opera/opera_contacts.h"
#include "stores/opera/opera_hotlist.h"
#include "stores/opera/opera_notes.h"

namespace {

void Require(bool condition)
{
    if (!condition) std::abort();
}

const QString& Folder()
{
    // Pictures are read only below the home folder: the home is this folder.
    static QTemporaryDir dir;
    static const QString path = dir.path();
    static const bool homeSet = qputenv("HOME", QFile::encodeName(path));
    (void)homeSet;
    return path;
}

QString Plant(const char* name, const QByteArray& bytes)
{
    const QString path = Folder() + QLatin1Char('/') + QString::fromLatin1(name);
    QFile f(path);
    Require(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
    return path;
}

std::optional<AdrLines> ReadInPieces(const QByteArray& bytes, qsizetype piece)
{
    AdrLineReader reader;
    try {
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            reader.Feed(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
        return reader.Finish();
    } catch (const AdrParseError&) {
        return std::nullopt;
    }
}

// A contacts or notes store: the written file reads again with one item deleted and one added.
template <typename Store>
void RunItemStore(const QString& path, bool readable)
{
    Store store(path);
    try {
        store.Open();
    } catch (const AgentError&) {
        Require(!readable);
        return;
    }
    Require(readable);
    QStringList ids;
    store.GetIDs(ids);
    for (const QString& id : ids) {
        (void)store.IDtoCRC32(id);
        ItemRecord record;
        try {
            store.Get(id, record);
        } catch (const AgentError&) {
            // a contact's picture that is not served
        }
    }
    qsizetype expected = ids.size();
    if (!ids.isEmpty()) {
        ItemRecord edit;
        edit.Add(QStringLiteral("Body"), QStringLiteral("edited\nbody"));
        edit.Add(QStringLiteral("Email2Address"), QStringLiteral("b@example.org"));
        edit.Add(QStringLiteral("HomeAddressCity"), QStringLiteral("City"));
        store.Edit(edit, ids.front());
        store.Delete(ids.back());
        --expected;
    }
    ItemRecord add;
    add.Add(QStringLiteral("Body"), QStringLiteral("added"));
    add.Add(QStringLiteral("FirstName"), QStringLiteral("New"));
    QString newId;
    try {
        store.Add(add, newId);
        ++expected;
    } catch (const AgentError&) {
        // no number left for it
    }
    store.Close();

    Store again(path);
    again.Open();
    QStringList after;
    again.GetIDs(after);
    Require(after.size() == expected);
}

void RunBookmarks(const QString& path, bool readable)
{
    COperaBookmarks store(path);
    try {
        store.AtSyncStart();
    } catch (const AgentError&) {
        Require(!readable);
        return;
    }
    Require(readable);
    const std::vector<UrlFileEntry> ids = store.GetIDs();
    for (const UrlFileEntry& e : ids) {
        (void)store.IDtoCRC32(e.key);
        BookmarkRecord record;
        store.Get(e.key, record);
    }
    std::size_t expected = ids.size();
    if (!ids.empty()) {
        store.Edit(ids.front().key, {QStringLiteral("Moved/Here"), QStringLiteral("n\nn"), QStringLiteral("u")});
        store.Delete(ids.back().key);
        --expected;
    }
    (void)store.Add({QStringLiteral("A/B"), QStringLiteral("added"), QStringLiteral("http://a/")});
    ++expected;
    store.AtSyncEnd();

    COperaBookmarks again(path);
    again.AtSyncStart();
    Require(again.GetIDs().size() == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const qsizetype piece = 1 + data[0] % 16;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    const std::optional<AdrLines> pieces = ReadInPieces(bytes, piece);
    std::optional<AdrDocument> whole;
    try {
        whole = AdrDocument::Parse(bytes, QStringLiteral("#NOTE"));
    } catch (const AdrParseError&) {
    }
    if (pieces && whole) {
        // What reads comes back byte for byte; no bytes at all become a new file's header.
        if (!bytes.isEmpty()) Require(whole->Serialize() == bytes);
        const std::optional<AdrLines> again = ReadInPieces(bytes, bytes.size() + 1);
        Require(again && again->lines.size() == pieces->lines.size());
        for (std::size_t i = 0; i < pieces->lines.size(); ++i)
            Require(again->lines[i].text == pieces->lines[i].text && again->lines[i].end == pieces->lines[i].end);
    }
    // Lines that do not read in pieces do not read whole; a block structure may still fail whole.
    if (!pieces) Require(!whole);
    const bool linesRead = pieces.has_value();

    // Whether each store can read it depends on its own item line.
    const auto parses = [&](const char* itemLine) {
        if (!linesRead) return false;
        try {
            (void)AdrDocument::Parse(bytes, QString::fromLatin1(itemLine));
            return true;
        } catch (const AdrParseError&) {
            return false;
        }
    };
    RunItemStore<COperaNotes>(Plant("notes.adr", bytes), parses("#NOTE"));
    RunItemStore<COperaContacts>(Plant("contacts.adr", bytes), parses("#CONTACT"));
    RunBookmarks(Plant("bookmarks.adr", bytes), parses("#URL"));
    return 0;
}
