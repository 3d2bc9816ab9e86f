#pragma once
// The Outlook note stores of object-model versions 8, 9, 11, 12 and 14: the default notes
// folder (12). Every version treats notes alike; 12 and 14 map identifiers on Exchange profiles.

#include "stores/outlook/note_fields.h"
#include "stores/outlook/outlook_dispids.h"
#include "stores/outlook/outlook_store_frame.h"

template <int Version>
class CNote : public OutlookFrameOf<Version> {
public:
    CNote() : OutlookFrameOf<Version>(OutlookKind::Notes, Version) {}

    void Add(ItemRecord& record, QString& id) override
    {
        this->RequireConnected("Add");
        WriteNoteFields(this->CreateNewItem(outlook::kItemNote), record);
        id = this->SaveNewItem();
    }
    void Edit(ItemRecord& record, const QString& id) override
    {
        this->RequireConnected("Edit");
        const DispatchDriver& note = this->FindItem(id);
        WriteNoteFields(note, record);
        note.CallMethod(outlook::kSave);
    }
    void Get(const QString& id, ItemRecord& record) override
    {
        this->RequireConnected("Get");
        ReadNoteFields(this->FindItem(id), record);
    }
    std::uint32_t IDtoCRC32(const QString& id) override
    {
        this->RequireConnected("IDtoCRC32");
        return NoteChecksum(this->FindItem(id));
    }
};

using CNote8 = CNote<8>;
using CNote9 = CNote<9>;
using CNote11 = CNote<11>;
using CNote12 = CNote<12>;
using CNote14 = CNote<14>;
