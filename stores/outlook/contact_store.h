#pragma once
// The Outlook contact stores of object-model versions 8, 9, 11, 12 and 14: the contacts of the
// default contacts folder (10). The folder also holds distribution lists, which these stores
// neither list nor delete.

#include "stores/outlook/contact_reader.h"
#include "stores/outlook/contact_writer.h"
#include "stores/outlook/outlook_dispids.h"
#include "stores/outlook/outlook_store_frame.h"

template <int Version>
class CContact : public OutlookFrameOf<Version> {
public:
    CContact() : OutlookFrameOf<Version>(OutlookKind::Contacts, Version) {}

    // One save for the whole record; a failure after it removes the new contact again.
    void Add(ItemRecord& record, QString& id) override
    {
        this->RequireConnected("Add");
        // A picture's file stays until Outlook has saved the contact, which takes the picture from it.
        const std::vector<ContactPictureFile> pictures =
            WriteContactFields(this->CreateNewItem(outlook::kItemContact), record, Version, ContactOperation::Add);
        id = this->SaveNewItem();
    }
    void Edit(ItemRecord& record, const QString& id) override
    {
        this->RequireConnected("Edit");
        const DispatchDriver& contact = this->FindItem(id);
        const std::vector<ContactPictureFile> pictures =
            WriteContactFields(contact, record, Version, ContactOperation::Edit);
        contact.CallMethod(outlook::kSave);
    }
    // "EntryID" is Outlook's own, the long one on Exchange profiles, whatever the peer asked by.
    void Get(const QString& id, ItemRecord& record) override
    {
        this->RequireConnected("Get");
        ReadContactFields(this->FindItem(id), record, Version);
    }
    std::uint32_t IDtoCRC32(const QString& id) override
    {
        this->RequireConnected("IDtoCRC32");
        return ContactChecksum(this->FindItem(id), Version);
    }
};

using CContact8 = CContact<8>;
using CContact9 = CContact<9>;
using CContact11 = CContact<11>;
using CContact12 = CContact<12>;
using CContact14 = CContact<14>;
