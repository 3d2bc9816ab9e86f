#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// Per peer and item kind, the identifier and checksum of every item seen at the end of the
// last synchronisation: a file of 100-byte records (96 identifier bytes, 32-bit checksum),
// named by the peer's machine identifier and the kind.
enum class StateFileKind { Appointments = 0, Notes = 1, Contacts = 2, Tasks = 3 };

inline constexpr int kStateRecordBytes = 100;

struct StateEntry {
    QString id;
    std::uint32_t crc = 0;
    friend bool operator==(const StateEntry&, const StateEntry&) = default;
};

// "<data folder>/<machine id>.<Contact|Appointment|Task|notes suffix>". Throws AgentError
// when the machine identifier or the suffix could leave the folder or is no plain name.
QString StateFilePath(StateFileKind kind, const QString& machineId, const QString& notesSuffix);

// The file's bytes as records; a trailing partial record is ignored.
std::vector<StateEntry> DecodeStateRecords(const QByteArray& bytes);
// Records back to back, each with exactly 96 identifier bytes.
QByteArray EncodeStateRecords(const std::vector<StateEntry>& entries);

// The in-memory list of one item kind, in order. Identifiers compare exactly.
class StateList {
public:
    // Replaces the list by the file's records. A missing file is created empty; a file that
    // can neither be read nor created throws AgentError and leaves the list empty.
    void Load(StateFileKind kind, const QString& machineId, const QString& notesSuffix);
    // Replaces the file's content by the list, atomically; throws AgentError on failure and
    // then leaves the old file.
    void Save(StateFileKind kind, const QString& machineId, const QString& notesSuffix) const;

    // Appends an entry; refuses (AgentError) an identifier that is not 48 units.
    void Append(const QString& id, std::uint32_t crc);
    // Every entry of that identifier gets the checksum.
    void SetChecksum(const QString& id, std::uint32_t crc);
    // Removes every entry of that identifier, keeping the others' order.
    void Remove(const QString& id);
    void Clear() { entries_.clear(); }
    void Swap(StateList& other) noexcept { entries_.swap(other.entries_); }

    const std::vector<StateEntry>& Entries() const { return entries_; }
    std::vector<StateEntry>& MutableEntries() { return entries_; }
    std::size_t Size() const { return entries_.size(); }

private:
    std::vector<StateEntry> entries_;
};
