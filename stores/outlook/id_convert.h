#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

// The item kinds of the identifier map, each with its own section of the peer's map file.
enum class IdMapKind { Contacts = 0, Appointments = 1, Notes = 2, Tasks = 3 };

// Per peer and item kind, the pairs that map Exchange entry identifiers (140 characters) to the
// 48-character item identifiers the peer and the state files use. They live in the peer's XML
// file "<data folder>/ids_<machine id>.xml": a root `ids`, one section per kind (`contacts`,
// `appointments`, `notes`, `tasks`), per pair an `item` whose first child holds the short and
// whose second child holds the long identifier (`id48`, `id140`). Identifiers compare exactly.
//
// The pairs are those of the last Load, with the agent's own additions and removals since; a
// Save writes them and keeps them, so that any number of saves between two loads leave exactly
// the pairs of the items there are.
class CIdConvert {
public:
    using Pair = std::pair<QString, QString>;  // (short, long)

    // Reads the kind's section of the peer's map. A missing, unreadable or malformed file is an
    // empty map. Throws AgentError when the machine identifier cannot be part of a file name.
    // Always 0 otherwise.
    int Load(IdMapKind kind, const QString& machineId);
    // Writes the pairs as the kind's section (moved to the end of the root), keeping the other
    // sections; a file that is unreadable, malformed or without its root starts from the empty
    // map. The file is replaced atomically; the pairs stay. A map that cannot be written throws
    // AgentError naming the file, the old file and the pairs staying as they were. Else 0.
    int Save();

    // The long identifier of a short one, or "error in CIdConvert::Get140" when none is mapped.
    QString Get140(const QString& shortId) const;
    // The long identifier of a short one, or nothing when none is mapped.
    std::optional<QString> Find140(const QString& shortId) const;
    // Replaces, in a store's identifier list, every mapped long identifier by its short one and
    // every unmapped identifier of exactly 140 characters by a new mapped short one.
    void ConvertIDs(QStringList& ids);
    // Forgets the pair of a short identifier and returns its long one (empty when none).
    QString Remove(const QString& shortId);
    // Maps a long identifier to a new short one (whether or not it is mapped already).
    QString Add(const QString& longId);
    // Forgets every pair; the next Save writes the kind's section empty.
    void ClearPairs() { Clear(); }

    const std::vector<Pair>& Pairs() const { return pairs_; }
    QString FilePath() const { return path_; }

    // The map's content when no readable file exists.
    static const char* EmptyMapText();

private:
    void Clear();
    void Append(Pair pair);

    QString path_;
    std::vector<Pair> pairs_;
    // Short identifier -> its first pair's long identifier, so lookups do not scan the pairs.
    QHash<QString, QString> longOf_;
    IdMapKind kind_ = IdMapKind::Contacts;
    QString sectionPath_;
    QString sectionName_;
};
