#pragma once
#include <QByteArray>
#include <QString>
#include <functional>

#include "stores/windows_contacts/contact_file_record.h"

namespace ContactsVista {

// The bytes of a new ".contact" file for the record: the fixed skeleton in which every field
// has its own element (empty when the field is absent), the contact identifier being the first
// 36 characters of Id.
QByteArray NewContactFileContent(const ContactFileRecord& record);

// The name a contact's file is given before clashes are resolved: FileAs; else the given,
// family and middle names present, joined by blanks; else NickName; else Company; else the
// display name (FullName); else "Unknown". The characters a Windows file name cannot hold (\ / : ? * " < > |) and control
// characters are removed.
QString ContactFileBaseName(const ContactFileRecord& record);

// The file title (name without ".contact") for the record: its base name, or when `taken`
// says that title is in use (compare without regard to case), the base name followed by
// "[1]", "[2]", ... until one is free.
// Whether the two records agree on every field ContactFileBaseName looks at (an absent text and
// an empty one alike): an edit that changes none of them leaves the file where it is.
bool SameFileNameFields(const ContactFileRecord& a, const ContactFileRecord& b);

QString FileNameRule(const ContactFileRecord& record, const std::function<bool(const QString& title)>& taken);

// A record date ("21-05-1970") as a file's date value ("1970-05-21T00:00:00Z").
QString RecordDateToFileDate(const QString& date);

}  // namespace ContactsVista
