#include "dispatch/state_file.h"

#include <QFile>
#include <algorithm>
#include <iterator>

#include "common/byte_io.h"
#include "common/errors.h"
#include "common/item_id.h"
#include "platform/agent_file_names.h"
#include "stores/base/store_family.h"
#include "platform/atomic_file.h"
#include "platform/known_folders.h"
#include "platform/safe_name.h"

QString StateFilePath(StateFileKind kind, const QString& machineId, const QString& notesSuffix)
{
    RequireSafeFileNameComponent(machineId, "machine identifier");
    QString extension;
    switch (kind) {
    case StateFileKind::Appointments: extension = QStringLiteral("Appointment"); break;
    case StateFileKind::Notes: extension = notesSuffix; break;
    case StateFileKind::Contacts: extension = QStringLiteral("Contact"); break;
    case StateFileKind::Tasks: extension = QStringLiteral("Task"); break;
    }
    const QString name = machineId + QLatin1Char('.') + extension;
    RequireSafeFileNameComponent(name, "state file name");
    RequireOwnAgentFileName(name, kind == StateFileKind::Notes ? AgentFileFamily::NotesState : AgentFileFamily::ItemState,
                            BookmarkStateParts(), "state file name");
    return AgentDataDir() + QLatin1Char('/') + name;
}

std::vector<StateEntry> DecodeStateRecords(const QByteArray& bytes)
{
    std::vector<StateEntry> entries;
    const qsizetype count = bytes.size() / kStateRecordBytes;
    entries.reserve(static_cast<std::size_t>(count));
    ByteReader r(bytes);
    for (qsizetype i = 0; i < count; ++i) {
        StateEntry e;
        e.id = r.Utf16(kItemIdBytes);
        e.crc = r.U32();
        entries.push_back(std::move(e));
    }
    return entries;
}

QByteArray EncodeStateRecords(const std::vector<StateEntry>& entries)
{
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(entries.size()) * kStateRecordBytes);
    ByteWriter w(bytes);
    for (const StateEntry& e : entries) {
        w.Utf16Fixed(e.id, kItemIdUnits);
        w.U32(e.crc);
    }
    return bytes;
}

void StateList::Load(StateFileKind kind, const QString& machineId, const QString& notesSuffix)
{
    entries_.clear();
    const QString path = StateFilePath(kind, machineId, notesSuffix);
    QFile file(path);
    if (!file.exists()) {
        if (!file.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            throw AgentError("cannot create " + path.toStdString() + ": " + file.errorString().toStdString());
        return;
    }
    if (!file.open(QIODevice::ReadOnly))
        throw AgentError("cannot read " + path.toStdString() + ": " + file.errorString().toStdString());
    // Block by block: a large state would otherwise sit in memory twice, as bytes and as entries.
    constexpr qint64 kBlockBytes = 1024 * kStateRecordBytes;
    entries_.reserve(static_cast<std::size_t>(file.size() / kStateRecordBytes));
    QByteArray block;
    while (true) {
        block = file.read(kBlockBytes);
        if (file.error() != QFileDevice::NoError) {
            entries_.clear();
            throw AgentError("cannot read " + path.toStdString() + ": " + file.errorString().toStdString());
        }
        // A trailing partial record is ignored, like the file's own record count does.
        std::vector<StateEntry> decoded = DecodeStateRecords(block);
        std::move(decoded.begin(), decoded.end(), std::back_inserter(entries_));
        if (block.size() < kBlockBytes)
            break;
    }
}

void StateList::Save(StateFileKind kind, const QString& machineId, const QString& notesSuffix) const
{
    WriteFileAtomically(StateFilePath(kind, machineId, notesSuffix), EncodeStateRecords(entries_), 0600);
}

void StateList::Append(const QString& id, std::uint32_t crc)
{
    RequireItemId(id);
    entries_.push_back({id, crc});
}

void StateList::SetChecksum(const QString& id, std::uint32_t crc)
{
    for (StateEntry& e : entries_)
        if (e.id == id)
            e.crc = crc;
}

void StateList::Remove(const QString& id)
{
    std::erase_if(entries_, [&](const StateEntry& e) { return e.id == id; });
}
