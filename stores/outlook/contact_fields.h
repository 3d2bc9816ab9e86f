#pragma once
// The fields of an Outlook contact as the peer exchanges them: one table of every key with its
// property (DISPID), its kind and the object-model versions in which each operation carries it.
// Add, Edit, Get and the checksum take their keys from it; Get and the checksum keep their own
// orders (contact_reader.h). Contact dates are taken as Outlook keeps them: nothing is converted
// between local time and UTC.

#include <QString>
#include <cstdint>

#include "platform/automation_servers.h"

enum class ContactFieldKind {
    Text,      // text, unchanged
    Integer,   // 32-bit integer
    Flag,      // read as 1 or 0; any other value than 0 writes true
    Date,      // a date text; empty text is no date
    TaskDate,  // the fixed-position date text the peer reads, written by Edit only
    Picture,   // the record's byte buffer, through a file (contact_picture.h)
};

enum class ContactOperation { Add, Edit, Get, Checksum };

// The object-model versions a key belongs to, one bit each.
using ContactVersions = std::uint8_t;
// The bit of a version (8, 9, 11, 12, 14); 0 for any other.
ContactVersions ContactVersionBit(int version);

struct ContactField {
    const char16_t* key;
    DispId dispId;  // 0 for the picture
    ContactFieldKind kind;
    ContactVersions add;
    ContactVersions edit;
    ContactVersions get;
    ContactVersions checksum;

    bool IsCarried(ContactOperation operation, int version) const;
};

// The field a key names, compared whole and case-sensitively; none when there is no such key.
const ContactField* FindContactField(const QString& key);
// The same, but only when the operation carries the key in that version.
const ContactField* FindContactField(const QString& key, ContactOperation operation, int version);
