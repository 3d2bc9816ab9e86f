#pragma once
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "stores/windows_contacts/contact_file_record.h"
#include "stores/windows_contacts/contact_xml.h"

namespace ContactsVista {

// What reading a contact file needs from outside the file.
struct ContactReadHooks {
    // The bytes of the picture file a photo's "c:Url" names, or nothing when it is not to be read
    // (the hook says why through `note`).
    std::function<std::optional<QByteArray>(const QString& reference)> readPictureFile;
    // A value of the file that is left out, and why.
    std::function<void(const QString& what)> note;
};

// Fills the record from a loaded ".contact" document: Id (when the file has one), the texts it
// finds, Picture, Birthday and Anniversary; nothing else. A date that is no date and a picture
// reference that cannot be read leave their field absent and are reported through the hooks.
void ReadContactDocument(const ContactXml& doc, ContactFileRecord& record, const ContactReadHooks& hooks = {});

// The same from the file's bytes; false (record untouched) when they are not well-formed XML.
bool ReadContactBytes(const QByteArray& bytes, ContactFileRecord& record, const ContactReadHooks& hooks = {});

// A file's date value ("1970-05-21T00:00:00Z": its first ten characters, year-month-day) as
// the record keeps it ("21-05-1970"); nothing when those characters name no day.
std::optional<QString> FileDateToRecordDate(const QString& value);

}  // namespace ContactsVista
