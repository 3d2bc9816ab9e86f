#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace ContactsVista {

// What the commit does with a record's files.
enum class ContactChangeState : std::int32_t {
    Unchanged = 0,  // as loaded
    Added = 1,      // a new contact; its file is already written
    Edited = 2,     // a changed contact; its file is already rewritten
    Deleted = 4,    // its file goes at the commit
};

// One Windows Contacts ".contact" file in memory. An optional text is absent or a text; an empty
// text counts as present (an edit writes it, a new file gets an empty element).
struct ContactFileRecord {
    using Text = std::optional<QString>;

    QString Id;         // the contact identifier of the file followed by twelve zeros (48 units)
    QString FilePath;   // local path of the file
    QString FileTitle;  // file name without ".contact"
    QString FileAs;     // chooses the file name only; never written into the file

    Text FullName, GivenName, FamilyName, MiddleName, NickName, Title;
    Text Email1, Email2, Email3;
    Text HomeStreet, HomeCity, HomeRegion, HomePostalCode, HomeCountry;
    Text BusinessStreet, BusinessCity, BusinessRegion, BusinessPostalCode, BusinessCountry;
    Text Company, JobTitle, Department, Office;
    Text BusinessUrl;  // read from files only
    Text PersonalUrl;
    Text BusinessFax, BusinessPhone, Pager, MobilePhone, HomeFax, HomePhone;
    Text Spouse;
    Text Notes;

    // The groups whose files list the contact (for a contact added since the load: the groups it
    // is to join).
    QStringList GroupNames;
    // The groups a changed contact is to belong to after the commit; nothing when no change
    // named its groups, so they stay as they are.
    std::optional<QStringList> NewGroupNames;

    QByteArray Picture;  // raw image bytes, no length prefix; empty: no picture
    Text Birthday;       // dd-mm-yyyy (or empty: an edit that removes the date)
    Text Anniversary;

    ContactChangeState ChangeState = ContactChangeState::Unchanged;
    // Added since the last load: its groups are in no group file yet.
    bool NewSinceLoad = false;
};

}  // namespace ContactsVista
