#pragma once
// Editing an existing ".contact" document in place: each value goes into the elements that
// already hold it, missing elements are created, and everything the edit does not touch
// (further labels and entries, extensions, identifiers, white space) stays as it was.

#include <QByteArray>
#include <QString>

#include "stores/windows_contacts/contact_file_record.h"
#include "stores/windows_contacts/contact_xml.h"

namespace ContactsVista {

// Writes every value of `after` that is present and differs from `before` (the record as it
// stood before the edit): a value the edit did not change touches no element. Throws AgentError
// for a non-empty date that is not ten characters long, before any element changes.
void EditContactDocument(ContactXml& doc, const ContactFileRecord& before, const ContactFileRecord& after);

// The editors, each writing one value. Entries they insert carry fixed "c:ElementID" texts;
// a parent element the file lacks is created the way a new file has it.
void SetNameElement(ContactXml& doc, const char* elementName, const QString& value);
void EditEmailAddress(ContactXml& doc, int position, const QString& value);
void EditDate(ContactXml& doc, const char* label, const QString& recordDate);
void EditPhoto(ContactXml& doc, const QByteArray& picture);
void EditNotes(ContactXml& doc, const QString& value);
void EditSpouse(ContactXml& doc, const QString& value);
void EditUrl(ContactXml& doc, const char* label, const QString& value);
void EditPosition(ContactXml& doc, const char* elementName, const QString& value);
void EditPhoneByLabel(ContactXml& doc, const char* label, const QString& value);
void EditPhoneByLabelPair(ContactXml& doc, const char* kindLabel, const char* contextLabel, const QString& value);
void EditAddressElement(ContactXml& doc, const char* elementName, const char* label, const QString& value);

}  // namespace ContactsVista
