#pragma once
// The request families a data source serves and the three codes that choose among the sources.

#include <cstdint>

// The four kinds of items the item requests serve.
enum class ItemKind { Contacts, Appointments, Tasks, Notes };

// What a source of the catalogue serves: one of the item kinds, or bookmarks.
enum class SourceKind { Contacts, Appointments, Tasks, Notes, Bookmarks };

constexpr SourceKind SourceKindOf(ItemKind kind)
{
    return static_cast<SourceKind>(kind);
}

// The chosen sources: the AgentCode (contacts, appointments, tasks), the NotesAgentCode and the
// BrowserKind. A code that names no source selects no store.
struct SourceSelection {
    std::uint32_t agentCode = 0xFFFFFFFF;
    std::uint32_t notesCode = 0xFFFFFFFF;
    std::uint32_t browserKind = 0xFFFFFFFF;

    // The code that chooses the source of this kind.
    constexpr std::uint32_t CodeOf(SourceKind kind) const
    {
        switch (kind) {
            case SourceKind::Notes:
                return notesCode;
            case SourceKind::Bookmarks:
                return browserKind;
            default:
                return agentCode;
        }
    }
};
