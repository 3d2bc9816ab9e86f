#include "dispatch/bookmark_state_file.h"

#include <QFile>

#include "common/byte_io.h"
#include "common/errors.h"
#include "platform/agent_file_names.h"
#include "stores/base/store_family.h"
#include "platform/atomic_file.h"
#include "platform/known_folders.h"
#include "platform/safe_name.h"
#include "stores/catalog/source_catalog.h"

namespace {

bool TryReadRecord(BookmarkNaming naming, ByteReader& r, BookmarkCheckEntry& e)
{
    auto text = [&r](std::uint32_t units, QString& out) {
        // Checked against what is left before anything is taken: the count is the file's word.
        if (static_cast<std::uint64_t>(units) * 2 > r.Remaining()) return false;
        out = utf16::FromBytesUpToZero(r.Bytes(static_cast<std::size_t>(units) * 2));
        return true;
    };
    if (KeysArePaths(naming)) {
        if (r.Remaining() < 16) return false;
        e.idLow = r.U32();
        e.idHigh = r.U32();
        e.crc = r.U32();
        return text(r.U32(), e.key);
    }
    if (r.Remaining() < 8) return false;
    r.Skip(4);
    if (!text(r.U32(), e.key) || r.Remaining() < 4) return false;
    e.crc = r.U32();
    return true;
}

}  // namespace

bool BookmarkStateFile::HoldsRecords(std::uint32_t browserKind)
{
    const SourceRow* row = FindSource(SourceKind::Bookmarks, browserKind);
    return row && HoldsRecords(row->bookmarkNaming);
}

BookmarkStateFile::BookmarkStateFile(BrowserKind kind, const QString& machineId, const QString& suffix)
    : kind_(kind)
{
    const SourceRow* row = FindSource(kind);
    if (!row)
        throw AgentError("no bookmark state file for browser kind " +
                         std::to_string(static_cast<std::uint32_t>(kind)));
    RequireSafeFileNameComponent(machineId, "machine identifier");
    const QString name = machineId + QLatin1String(row->bookmarkStatePart) + suffix;
    RequireSafeFileNameComponent(name, "bookmark state file name");
    RequireOwnAgentFileName(name, AgentFileFamily::BookmarkState, BookmarkStateParts(), "bookmark state file name");
    path_ = AgentDataDir() + QLatin1Char('/') + name;
}

BookmarkStateFile::Records BookmarkStateFile::Load() const
{
    QFile file(path_);
    if (!file.exists()) {
        if (!file.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            throw AgentError("cannot create " + path_.toStdString() + ": " +
                             file.errorString().toStdString());
        return {};
    }
    if (!file.open(QIODevice::ReadOnly))
        throw AgentError("cannot read " + path_.toStdString() + ": " + file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AgentError("cannot read " + path_.toStdString() + ": " + file.errorString().toStdString());
    return Decode(kind_, bytes);
}

void BookmarkStateFile::Save(const BookmarkCheckList& entries) const
{
    WriteFileAtomically(path_, Encode(kind_, entries), 0600);
}

void BookmarkStateFile::Truncate() const
{
    WriteFileAtomically(path_, {}, 0600);
}

QByteArray BookmarkStateFile::Encode(BrowserKind kind, const BookmarkCheckList& entries)
{
    QByteArray out;
    const BookmarkNaming naming = NamingOf(kind);
    if (!HoldsRecords(naming)) return out;
    ByteWriter w(out);
    for (const BookmarkCheckEntry& e : entries) {
        const auto units = static_cast<std::uint32_t>(e.key.size());
        if (KeysArePaths(naming)) {
            w.U32(e.idLow);
            w.U32(e.idHigh);
            w.U32(e.crc);
            w.U32(units);
            w.Utf16(e.key);
        } else {
            w.U32(e.crc);
            w.U32(units);
            w.Utf16(e.key);
            w.U32(e.crc);
        }
    }
    return out;
}

BookmarkStateFile::Records BookmarkStateFile::Decode(BrowserKind kind, const QByteArray& bytes)
{
    Records records;
    const BookmarkNaming naming = NamingOf(kind);
    if (!HoldsRecords(naming)) return records;
    ByteReader r(bytes);
    while (!r.AtEnd()) {
        const std::size_t start = r.Position();
        BookmarkCheckEntry e;
        if (!TryReadRecord(naming, r, e)) {
            records.ignoredBytes = static_cast<std::size_t>(bytes.size()) - start;
            break;
        }
        records.entries.push_back(std::move(e));
    }
    return records;
}
