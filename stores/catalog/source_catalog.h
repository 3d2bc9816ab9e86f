#pragma once
// The source catalogue: one row per data source the peer can choose, item sources and bookmark
// sources alike, gathered from the families that registered them (stores/base/store_family.h).
// A row ties the source's code to its SourceFlags bit and says whether this machine offers it;
// the store set (stores/catalog/store_set.h) has each family make the stores of its rows, and
// source detection and the source requests read the same rows. Nothing here names a source.

#include <QStringList>
#include <cstdint>
#include <span>

#include "stores/base/store_family.h"
#include "stores/base/source_kind.h"

// Every row, in the order detection tries them: within a kind a later available row wins.
std::span<const SourceRow> SourceCatalog();
// The position in RegisteredFamilies() of the family that registered a catalogue row.
std::size_t FamilyIndexOf(const SourceRow& row);

// The row of a source, or nullptr when the code names none of that kind.
const SourceRow* FindSource(SourceKind kind, std::uint32_t code);
inline const SourceRow* FindSource(ItemKind kind, std::uint32_t code)
{
    return FindSource(SourceKindOf(kind), code);
}
inline const SourceRow* FindSource(BrowserKind kind)
{
    return FindSource(SourceKind::Bookmarks, static_cast<std::uint32_t>(kind));
}
// The chosen row of that kind, or nullptr.
inline const SourceRow* SelectedSource(const SourceSelection& selection, SourceKind kind)
{
    return FindSource(kind, selection.CodeOf(kind));
}

// Whether start-up detection keeps a stored AgentCode rather than detect anew: the codes below
// those of the versioned program's rows are the user's choice (or an older choice without a row
// of its own), while the newest version present is found at every start.
bool StoredAgentCodeOutlivesDetection(std::uint32_t code);

// The names of the program that owns the sources of a SourceFlags bit (the media player's bit
// too); empty when the bit names none.
QStringList ProgramNamesOfSource(std::uint32_t flag);
